#!/usr/bin/env bash
# Fuzzes the decoders and parsers with libFuzzer for SECONDS each (default 60), when
# clang is installed, in its own build folder (./build-fuzz or $KESTRO_FUZZ_DIR).
# The checked-in corpus is the seed; what the run adds stays in a scratch copy.
# Prints each target's executions, coverage and features; a crash fails the script
# and leaves its input in the scratch folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is not installed; the corpus replays in the test suite instead"
    exit 0
fi
build=${KESTRO_FUZZ_DIR:-$root/build-fuzz}
targets=(decoder number framer placement snapshot)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DKESTRO_FUZZ=ON -DKESTRO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzz}"
scratch=$(mktemp -d)
for t in "${targets[@]}"; do
    mkdir -p "$scratch/$t"
    cp "$root/tests/fuzz/corpus/$t/"* "$scratch/$t/"
    log=$scratch/$t.log
    if ! (cd "$scratch" && "$build/tests/fuzz/${t}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
            -max_len=4096 "$scratch/$t" >"$log" 2>&1); then
        tail -n 40 "$log"
        echo "fuzz: $t failed; inputs and log in $scratch" >&2
        exit 1
    fi
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "fuzz: $t: $execs runs, $rate/s; ${done_line#*DONE}"
done
rm -rf "$scratch"
