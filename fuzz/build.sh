#!/usr/bin/env bash
# Builds the fuzz targets with libFuzzer and the address and undefined-behaviour sanitizers.
#   fuzz/build.sh            build into build-fuzz/
#   fuzz/build.sh run 120    also run each target for 120 seconds, one after the other
#   fuzz/build.sh run 120 code_lexer    only the named targets
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build-fuzz"
mkdir -p "$out"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -Wall -Wextra -Wpedantic -I"$root/src" -I"$root/fuzz")
cxx="${CXX:-clang++-14}"

# The text decoder with the encoding detection, converters and UTF arithmetic it stands on.
text=("$root"/src/panes/{text_decoder,text_encoder,encodings,gb18030,iconv_converter,utf}.cpp)
libs=(-luchardet)

"$cxx" "${flags[@]}" "$root/fuzz/rtf_reader_fuzz.cpp" "$root"/src/panes/rtf_*.cpp \
    "${text[@]}" "${libs[@]}" -o "$out/rtf_reader_fuzz"
"$cxx" "${flags[@]}" "$root/fuzz/text_decoder_fuzz.cpp" "${text[@]}" "${libs[@]}" \
    -o "$out/text_decoder_fuzz"
"$cxx" "${flags[@]}" -DCORVANE_COUNT_LEXER_READS "$root/fuzz/code_lexer_fuzz.cpp" "$root"/src/syntax/*_lexer.cpp \
    -o "$out/code_lexer_fuzz"
"$cxx" "${flags[@]}" "$root/fuzz/journal_reader_fuzz.cpp" "$root"/src/journal/journal_format.cpp \
    "$root"/src/panes/file_io.cpp -lz -o "$out/journal_reader_fuzz"
echo "built $out/rtf_reader_fuzz, $out/text_decoder_fuzz, $out/code_lexer_fuzz and $out/journal_reader_fuzz"

if [[ "${1:-}" == run ]]; then
    seconds="${2:-120}"
    for target in ${3:-rtf_reader text_decoder code_lexer journal_reader}; do
        corpus="$root/fuzz/corpus/${target%%_*}"
        work="$out/corpus_$target"
        dict=()
        [[ -f $root/fuzz/${target%%_*}.dict ]] && dict=(-dict="$root/fuzz/${target%%_*}.dict")
        mkdir -p "$work" "$out/artifacts_$target"
        # New inputs go to the work folder; the committed seeds stay as they were written.
        "$out/${target}_fuzz" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=2048 -timeout=10 "${dict[@]}" \
            -artifact_prefix="$out/artifacts_$target/" -print_final_stats=1 "$work" "$corpus"
    done
fi
