// Every kernel level this machine runs against the scalar reference, on generated text at every
// alignment, with every stop set and limits that fall anywhere.
#include "scan.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct skip_result {
    std::ptrdiff_t at;
    std::uint64_t column;
    bool operator==(const skip_result &) const = default;
};

struct count_result {
    std::ptrdiff_t at;
    std::uint64_t lines, words, runes;
    bool between_words;
    bool operator==(const count_result &) const = default;
};

void PrintTo(const skip_result &r, std::ostream *out) {
    *out << "at " << r.at << " column " << r.column;
}

void PrintTo(const count_result &r, std::ostream *out) {
    *out << "at " << r.at << " lines " << r.lines << " words " << r.words << " runes " << r.runes
         << " between " << r.between_words;
}

using skip_routine = const char *(*)(const char *, const char *, unsigned, std::uint64_t *,
                                     std::uint64_t);
using count_routine = const char *(*)(const char *, const char *, textlib_counts *, bool *);

struct level_routines {
    textlib_level level;
    skip_routine skip;
    count_routine count;
};

std::vector<level_routines> vector_levels() {
    std::vector<level_routines> levels;
#if defined(__x86_64__)
    using namespace textlib_levels;
    const level_routines all[] = {{TEXTLIB_SSE2, skip_sse2, count_sse2},
                                  {TEXTLIB_AVX2, skip_avx2, count_avx2},
                                  {TEXTLIB_AVX512, skip_avx512, count_avx512}};
    for (const level_routines &l : all) {
        if (textlib_level_supported(l.level)) levels.push_back(l);
    }
#endif
    return levels;
}

skip_result skip_with(skip_routine skip, const char *p, const char *end, unsigned stops,
                      std::uint64_t column, std::uint64_t limit) {
    const char *const at = skip(p, end, stops, &column, limit);
    return {at - p, column};
}

count_result count_with(count_routine count, const char *p, const char *end, bool between) {
    textlib_counts c{1, 2, 3};
    const char *const at = count(p, end, &c, &between);
    return {at - p, c.lines, c.words, c.runes, between};
}

TEST(Kernel, EveryLevelFindsWhatTheScalarReferenceFinds) {
    const std::vector<level_routines> levels = vector_levels();
    std::mt19937 rng(14);
    alignas(64) static char buffer[2 * 4096 + 128];
    for (int round = 0; round < 6000; round++) {
        const std::size_t length = round % 500 == 0 ? 4096 + rng() % 4096 : rng() % 400;
        const std::string text = generated_text(rng, length);
        const std::size_t offset = static_cast<std::size_t>(round % 64);
        std::memcpy(buffer + offset, text.data(), text.size());
        const char *const p = buffer + offset;
        const char *const end = p + text.size();
        const unsigned stops = static_cast<unsigned>(rng() % 32);
        const std::uint64_t column = rng() % 4 == 0 ? rng() % 200 : 0;
        const std::uint64_t limits[] = {~std::uint64_t{0}, column + rng() % 150, column};
        const std::uint64_t limit = limits[rng() % 3];
        const bool between = rng() % 2 == 0;
        const skip_result skipped =
            skip_with(textlib_levels::skip_scalar, p, end, stops, column, limit);
        const count_result counted = count_with(textlib_levels::count_scalar, p, end, between);
        for (const level_routines &l : levels) {
            const std::string shown = testing::PrintToString(text) + " level " +
                                      textlib_level_name(l.level) + " stops " +
                                      std::to_string(stops) + " limit " + std::to_string(limit);
            ASSERT_EQ(skip_with(l.skip, p, end, stops, column, limit), skipped) << shown;
            ASSERT_EQ(count_with(l.count, p, end, between), counted) << shown;
        }
    }
}

} // namespace
