// Columns: where tab stops lie, and how many columns runes take, one each or by display width.
// Internal to textlib and the tools.
#ifndef TEXTLIB_FASTPATH_COLUMNS_H
#define TEXTLIB_FASTPATH_COLUMNS_H

#include "runes.h"
#include "scan.h"
#include "units.h"
#include "width.h"

#include <cstddef>
#include <cstdint>

// Tab stops lie every tab_width columns, or, when -t gives a list, at its columns: past the last
// of them a tab takes one column.
extern std::uint64_t *textlib_tab_list;
extern std::size_t textlib_tab_stops; // 0 without a list
// For the columns of the list up to a bound: how many of its stops lie at or before each.
constexpr std::size_t TEXTLIB_TAB_INDEXED = 4096;
extern std::uint32_t textlib_tab_index[TEXTLIB_TAB_INDEXED];
extern std::size_t textlib_tab_indexed;

// How many stops of the list lie at or before a column past the table.
std::uint64_t textlib_stops_searched(std::uint64_t column);

// How many stops of the list lie at or before column.
inline std::uint64_t textlib_stops_through(std::uint64_t column) {
    // The table's own bound, which textlib_tab_indexed never passes, tells the compiler so too.
    return column < textlib_tab_indexed && column < TEXTLIB_TAB_INDEXED
               ? textlib_tab_index[column]
               : textlib_stops_searched(column);
}

// The first tab stop after column. A mask serves the usual power-of-two widths, where a 64-bit
// division would cost more than the rest.
inline std::uint64_t textlib_next_stop(std::uint64_t column) {
    if (textlib_tab_stops != 0) {
        const std::uint64_t at = textlib_stops_through(column);
        return at < textlib_tab_stops ? textlib_tab_list[at] : column + 1;
    }
    const auto width = static_cast<std::uint64_t>(tab_width);
    return column + width - ((width & (width - 1)) == 0 ? column & (width - 1) : column % width);
}

// The column a blank at column reaches: the next one for a space, the next tab stop for a tab.
inline std::uint64_t textlib_after_blank(int blank, std::uint64_t column) {
    return blank == TEXTLIB_SPACE ? column + 1 : textlib_next_stop(column);
}

// The tab stops in (start, end], start <= end.
inline std::uint64_t textlib_stops_between(std::uint64_t start, std::uint64_t end) {
    if (textlib_tab_stops != 0) return textlib_stops_through(end) - textlib_stops_through(start);
    const auto width = static_cast<std::uint64_t>(tab_width);
    if ((width & (width - 1)) == 0) {
        const int shift = __builtin_ctzll(width);
        return (end >> shift) - (start >> shift);
    }
    return end / width - start / width;
}

// The last tab stop at or before column, which has one.
inline std::uint64_t textlib_stop_through(std::uint64_t column) {
    if (textlib_tab_stops != 0) return textlib_tab_list[textlib_stops_through(column) - 1];
    const auto width = static_cast<std::uint64_t>(tab_width);
    return column - ((width & (width - 1)) == 0 ? column & (width - 1) : column % width);
}

// The columns of r, which is neither tab nor newline: one, or its display width.
inline std::uint64_t textlib_columns_of(rune16 r) {
    return display_width ? static_cast<std::uint64_t>(textlib_display_width(r)) : 1;
}

// The columns of the rune r read from its width bytes at p, neither tab nor newline: a four-byte
// sequence kept whole takes those of its character. keep is keep_bytes, a constant where a loop
// is made for one value of it, so that the loop made without it tests nothing more.
inline std::uint64_t textlib_unit_columns(rune16 r, const char *p, unsigned width, bool keep) {
    if (!keep || width < TEXTLIB_UNIT_MAXBYTES) return textlib_columns_of(r);
    return display_width
               ? static_cast<std::uint64_t>(textlib_supplementary_width(textlib_char_of_four(p)))
               : 1;
}

// The columns of a unit as the rune-by-rune references read it.
inline std::uint64_t textlib_unit_columns(const textlib_unit &unit) {
    return textlib_unit_columns(unit.rune, unit.bytes, unit.n, keep_bytes);
}

// The display column after the plain text from p to end, which holds no tab, from column at p:
// worked out for the last line alone.
std::uint64_t textlib_columns_after(const char *p, const char *end, std::uint64_t column);

// textlib_skip without a limit, *column moved by one a rune, or by display width when that is
// asked for.
inline const char *textlib_skip_columns(const char *p, const char *end, unsigned halts,
                                        std::uint64_t *column) {
    if (!display_width) return textlib_skip(p, end, halts, column, ~std::uint64_t{0});
    const char *const plain = textlib_skip(p, end, halts, nullptr, 0);
    *column = textlib_columns_after(p, plain, *column);
    return plain;
}

// The long options of the tools that count columns.
constexpr frame_long_option TEXTLIB_COLUMN_OPTIONS[] = {{"display-width", LONG_DISPLAY_WIDTH},
                                                        {"keep-bytes", LONG_KEEP_BYTES}};

#endif
