#!/usr/bin/env bash
# Installs what is needed, builds and runs every test: the debug build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the core under ThreadSanitizer, the core
# built without Qt, the fuzz targets, and one smoke start of the real launcher.
# CORVANE_QUICK=1 runs only the debug build's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/check-includes.sh
bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export CTEST_PARALLEL_LEVEL=2
werror=-DCORVANE_WERROR=ON

stage() { printf '\n==== %s ====\n' "$*"; }

run_preset() {
  local preset=$1; shift
  stage "$preset: build"
  cmake --preset "$preset" $werror >/dev/null
  cmake --build --preset "$preset"
  stage "$preset: test"
  ctest --preset "$preset" "$@"
}

run_preset debug
stage "naming: clang-tidy readability-identifier-naming"
bash scripts/check-naming.sh build/debug
if [ "${CORVANE_QUICK:-0}" = 1 ]; then exit 0; fi

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

run_preset asan
run_preset core
run_preset tsan -L core

if [ -x scripts/fuzz.sh ]; then
  stage "fuzz"
  bash scripts/fuzz.sh 60
fi
stage "all stages passed"
