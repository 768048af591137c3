#!/usr/bin/env bash
# Runs libFuzzer campaigns on the fuzz harnesses (tests/fuzz/*.cpp), one harness at a time.
#   scripts/fuzz.sh [NAME|all] [SECONDS]     (default: all, 300 seconds each)
# Each campaign starts from the committed corpus (tests/fuzz/corpus/NAME) and stops after
# SECONDS or 10 million executions. What it learns stays in build/fuzz/work/NAME; an input that
# crashes, leaks or hangs is copied into the committed corpus as finding-NAME-<hash>, for the
# fix to commit with it (./scripts/test.sh replays it from then on). Ends with one line per
# harness: executions, seconds, findings. Exits non-zero when anything was found.
set -u -o pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" || exit 1
. scripts/lib/packages.sh

WHICH=${1:-all}
SECONDS_EACH=${2:-300}
RUNS=${FUZZ_RUNS:-10000000}
DIR=build/fuzz
LOGS=$ROOT/build/logs
mkdir -p "$LOGS"

if ! orv_ensure_packages "${ORV_NATIVE_PACKAGES[@]}" "${ORV_FUZZ_PACKAGES[@]}"; then
    echo "could not install clang and its fuzzing runtime" >&2
    exit 1
fi

mapfile -t all < <(ls tests/fuzz/*.cpp | xargs -n1 basename | sed 's/\.cpp$//' | grep -vx replay_main)
if [ "$WHICH" = all ]; then
    harnesses=("${all[@]}")
else
    if [ ! -f "tests/fuzz/$WHICH.cpp" ]; then
        echo "no harness $WHICH; there are: ${all[*]}" >&2
        exit 2
    fi
    harnesses=("$WHICH")
fi

echo "== building ${harnesses[*]} in $DIR (log: $LOGS/fuzz-build.log)"
if ! CC=clang CXX=clang++ cmake -S . -B "$DIR" -G Ninja -DORVANE_FUZZ=ON >"$LOGS/fuzz-build.log" 2>&1 ||
    ! ninja -C "$DIR" -j 2 "${harnesses[@]/#/fuzz-}" >>"$LOGS/fuzz-build.log" 2>&1; then
    tail -n 40 "$LOGS/fuzz-build.log"
    exit 1
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
REPORT=()
found_any=0
for h in "${harnesses[@]}"; do
    work=$DIR/work/$h
    findings=$DIR/findings/$h
    mkdir -p "$work" "$findings" "tests/fuzz/corpus/$h"
    rm -f "$findings"/*
    log=$LOGS/fuzz-$h.log
    echo "== $h: ${SECONDS_EACH}s or $RUNS runs (log: $log)"
    start=$(date +%s)
    # -fork keeps the campaign going past a finding, so one run reports all it finds.
    "$DIR/fuzz-$h" -max_total_time="$SECONDS_EACH" -runs="$RUNS" -timeout=10 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$work" "tests/fuzz/corpus/$h" >"$log" 2>&1
    rc=$?
    took=$(($(date +%s) - start))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    n=0
    for f in "$findings"/*; do
        [ -f "$f" ] || continue
        sum=$(sha1sum "$f" | cut -c1-12)
        cp "$f" "tests/fuzz/corpus/$h/finding-$(basename "$f" | cut -d- -f1)-$sum"
        n=$((n + 1))
    done
    if ((rc != 0 && n == 0)); then
        tail -n 30 "$log"
        n=1  # it stopped without leaving an input: count it, the log says why
    fi
    ((n > 0)) && found_any=1
    REPORT+=("$(printf '%-16s %12s executions %6d s %3d findings' "$h" "${execs:-?}" "$took" "$n")")
done

echo
printf '%s\n' "${REPORT[@]}"
if ((found_any)); then
    echo "findings were copied into tests/fuzz/corpus/<harness>/finding-*: fix the parser, then commit them"
    exit 1
fi
