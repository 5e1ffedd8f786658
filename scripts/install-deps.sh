#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the demo, the benchmarks and the
# Debian packages' checks need.
# The README commands and CI all call this one script, so the list lives in one place.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang clang-format clang-tidy clang-tools
  libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-image-formats-plugins
  libcurl4-openssl-dev zlib1g-dev libicu-dev rapidjson-dev libssl-dev libmicrohttpd-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth xdotool x11-utils trayer dbus-daemon dbus-session-bus-common
  nginx-light wrk curl rsync openssl tzdata
  dpkg-dev file lintian desktop-file-utils systemd man-db
)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
