#!/usr/bin/env bash
# Builds the decoder benchmark optimised, as a release build would be, and runs it; with ICU's
# conversions beside the program's when libicu-dev is there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${TMPDIR:-/tmp}/corvane_decoder_bench"
icu=()
if pkg-config --exists icu-uc; then icu=(-DCORVANE_BENCH_ICU $(pkg-config --cflags --libs icu-uc)); fi
"${CXX:-g++}" -std=c++20 -O2 -DNDEBUG -Wall -Wextra -Wpedantic -I"$root/src" "$root/bench/decoder_bench.cpp" \
    "$root"/src/panes/{text_decoder,text_encoder,encodings,gb18030,iconv_converter,utf,rtf_reader}.cpp \
    -luchardet "${icu[@]}" -o "$out"
"$out"
