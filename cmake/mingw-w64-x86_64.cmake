# Cross-compiling for 64-bit Windows with MinGW-w64's POSIX-thread compilers (the win32-thread
# ones have no std::thread or std::mutex), linked statically so programs import only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRUNE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRUNE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUNE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUNE_MINGW_PREFIX}-windres)
set(CMAKE_AR ${KESTRUNE_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KESTRUNE_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries for Windows: MinGW's own tree, plus whatever prefixes the caller adds (libjpeg).
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_MINGW_PREFIX} ${CMAKE_FIND_ROOT_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthreads go into each executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The C99 printf family (%zu, %lld) as on Linux, the math constants (M_PI) that glibc gives,
# setenv and unsetenv. GCC 12's libstdc++ raises false -Wrestrict and -Wstringop-overread
# warnings on MinGW's std::string inlines (GCC bug 105329); they are not the code's.
set(KESTRUNE_MINGW_FLAGS "-D__USE_MINGW_ANSI_STDIO=1 -D_USE_MATH_DEFINES \
-include ${CMAKE_CURRENT_LIST_DIR}/mingw-posix-compat.h -Wno-restrict -Wno-stringop-overread")
set(CMAKE_C_FLAGS_INIT "${KESTRUNE_MINGW_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${KESTRUNE_MINGW_FLAGS}")
