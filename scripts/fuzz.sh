#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for the given number of seconds (default 60) from its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz -DCORVANE_WERROR=ON >/dev/null
cmake --build --preset fuzz
shopt -s nullglob
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds=fuzz/corpus/$name
  echo "fuzzing $name for ${seconds}s"
  dirs=("$work")
  [ -d "$seeds" ] && dirs+=("$seeds")
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work.artifact-" "${dirs[@]}" >"$work.log" 2>&1 ||
    { tail -n 60 "$work.log"; ls "$work".artifact-* 2>/dev/null; exit 1; }
  tail -n 12 "$work.log"
  rm -f "$work.log"
  rm -rf "$work"
done
