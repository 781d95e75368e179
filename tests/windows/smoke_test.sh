#!/usr/bin/env bash
# The Windows program end to end under Wine, in a Wine prefix of its own, on a private X
# display with openbox, through mouse and keys only:
#   smoke_test.sh PROGRAM_DIR SHOT_DIR FIND...
# PROGRAM_DIR holds lexivane.exe, lexivane-words.exe, dbWords.mdb and HAND-M.CUR; it is copied
# to C:\Lexivane. FIND is a lexivane-find command (a Windows one through tools/wine-run.sh or
# the Linux one) whose counts and word order the window must agree with. Screenshots of the
# window go to SHOT_DIR.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: smoke_test.sh PROGRAM_DIR SHOT_DIR FIND..." >&2; exit 2; }
program_dir=$(realpath "$1")
mkdir -p "$2"
shots=$(realpath "$2")
shift 2
find_cmd=("$@")
step=""
fail() {
  echo "smoke test ($step): $*" >&2
  if [ -n "${DISPLAY:-}" ] && import -window root "$shots/failure.png" 2>/dev/null; then
    echo "smoke test: the screen at the failure: $shots/failure.png" >&2
  fi
  exit 1
}
# shellcheck source=own_prefix.sh
. "$(dirname "$0")/own_prefix.sh"
unset QT_QPA_PLATFORM
openbox_pid=""
marker_pid=""
cleanup() {
  [ -z "$marker_pid" ] || kill "$marker_pid" 2>/dev/null || true
  [ -z "$openbox_pid" ] || kill "$openbox_pid" 2>/dev/null || true
  own_prefix_cleanup
}
trap cleanup EXIT

# ---- what the database holds, not read through the window ----------------------------------
step="expectations"
"${find_cmd[@]}" --no-cache --db "$program_dir/dbWords.mdb" | tr -d '\r' >"$tmp/all-words" ||
  fail "lexivane-find cannot read the database"
grep -xE '.{3}' "$tmp/all-words" >"$tmp/three" || fail "no three-letter words in the database"
total=$(wc -l <"$tmp/all-words")
threes=$(wc -l <"$tmp/three")
echo "smoke test: the database holds $total words, $threes of three letters"

# ---- the desktop and the program folder ------------------------------------------------------
"$run" cmd /c exit 0 # makes the prefix and the display
export DISPLAY
DISPLAY=$(cat "$LEXIVANE_WINE_DIR/display")
openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
openbox_pid=$!
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_until 20 openbox wm_running

folder=$WINEPREFIX/drive_c/Lexivane
mkdir -p "$folder"
for f in lexivane.exe lexivane-words.exe dbWords.mdb HAND-M.CUR; do
  cp "$program_dir/$f" "$folder/" || fail "no $f in $program_dir"
done

key='HKCU\Software\VB and VBA Program Settings\Tallowick\Lexivane'
setting() { "$run" reg query "$key" /v Combo1 2>/dev/null | tr -d '\r' | awk '$1 == "Combo1" { print $3 }'; }
setting_is() { [ "$(setting)" = "$1" ]; }

# ---- the window --------------------------------------------------------------------------------
visible() { xdotool search --onlyvisible --name '^Lexivane$' 2>/dev/null || true; }
start_program() {
  "$run" 'C:\Lexivane\lexivane.exe' >>"$tmp/program.log" 2>&1 &
  app=$!
}
ended() { ! kill -0 "$app" 2>/dev/null; }
box_gone() { ! visible | grep -qx "$box"; }
main_window() {
  win=$(visible | head -n1)
  [ -n "$win" ] || { kill -0 "$app" 2>/dev/null || fail "the program ended without a window"; return 1; }
}
# The list header's first line, where "Result(s)" or "Result(s) - Total Words: N" stands.
header() { import -window "$win" -crop 400x16+10+137 +repage rgb:- 2>/dev/null | md5sum; }
header_painted() { # a header of more than the background's colours
  local colours
  colours=$(import -window "$win" -crop 400x16+10+137 +repage -format %k info: 2>/dev/null) &&
    [ "${colours:-1}" -gt 2 ]
}
open_window() {
  start_program
  wait_until 60 "the window" main_window
  wait_until 20 "the list header to be painted" header_painted
  empty_header=$(header)
}
header_is_not() { [ "$(header)" != "$1" ]; }
header_is() { [ "$(header)" = "$1" ]; }

declare -A control=(
  [Combo1]="268 39" [PushButton1]="268 69" [PushButton3]="268 114"
  [PushButton4]="136 379" [PushButton2]="136 413" [PushButton5]="400 379"
)
click() {
  xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
  # shellcheck disable=SC2086 # "X Y"
  xdotool mousemove --window "$win" ${control[$1]} click 1
}
load() { # BUTTON: clears the header, loads, and waits for the count in the header
  click PushButton2
  wait_until 20 "the cleared header" header_is "$empty_header"
  click "$1"
  wait_until 120 "the load to finish" header_is_not "$empty_header"
}

box=""
message_box() {
  local id
  for id in $(visible); do [ "$id" = "${win:-}" ] || box=$id; done
  [ -n "$box" ]
}
# Before each copy the X clipboard gets a text of its own, so a copy that never comes is not
# mistaken for the words an earlier run put there.
mark_clipboard() {
  [ -z "$marker_pid" ] || kill "$marker_pid" 2>/dev/null || true
  printf 'nothing copied' | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
  marker_pid=$!
  sleep 0.3
}
clipboard() { timeout 10 xclip -o -selection clipboard -t UTF8_STRING 2>/dev/null | tr -d '\r'; }
copied() { [ "$(clipboard | head -c 14)" != "nothing copied" ]; }
# box_text: the message box's text. Its label takes the keyboard focus, so Ctrl+C copies what
# is selected there: all of it after Ctrl+A.
box_text() {
  mark_clipboard
  xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
  xdotool key ctrl+a ctrl+c
  wait_until 10 "the report on the clipboard" copied
  clipboard
}
dismiss_box() {
  xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
  xdotool key Return
  wait_until 20 "the message box to close" box_gone
  box=""
}
copy_results() { # FILE
  mark_clipboard
  click PushButton5
  wait_until 20 "the Copy box" message_box
  wait_until 10 "the words on the clipboard" copied
  clipboard >"$1"
  dismiss_box
}
close_program() {
  xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
  xdotool key alt+F4
  wait_until 30 "the program to end" ended
  wait "$app" || fail "the program ended with status $? ($(tr -d '\r' <"$tmp/program.log"))"
}
expect_same() { # WHAT EXPECTED ACTUAL
  cmp -s "$2" "$3" && return
  diff "$2" "$3" | head -n 10 >&2 || true
  fail "$1 differ (expected < > actual)"
}

step="first run"
[ -z "$(setting)" ] || fail "Combo1 is set before the first run"
open_window
wait_until 20 "Combo1=0 in the registry" setting_is 0
click Combo1
sleep 1
xdotool key Home Down Down Return
wait_until 20 "Combo1=2 (3-letters) in the registry" setting_is 2

step="3-letters"
load PushButton1
import -window "$win" "$shots/three-letters.png"
import -window root "$shots/screen.png"
copy_results "$tmp/clip"
expect_same "the three-letter words in the window and in the database" "$tmp/three" "$tmp/clip"

step="entire list and save"
load PushButton3
import -window "$win" "$shots/entire-list.png"
click PushButton4
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Save$' | head -n1) ||
  fail "no Save dialog"
xdotool windowactivate --sync "$dialog" >/dev/null 2>&1 || true
xdotool key ctrl+a
xdotool type --delay 5 'C:\Lexivane\all.txt'
xdotool key Return
saved=$folder/all.txt
written() { [ -f "$saved" ] && [ "$(wc -l <"$saved")" -ge "$total" ]; }
wait_until 300 "all.txt to be written" written
sleep 1
[ "$(wc -l <"$saved")" -eq "$total" ] || fail "all.txt has $(wc -l <"$saved") lines, not $total"
if grep -qv $'\r$' "$saved"; then fail "all.txt has a line not ending in CR LF"; fi
head -n 20 "$saved" | tr -d "\r" >"$tmp/saved-head"
head -n 20 "$tmp/all-words" >"$tmp/want-head"
expect_same "the first words of the saved list and of the database" "$tmp/want-head" "$tmp/saved-head"

step="clear"
click PushButton2
wait_until 20 "the cleared header" header_is "$empty_header"
close_program

step="restart"
open_window
setting_is 2 || fail "Combo1 is $(setting) after a restart, not 2"
load PushButton1
copy_results "$tmp/clip2"
expect_same "the three-letter words after a restart" "$tmp/three" "$tmp/clip2"
close_program

step="missing database"
rm "$folder/dbWords.mdb"
win=""
start_program
wait_until 60 "the report" message_box
import -window root "$shots/missing-database.png"
box_text >"$tmp/report"
grep -qxF 'C:\Lexivane\dbWords.mdb not found.' "$tmp/report" ||
  fail "the report reads: $(cat "$tmp/report")"
[ "$(xdotool getwindowname "$box")" = Lexivane ] || fail "the report is not titled Lexivane"
[ "$(visible | wc -l)" -eq 1 ] || fail "a window besides the report"
dismiss_box
wait_until 30 "the program to end after the report" ended
wait "$app" || fail "the program ended with status $? after the report"
setting_is 2 || fail "Combo1 changed without a database"

echo "smoke test: $threes three-letter words, $total in all saved with CR LF, the choice kept in the registry, the missing database reported; screenshots in $shots"
