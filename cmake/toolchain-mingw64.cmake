# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads):
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DKSV_WERROR=ON
# Without a Qt 6 for Windows the window is left out (KSV_WITH_WINDOW off);
# the toolkit-free libraries, their tests and the simulated libraries build.
# When Wine is installed, ctest runs the Windows test programs under it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_ksv_triplet x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${_ksv_triplet}-gcc-posix ${_ksv_triplet}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_ksv_triplet}-g++-posix ${_ksv_triplet}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_ksv_triplet}-windres windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_ksv_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime (libstdc++, libgcc, winpthread) is linked in,
# so every program and library runs with nothing beside it but the crate
# libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

find_program(KSV_WINE NAMES wine wine64)
if(KSV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KSV_WINE})
endif()
