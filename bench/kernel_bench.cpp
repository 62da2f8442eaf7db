// The scanning kernel alone, at every level this machine runs, on blocks of 128 KiB: on prose-like
// and CJK-like text a skip for tabs with columns counted (expand's scan) and a count of lines,
// words and runes (tally's); on bytes at random the writer of one-byte runes (the exact step's);
// on prose the scan of 70-column lines (linefill's). Bytes per second is the figure to read.
#include "scan.h"

#include <benchmark/benchmark.h>
#include <string>
#include <vector>

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

// Bytes at random, as the one-byte runes that the writer is given: every byte that starts a rune
// of its own.
std::string random_block() {
    std::string text(BLOCK, '\0');
    std::uint64_t x = 88172645463325252;
    for (char &byte : text) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        byte = static_cast<char>(x);
    }
    return text;
}

bool use_level(benchmark::State &state, const textlib_level &level) {
    if (!level.runs_here()) {
        state.SkipWithError("level not supported here");
        return false;
    }
    textlib_use_level(level);
    return true;
}

// The writer of one-byte runes on bytes at random, 64 at a time.
void run_writer(benchmark::State &state, const textlib_level &level) {
    if (!use_level(state, level)) return;
    const std::string text = random_block();
    std::vector<std::uint64_t> doubled;
    for (std::size_t at = 0; at < text.size(); at += 64) {
        const textlib_runes runes =
            textlib_rune_starts(text.data() + at, text.data() + text.size());
        doubled.push_back(runes.starts & (runes.starts >> 1 | std::uint64_t{1} << 63) &
                          ~runes.plain);
    }
    static char written[2 * BLOCK + 128];
    for (auto _ : state) {
        char *o = written;
        for (std::size_t at = 0; at < text.size(); at += 64)
            o = textlib_reencode_bytes(o, text.data() + at, 64, doubled[at / 64], 0);
        benchmark::DoNotOptimize(o);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The line scan of linefill on prose, 70 columns a line.
void run_lines(benchmark::State &state, const textlib_level &level) {
    if (!use_level(state, level)) return;
    const std::string text = make_block(false);
    const char *const end = text.data() + text.size();
    for (auto _ : state) {
        textlib_line_chunk chunk{};
        for (const char *p = text.data(); p < end;) {
            const textlib_line line = textlib_scan_lines(&chunk, p, end, 0, 70, 0, false).last;
            p = line.words_end > p ? line.words_end + 1 : line.q > p ? line.q : line.q + 1;
        }
        benchmark::DoNotOptimize(chunk);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void run_level(benchmark::State &state, const textlib_level &level, bool cjk, bool count) {
    if (!use_level(state, level)) return;
    const std::string text = make_block(cjk);
    const char *const end = text.data() + text.size();
    for (auto _ : state) {
        if (count) {
            textlib_counts counts{};
            bool between = true;
            benchmark::DoNotOptimize(
                textlib_tally(text.data(), end, true,
                              TEXTLIB_COUNT_LINES | TEXTLIB_COUNT_WORDS | TEXTLIB_COUNT_RUNES,
                              &counts, &between));
            benchmark::DoNotOptimize(counts);
        } else {
            std::uint64_t column = 0;
            benchmark::DoNotOptimize(
                textlib_skip(text.data(), end, TEXTLIB_HALT_TAB, &column, ~std::uint64_t{0}));
            benchmark::DoNotOptimize(column);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void register_all() {
    for (const textlib_level *each : textlib_levels()) {
        const textlib_level &level = *each;
        for (const bool cjk : {false, true}) {
            for (const bool count : {false, true}) {
                const std::string name = std::string(count ? "count/" : "skip/") +
                                         (cjk ? "cjk/" : "prose/") + level.name;
                benchmark::RegisterBenchmark(name.c_str(), [=, &level](benchmark::State &state) {
                    run_level(state, level, cjk, count);
                });
            }
        }
        const std::string name = level.name;
        benchmark::RegisterBenchmark(
            ("write/random/" + name).c_str(),
            [=, &level](benchmark::State &state) { run_writer(state, level); });
        benchmark::RegisterBenchmark(
            ("lines/prose/" + name).c_str(),
            [=, &level](benchmark::State &state) { run_lines(state, level); });
    }
}

const int registered = (register_all(), 0);

} // namespace
