# The include boundaries the folders' READMEs draw, checked on every
# configure (and on its own: cmake -DKSV_SOURCE_DIR=<root> -P cmake/CheckIncludes.cmake;
# -DKSV_CHECK_FOLDERS=<list> checks only those folders).
#
# A README names what a folder's files may include in a line that starts
# with "May include here:" (the folder's own files, not core/) or "May include
# in core/:" (its core/ files), each folder in backquotes, relative to the
# root. A quoted include is looked up in the file's own folder, then in every
# folder of the project; a header found only in folders the README does not
# list fails the configure with the file and the line. Form headers (ui_X.h)
# belong to the folder of X.ui; headers found nowhere (the toolkit, generated
# files) are not the project's and pass.
#
# The libraries draw the same lines (one per side, each with its own include
# path, linked only downwards), so what passes here compiles and a backward
# include that slipped past here would not.
cmake_policy(SET CMP0057 NEW) # IN_LIST, also when run on its own
if(NOT KSV_SOURCE_DIR)
  set(KSV_SOURCE_DIR ${CMAKE_SOURCE_DIR})
endif()

set(KSV_LAYER_FOLDERS widgets widgets/core device device/core measure measure/core settings settings/core app cli)

# The backquoted folders of the README line that starts with `lead`.
function(ksv_allowed_folders readme lead out)
  set(names "")
  file(STRINGS ${readme} lines REGEX "^${lead}")
  foreach(line IN LISTS lines)
    string(REGEX MATCHALL "`[^`]+`" quoted "${line}")
    foreach(q IN LISTS quoted)
      string(REGEX REPLACE "^`(.*)`$" "\\1" name "${q}")
      list(APPEND names "${name}")
    endforeach()
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# The project folders that hold `name` (a header path, or ui_X.h for X.ui).
function(ksv_folders_holding name out)
  set(found "")
  set(file ${name})
  if(name MATCHES "^ui_(.*)\\.h$")
    set(file "${CMAKE_MATCH_1}.ui")
  endif()
  foreach(folder IN LISTS KSV_LAYER_FOLDERS)
    if(EXISTS ${KSV_SOURCE_DIR}/${folder}/${file} AND NOT IS_DIRECTORY ${KSV_SOURCE_DIR}/${folder}/${file})
      list(APPEND found ${folder})
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# Fails when a file of `folder` (not below it) includes a project header
# that only folders outside `allowed` hold.
function(ksv_check_folder_includes folder allowed readme)
  file(GLOB sources ${KSV_SOURCE_DIR}/${folder}/*.h ${KSV_SOURCE_DIR}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^#include \"")
    foreach(include IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]*)\".*$" "\\1" name "${include}")
      ksv_folders_holding(${name} holders)
      if(NOT holders OR ${folder} IN_LIST holders)
        continue()
      endif()
      set(reached FALSE)
      foreach(holder IN LISTS holders)
        if(holder IN_LIST allowed)
          set(reached TRUE)
        endif()
      endforeach()
      if(NOT reached)
        file(RELATIVE_PATH shown ${KSV_SOURCE_DIR} ${source})
        file(RELATIVE_PATH rule ${KSV_SOURCE_DIR} ${readme})
        message(FATAL_ERROR "${shown}: '${include}' reaches ${holders}, which ${rule} does not list under "
                            "\"May include\"")
      endif()
    endforeach()
  endforeach()
endfunction()

if(NOT KSV_CHECK_FOLDERS)
  set(KSV_CHECK_FOLDERS widgets device measure settings app)
endif()
foreach(folder IN LISTS KSV_CHECK_FOLDERS)
  string(REGEX REPLACE "/core$" "" side ${folder})
  set(readme ${KSV_SOURCE_DIR}/${side}/README.md)
  ksv_allowed_folders(${readme} "May include here:" here)
  ksv_allowed_folders(${readme} "May include in core/:" core)
  if(NOT folder MATCHES "/core$")
    ksv_check_folder_includes(${side} "${here}" ${readme})
  endif()
  if(EXISTS ${KSV_SOURCE_DIR}/${side}/core)
    ksv_check_folder_includes(${side}/core "${core}" ${readme})
  endif()
endforeach()
