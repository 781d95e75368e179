# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which has
# std::thread and std::mutex). tools/windows.sh passes the prefixes of the Qt, SQLite and PCRE2
# it built from Debian's sources:
#   -DLEXIVANE_WINDOWS_PREFIXES="QT;SQLITE;PCRE2"
# Test programs run under Wine through tools/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

# The toolchain file is read again for every try_compile, where only listed variables survive.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LEXIVANE_WINDOWS_PREFIXES)

# Headers, libraries and their pkg-config files come from the MinGW sysroot and the prefixes,
# never from the host; programs (moc, rcc, uic, windres) from the host. Qt adds its host tools'
# prefix itself.
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(_pkg_config_dirs /usr/${_triple}/lib/pkgconfig)
foreach(_prefix IN LISTS LEXIVANE_WINDOWS_PREFIXES)
  list(APPEND CMAKE_FIND_ROOT_PATH "${_prefix}")
  list(APPEND _pkg_config_dirs "${_prefix}/lib/pkgconfig")
endforeach()
string(REPLACE ";" ":" _pkg_config_dirs "${_pkg_config_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${_pkg_config_dirs}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The cross Qt runs Debian's moc, rcc and uic, which must be of its own version.
set(QT_HOST_PATH /usr CACHE PATH "Prefix of the host Qt tools")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "CMake packages of the host Qt tools")

# One file per program: the C and C++ runtimes and winpthreads linked in, no DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

get_filename_component(_lexivane_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_lexivane_root}/tools/wine-run.sh")
