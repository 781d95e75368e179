#!/bin/sh
# The reader confined beside unconfined, in the same run: on the shipped list and on a made
# list of a million words, through the program's reader (bench_confine) and as a command run
# by hand (hyperfine, lexivane-words told the kernel lacks every mechanism).
#   bench/db/confine.sh [BUILD_DIR]      (default: build beside bench/)   RUNS=N
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-$here/../../build}/bin" && pwd)
runs=${RUNS:-11}
for f in lexivane-words lexivane-mkdb bench_confine dbWords.mdb; do
  [ -e "$bin/$f" ] || { echo "missing $bin/$f (ninja bench_confine lexivane-mkdb lexivane_dbwords)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# A million distinct words: the shipped list's source, each word also with two endings.
awk '{ print; print $0 "x"; print $0 "qz" }' /usr/share/dict/american-english-huge |
  LC_ALL=C sort -u | head -n 1000000 >"$work/million.txt"
"$bin/lexivane-mkdb" "$work/million.txt" "$work/million.mdb"

echo "== $(date -u '+%F %T') UTC, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
"$bin/bench_confine" "$bin/lexivane-words" "$runs" "$bin/dbWords.mdb" "$work/million.mdb"
if command -v hyperfine >/dev/null; then
  for db in "$bin/dbWords.mdb" "$work/million.mdb"; do
    hyperfine -N -w 2 -r "$runs" \
      -n confined "$bin/lexivane-words --raw $db" \
      -n unconfined "env LEXIVANE_CONFINE_WITHOUT=no_new_privs,landlock,seccomp $bin/lexivane-words --raw $db"
  done
fi
