#!/usr/bin/env bash
# No source outside the window layer includes a Qt Widgets header.
#   no_widgets_outside_window.sh SOURCE_DIR QTWIDGETS_INCLUDE_DIR
set -euo pipefail
src=$1 widgets=$2
[ -f "$widgets/QWidget" ] || { echo "no Qt Widgets headers in $widgets" >&2; exit 2; }
cd "$src"
bad=0
while IFS= read -r file; do
    case "$file" in
    src/shell/window/* | src/shell/main.cpp) continue ;;
    esac
    while IFS= read -r header; do
        name=${header#QtWidgets/}
        if [ "$name" != "$header" ] || [ -f "$widgets/$name" ]; then
            echo "$file includes <$header>, a Qt Widgets header" >&2
            bad=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/\1/p' "$file")
done < <(find src tools -name '*.cpp' -o -name '*.h' | sort)
exit "$bad"
