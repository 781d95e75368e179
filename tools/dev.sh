#!/usr/bin/env bash
# Sets up what the project needs on a Debian machine, builds it, then either starts the
# program from its program folder (run) or runs every test (test).
#   tools/dev.sh run     build and start Lexivane on the shipped word database
#   tools/dev.sh test    build and run the tests, then the sanitizer build and the fuzzers
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
case "$mode" in
  run|test) ;;
  *) echo "usage: tools/dev.sh run|test" >&2; exit 2 ;;
esac

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libxcb1-dev
  libsqlite3-dev sqlite3
  libpcre2-dev               # lexivane-find's regular expressions
  mdbtools-dev
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
    libxcb-xfixes0-dev         # e2e: the pointer picture
    dpkg-dev file              # the Debian package, and its checks:
    lintian appstream desktop-file-utils man-db
    clang-format clang-tidy    # the format check and the core's static checks
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

build() { # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j "$jobs"
}

if [ "$mode" = run ]; then
  build build -DBUILD_TESTING=OFF
  exec build/bin/lexivane
fi

if [ ! -d tests/js/node_modules/mdb-reader ]; then
  npm ci --prefix tests/js --no-audit --no-fund
fi

build build -DBUILD_TESTING=ON -DLEXIVANE_WERROR=ON
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 900

# Formatting of the whole tree and the core's static checks.
bash tools/lint.sh build

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
build build-asan -DBUILD_TESTING=ON -DLEXIVANE_WERROR=ON -DLEXIVANE_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 1800

# Short runs of the fuzzers; any crash they find stays as a file to replay.
CC=clang CXX=clang++ cmake -S . -B build-fuzz "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBUILD_TESTING=ON -DLEXIVANE_WERROR=ON -DLEXIVANE_FUZZ=ON
cmake --build build-fuzz -j "$jobs" --target fuzz_all
ctest --test-dir build-fuzz --output-on-failure -L '^fuzz$'
