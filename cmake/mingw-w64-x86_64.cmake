# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 compilers.
# The posix-thread variants are the ones the Qt build was made with: the
# win32-thread ones lack std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FURLANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FURLANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FURLANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FURLANE_MINGW_PREFIX}-windres)

# Libraries and headers come from the MinGW sysroot and the Qt folder given in
# CMAKE_PREFIX_PATH; programs (moc, rcc, uic, python) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${FURLANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

