# GoogleTest: the installed one, or one built from its sources where none is
# installed for the target system, as in a cross build (Debian's googletest
# package puts the sources in /usr/src/googletest).
set(KSV_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources for builds without an installed GoogleTest")
if(CMAKE_CROSSCOMPILING)
  set(_ksv_gtest_default ON)
else()
  set(_ksv_gtest_default OFF)
endif()
option(KSV_GTEST_FROM_SOURCE "Build GoogleTest from KSV_GTEST_SOURCE_DIR" ${_ksv_gtest_default})

if(KSV_GTEST_FROM_SOURCE)
  if(NOT EXISTS ${KSV_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${KSV_GTEST_SOURCE_DIR} (Debian: apt-get install googletest)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${KSV_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

# ksv_gtest_tests(target LABEL): one ctest entry per test case where the
# program runs on the build machine; one for the whole program in a cross
# build, where every start goes through the emulator.
function(ksv_gtest_tests target label)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS "${label}")
  else()
    include(GoogleTest)
    gtest_discover_tests(${target} PROPERTIES LABELS "${label}" DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
