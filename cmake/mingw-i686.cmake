# Cross-compiles for 32-bit Windows with Debian's mingw-w64 (i686, posix threads) and runs the
# resulting programs under Wine, so that CTest and test discovery work as in a native build.
#
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
#
# Libraries that Debian ships no mingw build of are looked up in CORVANE_WIN32_DEPS (default:
# build/win32-deps/prefix, where scripts/win32-deps.sh installs them). Programs run in the Wine
# prefix CORVANE_WINEPREFIX (default: <build>/wineprefix), which scripts/wine-prefix.sh creates;
# it must exist before the build because test discovery runs the test programs.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CORVANE_MINGW_TRIPLE i686-w64-mingw32)
# The posix flavour gives std::thread and std::mutex; the win32 flavour has neither in GCC 12.
set(CMAKE_C_COMPILER ${CORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${CORVANE_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${CORVANE_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

get_filename_component(_corvane_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
if(NOT CORVANE_WIN32_DEPS)
  set(CORVANE_WIN32_DEPS "${_corvane_root}/build/win32-deps/prefix")
endif()
set(CORVANE_WIN32_DEPS "${CORVANE_WIN32_DEPS}" CACHE PATH "Prefix of the cross-built dependencies")
# try_compile projects read this file again; without the prefix they would fall back to the
# default one and set pkg-config's path there for the rest of the configure.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVANE_WIN32_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_TRIPLE} "${CORVANE_WIN32_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config must see the Windows .pc files only, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${CORVANE_WIN32_DEPS}/lib/pkgconfig:/usr/${CORVANE_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The GCC runtime, libstdc++ and winpthread are linked in, so that every program and DLL imports
# system DLLs only and runs wherever Windows (or Wine) does without shipping mingw's DLLs.
foreach(_kind EXE SHARED MODULE)
  set(CMAKE_${_kind}_LINKER_FLAGS_INIT "-static")
endforeach()

if(NOT CORVANE_WINEPREFIX)
  set(CORVANE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
endif()
set(CORVANE_WINEPREFIX "${CORVANE_WINEPREFIX}" CACHE PATH "Wine prefix that runs the test programs")
# Wine with the project's fixed environment (32-bit prefix, no display, no debug channels).
set(CMAKE_CROSSCOMPILING_EMULATOR bash "${_corvane_root}/scripts/wine-run.sh" "${CORVANE_WINEPREFIX}")
