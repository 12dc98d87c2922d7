# Windows x86, with mingw-w64.
set(ORBELLE_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
