# The compiler and linker flags of the project's own targets, as INTERFACE
# libraries that each target links (orbelle_build_flags gathers them), so
# that nothing is added to a distribution's own CFLAGS or to other projects.
#   orbelle_warnings   -Wall -Wextra, and -Werror with ORBELLE_WERROR
#   orbelle_sanitizers AddressSanitizer + UBSan (ORBELLE_SANITIZE), or the
#                      same with libFuzzer's coverage (ORBELLE_FUZZ)
#   orbelle_hardening  Debian's hardening flags (dpkg-buildflags with
#                      DEB_BUILD_MAINT_OPTIONS=hardening=+all) for the Linux
#                      programs, unless a sanitizer is on; Control Flow Guard
#                      for the Windows ones where the toolchain has it
#   orbelle_reproducible  the same bytes from any folder at any time: no
#                      build path in any file, no link time in a PE header
add_library(orbelle_warnings INTERFACE)
target_compile_options(orbelle_warnings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra $<$<BOOL:${ORBELLE_WERROR}>:-Werror>>)

add_library(orbelle_sanitizers INTERFACE)
if(ORBELLE_SANITIZE OR ORBELLE_FUZZ)
  target_compile_options(orbelle_sanitizers INTERFACE
    $<$<BOOL:${ORBELLE_FUZZ}>:-fsanitize=fuzzer-no-link>
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(orbelle_sanitizers INTERFACE -fsanitize=address,undefined)
endif()

add_library(orbelle_hardening INTERFACE)
if(ORBELLE_HARDEN AND NOT WIN32 AND NOT ORBELLE_SANITIZE AND NOT ORBELLE_FUZZ)
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  # _FORTIFY_SOURCE works only with optimisation: not in a Debug build.
  set(optimised $<NOT:$<CONFIG:Debug>>)
  # Control-flow protection exists on x86 only; Debian adds it where the
  # compiler takes it, as here.
  include(CheckCXXCompilerFlag)
  check_cxx_compiler_flag(-fcf-protection ORBELLE_HAS_CF_PROTECTION)
  target_compile_options(orbelle_hardening INTERFACE
    $<${optimised}:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>
    -Wformat -Werror=format-security
    -fstack-protector-strong -fstack-clash-protection
    $<$<BOOL:${ORBELLE_HAS_CF_PROTECTION}>:-fcf-protection>
    # With --gc-sections below: the statically linked C++ runtime brings
    # only what is called, and with it fewer symbols to bind at start-up.
    -ffunction-sections -fdata-sections)
  target_link_options(orbelle_hardening INTERFACE
    -Wl,-z,relro,-z,now $<${optimised}:-Wl,--gc-sections>)
endif()

# Control Flow Guard (GUARD_CF) takes -mguard=cf from the compiler and a
# linker and C runtime that write the guard tables: LLVM's (clang 16 and
# later, lld) with a mingw-w64 built for it. Debian 12's mingw-w64 is GCC 12
# with GNU ld 2.40, which have neither, so the check below finds nothing
# there; a toolchain that has it gets it.
if(WIN32 AND ORBELLE_HARDEN)
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS -mguard=cf)
  set(CMAKE_REQUIRED_LINK_OPTIONS -mguard=cf)
  check_cxx_source_compiles("int main() { return 0; }" ORBELLE_HAS_GUARD_CF)
  unset(CMAKE_REQUIRED_FLAGS)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  if(ORBELLE_HAS_GUARD_CF)
    target_compile_options(orbelle_hardening INTERFACE -mguard=cf)
    target_link_options(orbelle_hardening INTERFACE -mguard=cf)
  endif()
endif()

add_library(orbelle_reproducible INTERFACE)
target_compile_options(orbelle_reproducible INTERFACE
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
  -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
if(WIN32)
  # GNU ld writes the link time into the PE header unless told not to.
  target_link_options(orbelle_reproducible INTERFACE -Wl,--no-insert-timestamp)
endif()

add_library(orbelle_build_flags INTERFACE)
target_link_libraries(orbelle_build_flags INTERFACE orbelle_warnings orbelle_sanitizers
                      orbelle_hardening orbelle_reproducible)

# 32-bit Linux (i386, armhf): 64-bit file offsets, inode numbers and time,
# as Debian builds them, so that a file with a large inode number (XFS,
# overlayfs) can be examined and the clock reads right after 2038-01-19.
# For every target, GoogleTest's too: they must agree on stat and time_t.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_compile_definitions(_FILE_OFFSET_BITS=64 _TIME_BITS=64)
endif()
