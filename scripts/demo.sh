#!/usr/bin/env bash
# Builds the launcher, prepares a demo installation in ./demo and starts the launcher there.
# Without a display the launcher runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target Corvane.EXE demo-module
install=$(bash scripts/prepare-demo.sh build/release demo)
echo "Demo installation: $install"
cd /  # the launcher finds its files by its own folder, not the current directory
if [ -n "${DISPLAY:-}" ]; then
  exec "$install/Corvane.EXE"
else
  echo "No display: running under Xvfb."
  exec xvfb-run -a "$install/Corvane.EXE"
fi
