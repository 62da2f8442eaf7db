// Every kernel level this machine runs against the scalar reference, on generated text at every
// alignment, with every stop set and limits that fall anywhere.
#include "columns.h"
#include "kernel_check.h"
#include "step.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

namespace {

// The rune starts of the first 64 bytes as the codec's reader takes runes, and which of them are
// plain: written back as the very bytes they were read from, and not U+0080.
std::tuple<std::uint64_t, unsigned, std::uint64_t> taken_by_the_reader(const char *p,
                                                                       std::size_t size) {
    const std::size_t length = std::min<std::size_t>(size, 64);
    std::uint64_t starts = 0, plain = 0;
    unsigned at = 0;
    for (int width = 1; at < length && width != 0; at += static_cast<unsigned>(width)) {
        rune16 r;
        width = textlib_take(&r, p + at, length - at, false);
        if (width == 0) break;
        char bytes[U8_MAXBYTES];
        const bool same = r != RUNE_BAD && r != 0 && u8_encode(bytes, &r) == width &&
                          std::memcmp(bytes, p + at, static_cast<std::size_t>(width)) == 0;
        starts |= std::uint64_t{1} << at;
        plain |= std::uint64_t{same} << at;
    }
    return {starts, at, plain};
}

TEST(Kernel, EveryLevelFindsWhatTheScalarReferenceFinds) {
    const std::vector<const textlib_level *> levels = runnable_levels();
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
        const std::uint64_t columns[] = {0, rng() % 200, ~std::uint64_t{0}};
        const std::uint64_t column = columns[rng() % 3];
        const std::uint64_t limits[] = {~std::uint64_t{0}, column + rng() % 150, column};
        const std::uint64_t limit = limits[rng() % 3];
        const bool between = rng() % 2 == 0;
        textlib_use_level(*levels.front());
        const kernel_found reference = kernel_finds(p, end, stops, column, limit, between);
        if (p < end) {
            const auto field = [&reference](const char *name) {
                return std::find_if(reference.begin(), reference.end(),
                                    [name](const auto &found) { return found.first == name; })
                    ->second;
            };
            ASSERT_EQ(std::make_tuple(field("rune_starts.starts"),
                                      static_cast<unsigned>(field("rune_starts.whole")),
                                      field("rune_starts.plain")),
                      taken_by_the_reader(p, text.size()))
                << testing::PrintToString(text);
        }
        for (const textlib_level *level : levels) {
            textlib_use_level(*level);
            const std::string difference =
                kernel_difference(reference, kernel_finds(p, end, stops, column, limit, between));
            ASSERT_EQ(difference, "")
                << testing::PrintToString(text) << " level " << level->name << " stops " << stops
                << " column " << column << " limit " << limit;
        }
    }
    textlib_use_level(*levels.back());
}

// Columns near the largest one: the stop arithmetic is defined there and agrees with arithmetic
// that cannot overflow, as far as a 64-bit column reaches.
TEST(TabStops, DefinedUpToTheLargestColumn) {
    __extension__ typedef unsigned __int128 wide;
    const std::uint64_t top = ~std::uint64_t{0};
    const std::uint64_t columns[] = {0, 7, 8, top / 2, top - 2147483647, top - 9, top - 1, top};
    for (const char *const tabs : {"8", "2147483647", "3", "1"}) {
        frame_tabs(tabs);
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
    frame_tabs("4,2147483647");
    EXPECT_EQ(textlib_next_stop(3), 4u);
    EXPECT_EQ(textlib_next_stop(4), 2147483647u);
    EXPECT_EQ(textlib_next_stop(top - 1), top);
    EXPECT_EQ(textlib_stops_between(3, top), 2u);
    EXPECT_EQ(textlib_stop_through(top), 2147483647u);
    frame_tabs("8");
}

} // namespace
