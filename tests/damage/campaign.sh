#!/usr/bin/env bash
# The damaged-database campaign at any size: builds what it needs in BUILD_DIR (default build),
# then makes COUNT damaged variants of seed SEED and runs each through the reader helper and
# through the program's Open on every core, with the program's own limits (20 s). Prints the
# table of outcomes, the slowest variant, the peak memory and every failure; exits non-zero on
# any failure.
#   tests/damage/campaign.sh [COUNT [SEED [BUILD_DIR]]]      e.g. tests/damage/campaign.sh 10000 1
# The test command runs a fixed sample of the same kind (ctest -R damage_sample).
set -euo pipefail
cd "$(dirname "$0")/../.."

count=${1:-10000}
seed=${2:-1}
build=${3:-build}
jobs=$(nproc 2>/dev/null || echo 2)

if [ ! -f "$build/CMakeCache.txt" ]; then
    generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$jobs" --target damage_run lexivane-words lexivane_dbwords >/dev/null
# The helper reading through libmdb, where the build has it, must read each variant alike.
reference=()
[ -x "$build/bin/lexivane-words-libmdb" ] && reference=(--reference "$build/bin/lexivane-words-libmdb")

exec "$build/bin/damage_run" --helper "$build/bin/lexivane-words" --data tests/data \
    --shipped "$build/bin/dbWords.mdb" --seed "$seed" --count "$count" --jobs "$jobs" \
    --timeout 20000 --by-kind "${reference[@]}"
