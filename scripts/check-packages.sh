#!/usr/bin/env bash
# Builds the two Debian packages from the release build and checks them as IT staff would get
# them: unpacked into a scratch root, every file where the README's "Deploying" section says,
# both versions the project's, the packaged programs working (the file service started with the
# systemd unit's own command line and configuration, over HTTP and HTTPS, and corvane-update
# fetching from it), lintian clean but for the tags its overrides explain, and
# `systemd-analyze verify` silent on the unit.
# Usage: check-packages.sh [BUILD_DIR]   (default build/release, configured as CI does)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

if [ "$build" = build/release ]; then
  cmake --preset release -DCORVANE_WERROR=ON >/dev/null
fi
# Only what the packages hold; cpack itself builds nothing.
cmake --build "$build" -j2 --target Corvane.EXE corvane-update corvane-fileservice
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
launcher_deb=$build/corvane-plexa_${version}_${arch}.deb
service_deb=$build/corvane-fileservice_${version}_${arch}.deb

scratch=$(mktemp -d)
service_pid=
cleanup() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
root=$scratch/root
failures=0
fail() {
  echo "check-packages: $*" >&2
  failures=$((failures + 1))
}

for deb in "$launcher_deb" "$service_deb"; do
  [ -f "$deb" ] || { echo "check-packages: cpack made no $deb" >&2; exit 1; }
  dpkg -x "$deb" "$root"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
    fail "$(basename "$deb") has version $(dpkg-deb -f "$deb" Version), the project $version"
  # Every conffile is a file of the package.
  while IFS= read -r conffile; do
    [ -z "$conffile" ] || [ -f "$root$conffile" ] || fail "conffile $conffile is not in $deb"
  done < <(dpkg-deb --info "$deb" conffiles 2>/dev/null || true)
done

# Where the README says the files are.
for file in /var/lib/corvane-plexa/Corvane.EXE /var/lib/corvane-plexa/corvane-update \
    /usr/sbin/corvane-fileservice; do
  if [ ! -f "$root$file" ] || [ ! -x "$root$file" ]; then fail "no executable $file"; fi
done
for file in /etc/corvane-plexa/Corvane.ini /usr/share/applications/corvane-plexa.desktop \
    /usr/share/icons/hicolor/64x64/apps/corvane-plexa.png \
    /etc/corvane-fileservice/corvane-fileservice.conf \
    /lib/systemd/system/corvane-fileservice.service \
    /usr/share/man/man1/corvane-update.1.gz /usr/share/man/man8/corvane-fileservice.8.gz \
    /usr/share/doc/corvane-plexa/copyright /usr/share/doc/corvane-fileservice/copyright; do
  [ -f "$root$file" ] || fail "no file $file"
done
[ "$(readlink "$root/var/lib/corvane-plexa/Corvane.ini")" = /etc/corvane-plexa/Corvane.ini ] ||
  fail "/var/lib/corvane-plexa/Corvane.ini does not point to /etc/corvane-plexa/Corvane.ini"
[ "$(readlink "$root/usr/bin/corvane-update")" = /var/lib/corvane-plexa/corvane-update ] ||
  fail "/usr/bin/corvane-update does not point to /var/lib/corvane-plexa/corvane-update"

# The desktop entry is valid and starts the packaged launcher in its folder, with its icon.
desktop=$root/usr/share/applications/corvane-plexa.desktop
desktop-file-validate "$desktop" || fail "corvane-plexa.desktop is not valid"
grep -qx 'Exec=/var/lib/corvane-plexa/Corvane.EXE' "$desktop" || fail "the desktop entry's Exec"
grep -qx 'Path=/var/lib/corvane-plexa' "$desktop" || fail "the desktop entry's Path"
grep -qx 'Icon=corvane-plexa' "$desktop" || fail "the desktop entry's Icon"

# The programs' file version (the ELF note that the launcher's self-replacement compares) is
# the packages'. readelf shows the note's four little-endian 32-bit numbers as 16 bytes.
stamped_version() {
  local note bytes i version=
  note=$(readelf --notes --wide "$1" | grep -A1 '^ *Corvane ' | tr '\n' ' ' |
    sed -n 's/.*description data: *//p')
  read -r -a bytes <<<"$note"
  if [ "${#bytes[@]}" = 16 ]; then
    for i in 0 1 2 3; do
      version+=${version:+.}$((0x${bytes[4 * i]} + 256 * (0x${bytes[4 * i + 1]} +
        256 * (0x${bytes[4 * i + 2]} + 256 * 0x${bytes[4 * i + 3]}))))
    done
  fi
  echo "$version"
}
for file in /var/lib/corvane-plexa/Corvane.EXE /var/lib/corvane-plexa/corvane-update \
    /usr/sbin/corvane-fileservice; do
  stamped=$(stamped_version "$root$file")
  [ "$stamped" = "$version" ] || fail "$file is stamped '$stamped', the packages are $version"
done

# The dependencies come from the libraries the programs link.
for dependency in libqt6widgets6 libcurl4 qt6-qpa-plugins; do
  dpkg-deb -f "$launcher_deb" Depends | grep -q "\b$dependency\b" ||
    fail "corvane-plexa does not depend on $dependency"
done
dpkg-deb -f "$service_deb" Depends | grep -q '\blibmicrohttpd12\b' ||
  fail "corvane-fileservice does not depend on libmicrohttpd12"

# The packaged file service, started with the unit's ExecStart from the packaged configuration
# (with the served folder, address and port of this test), serves corvane-update from the
# package; then the same over HTTPS.
unit=$root/lib/systemd/system/corvane-fileservice.service
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
# systemd's own expansion: "${NAME}" is one argument, "$NAME" splits at blanks.
expand_command() {
  local word value
  expanded=()
  for word in $exec_start; do
    if [[ $word =~ ^\$\{([A-Z_]+)\}$ ]]; then
      expanded+=("${!BASH_REMATCH[1]:-}")
    elif [[ $word =~ ^\$([A-Z_]+)$ ]]; then
      value=${!BASH_REMATCH[1]:-}
      # shellcheck disable=SC2206 # splitting is the point
      expanded+=($value)
    else
      expanded+=("$word")
    fi
  done
  expanded[0]=$root${expanded[0]}
}
serve_and_update() {
  local scheme=$1 workstation=$scratch/workstation-$1 address=$scratch/address-$1 url=
  mkdir -p "$workstation"
  mkfifo "$address"
  expand_command
  "${expanded[@]}" >"$address" 2>"$scratch/service-$scheme.log" &
  service_pid=$!
  # Its first line is the address it serves; when it cannot serve it ends, and the read
  # meets the end of the pipe.
  exec 3<"$address"
  read -r -t 30 url <&3 || true
  exec 3<&-
  if [[ $url != "$scheme://127.0.0.1:"* ]]; then
    fail "the packaged corvane-fileservice did not serve $scheme: $(cat "$scratch/service-$scheme.log")"
  else
    printf '[Servidor]\nurl=%s\nca=%s\n' "$url" "${CA:-}" >"$workstation/Corvane.ini"
    # The program the link in /usr/bin names, run from the unpacked tree: its run log goes to
    # the Logs folder beside it, as on a workstation.
    local log=$root/var/lib/corvane-plexa/Logs/corvane-update.log
    rm -f "$log"
    if ! "$root/var/lib/corvane-plexa/corvane-update" --ini "$workstation/Corvane.ini" \
        --module Modulo.exe --no-additional-files >"$scratch/update-$scheme.out" 2>&1 ||
        ! cmp -s "$served/Modulo.exe" "$workstation/Modulo.exe"; then
      fail "the packaged corvane-update did not fetch over $scheme: $(cat "$scratch/update-$scheme.out")"
    elif ! grep -q '"Modulo.exe"' "$log" 2>/dev/null; then
      fail "the packaged corvane-update logged no line for Modulo.exe in $log"
    fi
  fi
  kill "$service_pid" 2>/dev/null || true
  wait "$service_pid" 2>/dev/null || true
  service_pid=
}
served=$scratch/served
mkdir -p "$served"
printf 'módulo de teste\n' >"$served/Modulo.exe"
set -a
# shellcheck disable=SC1091
. "$root/etc/corvane-fileservice/corvane-fileservice.conf"
set +a
# The unit's variables, read indirectly by expand_command.
# shellcheck disable=SC2034
ROOT=$served BIND=127.0.0.1 PORT=0
serve_and_update http
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$scratch/key.pem" -out "$scratch/cert.pem" \
  2>/dev/null
# shellcheck disable=SC2034
TLS_CERTIFICATE=$scratch/cert.pem TLS_KEY=$scratch/key.pem CA=$scratch/cert.pem
serve_and_update https

# lintian: nothing down to the informational and pedantic tags but what the packages'
# overrides explain (an override that no longer matches is itself reported).
lintian --display-info --pedantic --fail-on error,warning,info,pedantic \
  "$launcher_deb" "$service_deb" || fail "lintian found tags the overrides do not explain"

# systemd-analyze verify in the scratch root, completed with the host's own units (sysinit.target
# and the like) and reading the packaged manual page: it must say nothing at all, since it
# reports unknown keys and bad values without failing.
cp -an /lib/systemd/system/. "$root/lib/systemd/system/"
verify=$(MANPATH=$root/usr/share/man systemd-analyze verify --root="$root" \
  corvane-fileservice.service 2>&1) || fail "systemd-analyze verify failed"
[ -z "$verify" ] || fail "systemd-analyze verify: $verify"

if [ "$failures" != 0 ]; then
  echo "check-packages: $failures check(s) failed" >&2
  exit 1
fi
echo "check-packages: corvane-plexa and corvane-fileservice $version are where the README says"
