#!/usr/bin/env bash
# Builds the decoder benchmark optimised, as a release build would be, and runs it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${TMPDIR:-/tmp}/corvane_decoder_bench"
"${CXX:-g++}" -std=c++20 -O2 -DNDEBUG -Wall -Wextra -Wpedantic -I"$root/src" \
    "$root/bench/decoder_bench.cpp" "$root/src/panes/text_decoder.cpp" "$root/src/panes/rtf_reader.cpp" -o "$out"
"$out"
