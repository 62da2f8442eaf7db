// The string scans beside their byte-string counterparts in libc, on the same text: each
// iteration makes one pass over a whole string, with nothing allocated inside the loop.
#include "textlib.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t TEXT_BYTES = 64 * 1024;

// Words of plain ASCII, or the same with accented, currency and Cyrillic runes among them.
// Neither holds '#' nor the searched pattern, so every search goes to the end.
std::string make_text(bool mixed) {
    const char *const ascii_words[] = {"the ",  "quick ", "brown ", "fox ",  "jumps ",
                                       "over ", "lazy ",  "dogs; ", "then ", "there\n"};
    const char *const mixed_words[] = {"the ",   "caf\xc3\xa9 ",   "br\xc3\xbbl\xc3\xa9 ",
                                       "fox ",   "5\xe2\x82\xac ", "\xd0\xbb\xd0\xb8\xd1\x81 ",
                                       "over ",  "na\xc3\xafve ",  "then ",
                                       "there\n"};
    std::string text;
    for (std::size_t i = 0; text.size() < TEXT_BYTES; i++) {
        text += (mixed ? mixed_words : ascii_words)[(i * 7 + i / 10) % 10];
    }
    return text;
}

const char *text(const benchmark::State &state) {
    static const std::string ascii = make_text(false);
    static const std::string mixed = make_text(true);
    return state.range(0) == 0 ? ascii.c_str() : mixed.c_str();
}

constexpr char PATTERN[] = "there!";

void finish(benchmark::State &state) {
    state.SetLabel(state.range(0) == 0 ? "ascii" : "mixed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::strlen(text(state))));
}

void bm_strlen(benchmark::State &state) {
    const char *s = text(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(std::strlen(s));
    }
    finish(state);
}

void bm_u8_bytelen(benchmark::State &state) {
    const char *s = text(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(u8_bytelen(s));
    }
    finish(state);
}

void bm_u8_len(benchmark::State &state) {
    const char *s = text(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(u8_len(s));
    }
    finish(state);
}

void bm_strchr(benchmark::State &state) {
    const char *s = text(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(std::strchr(s, '#'));
    }
    finish(state);
}

void bm_u8_findrune(benchmark::State &state) {
    const char *s = text(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(u8_findrune(s, '#'));
    }
    finish(state);
}

void bm_strstr(benchmark::State &state) {
    const char *s = text(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(std::strstr(s, PATTERN));
    }
    finish(state);
}

void bm_u8_findstr(benchmark::State &state) {
    const char *s = text(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(u8_findstr(s, PATTERN));
    }
    finish(state);
}

} // namespace

BENCHMARK(bm_strlen)->Arg(0)->Arg(1);
BENCHMARK(bm_u8_bytelen)->Arg(0)->Arg(1);
BENCHMARK(bm_u8_len)->Arg(0)->Arg(1);
BENCHMARK(bm_strchr)->Arg(0)->Arg(1);
BENCHMARK(bm_u8_findrune)->Arg(0)->Arg(1);
BENCHMARK(bm_strstr)->Arg(0)->Arg(1);
BENCHMARK(bm_u8_findstr)->Arg(0)->Arg(1);
