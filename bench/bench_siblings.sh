#!/usr/bin/env bash
# Runs bench_siblings, then counts with strace the system calls of one siblings() run
# over 100 and over 10,000 files: stat-like calls must not grow with the file count.
set -euo pipefail
build=${ZM_BUILD_DIR:-build}
bin="$(cd "$(dirname "$0")/.." && pwd)/$build/bench/bench_siblings"
"$bin" 10000
command -v strace >/dev/null || { echo "strace not installed: no system call count"; exit 0; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for n in 100 10000; do
  mkdir "$tmp/$n"
  (cd "$tmp/$n" && seq 1 "$n" | sed 's/$/.mkv/' | xargs touch)
  strace -f -c -o "$tmp/count-$n" -e trace=%stat,%file,getdents64 "$bin" --list "$tmp/$n/1.mkv" >/dev/null
  echo "files: $n"
  grep -E 'calls|getdents64|stat|openat|total' "$tmp/count-$n" | sed 's/^/  /'
done
