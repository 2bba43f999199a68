#!/usr/bin/env bash
# `make fuzz`: runs every libFuzzer target for a bounded time (FUZZ_SECONDS, default 60) with its
# seed corpus, and fails when one of them finds a crash, a leak or a hang.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
work="$build/fuzz-work"
mkdir -p "$work"
status=0
for target in "$build"/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="$work/$name"
    mkdir -p "$corpus"
    seeds="$root/tests/fuzz/corpus/$name"
    echo "== $name: ${seconds}s"
    args=("$corpus")
    [ -d "$seeds" ] && args+=("$seeds")
    if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="$work/$name-" "${args[@]}" >"$work/$name.log" 2>&1; then
        echo "!! $name failed; see $work/$name.log"
        tail -n 30 "$work/$name.log"
        status=1
    else
        grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$work/$name.log" | sed 's/^/   /'
    fi
done
exit $status
