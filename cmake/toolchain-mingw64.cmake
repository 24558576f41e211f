# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads):
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DKSV_WERROR=ON
# The window is left out unless -DKSV_WITH_WINDOW=ON and a Qt 6 for MinGW in
# CMAKE_PREFIX_PATH (with QT_HOST_PATH naming a Qt of the same version for
# this machine); the toolkit-free libraries, their tests and the simulated
# libraries always build.
# When Wine is installed, ctest runs the Windows test programs under it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_ksv_triplet x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${_ksv_triplet}-gcc-posix ${_ksv_triplet}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_ksv_triplet}-g++-posix ${_ksv_triplet}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_ksv_triplet}-windres windres)

# Packages for the target come from the toolchain's root, and from the
# folders given in CMAKE_PREFIX_PATH (a Qt 6 for MinGW, for the window).
set(CMAKE_FIND_ROOT_PATH /usr/${_ksv_triplet} ${CMAKE_PREFIX_PATH})
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
