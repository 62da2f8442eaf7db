// Every kernel level this machine runs against the scalar reference, on generated text at every
// alignment, with every stop set and limits that fall anywhere.
#include "filter.h"
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

struct starts_result {
    std::uint64_t starts;
    unsigned whole;
    std::uint64_t plain;
    bool operator==(const starts_result &) const = default;
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

void PrintTo(const starts_result &r, std::ostream *out) {
    *out << "starts " << std::hex << r.starts << " plain " << r.plain << std::dec << " whole "
         << r.whole;
}

void PrintTo(const count_result &r, std::ostream *out) {
    *out << "at " << r.at << " lines " << r.lines << " words " << r.words << " runes " << r.runes
         << " between " << r.between_words;
}

using skip_routine = const char *(*)(const char *, const char *, unsigned, std::uint64_t *,
                                     std::uint64_t);
using count_routine = const char *(*)(const char *, const char *, textlib_counts *, bool *);
using starts_routine = std::uint64_t (*)(const char *, const char *, unsigned *, std::uint64_t *);
using look_routine = textlib_view (*)(const char *, const char *);

struct level_routines {
    textlib_level level;
    skip_routine skip;
    count_routine count;
    starts_routine starts;
    look_routine look;
};

std::vector<level_routines> vector_levels() {
    std::vector<level_routines> levels;
#if defined(__x86_64__)
    using namespace textlib_levels;
    const level_routines all[] = {
        {TEXTLIB_SSE2, skip_sse2, count_sse2, rune_starts_sse2, look_sse2},
        {TEXTLIB_AVX2, skip_avx2, count_avx2, rune_starts_avx2, look_avx2},
        {TEXTLIB_AVX512, skip_avx512, count_avx512, rune_starts_avx512, look_avx512}};
    for (const level_routines &l : all) {
        if (textlib_level_supported(l.level)) levels.push_back(l);
    }
#endif
    return levels;
}

// A column of ~0 asks for a scan that counts no columns.
skip_result skip_with(skip_routine skip, const char *p, const char *end, unsigned stops,
                      std::uint64_t column, std::uint64_t limit) {
    const bool counted = column != ~std::uint64_t{0};
    const char *const at = skip(p, end, stops, counted ? &column : nullptr, limit);
    return {at - p, column};
}

bool operator==(const textlib_view &a, const textlib_view &b) {
    return a.tabs == b.tabs && a.newlines == b.newlines && a.spaces == b.spaces &&
           a.plain == b.plain;
}

starts_result starts_with(starts_routine starts, const char *p, const char *end) {
    starts_result r{0, 0, 0};
    if (p < end) r.starts = starts(p, end, &r.whole, &r.plain);
    return r;
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
        const unsigned stops = static_cast<unsigned>(rng() % 64);
        const std::uint64_t columns[] = {0, rng() % 200, ~std::uint64_t{0}};
        const std::uint64_t column = columns[rng() % 3];
        const std::uint64_t limits[] = {~std::uint64_t{0}, column + rng() % 150, column};
        const std::uint64_t limit = limits[rng() % 3];
        const bool between = rng() % 2 == 0;
        const skip_result skipped =
            skip_with(textlib_levels::skip_scalar, p, end, stops, column, limit);
        const count_result counted = count_with(textlib_levels::count_scalar, p, end, between);
        const starts_result started = starts_with(textlib_levels::rune_starts_scalar, p, end);
        // The reference's starts are where the codec's reader takes runes from.
        starts_result taken{0, 0, 0};
        for (int width = 1; taken.whole < std::min<std::size_t>(text.size(), 64) && width != 0;) {
            rune16 r;
            const std::size_t n = std::min<std::size_t>(text.size(), 64) - taken.whole;
            width = textlib_take(&r, p + taken.whole, n, false);
            if (width != 0) {
                taken.starts |= std::uint64_t{1} << taken.whole;
                // Plain: written back as the very bytes it was read from, and not U+0080.
                char bytes[U8_MAXBYTES];
                const bool same =
                    r != RUNE_BAD && r != 0 && u8_encode(bytes, &r) == width &&
                    std::memcmp(bytes, p + taken.whole, static_cast<std::size_t>(width)) == 0;
                taken.plain |= std::uint64_t{same} << taken.whole;
            }
            taken.whole += static_cast<unsigned>(width);
        }
        ASSERT_EQ(started, taken) << testing::PrintToString(text);
        for (const level_routines &l : levels) {
            const std::string shown = testing::PrintToString(text) + " level " +
                                      textlib_level_name(l.level) + " stops " +
                                      std::to_string(stops) + " limit " + std::to_string(limit);
            ASSERT_EQ(skip_with(l.skip, p, end, stops, column, limit), skipped) << shown;
            ASSERT_EQ(count_with(l.count, p, end, between), counted) << shown;
            ASSERT_EQ(starts_with(l.starts, p, end), started) << shown;
            if (p < end) {
                ASSERT_TRUE(l.look(p, end) == textlib_levels::look_scalar(p, end)) << shown;
            }
        }
    }
}

// Columns near the largest one: the stop arithmetic is defined there and agrees with arithmetic
// that cannot overflow, as far as a 64-bit column reaches.
TEST(TabStops, DefinedUpToTheLargestColumn) {
    __extension__ typedef unsigned __int128 wide;
    const std::uint64_t top = ~std::uint64_t{0};
    const std::uint64_t columns[] = {0, 7, 8, top / 2, top - 2147483647, top - 9, top - 1, top};
    for (const char *const tabs : {"8", "2147483647", "3", "1"}) {
        use_tabs(tabs);
        const wide width = std::stoul(tabs);
        for (const std::uint64_t column : columns) {
            // Past the largest column the next stop wraps round, as unsigned arithmetic does.
            const auto next = static_cast<std::uint64_t>((column / width + 1) * width);
            EXPECT_EQ(textlib_next_stop(column), next) << tabs << " at " << column;
            EXPECT_EQ(textlib_stops_between(0, column), static_cast<std::uint64_t>(column / width))
                << tabs << " at " << column;
            EXPECT_EQ(textlib_stop_through(column),
                      static_cast<std::uint64_t>(column - column % width))
                << tabs << " at " << column;
        }
    }
    // Past the last stop of a list, a tab takes one column.
    use_tabs("4,2147483647");
    EXPECT_EQ(textlib_next_stop(3), 4u);
    EXPECT_EQ(textlib_next_stop(4), 2147483647u);
    EXPECT_EQ(textlib_next_stop(top - 1), top);
    EXPECT_EQ(textlib_stops_between(3, top), 2u);
    EXPECT_EQ(textlib_stop_through(top), 2147483647u);
    use_tabs("8");
}

} // namespace
