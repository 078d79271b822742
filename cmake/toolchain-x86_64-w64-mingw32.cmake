# 64-bit Windows build with mingw-w64 from Debian: the tests run under 64-bit Wine on machines
# that cannot execute 32-bit code (the product itself is the 32-bit build).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QM_MINGW_PREFIX x86_64-w64-mingw32)

# The posix thread model is not needed; win32 keeps winpthread out of the link.
find_program(CMAKE_C_COMPILER NAMES ${QM_MINGW_PREFIX}-gcc-win32 ${QM_MINGW_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${QM_MINGW_PREFIX}-g++-win32 ${QM_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${QM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
