# Sourced by the benchmark scripts: a private X server (Xvfb picks a free display number and
# writes it to the pipe) with openbox, in a temporary folder that is also HOME; both are
# stopped, by their process ids, and the folder removed when the script ends. Sets $work.
work=$(mktemp -d)
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$HOME"
xvfb_pid= ; wm_pid=
stop() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap stop EXIT INT TERM

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r dpy <"$work/display"
export DISPLAY=":$dpy"
openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
i=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
  i=$((i + 1)); [ $i -gt 100 ] && { echo "openbox did not start" >&2; exit 1; }
  sleep 0.1
done
