#!/usr/bin/env bash
# Prepares a demo installation: DIR/install holds the launcher and its Corvane.ini,
# DIR/server is the server folder the launcher updates from, or that the file service at URL
# serves when a URL is given.
# Usage: prepare-demo.sh BUILD_DIR DEMO_DIR [URL]
set -euo pipefail
build=$(cd "$1" && pwd)
demo=$2
url=${3:-}
mkdir -p "$demo/install" "$demo/server"
demo=$(cd "$demo" && pwd)
cp "$build/launcher/Corvane.EXE" "$demo/install/Corvane.EXE"
cat > "$demo/install/Corvane.ini" <<INI
[Servidor]
Local Exe=$demo/server
url=$url
INI
echo "$demo/install"
