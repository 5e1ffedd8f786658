#!/usr/bin/env bash
# Shows scripts/check-includes.sh refusing what it should and letting through what it should:
# each case is a scratch tree in a temporary folder with one source file holding one include.
# Run by scripts/test.sh before the build; needs nothing built.
set -euo pipefail
check=$(cd "$(dirname "$0")" && pwd)/check-includes.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# file | include line | refused (1) or let through (0)
cases=(
  "service/FileService.cpp|#include <sys/socket.h>|1"
  "service/FileService.cpp|#include <arpa/inet.h>|1"
  "service/NginxExport.cpp|#include <QString>|1"
  "update/HttpClient.cpp|#include <unistd.h>|1"
  "shell/LaunchFlow.cpp|#include <Windows.h>|1"
  "shell/LaunchFlow.cpp|#  include <winhttp.h>|1"
  "tools/corvane-update/main.cpp|#include <csignal>|1"
  "launcher/main.cpp|#include <pthread.h>|1"
  "update/Sha.cpp|#include <bcrypt.h>|1"
  "dialogs/View.cpp|#include <netinet/in.h>|1"
  "platform/posix/Process.cpp|#include <sys/socket.h>|0"
  "platform/win32/Process.cpp|#include <windows.h>|0"
  "tests/service/ProgramTest.cpp|#include <spawn.h>|0"
  "bench/UpdateBench.cpp|#include <sys/wait.h>|0"
  "fuzz/JsonFuzz.cpp|#include <unistd.h>|0"
  "service/FileService.cpp|#include <microhttpd.h>|0"
  "service/AnswerJson.cpp|#include <rapidjson/writer.h>|0"
  "update/HttpClient.cpp|#include <curl/curl.h>|0"
  "update/Gzip.cpp|#include <zlib.h>|0"
  "update/Tls.cpp|#include <openssl/err.h>|0"
  "update/Locale.cpp|#include <unicode/ucnv.h>|0"
  "shell/LaunchFlow.cpp|#include <cstdio>|0"
  "shell/LaunchFlow.cpp|#include <filesystem>|0"
  "launcher/main.cpp|#include <QApplication>|0"
)

failures=0
number=0
for entry in "${cases[@]}"; do
  IFS='|' read -r file include refused <<<"$entry"
  number=$((number + 1))
  tree="$scratch/$number"
  mkdir -p "$tree/$(dirname "$file")"
  printf '%s\n' "$include" >"$tree/$file"
  set +e
  output=$(bash "$check" "$tree" 2>&1)
  status=$?
  set -e
  if [ "$refused" = 1 ]; then
    if [ "$status" = 0 ] || [[ $output != *"$file:1:"* ]]; then
      echo "check-includes let through $file: $include" >&2
      failures=$((failures + 1))
    fi
  elif [ "$status" != 0 ]; then
    echo "check-includes refused $file: $include: $output" >&2
    failures=$((failures + 1))
  fi
done

if [ "$failures" != 0 ]; then
  echo "test-check-includes: $failures of ${#cases[@]} cases went wrong" >&2
  exit 1
fi
echo "test-check-includes: ${#cases[@]} cases refused or let through as they should"
