# Cross build for Windows with mingw-w64 (Debian's -posix compilers), for the
# processor the including toolchain file names; programs run under Wine
# through the test bench's runner.
set(CMAKE_SYSTEM_NAME Windows)
set(KAVO_MINGW ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${KAVO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVO_MINGW}-windres)
set(CMAKE_MC_COMPILER ${KAVO_MINGW}-windmc)
set(CMAKE_FIND_ROOT_PATH /usr/${KAVO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
