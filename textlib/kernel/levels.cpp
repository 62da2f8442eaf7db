// The kernel's entry points: one level, chosen once from what the CPU reports.
#include "scan.h"

// The build writes the table of the levels it has, slowest first.
#include "kernel_levels.h"

namespace {

const textlib_level *best_level() {
    const textlib_level *best = LEVELS[0];
    for (const textlib_level *level : LEVELS) {
        if (level->runs_here()) best = level;
    }
    return best;
}

const textlib_level *level_in_use = best_level();

inline const textlib_kernel &kernel() {
    return level_in_use->kernel;
}

} // namespace

std::span<const textlib_level *const> textlib_levels() {
    return LEVELS;
}

const textlib_level &textlib_level_in_use() {
    return *level_in_use;
}

void textlib_use_level(const textlib_level &level) {
    level_in_use = &level;
}

const char *textlib_skip(const char *p, const char *end, unsigned halts, std::uint64_t *column,
                         std::uint64_t limit) {
    return kernel().skip(p, end, halts, column, limit);
}

const char *textlib_tally(const char *p, const char *end, bool at_end, unsigned selection,
                          textlib_counts *counts, bool *between_words) {
    return kernel().tally(p, end, at_end, selection, counts, between_words);
}

textlib_runes textlib_rune_starts(const char *p, const char *end) {
    return kernel().rune_starts(p, end);
}

textlib_runes textlib_rune_starts_fours(const char *p, const char *end, std::uint64_t *four_leads) {
    return kernel().rune_starts_fours(p, end, four_leads);
}

textlib_view textlib_look(const char *p, const char *end) {
    return kernel().look(p, end);
}

char *textlib_reencode_bytes(char *o, const char *p, unsigned n, std::uint64_t doubled,
                             std::uint64_t drop) {
    return kernel().reencode_bytes(o, p, n, doubled, drop);
}

textlib_lines textlib_scan_lines(textlib_line_chunk *chunk, const char *p, const char *end,
                                 std::uint64_t column, std::uint64_t limit, std::uint64_t opening,
                                 bool newline_halts) {
    return kernel().scan_lines(chunk, p, end, column, limit, opening, newline_halts);
}
