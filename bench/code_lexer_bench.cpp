// Throughput of the code-colouring lexer, in MB of UTF-8 source a second: the real files of the
// lexer's tests, a megabyte of minified script on one line (whole, and as the 4096-unit display
// blocks a long line is held in), and the generated 1 and 10 MB pages the editor benchmark opens.
// "state" runs pass no sink: that is what finding the state at the end of a file costs, before
// any line is shown. UTF-16 runs lex what Qt holds; their MB/s still count UTF-8 bytes, so the
// figures compare directly. The one-line script at 0.1, 1 and 10 MB shows the cost is linear.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "bench_inputs.h"
#include "syntax/code_lexer.h"

namespace {

using namespace corvane;

class CountingSink : public CodeSpanSink {
public:
    void span(std::size_t, std::size_t length, CodeToken) override { covered += length; }
    std::size_t covered = 0;
};

std::string readData(const std::string& name) {
    std::ifstream in(std::string(CORVANE_TEST_DATA) + "/code/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? b : b & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
            c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + (c & 0x3FF);
        }
        out += static_cast<char16_t>(c);
        i += length;
    }
    return out;
}

// Lexes line by line, each line in pieces of at most `block` units (0: whole lines).
template <typename Char>
int lexLines(int state, std::basic_string_view<Char> text, std::size_t block, CodeSpanSink* sink) {
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
        std::size_t lineEnd = text.find(Char('\n'), lineStart);
        const bool endsLine = lineEnd != std::basic_string_view<Char>::npos;
        if (!endsLine) lineEnd = text.size();
        std::size_t pos = lineStart;
        do {
            const std::size_t end = block == 0 ? lineEnd : std::min(lineEnd, pos + block);
            state = lexCode(state, text.substr(pos, end - pos), endsLine && end == lineEnd, sink);
            pos = end;
        } while (pos < lineEnd);
        lineStart = lineEnd + 1;
    }
    return state;
}

struct Input {
    CodeLanguage language;
    std::string utf8;
    std::u16string utf16;
};

Input input(CodeLanguage language, std::string utf8) {
    std::u16string utf16 = toUtf16(utf8);
    return {language, std::move(utf8), std::move(utf16)};
}

std::string oneLineScript(std::size_t bytes) {
    const std::string copy = readData("underscore.min.js");
    std::string line;
    while (line.size() < bytes) line += copy + ";";
    return line;
}

enum Flags { kSpans = 1, kUtf16 = 2 };

void run(benchmark::State& state, const Input& in, std::size_t block, int flags) {
    CountingSink sink;
    CodeSpanSink* target = (flags & kSpans) ? &sink : nullptr;
    const int start = codeStartState(in.language);
    for (auto _ : state) {
        const int end = (flags & kUtf16) ? lexLines(start, std::u16string_view(in.utf16), block, target)
                                         : lexLines(start, std::string_view(in.utf8), block, target);
        benchmark::DoNotOptimize(end);
    }
    benchmark::DoNotOptimize(sink.covered);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.utf8.size()));
}

void registerAll() {
    static std::vector<std::pair<std::string, Input>> inputs;
    for (const char* name :
         {"string_decoder.html", "underscore.min.js", "sorttable.js", "doctools.js", "gitweb.css"}) {
        const std::string file = name;
        const CodeLanguage language = file.ends_with(".html")  ? CodeLanguage::Html
                                      : file.ends_with(".css") ? CodeLanguage::Css
                                                               : CodeLanguage::JavaScript;
        inputs.emplace_back(file, input(language, readData(file)));
    }
    for (const std::size_t size : {std::size_t{100} << 10, std::size_t{1} << 20, std::size_t{10} << 20}) {
        inputs.emplace_back("one-line script " + std::to_string(size >> 10) + " KB",
                            input(CodeLanguage::JavaScript, oneLineScript(size)));
    }
    for (const std::size_t megabytes : {1, 10}) {
        inputs.emplace_back("generated page " + std::to_string(megabytes) + " MB",
                            input(CodeLanguage::Html, bench::generateHtml(megabytes << 20)));
    }
    for (const auto& [name, in] : inputs) {
        const Input* p = &in;
        const bool oneLine = name.starts_with("one-line");
        if (oneLine && name != "one-line script 1024 KB") {
            benchmark::RegisterBenchmark((name + "/state").c_str(),
                                         [p](benchmark::State& s) { run(s, *p, 0, 0); });
            continue;
        }
        benchmark::RegisterBenchmark((name + "/spans").c_str(),
                                     [p](benchmark::State& s) { run(s, *p, 0, kSpans); });
        benchmark::RegisterBenchmark((name + "/state").c_str(),
                                     [p](benchmark::State& s) { run(s, *p, 0, 0); });
        benchmark::RegisterBenchmark((name + "/spans utf16").c_str(),
                                     [p](benchmark::State& s) { run(s, *p, 0, kSpans | kUtf16); });
        benchmark::RegisterBenchmark((name + "/state utf16").c_str(),
                                     [p](benchmark::State& s) { run(s, *p, 0, kUtf16); });
        if (oneLine) {
            benchmark::RegisterBenchmark((name + "/spans utf16 blocks of 4096").c_str(),
                                         [p](benchmark::State& s) { run(s, *p, 4096, kSpans | kUtf16); });
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
