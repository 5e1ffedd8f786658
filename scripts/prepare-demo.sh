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
# The modules: copies of the demo module under the 18 names of the module table.
for module in Vostrel.exe Quimba.exe Drelvo.exe Parnox.exe Sulvex.exe Tondril.exe Morvik.exe \
    Yestra.exe Falben.exe Gristo.exe Hulvan.exe Ixoret.exe Kovlen.exe Lumbra.exe Nerzik.exe \
    Ospral.exe TeamViewerQS_pt.exe Supremo.exe; do
    cp "$build/tools/demo-module/demo-module" "$demo/server/$module"
done
# Small stand-ins for the shared files, named as in the updater's AdditionalFiles table.
table="$(dirname "$0")/../update/AdditionalFiles.h"
sed -n '/AdditionalFiles = {/,/};/s/^ *"\([^"]*\)",*$/\1/p' "$table" | sort -u |
    while IFS= read -r name; do
        name=${name//\\\\//} # "Relatorio\\Layout26.rav" lives in the Relatorio folder
        mkdir -p "$(dirname "$demo/server/$name")"
        printf 'Arquivo compartilhado de demonstração: %s\n' "$name" > "$demo/server/$name"
    done
echo "$demo/install"
