#!/usr/bin/env bash
# Fails on an #include that points up the layer order, on a project include that does not name
# its layer ("platform/FileSystem.h", not "FileSystem.h"), on an include of platform/posix/ or
# platform/win32/ from outside platform/, on Qt in the layers that build without it, and on a
# header of the operating system (POSIX, Linux or Windows) outside platform/: only platform/
# calls the system. tests/, bench/ and fuzz/ may include system headers too, as they drive
# processes and sockets from outside what they test.
# Reads the sources only; no build needed. Usage: scripts/check-includes.sh [REPOSITORY]
# scripts/test-check-includes.sh shows it refusing what it should.
set -euo pipefail
set -f # the table's "*" is a word, not a pattern
root=${1:-"$(dirname "$0")/.."}
cd "$root"

# What each top folder may include besides itself: folders, or single files as exceptions.
# Arrows point down only: launcher -> shell -> update -> platform; launcher -> dialogs -> platform.
declare -A allowed=(
  [platform]=""
  [update]="platform"
  [service]="platform"
  [shell]="update platform"
  [dialogs]="platform"
  [launcher]="shell dialogs update platform"
  [tools]="*"
  [tests]="*"
  [bench]="*"
  [fuzz]="*"
)
# The layers that never include Qt.
qt_free="platform update shell service"
# The folders that may include the system's own headers.
system_headers_allowed="platform tests bench fuzz"
# The system's headers (matched without regard to case, as Windows's are written either way):
# POSIX and Linux folders and headers, the C++ wrapper of <signal.h>, and Windows's. The C and
# C++ standard libraries and the libraries we use (Qt, libcurl, zlib, ICU, OpenSSL, RapidJSON,
# libmicrohttpd) do not match.
system_header_re='^((sys|arpa|netinet|net|linux|asm|asm-generic|bits|gnu|mach|machine)/'
system_header_re+='|(unistd|fcntl|netdb|poll|dirent|spawn|signal|pthread|dlfcn|malloc|termios|sched'
system_header_re+='|semaphore|glob|fnmatch|pwd|grp|syslog|ifaddrs|elf|link|execinfo|utime|ftw|err'
system_header_re+='|mntent|langinfo|libgen|wordexp|aio|mqueue|syscall|paths|alloca|endian|byteswap'
system_header_re+='|utmp|utmpx|resolv|ucontext|wait|strings)\.h$'
system_header_re+='|csignal$'
system_header_re+='|(windows|winsock|winsock2|ws2tcpip|ws2def|winhttp|wininet|shellapi|shlobj|shlwapi'
system_header_re+='|shobjidl|knownfolders|bcrypt|wincrypt|winbase|winuser|windef|winnt|winerror'
system_header_re+='|winternl|winioctl|winreg|winver|winsvc|winnls|ntstatus|ntdef|mapi|objbase'
system_header_re+='|combaseapi|ole2|oleauto|commctrl|commdlg|io|direct|process|psapi|tlhelp32|userenv'
system_header_re+='|iphlpapi|mswsock|versionhelpers|wtsapi32|dbghelp|aclapi|sddl|lmcons|synchapi'
system_header_re+='|processthreadsapi|fileapi|handleapi|errhandlingapi|libloaderapi|sysinfoapi)\.h$)'

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  lines=$(git grep -n -I -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' -- \
    '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' '*.inc' || true)
else
  lines=$(grep -rn -I -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' \
    --include='*.c' --include='*.cc' --include='*.cpp' --include='*.h' --include='*.hpp' \
    --include='*.inc' --exclude-dir='build*' --exclude-dir=.git . | sed 's|^\./||' || true)
fi

failures=0
fail() {
  echo "$1: $2" >&2
  failures=$((failures + 1))
}

include_re='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^>"]+)[>"]'
while IFS= read -r line; do
  [ -n "$line" ] || continue
  file=${line%%:*}
  rest=${line#*:}
  number=${rest%%:*}
  text=${rest#*:}
  [[ $text =~ $include_re ]] || continue
  quote=${BASH_REMATCH[1]}
  target=${BASH_REMATCH[2]}
  layer=${file%%/*}
  where="$file:$number"

  if [ "$quote" = "<" ]; then
    # Qt's own headers are all named Q... or Qt.../...
    if [[ $target =~ ^Qt?[A-Z][A-Za-z]*(/|$) ]] && [[ " $qt_free " == *" $layer "* ]]; then
      fail "$where" "$layer/ builds without Qt: #include <$target>"
    fi
    shopt -s nocasematch
    if [[ $target =~ $system_header_re ]] && [[ " $system_headers_allowed " != *" $layer "* ]]; then
      fail "$where" "only platform/ includes the system's headers: #include <$target> (call the system through a platform/ header)"
    fi
    shopt -u nocasematch
    # A project header written with angle brackets is still a project include.
    [[ $target == */* && -f $target && -n ${allowed[${target%%/*}]+set} ]] || continue
  fi

  # AutoMoc's output for the file itself.
  [[ $target == *.moc ]] && continue

  if [ "$file" = "${file#*/}" ] || [ -z "${allowed[$layer]+set}" ]; then
    fail "$where" "$file is in no layer of scripts/check-includes.sh"
    continue
  fi
  if [[ $target != */* ]] || [ -z "${allowed[${target%%/*}]+set}" ]; then
    fail "$where" "#include \"$target\" does not name its layer (e.g. \"platform/FileSystem.h\")"
    continue
  fi
  if [ ! -f "$target" ]; then
    fail "$where" "#include \"$target\" names no file of the repository"
    continue
  fi
  # The halves of platform/'s headers for one system are platform/'s own business.
  if [[ $target =~ ^platform/(posix|win32)/ ]] && [ "$layer" != platform ]; then
    fail "$where" "only platform/ includes $target (include the header it implements)"
    continue
  fi
  target_layer=${target%%/*}
  [ "$target_layer" = "$layer" ] && continue
  ok=0
  for entry in ${allowed[$layer]}; do
    if [ "$entry" = "*" ] || [ "$entry" = "$target_layer" ] || [ "$entry" = "$target" ]; then
      ok=1
      break
    fi
  done
  if [ "$ok" = 0 ]; then
    fail "$where" "$layer/ may not include $target (it may include: ${allowed[$layer]:-nothing else})"
  fi
done <<<"$lines"

if [ "$failures" != 0 ]; then
  echo "check-includes: $failures include(s) break the layer rules" >&2
  exit 1
fi
echo "check-includes: every include names its layer and points down"
