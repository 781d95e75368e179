# Sourced by the Windows end-to-end scripts: a Wine prefix and display of the script's own
# (tools/wine-run.sh makes them at the first program), taken away again at the end, and
# wait_until. The script defines fail before sourcing this.
run=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tools" && pwd)/wine-run.sh
tmp=$(mktemp -d)
export LEXIVANE_WINE_DIR=$tmp/wine
export WINEPREFIX=$tmp/wine/prefix
# Run at the end: the script's own clean-up first, when it has one.
own_prefix_cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  local f
  for f in watcher xvfb; do
    [ -f "$tmp/wine/$f.pid" ] && kill "$(cat "$tmp/wine/$f.pid")" 2>/dev/null
  done
  rm -rf "$tmp"
}
trap own_prefix_cleanup EXIT

# The program now and then opens its home page: Wine hands it to the host's xdg-open, which
# here only notes it, as a user's browser would open it without a word.
mkdir -p "$tmp/bin"
printf '#!/bin/sh\necho "$@" >>"%s"\n' "$tmp/opened-urls" >"$tmp/bin/xdg-open"
chmod +x "$tmp/bin/xdg-open"
export PATH=$tmp/bin:$PATH

wait_until() { # SECONDS WHAT COMMAND...: polls COMMAND until it succeeds
  local end=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || fail "timed out waiting for $what"
    sleep 0.2
  done
}
