#!/usr/bin/env bash
# Builds the HID answer fuzz target with clang and runs it for a bounded time; fails on a finding.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/fuzz
seconds=${FUZZ_SECONDS:-30}
CC=clang CXX=clang++ cmake -S . -B "$build" -DUVCCAM_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j2 --target uvccam_fuzz_hid

# Seeds: each operation on each device (byte 0) with the answers a well-behaved device gives.
# libFuzzer adds what it finds to this directory, which stays under build/, out of git.
corpus=$build/corpus
mkdir -p "$corpus"
answers=(
    '\x08\x10\x03\x01\x02\x03'           # a property answer
    '\x09\x00\x00\x09\x81\x08\x00\x00\x01\x02\x03\x04\x05\x06\x07'  # a read acknowledged
    '\x09\x00\x00\x09\x00\x00'           # a caller-built report acknowledged
    '\x08\x11\x07\x00\x21\x22'           # a UAC answer
)
for op in $(seq 0 31); do
    for a in "${!answers[@]}"; do
        printf "\\x$(printf %02x "$op")${answers[$a]}" > "$corpus/seed-$op-$a"
    done
done

log=$build/fuzz.log
set +e
"$build/fuzz/uvccam_fuzz_hid" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/" "$corpus" >"$log" 2>&1
status=$?
set -e
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz: finding after ${runs:-?} runs (exit $status); input saved under $build/, log in $log" >&2
    exit 1
fi
echo "fuzz: ${rate:-?} exec/s"
echo "fuzz: ${runs:-0} runs, no finding"
