# Cross-builds for one Debian architecture, ORBELLE_DEBIAN_ARCH (i386, arm64,
# armhf, ppc64el, s390x or riscv64), with Debian's cross compilers and the
# cross libc in /usr/<triplet>; the tests run there under qemu-user-static.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORBELLE_DEBIAN_ARCH)

# Debian architecture, GNU triplet, CMake processor, qemu's name for it.
set(orbelle_debian_arches
    "i386|i686-linux-gnu|i686|i386"
    "arm64|aarch64-linux-gnu|aarch64|aarch64"
    "armhf|arm-linux-gnueabihf|armv7l|arm"
    "ppc64el|powerpc64le-linux-gnu|ppc64le|ppc64le"
    "s390x|s390x-linux-gnu|s390x|s390x"
    "riscv64|riscv64-linux-gnu|riscv64|riscv64")
set(orbelle_triplet "")
foreach(row IN LISTS orbelle_debian_arches)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 arch)
  if(arch STREQUAL "${ORBELLE_DEBIAN_ARCH}")
    list(GET fields 1 orbelle_triplet)
    list(GET fields 2 CMAKE_SYSTEM_PROCESSOR)
    list(GET fields 3 orbelle_qemu)
  endif()
endforeach()
if(NOT orbelle_triplet)
  message(FATAL_ERROR "ORBELLE_DEBIAN_ARCH must be one of i386 arm64 armhf ppc64el s390x riscv64, "
                      "not '${ORBELLE_DEBIAN_ARCH}'")
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${orbelle_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${orbelle_triplet}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${orbelle_triplet})
set(CMAKE_FIND_ROOT_PATH /usr/${orbelle_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The cross libc is given to qemu by its option, not the environment, so the
# tests' own environments reach the programs unchanged.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-${orbelle_qemu}-static -L /usr/${orbelle_triplet})
