#!/usr/bin/env bash
# Builds the launcher, prepares a demo installation in ./demo and starts the launcher there.
# With --service the installation updates over HTTP from a demo corvane-fileservice that
# serves the demo's server folder on 127.0.0.1 (port CORVANE_DEMO_PORT, 8080 by default) for
# as long as the launcher runs. Without a display the launcher runs under Xvfb.
# Usage: demo.sh [--service]
set -euo pipefail
service=
case "${1:-}" in
  "") ;;
  --service) service=1 ;;
  *) echo "usage: $0 [--service]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target Corvane.EXE demo-module corvane-fileservice
url=
if [ -n "$service" ]; then
  url="http://127.0.0.1:${CORVANE_DEMO_PORT:-8080}"
fi
install=$(bash scripts/prepare-demo.sh build/release demo "$url")
echo "Demo installation: $install"
launcher=("$install/Corvane.EXE")
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: running under Xvfb."
  launcher=(xvfb-run -a "$install/Corvane.EXE")
fi
if [ -z "$service" ]; then
  cd /  # the launcher finds its files by its own folder, not the current directory
  exec "${launcher[@]}"
fi
build/release/service/corvane-fileservice --root "$(cd demo/server && pwd)" \
  --bind 127.0.0.1 --port "${CORVANE_DEMO_PORT:-8080}" &
service_pid=$!
trap 'kill "$service_pid" 2>/dev/null; wait "$service_pid" 2>/dev/null || true' EXIT
echo "Demo file service: $url (its log follows on standard error)"
cd /
"${launcher[@]}"
