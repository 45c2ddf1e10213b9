# Shared by both Windows toolchains: the win32 thread model compilers, fully
# static images, and narrow literals stored in code page 936.
set(CMAKE_C_COMPILER ${VANDREL_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VANDREL_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${VANDREL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VANDREL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_C_FLAGS_INIT "-finput-charset=UTF-8 -fexec-charset=GBK")
set(CMAKE_CXX_FLAGS_INIT "-finput-charset=UTF-8 -fexec-charset=GBK")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
