#!/usr/bin/env bash
# `make bench`: runs every benchmark program and prints its figures. A measurement, never a test.
set -uo pipefail
build=${1:-build}
found=0
for b in $(find "$build/bench" -type f -executable -name 'bench_*' | sort); do
    found=1
    echo "== $(basename "$b")"
    "$b" || echo "!! $(basename "$b") exited with $?"
done
[ $found -eq 1 ] || echo "no benchmarks built yet"
