#!/usr/bin/env bash
# Builds the parsers' libFuzzer harnesses with clang into ./build-fuzz and runs each in
# turn: first every input of its corpus (tests/fuzz/corpus/<harness>/) alone, so a
# reproducer that comes back is named, then SECONDS of fuzzing from there (default 240).
# Exits 1 when a rule is broken, a harness crashes, leaks or hangs; the input that did it
# is kept in build-fuzz/findings/. Inputs found on the way go to build-fuzz/corpus/, never
# into the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-240}"
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }

command -v clang++ >/dev/null || { echo "fuzz: needs clang++ and libFuzzer (Debian: clang libclang-rt-14-dev)" >&2; exit 2; }
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S tests/fuzz -B build-fuzz -G Ninja "${launcher[@]}" >/dev/null
cmake --build build-fuzz --parallel "$(nproc)"

mkdir -p build-fuzz/findings
failed=()
for corpus in tests/fuzz/corpus/*/; do
    name="$(basename "$corpus")"
    harness="build-fuzz/fuzz_$name"
    for input in "$corpus"*; do
        if ! "$harness" "$input" >"build-fuzz/fuzz_$name.replay.log" 2>&1; then
            echo "fuzz_$name: $input: $(grep -m1 -E 'rule broken|ERROR:' "build-fuzz/fuzz_$name.replay.log")"
            failed+=("$input")
        fi
    done
    mkdir -p "build-fuzz/corpus/$name"
    echo "fuzz_$name: fuzzing for $seconds s"
    if ! "$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="build-fuzz/findings/$name-" "build-fuzz/corpus/$name" "$corpus" \
        >"build-fuzz/fuzz_$name.log" 2>&1; then
        echo "fuzz_$name: $(grep -m1 -E 'rule broken|ERROR:' "build-fuzz/fuzz_$name.log"), see build-fuzz/fuzz_$name.log"
        failed+=("fuzz_$name")
    fi
    grep -E '^stat::number_of_executed_units' "build-fuzz/fuzz_$name.log" | sed "s/^/fuzz_$name: /" || true
done
if ((${#failed[@]})); then
    echo "fuzz: ${#failed[@]} failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: every harness kept its rules"
