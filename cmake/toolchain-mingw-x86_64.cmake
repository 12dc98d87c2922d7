# Windows x64, with mingw-w64.
set(ORBELLE_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
