#!/usr/bin/env bash
# Fails on any identifier that breaks the naming convention of the README's development notes:
# runs clang-tidy with only readability-identifier-naming (configured in the root .clang-tidy)
# over every C++ source of the repository, two at a time.
#   scripts/check-naming.sh [BUILD_DIR]     (default build/debug)
# BUILD_DIR is a configured and built tree (its compile_commands.json and Qt's generated files
# are needed). Sources that build does not compile (benchmarks, fuzz targets) borrow the
# flags of their nearest neighbour in compile_commands.json, as clang-tidy does by itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
build=${1:-build/debug}
cd "$root"
build=$(cd "$build" && pwd -P)
[ -f "$build/compile_commands.json" ] ||
  { echo "check-naming: no $build/compile_commands.json (configure a preset first)" >&2; exit 2; }
command -v clang-tidy >/dev/null ||
  { echo "check-naming: clang-tidy is missing (scripts/install-deps.sh)" >&2; exit 2; }

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files -- '*.cpp' '*.cc')
else
  mapfile -t sources < <(find . -path ./build -prune -o -path ./.git -prune -o \
    \( -name '*.cpp' -o -name '*.cc' \) -print | sed 's|^\./||' | sort)
fi
# The repository's own headers, not those of the build folder (moc output) or the system.
layers='bench|dialogs|fuzz|launcher|platform|service|shell|tests|tools|update'
header_filter="^$(printf '%s' "$root" | sed 's/[.[\*^$()+?{|]/\\&/g')/($layers)/"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$SECONDS
set +e
printf '%s\n' "${sources[@]}" |
  xargs -P 2 -n 4 clang-tidy -p "$build" --quiet --header-filter="$header_filter" \
    --extra-arg=-Wno-unknown-warning-option >"$log" 2>&1
status=$?
set -e

# A header included by several sources is reported once per source: count it once.
findings=$(grep -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error): ' "$log" | sort -u || true)
count=$(printf '%s' "$findings" | grep -c . || true)
if [ "$count" != 0 ] || [ "$status" != 0 ]; then
  if [ "$count" != 0 ]; then
    printf '%s\n' "$findings" | sed "s|^$root/||"
  else
    cat "$log"
  fi
  echo "check-naming: $count finding(s) in ${#sources[@]} sources ($((SECONDS - start)) s)" >&2
  exit 1
fi
echo "check-naming: every identifier follows the convention (${#sources[@]} sources, $((SECONDS - start)) s)"
