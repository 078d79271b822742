# 32-bit Windows build with mingw-w64 from Debian.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QM_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
