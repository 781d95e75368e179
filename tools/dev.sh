#!/usr/bin/env bash
# Sets up what the project needs on a Debian machine, builds it, then either starts the
# program from its program folder (run) or runs the tests (test).
#   tools/dev.sh run           build and start Lexivane on the shipped word database
#   tools/dev.sh test          the format check and clang-tidy; the shipped build with warnings
#                              as errors, its package test and an end-to-end smoke run; every
#                              test in one clang build under AddressSanitizer and
#                              UndefinedBehaviorSanitizer; a short run of every fuzzer
#   tools/dev.sh test --full   all of that, then every test again in the shipped build, the
#                              benchmarks built, ten minutes of each fuzzer and the campaign of
#                              10,000 damaged databases
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
full=0
case "$mode ${2:-}" in
  "run "|"test ") ;;
  "test --full") full=1 ;;
  *) echo "usage: tools/dev.sh run | test [--full]" >&2; exit 2 ;;
esac

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libxcb1-dev
  libsqlite3-dev sqlite3
  libpcre2-dev               # lexivane-find's regular expressions
  mdbtools-dev               # libmdb: the reference the tests hold the Access reader to
  libseccomp-dev             # the reader helper's confinement
  wamerican-huge
  fonts-liberation
  qt6-wayland                # the program on a Wayland desktop
)
if [ "$mode" = test ]; then
  packages+=(
    clang libclang-rt-dev      # libFuzzer and the sanitizer runtime
    nodejs npm                 # the second, independent Access reader in the tests
    xvfb xauth openbox xdotool xclip x11-utils x11-xserver-utils imagemagick   # e2e under X
    weston wl-clipboard        # e2e under Wayland
    at-spi2-core dbus-daemon python3-gi gir1.2-atspi-2.0   # e2e through the accessibility bus
    orca                       # e2e heard through the screen reader
    libxcb-xfixes0-dev         # e2e: the pointer picture
    dpkg-dev file              # the Debian package, and its checks:
    lintian appstream desktop-file-utils man-db
    clang-format clang-tidy    # the format check and the core's static checks
    ccache                     # the check build's compiler launcher (CMakePresets.json)
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# A Node.js that did not come from Debian serves as well.
if command -v node >/dev/null && command -v npm >/dev/null; then
  filtered=()
  for p in "${missing[@]}"; do [ "$p" = nodejs ] || [ "$p" = npm ] || filtered+=("$p"); done
  missing=("${filtered[@]+"${filtered[@]}"}")
fi
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q \
    --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
launcher=()
command -v ccache >/dev/null &&
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

configure() { # configure DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
}
build() { # build DIR [cmake options...]
  local dir=$1; shift
  configure "$dir" "$@"
  cmake --build "$dir" -j "$jobs"
}
stage_start=$SECONDS
stage() { # the time each stage took, so a slow one shows
  echo "== $1 (the last stage took $((SECONDS - stage_start)) s)"
  stage_start=$SECONDS
}

if [ "$mode" = run ]; then
  build build -DBUILD_TESTING=OFF
  exec build/bin/lexivane
fi

if [ ! -d tests/js/node_modules/mdb-reader ]; then
  npm ci --prefix tests/js --no-audit --no-fund
fi

# A format slip fails in seconds; clang-tidy reads the compile database of the build that
# ships (plain, one file a command), configured first for it.
stage "format check and clang-tidy"
bash tools/lint.sh format
configure build -DBUILD_TESTING=ON -DLEXIVANE_WERROR=ON -DLEXIVANE_TEST_SET=release >/dev/null
bash tools/lint.sh tidy build

# The build that ships, with warnings as errors: its package and a timing-free end-to-end
# run. Its other tests are the sanitizer build's, below.
stage "shipped build"
cmake --build build -j "$jobs"
stage "package test and end-to-end smoke"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 900

# Every test, under AddressSanitizer and UndefinedBehaviorSanitizer, in one clang build that
# also makes the fuzzers: the "check" preset of CMakePresets.json (a unity build, ccache).
stage "sanitizer and fuzzer build"
cmake --preset check >/dev/null
# Its test programs start from a precompiled header, which ccache takes only when told so.
CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime \
  cmake --build --preset check -j "$jobs"
stage "every test and the fuzzers under the sanitizers"
# One more at a time than there are cores: the end-to-end tests mostly wait on the program.
# Any crash a fuzzer finds stays as a file in build-check to replay.
ctest --preset check -j "$((jobs + 1))"

if [ "$full" -eq 1 ]; then
  stage "every test in the shipped build, with the benchmarks"
  build build -DLEXIVANE_TEST_SET=all
  ctest --test-dir build --output-on-failure -j "$jobs" --timeout 900
  stage "ten minutes of each fuzzer"
  LEXIVANE_FUZZ_SECONDS=600 ctest --preset check -j "$jobs" -L '^fuzz$'
  stage "10,000 damaged databases"
  tests/damage/campaign.sh 10000 1
fi
stage "done"
