# Cross compiling for 64-bit Windows with Debian's MinGW-w64 (POSIX threads,
# which std::thread and Qt's own threads need). Used both to build Qt for
# Windows (tools/windows/qt.sh) and to build this project against that Qt
# (tools/windows/build.sh). The project build passes VORN_WIN_QT, the prefix
# of that Qt; the Qt build itself does not.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(VORN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VORN_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${VORN_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VORN_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries and headers come from the MinGW sysroot and the Windows Qt only,
# never from the Linux system; programs (moc, rcc, uic) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VORN_MINGW_TRIPLE})
if(VORN_WIN_QT)
    list(APPEND CMAKE_FIND_ROOT_PATH ${VORN_WIN_QT})
    list(APPEND CMAKE_PREFIX_PATH ${VORN_WIN_QT})
    # Qt's build tools run on this machine: Debian's own Qt of the same version.
    set(QT_HOST_PATH /usr CACHE PATH "")
    # Debian keeps that Qt's CMake files below the multiarch folder.
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the project's Windows programs through Wine.
if(VORN_WIN_QT)
    find_program(VORN_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
    if(VORN_WINE)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${VORN_WINE})
    endif()
endif()
