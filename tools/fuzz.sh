#!/usr/bin/env bash
# Builds every libFuzzer target in tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for FUZZ_SECONDS (default 60).
# FUZZ_TARGETS picks some of them (names without the fuzz_ prefix). New inputs
# go to the build folder; the seed corpora in tests/fuzz stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
out="${FUZZ_BUILD:-build-fuzz}"

if ! command -v clang++-14 >/dev/null || [ -z "$(ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null)" ]; then
    tools/install-deps.sh clang-14 libclang-rt-14-dev
fi

CC=clang-14 CXX=clang++-14 cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSEL_FUZZ=ON "-DTESSEL_SANITIZE=address;undefined" >/dev/null

targets="${FUZZ_TARGETS:-$(ls tests/fuzz/fuzz_*.cpp | sed 's|.*/fuzz_||; s|\.cpp$||')}"
for target in $targets; do
    cmake --build "$out" --target "fuzz_$target"
done

rm -f "$out"/crash-* "$out"/leak-* "$out"/timeout-*
for target in $targets; do
    corpus="$out/corpus_$target"
    seeds="tests/fuzz/corpus_$target"
    mkdir -p "$corpus" "$seeds"
    echo "== fuzz_$target for ${seconds}s"
    ASAN_OPTIONS=detect_leaks=0 "$out/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -artifact_prefix="$out/" -print_final_stats=1 "$corpus" "$seeds" 2>&1 \
        | grep -E 'stat::number_of_executed_units|ERROR|violated|Done' || true
    [ -z "$(ls "$out"/crash-* "$out"/leak-* "$out"/timeout-* 2>/dev/null)" ] || { echo "fuzz_$target found a fault"; exit 1; }
done
