#!/usr/bin/env bash
# Builds the path-mapping fuzzer with clang's libFuzzer and runs it for
# FUZZ_SECONDS (default 60). Needs clang 14 with its runtime libraries, which
# the normal build does not. New inputs go to the build folder; the seeds in
# tests/fuzz/corpus_virtual_path stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
out="${FUZZ_BUILD:-build-fuzz}"
compiler="${FUZZ_CXX:-clang++-14}"
mkdir -p "$out/corpus_virtual_path"

if ! command -v "$compiler" >/dev/null || [ -z "$(ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null)" ]; then
    echo "Installing clang-14 and its runtime for the fuzzer"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends clang-14 libclang-rt-14-dev
fi

# Qt is built with reduced relocations, so everything here is position independent.
# shellcheck disable=SC2046
"$compiler" -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I src -I . $(pkg-config --cflags Qt6Core) \
    tests/fuzz/fuzz_virtual_path.cpp src/session/virtual_path.cpp \
    src/platform/file_system.cpp src/platform/big5_text.cpp \
    $(pkg-config --libs Qt6Core) -o "$out/fuzz_virtual_path"

"$out/fuzz_virtual_path" -max_total_time="$seconds" -max_len=512 -timeout=10 \
    -artifact_prefix="$out/" -print_final_stats=1 "$out/corpus_virtual_path" tests/fuzz/corpus_virtual_path
