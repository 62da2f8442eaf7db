// The kernel's levels and findings, shared by the tests and the fuzz targets: each compares every
// level this machine runs with the scalar reference.
#ifndef TESTS_KERNEL_CHECK_H
#define TESTS_KERNEL_CHECK_H

#include "scan.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

// The kernel levels this machine runs, slowest first.
inline std::vector<textlib_level> runnable_levels() {
    std::vector<textlib_level> levels;
    for (const textlib_level level :
         {TEXTLIB_SCALAR, TEXTLIB_SSE2, TEXTLIB_AVX2, TEXTLIB_AVX512, TEXTLIB_AVX512VBMI2}) {
        if (textlib_level_supported(level)) levels.push_back(level);
    }
    return levels;
}

// Switches the kernel to the next level this machine runs, round and round, so that a generated
// comparison that calls it before each block run meets every level.
inline void use_next_level() {
    static const std::vector<textlib_level> levels = runnable_levels();
    static std::size_t next = 0;
    textlib_force_level(levels[next++ % levels.size()]);
}

// All the kernel finds at p: a skip (a column of ~0 asks for one that counts none), a count, the
// rune starts and the view of the first chunk.
using kernel_found = std::tuple<std::ptrdiff_t, std::uint64_t, std::ptrdiff_t, std::uint64_t,
                                std::uint64_t, std::uint64_t, bool, std::uint64_t, unsigned,
                                std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t,
                                unsigned, std::uint64_t, std::uint64_t, std::uint64_t, std::string>;

inline kernel_found kernel_finds(const char *p, const char *end, unsigned stops,
                                 std::uint64_t column, std::uint64_t limit, bool between) {
    const char *const skipped =
        textlib_skip(p, end, stops, column == ~std::uint64_t{0} ? nullptr : &column, limit);
    textlib_counts c{1, 2, 3};
    const char *const counted = textlib_count(p, end, &c, &between);
    textlib_runes r{0, 0, 0, 0, 0, 0};
    textlib_view view{0, 0, 0, 0};
    // The bytes at p written as runes of one byte where the starts and some bits besides say.
    char written[128];
    char *written_end = written;
    if (p < end) {
        r = textlib_rune_starts(p, end);
        view = textlib_look(p, end);
        const auto n = static_cast<unsigned>(std::min<std::ptrdiff_t>(end - p, 64));
        const std::uint64_t lone = r.starts | (column * 0x9E3779B97F4A7C15);
        written_end = textlib_write_lone_runes(written, p, n, lone);
    }
    return {skipped - p, column,
            counted - p, c.lines,
            c.words,     c.runes,
            between,     r.starts,
            r.whole,     r.plain,
            view.tabs,   view.newlines,
            view.spaces, view.plain,
            r.tabs,      r.newlines,
            r.spaces,    std::string(written, static_cast<std::size_t>(written_end - written))};
}

#endif
