# Cross build for Windows with mingw-w64; included by mingw-w64-<target>.cmake,
# which names the target in TAVRIN_MINGW_TARGET (i686 or x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TAVRIN_MINGW_TARGET})
set(triple ${TAVRIN_MINGW_TARGET}-w64-mingw32)
# The -posix compilers: the win32-thread ones lack std::mutex and std::thread.
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The program's libraries share the C++ runtime DLLs, shipped in its folder
# (cmake/WindowsStack.cmake).
