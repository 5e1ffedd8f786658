#!/usr/bin/env bash
# Fails on any identifier that breaks the naming convention of the README's development notes:
# runs clang-tidy with only readability-identifier-naming (configured in the root .clang-tidy)
# over every C++ source of the repository, two at a time. clang-tidy leaves out a class whose
# first declaration is not its definition (a nested class defined out of line), so the name of
# every type our sources define is also held to the type rule of .clang-tidy here. Before that,
# it checks itself on a few names it must refuse and a few it must let through.
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

# The type rule: the pattern of type names .clang-tidy lets through.
type_rule=$(sed -n "s/.*readability-identifier-naming\.ClassIgnoredRegexp, value: '\(.*\)' }.*/\1/p" \
  .clang-tidy)
[ -n "$type_rule" ] || { echo "check-naming: no ClassIgnoredRegexp in .clang-tidy" >&2; exit 2; }

# Prints "file:line:column: error: invalid case style for type 'Name'" for every class, struct,
# union or enum defined in the files given (a line that starts with the keyword and ends the
# name with "{", ":", "final" or the line's end) whose name breaks the type rule.
check_type_definitions() {
  grep -HnE '^[[:space:]]*(template[[:space:]]*<.*>[[:space:]]*)?(class|struct|union|enum)[[:space:]]' "$@" |
    sed -nE 's/^([^:]+):([0-9]+):[[:space:]]*(template[[:space:]]*<.*>[[:space:]]*)?(enum[[:space:]]+(class|struct)|class|struct|union|enum)[[:space:]]+([A-Za-z_][A-Za-z0-9_]*::)*([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*(final[[:space:]]*)?(\{|:[^:]|:$|$).*/\1:\2:1: error: invalid case style for type '"'"'\7'"'"'/p' |
    while IFS= read -r finding; do
      name=${finding##*type \'}
      name=${name%\'}
      [[ $name =~ $type_rule ]] || printf '%s\n' "$finding"
    done
}

# The self-test: names the checks must refuse, each reported, and names they must let through.
self_test=$(mktemp -d)
trap 'rm -rf "$self_test"' EXIT
cat >"$self_test/NamingSelfTest.cpp" <<'EOF_SELF_TEST'
namespace corvane {
class THTTPThing {};
class EFoo {};
struct IBar {};
struct Outer {
    struct TCore {};
};
class Pool {
    class TWorkers;
};
class Pool::TWorkers {};
class IOError {};
struct ISO8601Reads {};
class Task {};
class Entry {};
enum class Exactly { Yes };
template <class T> struct Holder {};
} // namespace corvane
EOF_SELF_TEST
self_findings=$( (cd "$self_test" && clang-tidy --config-file="$root/.clang-tidy" --quiet \
  NamingSelfTest.cpp -- -std=c++20 2>&1; check_type_definitions NamingSelfTest.cpp) || true)
for name in THTTPThing EFoo IBar TCore TWorkers; do
  grep -q "'$name'" <<<"$self_findings" ||
    { echo "check-naming: self-test: $name was not refused" >&2; exit 1; }
done
for name in IOError ISO8601Reads Task Entry Exactly Holder; do
  ! grep -q "'$name'" <<<"$self_findings" ||
    { echo "check-naming: self-test: $name was refused" >&2; exit 1; }
done

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
trap 'rm -f "$log"; rm -rf "$self_test"' EXIT
start=$SECONDS
set +e
printf '%s\n' "${sources[@]}" |
  xargs -P 2 -n 4 clang-tidy -p "$build" --quiet --header-filter="$header_filter" \
    --extra-arg=-Wno-unknown-warning-option >"$log" 2>&1
status=$?
set -e

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t type_files < <(git ls-files -- '*.h' '*.cpp' '*.cc')
else
  mapfile -t type_files < <(find . -path ./build -prune -o -path ./.git -prune -o \
    \( -name '*.h' -o -name '*.cpp' -o -name '*.cc' \) -print | sed 's|^\./||' | sort)
fi
check_type_definitions "${type_files[@]}" | sed "s|^|$root/|" >>"$log"

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
