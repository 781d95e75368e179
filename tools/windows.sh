#!/usr/bin/env bash
# Builds Lexivane for Windows on this Debian machine: MinGW-w64 cross compilers, a static Qt,
# SQLite and PCRE2 built once from Debian's own source packages into a cache outside the clone,
# and the programs tested under Wine (tools/wine-run.sh).
#   tools/windows.sh deps      install the Debian packages this needs
#   tools/windows.sh qt        build the MinGW Qt into the cache, unless it is there already
#   tools/windows.sh libs      the same for SQLite and PCRE2 (lexivane-find's expressions)
#   tools/windows.sh build     all of the above, then cross-build the project into build-windows/
#   tools/windows.sh test      build, then every Windows test under Wine: the unit and handler
#                              tests, the window end to end (tests/windows/smoke_test.sh) and
#                              the installer (tests/windows/installer_test.sh), all from CTest
#   tools/windows.sh prefixes  print the cached Qt, SQLite and PCRE2 prefixes (building nothing)
# The Qt build takes about 40 minutes of processor time (20 minutes on two idle cores), once per
# machine; its log is in the cache folder, named at its start. SQLite and PCRE2 take a minute.
# LEXIVANE_WINDOWS_CACHE moves the cache, LEXIVANE_JOBS sets the parallel jobs (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

cache=${LEXIVANE_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lexivane/windows}
jobs=${LEXIVANE_JOBS:-2}
triple=x86_64-w64-mingw32
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

packages=(
  g++-mingw-w64-x86-64-posix # the cross compilers, with std::thread on winpthreads
  binutils-mingw-w64-x86-64  # windres
  qt6-base-dev qt6-base-dev-tools # Qt's host tools (moc, rcc, uic) and their CMake packages
  cmake ninja-build pkg-config perl dpkg-dev ccache
  wine64 xvfb xauth xdotool imagemagick # running and looking at the programs
  openbox xclip x11-utils    # the end-to-end test's window manager, clipboard and xprop
  nsis                       # the installer
  wamerican-huge             # the word list the shipped database is made from
  tcl                        # makes the SQLite amalgamation from Debian's source
)

log() { printf '== %s\n' "$*" >&2; }

install_packages() {
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  log "installing: ${missing[*]}"
  $sudo apt-get -o DPkg::Lock::Timeout=1200 update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=1200 install -y -q \
    --no-install-recommends "${missing[@]}"
}

# apt-get source needs deb-src entries; add them with the same addresses as the binary ones.
enable_sources() {
  if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  local src=/etc/apt/sources.list.d/debian.sources
  [ -f "$src" ] || { echo "no $src to take the source addresses from" >&2; exit 1; }
  log "adding deb-src entries beside $src"
  sed -E 's/^Types:.*/Types: deb-src/' "$src" |
    $sudo tee /etc/apt/sources.list.d/lexivane-deb-src.sources >/dev/null
  $sudo apt-get -o DPkg::Lock::Timeout=1200 update -q >&2
}

# fetch_source PACKAGE VERSION: unpack Debian's source (with its patches) under the cache once.
fetch_source() {
  local pkg=$1 ver=$2 upstream dir
  upstream=${ver#*:}
  upstream=${upstream%-*}
  dir=$cache/src/$pkg-$upstream
  if [ ! -f "$dir/.lexivane-unpacked-$ver" ]; then
    enable_sources
    log "fetching Debian's source of $pkg $ver"
    # Unpacked aside first: a version that cannot be fetched leaves the tree there alone.
    local tmp=$cache/src/.fetch-$pkg
    rm -rf "$tmp"
    mkdir -p "$tmp"
    (cd "$tmp" && apt-get source -q --only-source "$pkg=$ver" >&2) && [ -d "$tmp/${dir##*/}" ] ||
      return 1
    rm -rf "$dir"
    mv "$tmp/${dir##*/}" "$dir"
    rm -rf "$tmp"
    touch "$dir/.lexivane-unpacked-$ver"
  fi
  printf '%s\n' "$dir"
}

hash_of() { sha256sum | cut -c1-12; }

# ---- Qt ---------------------------------------------------------------------------------------
# Built against Debian's host tools, so the source must be the very version they come from.
qt_version=""

# Only what the project uses: Core, Gui, Widgets, Test; the windows platform plugin for the
# program, the offscreen one for the tests. Everything else is off to save build time.
qt_options=(
  -release -static -xplatform win32-g++ -qt-host-path /usr
  -nomake examples -nomake tests -nomake benchmarks
  -no-dbus -no-opengl -no-feature-vulkan -no-icu -no-fontconfig -no-feature-sql
  -no-feature-network -no-feature-concurrent -no-feature-xml -no-feature-printsupport
  -no-feature-jpeg
  -no-feature-tabletevent # Debian's source drops 3rdparty/wintab
  -qt-freetype            # the offscreen platform draws text with FreeType
  -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz -qt-doubleconversion
)
# The toolchain Qt itself is built with; part of the cache key along with the options.
qt_toolchain() {
  cat <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}
qt_key() {
  { printf '%s\n' "${qt_options[@]}"; qt_toolchain; $triple-g++-posix --version | head -1; } |
    hash_of
}
qt_prefix() { printf '%s\n' "$cache/qt-$qt_version-$(qt_key)"; }

# Runs in the background from build_qt; everything goes to the log.
qt_build_job() {
  local src=$1 prefix=$2 bdir=$3
  rm -rf "$bdir" "$prefix"
  mkdir -p "$bdir"
  qt_toolchain >"$bdir/toolchain.cmake"
  cd "$bdir"
  local TIMEFORMAT='wall %R s, user %U s, system %S s' status=0
  {
    time {
      nice -n 10 "$src/configure" -prefix "$prefix" "${qt_options[@]}" -- \
        -G Ninja -DCMAKE_TOOLCHAIN_FILE="$bdir/toolchain.cmake" \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake &&
        nice -n 10 cmake --build . --parallel "$jobs" &&
        cmake --install .
    } 2>&1 || status=$?
  } 2>"$bdir/time.txt"
  [ "$status" -eq 0 ] || return "$status"
  cp "$bdir/time.txt" "$prefix/build-time.txt"
  touch "$prefix/.lexivane-complete"
  # Some 2 GB that a later run does not need.
  cd /
  rm -rf "$bdir"
}

# start_qt: starts the Qt build in the background unless the cache has it; sets qt_pid.
qt_pid=""
start_qt() {
  local prefix
  prefix=$(qt_prefix)
  [ -f "$prefix/.lexivane-complete" ] && return
  local src
  src=$(fetch_source qt6-base "$qt_version")
  local bdir=$cache/build/${prefix##*/} logf=$prefix.log
  log "building Qt into $prefix (about an hour of processor time); log: $logf"
  (
    # A second run waits for the first instead of building the same Qt beside it.
    exec 9>"$prefix.lock"
    flock 9
    [ -f "$prefix/.lexivane-complete" ] && exit 0
    qt_build_job "$src" "$prefix" "$bdir" >"$logf" 2>&1 || {
      echo "Qt build failed; see $logf" >&2
      exit 1
    }
  ) &
  qt_pid=$!
}
wait_qt() {
  [ -z "$qt_pid" ] || wait "$qt_pid"
  local prefix
  prefix=$(qt_prefix)
  [ -f "$prefix/.lexivane-complete" ] || { echo "no Qt in $prefix" >&2; exit 1; }
  log "Qt: $prefix ($(cat "$prefix/build-time.txt" 2>/dev/null))"
}

# ---- libraries from Debian's source ----------------------------------------------------------
# Any source version serves, so the newest one the archive has. A security update's source is
# not always served, so the versions are tried newest first.
fetch_newest() { # PACKAGE: prints "VERSION FOLDER"
  enable_sources
  local v dir
  for v in $(apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -urV); do
    if dir=$(fetch_source "$1" "$v"); then
      printf '%s %s\n' "$v" "$dir"
      return
    fi
    log "the source of $1 $v could not be fetched; trying an older one"
  done
  echo "no source of $1 could be fetched" >&2
  return 1
}

# lib_prefix NAME KEY: the cache folder of a finished build of NAME with the options of KEY.
lib_prefix() {
  local d
  for d in "$cache/$1-"*"-$2"; do
    [ -f "$d/.lexivane-complete" ] && { printf '%s\n' "$d"; return; }
  done
  return 0
}

# build_lib NAME PACKAGE KEY FUNCTION: unless the cache has it, FUNCTION SOURCE BUILD PREFIX
# VERSION builds NAME from Debian's source of PACKAGE into the cache.
build_lib() {
  local name=$1 pkg=$2 key=$3 fn=$4
  [ -z "$(lib_prefix "$name" "$key")" ] || return 0
  local fetched v src
  fetched=$(fetch_newest "$pkg")
  read -r v src <<<"$fetched"
  local prefix=$cache/$name-$v-$key
  local bdir=$cache/build/$name-$v-$key
  log "building $name $v into $prefix"
  rm -rf "$bdir" "$prefix"
  mkdir -p "$bdir" "$prefix"
  local TIMEFORMAT="$name: wall %R s, user %U s, system %S s"
  time "$fn" "$src" "$bdir" "$prefix" "$v"
  touch "$prefix/.lexivane-complete"
}

# SQLite: the amalgamation is one C file, compiled into a static library with a pkg-config
# file, so the project finds it the way it finds the system's on Linux.
sqlite_cflags=(-O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_DQS=0)
sqlite_key() { printf '%s\n' "${sqlite_cflags[@]}" | hash_of; }
sqlite_build() {
  local src=$1 bdir=$2 prefix=$3 v=$4
  mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"
  # Debian's source is the canonical tree, whose configure makes the amalgamation (with tclsh).
  (
    cd "$bdir"
    "$src/configure" --quiet >/dev/null
    nice -n 10 make -s sqlite3.c >/dev/null
    nice -n 10 $triple-gcc-posix "${sqlite_cflags[@]}" -c sqlite3.c -o sqlite3.o
    $triple-ar rcs libsqlite3.a sqlite3.o
  )
  cp "$bdir/sqlite3.h" "$prefix/include/"
  cp "$bdir/libsqlite3.a" "$prefix/lib/"
  cat >"$prefix/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine (static, MinGW)
Version: ${v%%-*}
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
EOF
}

# PCRE2, for lexivane-find, with its own CMake build. Its libpcre2-8.pc does not say that the
# library is static, which a Windows user must know (no dllimport): added.
pcre2_options=(-DBUILD_SHARED_LIBS=OFF -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF
  -DPCRE2_BUILD_PCRE2_32=OFF -DPCRE2_SUPPORT_JIT=ON -DPCRE2_BUILD_PCRE2GREP=OFF
  -DPCRE2_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release)
pcre2_key() { printf '%s\n' "${pcre2_options[@]}" "Cflags -DPCRE2_STATIC" | hash_of; }
pcre2_build() {
  local src=$1 bdir=$2 prefix=$3
  cmake -S "$src" -B "$bdir" -G Ninja "${pcre2_options[@]}" -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER=$triple-gcc-posix -DCMAKE_RC_COMPILER=$triple-windres \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  nice -n 10 cmake --build "$bdir" -j"$jobs" >/dev/null
  cmake --install "$bdir" >/dev/null
  sed -i '/^Cflags:/s/$/ -DPCRE2_STATIC/' "$prefix/lib/pkgconfig/libpcre2-8.pc"
}

build_libs() {
  build_lib sqlite sqlite3 "$(sqlite_key)" sqlite_build
  build_lib pcre2 pcre2 "$(pcre2_key)" pcre2_build
}
lib_prefixes() {
  printf '%s\n' "$(lib_prefix sqlite "$(sqlite_key)")" "$(lib_prefix pcre2 "$(pcre2_key)")"
}

# ---- the project ------------------------------------------------------------------------------
configure_project() { # DIR [cmake options...]
  local dir=$1; shift
  local launcher=()
  command -v ccache >/dev/null &&
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DLEXIVANE_WINDOWS_PREFIXES="$(qt_prefix);$(lib_prefixes | paste -sd';')" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEXIVANE_WERROR=ON "$@"
}

build_project() {
  start_qt
  build_libs
  wait_qt
  configure_project build-windows -DBUILD_TESTING=ON
  nice -n 10 cmake --build build-windows -j"$jobs"
}

# Known once the packages are in: Qt's source must be the version of its host tools.
versions() {
  qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
}

mode=${1:-}
case $mode in
  deps | qt | libs | build | test) install_packages; versions ;;
  prefixes) versions ;;
esac
case $mode in
  deps) ;;
  qt) start_qt; wait_qt ;;
  libs) build_libs ;;
  prefixes) qt_prefix; lib_prefixes ;;
  build) build_project ;;
  test)
    build_project
    nice -n 10 cmake --build build-windows -j"$jobs" --target lexivane_installer
    # A test that is not there (a tool missing at configure time) must not pass unseen.
    for t in windows_smoke windows_installer; do
      # Read whole first: grep -q ending the pipe early would fail it under pipefail.
      grep -q "Test *#" <<<"$(ctest --test-dir build-windows -N -R "^$t\$")" ||
        { echo "no $t test in build-windows" >&2; exit 1; }
    done
    ctest --test-dir build-windows --output-on-failure
    ;;
  *)
    echo "usage: tools/windows.sh deps | qt | libs | build | test | prefixes" >&2
    exit 2
    ;;
esac
