#!/usr/bin/env bash
# End to end on a real X display (run under xvfb-run): the real launcher on a demo installation,
# a click on the Exames area, and the demo module started from the installation folder with
# the module and the shared files copied from the server and stamped with the server's ages.
# Usage: demo-click.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
launcher=
cleanup() {
    if [ -n "$launcher" ]; then
        kill "$launcher" 2>/dev/null || true
        wait "$launcher" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# Polls until the command succeeds; gives up after the given number of seconds.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

install=$("$source/scripts/prepare-demo.sh" "$build" "$work/demo")
server=$work/demo/server
# Every server file gets an age of its own, far in the past, so a copy stamped with the time of
# copying (or with another file's age) shows.
index=0
while IFS= read -r -d '' file; do
    touch -d "@$((1600000000 + index * 3600))" "$file"
    index=$((index + 1))
done < <(find "$server" -type f -print0 | sort -z)

# A registry of its own, so no other launcher on this machine takes the start over.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export CORVANE_DEMO_MODULE_LOG=$work/started.log
export QT_QPA_PLATFORM=xcb
"$install/Corvane.EXE" &
launcher=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$launcher" --name '^Corvane Plexa' |
    head -n 1) || fail "the launcher's window did not appear"
[ -n "$window" ] || fail "the launcher's window did not appear"
# The centre of the Exames area (31, 355, 155 x 115), clear of the wait panel.
xdotool mousemove --window "$window" 108 412 click 1

wait_for 60 test -s "$CORVANE_DEMO_MODULE_LOG" || fail "no module was started"
started=$(cut -f1 "$CORVANE_DEMO_MODULE_LOG")
[ "$started" = "Yestra.exe" ] || fail "started '$started', expected exactly Yestra.exe"

# The module and every shared file, with the server's age; no other module.
checked=0
skipped=0
while IFS= read -r -d '' file; do
    name=${file#"$server/"}
    case $name in
    *.exe) [ "$name" = "Yestra.exe" ] || {
        [ ! -e "$install/$name" ] || fail "$name was copied though not clicked"
        skipped=$((skipped + 1))
        continue
    } ;;
    esac
    [ -f "$install/$name" ] || fail "$name is missing from the installation"
    cmp -s "$file" "$install/$name" || fail "$name differs from the server's"
    expected=$(stat -c %Y "$file")
    actual=$(stat -c %Y "$install/$name")
    [ "$expected" = "$actual" ] || fail "$name has age $actual, the server's is $expected"
    checked=$((checked + 1))
done < <(find "$server" -type f -print0)
# The other 17 modules aside, the module and the (distinct) shared files were all checked.
[ "$skipped" -eq 17 ] && [ "$checked" -gt 1 ] ||
    fail "checked $checked files and skipped $skipped modules"
echo "PASS: Yestra.exe started; $checked files in place with the server's ages"
