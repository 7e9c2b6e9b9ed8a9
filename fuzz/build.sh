#!/bin/sh
# Builds the decoder fuzz target with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer. Run from anywhere:
#   fuzz/build.sh && build/fuzz/fuzz_decode -max_total_time=600 build/fuzz/corpus
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/fuzz"
mkdir -p "$out/corpus"
${CXX:-clang++-14} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" "$root/fuzz/fuzz_decode.cpp" "$root"/src/decode/*.cpp "$root/src/protocol/card_info.cpp" \
  -o "$out/fuzz_decode"
echo "built $out/fuzz_decode"
