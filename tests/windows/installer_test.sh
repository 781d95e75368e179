#!/usr/bin/env bash
# The Windows installer under Wine, in a Wine prefix of its own: a silent install puts the
# program folder under Program Files, a Start menu link and an uninstall entry; the installed
# program shows its window; a silent uninstall takes all of it away again.
#   installer_test.sh INSTALLER.exe PROGRAM_DIR [SCREENSHOT.png]
set -euo pipefail
installer=$(realpath "$1")
program_dir=$(realpath "$2")
shot=${3:-}
[ -z "$shot" ] || mkdir -p "$(dirname "$shot")"
files=(lexivane.exe lexivane-words.exe dbWords.mdb HAND-M.CUR)

fail() { echo "installer test: $*" >&2; exit 1; }
# shellcheck source=own_prefix.sh
. "$(dirname "$0")/own_prefix.sh"

drive=$WINEPREFIX/drive_c
folder=$drive/Program\ Files/Lexivane
link=$drive/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Lexivane.lnk
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lexivane'

# Every file of the C: drive but the temporary ones, which come and go by themselves.
drive_files() { (cd "$drive" && find . | grep -viE '/(temp|temporary internet files)(/|$)' | sort); }

"$run" cmd /c exit 0 # makes the prefix
drive_files >"$tmp/before"

"$run" "$installer" /S || fail "the silent install failed"
for f in "${files[@]}"; do
  cmp -s "$program_dir/$f" "$folder/$f" || fail "$f not installed as built"
done
[ -f "$folder/uninstall.exe" ] || fail "no uninstaller"
[ -f "$link" ] || fail "no Start menu link"
tr -d '\0' <"$link" | grep -qiF 'Program Files\Lexivane\lexivane.exe' ||
  fail "the Start menu link does not start the installed program"
"$run" reg query "$key" /v QuietUninstallString | tr -d '\r' | grep -qiF 'uninstall.exe" /S' ||
  fail "no uninstall entry in the registry"

export DISPLAY
DISPLAY=$(cat "$LEXIVANE_WINE_DIR/display")
"$run" 'C:\Program Files\Lexivane\lexivane.exe' >"$tmp/program.log" 2>&1 &
program=$!
window() { xdotool search --onlyvisible --name '^Lexivane$' >/dev/null 2>&1; }
wait_until 60 "the installed program's window" window
[ -z "$shot" ] || import -window root "$shot"
# taskkill without /F asks the window to close, as a user would.
"$run" taskkill /IM lexivane.exe >/dev/null 2>&1 || true
ended() { [ ! -d "/proc/$program" ] || grep -q '^[0-9]* (.*) Z' "/proc/$program/stat"; }
wait_until 30 "the program to end" ended
wait "$program" || fail "the program ended with status $? ($(tr -d '\r' <"$tmp/program.log"))"

# The uninstaller runs from a copy of itself in the temporary folder and returns at once;
# its last step is the uninstall entry.
"$run" 'C:\Program Files\Lexivane\uninstall.exe' /S || fail "the silent uninstall failed"
unregistered() { ! "$run" reg query "$key" >/dev/null 2>&1; }
wait_until 60 "the uninstall entry to go" unregistered
[ ! -e "$folder" ] || fail "the program folder is left: $(ls -A "$folder")"
[ ! -e "$link" ] || fail "the Start menu link is left"
drive_files >"$tmp/after"
diff "$tmp/before" "$tmp/after" >&2 || fail "the uninstall left files behind (above)"
echo "installer test: installed, started, uninstalled, nothing left"
