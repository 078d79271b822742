# 64-bit Windows build with mingw-w64 from Debian: the tests run under 64-bit Wine on machines
# that cannot execute 32-bit code (the product itself is the 32-bit build).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QM_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
