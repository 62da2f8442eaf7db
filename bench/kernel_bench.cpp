// The scanning kernel alone, at every level this machine runs, on prose-like and CJK-like blocks
// of 128 KiB: a skip for tabs with columns counted (expand's scan) and a count of lines, words
// and runes (tally's). Bytes per second is the figure to read.
#include "scan.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

constexpr std::size_t BLOCK = 128 * 1024;

std::string make_block(bool cjk) {
    const char *const prose[] = {"the ",   "caf\xc3\xa9 ", "quick ",        "brown ", "fox\n",
                                 "jumps ", "over ",        "na\xc3\xafve ", "lazy ",  "dogs.\n"};
    const char *const ideographs[] = {"\xe6\x97\xa5\xe6\x9c\xac", "\xe8\xaa\x9e",
                                      "\xe3\x81\xa7\xe3\x81\x99", "\xe3\x80\x80",
                                      "\xe6\xbc\xa2\xe5\xad\x97", "\n"};
    std::string text;
    for (std::size_t i = 0; text.size() < BLOCK; i++)
        text += cjk ? ideographs[(i * 7 + i / 5) % 6] : prose[(i * 7 + i / 10) % 10];
    text.resize(BLOCK - 2);
    text += "\n\n";
    return text;
}

void run_level(benchmark::State &state, textlib_level level, bool cjk, bool count) {
    if (!textlib_level_supported(level)) {
        state.SkipWithError("level not supported here");
        return;
    }
    textlib_force_level(level);
    const std::string text = make_block(cjk);
    const char *const end = text.data() + text.size();
    for (auto _ : state) {
        if (count) {
            textlib_counts counts{};
            bool between = true;
            benchmark::DoNotOptimize(textlib_count(text.data(), end, &counts, &between));
            benchmark::DoNotOptimize(counts);
        } else {
            std::uint64_t column = 0;
            benchmark::DoNotOptimize(
                textlib_skip(text.data(), end, TEXTLIB_STOP_TAB, &column, ~std::uint64_t{0}));
            benchmark::DoNotOptimize(column);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void register_all() {
    for (const textlib_level level :
         {TEXTLIB_SCALAR, TEXTLIB_SSE2, TEXTLIB_AVX2, TEXTLIB_AVX512, TEXTLIB_AVX512VBMI2}) {
        for (const bool cjk : {false, true}) {
            for (const bool count : {false, true}) {
                const std::string name = std::string(count ? "count/" : "skip/") +
                                         (cjk ? "cjk/" : "prose/") + textlib_level_name(level);
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State &state) {
                    run_level(state, level, cjk, count);
                });
            }
        }
    }
}

const int registered = (register_all(), 0);

} // namespace
