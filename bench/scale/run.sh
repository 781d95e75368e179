#!/bin/sh
# The program at scale: for the shipped list and for made lists of each size in SIZES, start
# to window (beside an empty Qt window), the first and a later Display Entire List (beside the
# sqlite3 shell's sorted select), "5-letters" (beside grep -xE '.{5}') and the peak memory,
# all in this run; then a plot of time against size.
#   bench/scale/run.sh [BUILD_DIR]          (default: build-bench beside bench/)
#   SIZES="250000 1000000 3000000" RUNS_STARTUP=5 RUNS_LOADS=5 PLOT=FILE.png bench/scale/run.sh
# Starts its own Xvfb and openbox and stops them (by their process ids) at the end.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-bench}
bin=$(cd "$build/bin" && pwd)
sizes=${SIZES:-250000 1000000 3000000}
runs_startup=${RUNS_STARTUP:-5}
runs_loads=${RUNS_LOADS:-5}
plot=${PLOT:-$here/scale.png}

for f in lexivane lexivane-words lexivane-mkdb dbWords.mdb HAND-M.CUR bench_empty_window \
         bench_startup bench_scale; do
  [ -e "$bin/$f" ] || { echo "missing $bin/$f (ninja -C $build bench_scale)" >&2; exit 1; }
done

. "$here/../common/x_desktop.sh"

echo "== $(date -u '+%F %T') UTC, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
csv=$work/figures.csv
echo "list,words,start_ms,empty_window_ms,form_load_ms,first_entire_ms,later_entire_ms,sqlite3_ms,five_ms,grep_ms,peak_mb" >"$csv"

measure() { # LABEL DIR
  echo "== $1"
  QT_QPA_PLATFORM=xcb "$bin/bench_startup" "$runs_startup" "$2/lexivane" Lexivane \
    "$bin/bench_empty_window" Empty >"$work/startup.txt"
  grep -E "title shown|CPU time" "$work/startup.txt"
  # "viewable, title shown:  lexivane  582.0 ms  empty QWidget  300.0 ms ..."
  set -- "$1" "$2" $(grep "title shown" "$work/startup.txt" | grep -oE '[0-9]+\.[0-9] ms' |
    head -2 | cut -d' ' -f1)
  QT_QPA_PLATFORM=offscreen "$bin/bench_scale" loads "$2" "$runs_loads" >"$work/loads.txt" \
    2>"$work/loads.err" || { cat "$work/loads.err" >&2; exit 1; }
  grep -v '^RESULT' "$work/loads.txt"
  # RESULT words form_load first later sqlite3 five grep peak five_count
  r=$(grep '^RESULT' "$work/loads.txt")
  echo "$r" | awk -v l="$1" -v s="$3" -v e="$4" \
    '{ printf "%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s\n", l, $2, s, e, $3, $4, $5, $6, $7, $8, $9 }' \
    >>"$csv"
}

measure shipped "$bin"
for n in $sizes; do
  dir=$work/list-$n
  mkdir -p "$dir"
  "$bin/bench_scale" words "$n" "$work/list-$n.txt"
  "$bin/lexivane-mkdb" "$work/list-$n.txt" "$dir/dbWords.mdb"
  rm -f "$work/list-$n.txt"
  cp "$bin/lexivane" "$bin/lexivane-words" "$bin/HAND-M.CUR" "$dir/"
  measure "$n words ($(du -m "$dir/dbWords.mdb" | cut -f1) MB file)" "$dir"
  rm -rf "$dir"
done

echo "== figures (ms, MB)"
cat "$csv"
# Time per word against the 1 M list, where both were measured.
awk -F, 'NR > 1 && $1 != "shipped" { w[NR] = $2; f[NR] = $6; l[NR] = $7; if ($2 == 1000000) ref = NR }
  END { if (ref) for (i in w) if (i != ref)
    printf "per word against 1 M: %d words first entire %.2f, later entire %.2f\n", w[i],
      (f[i] / w[i]) / (f[ref] / w[ref]), (l[i] / w[i]) / (l[ref] / w[ref]) }' "$csv"
"$bin/bench_scale" plot "$csv" "$plot" && echo "plot: $plot"
