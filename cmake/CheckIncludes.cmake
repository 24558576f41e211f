# The include boundaries the folders' READMEs draw, checked on every
# configure (and on its own: cmake -DKSV_SOURCE_DIR=<root> -P cmake/CheckIncludes.cmake).
#
# A README names what a folder's files never include in a line that starts
# with "Never included here" (the folder's own files, not core/) or "Never
# included in core/" (its core/ files), each name in backquotes; a name that
# ends in * stands for every header that starts so. A file that includes one
# of them fails the configure with the file and the line.
if(NOT KSV_SOURCE_DIR)
  set(KSV_SOURCE_DIR ${CMAKE_SOURCE_DIR})
endif()

# The backquoted names of the README line that starts with `lead`.
function(ksv_forbidden_includes readme lead out)
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

# Fails when a file of `dir` (not below it) includes one of `names`.
function(ksv_check_folder_includes dir names readme)
  file(GLOB sources ${dir}/*.h ${dir}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^#include ")
    foreach(include IN LISTS includes)
      foreach(name IN LISTS names)
        string(REGEX REPLACE "[.+]" "\\\\\\0" pattern "${name}")
        string(REGEX REPLACE "\\*$" ".*" pattern "${pattern}")
        if(include MATCHES "^#include [<\"]([^\">]*/)?${pattern}[\">]")
          file(RELATIVE_PATH shown ${KSV_SOURCE_DIR} ${source})
          file(RELATIVE_PATH rule ${KSV_SOURCE_DIR} ${readme})
          message(FATAL_ERROR "${shown}: '${include}' crosses a boundary that ${rule} forbids")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

foreach(folder app device measure settings)
  set(readme ${KSV_SOURCE_DIR}/${folder}/README.md)
  ksv_forbidden_includes(${readme} "Never included here" here)
  ksv_forbidden_includes(${readme} "Never included in core/" core)
  ksv_check_folder_includes(${KSV_SOURCE_DIR}/${folder} "${here}" ${readme})
  if(EXISTS ${KSV_SOURCE_DIR}/${folder}/core)
    ksv_check_folder_includes(${KSV_SOURCE_DIR}/${folder}/core "${core}" ${readme})
  endif()
endforeach()
