#!/usr/bin/env bash
# The format check over the whole tree and clang-tidy over the core (what .clang-tidy says).
#   tools/lint.sh format            the format check alone (seconds)
#   tools/lint.sh tidy BUILD_DIR    clang-tidy alone; BUILD_DIR holds compile_commands.json
#   tools/lint.sh BUILD_DIR         both
set -euo pipefail
cd "$(dirname "$0")/.."

format() {
    echo "Format check"
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
}

tidy() {
    local build=$1
    # The core: everything under src/ but the window and the Qt desktop layer, and the Windows
    # sides of the seams (*_win.cpp), which a Linux build does not compile.
    local core=()
    # Biggest first, so that no long one starts last while the other processors sit idle.
    while IFS= read -r f; do core+=("$f"); done < <(git ls-files 'src/*.cpp' |
        grep -v -e '^src/shell/window/' -e '^src/shell/main\.cpp$' -e '_win\.cpp$' |
        xargs wc -c | grep -v ' total$' | sort -rn | awk '{print $2}')
    echo "clang-tidy over ${#core[@]} files of the core"
    printf '%s\0' "${core[@]}" |
        xargs -0 -P "$(nproc)" -n 1 clang-tidy -p "$build" --quiet 2> >(grep -v 'warnings generated' >&2)
}

case "${1:?usage: tools/lint.sh format | tidy BUILD_DIR | BUILD_DIR}" in
    format) format ;;
    tidy) tidy "${2:?usage: tools/lint.sh tidy BUILD_DIR}" ;;
    *) format && tidy "$1" ;;
esac
