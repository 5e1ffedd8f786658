#!/usr/bin/env bash
# Installs what is needed, builds and runs every test: the debug build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the core built without Qt under
# ThreadSanitizer, the fuzz targets, one smoke start of the real launcher, the naming check
# (scripts/check-naming.sh) and the Debian packages (scripts/check-packages.sh).
# CORVANE_QUICK=1 runs only the debug build's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/test-check-includes.sh
bash scripts/check-includes.sh
bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export CTEST_PARALLEL_LEVEL=2
werror=-DCORVANE_WERROR=ON

started=$SECONDS
stage() { printf '\n==== %s ==== (%d s into the run)\n' "$*" $((SECONDS - started)); }

run_preset() {
  local preset=$1; shift
  stage "$preset: build"
  cmake --preset "$preset" $werror >/dev/null
  cmake --build --preset "$preset"
  stage "$preset: test"
  ctest --preset "$preset" "$@"
}

run_preset debug
if [ "${CORVANE_QUICK:-0}" = 1 ]; then exit 0; fi

stage "naming: every identifier follows the convention of the README's development notes"
bash scripts/check-naming.sh build/debug

stage "smoke: the real launcher starts and keeps running"
smoke=$(mktemp -d)
install=$(bash scripts/prepare-demo.sh build/debug "$smoke/demo")
set +e
(cd / && timeout 5 "$install/Corvane.EXE")
rc=$?
set -e
made_report_folder=0
[ -d "$install/Relatorio" ] && made_report_folder=1
rm -rf "$smoke"
if [ "$rc" != 124 ]; then echo "Corvane.EXE ended early with exit code $rc"; exit 1; fi
if [ "$made_report_folder" != 1 ]; then echo "Corvane.EXE made no Relatorio folder"; exit 1; fi
echo "Corvane.EXE ran until stopped and made its Relatorio folder."

stage "packages: built from the release build, unpacked, lintian, systemd-analyze verify"
bash scripts/check-packages.sh

run_preset asan
# The tsan preset is built without Qt: it is also the check that platform/, update/, service/
# and shell/ build and pass their tests without the toolkit (what the core preset does alone).
run_preset tsan -L core

if [ -x scripts/fuzz.sh ]; then
  stage "fuzz"
  bash scripts/fuzz.sh 60
fi
stage "all stages passed"
