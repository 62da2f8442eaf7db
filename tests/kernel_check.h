// The kernel's levels and findings, shared by the tests and the fuzz targets: each compares every
// level this machine runs with the scalar reference.
#ifndef TESTS_KERNEL_CHECK_H
#define TESTS_KERNEL_CHECK_H

#include "scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// The kernel levels this build has that this machine runs, the scalar reference first.
inline std::vector<const textlib_level *> runnable_levels() {
    std::vector<const textlib_level *> levels;
    for (const textlib_level *level : textlib_levels()) {
        if (level->runs_here()) levels.push_back(level);
    }
    return levels;
}

// Switches the kernel to the next level this machine runs, round and round, so that a generated
// comparison that calls it before each block run meets every level.
inline void use_next_level() {
    static const std::vector<const textlib_level *> levels = runnable_levels();
    static std::size_t next = 0;
    textlib_use_level(*levels[next++ % levels.size()]);
}

// All the kernel finds at p, each number named by its operation and field: a skip (a column of
// ~0 asks for one that counts none), the rune starts and the view of the first chunk, the bytes
// of its one-byte runes written, two scans of lines, the second from where the first stopped, and
// the counts of every selection.
using kernel_found = std::vector<std::pair<std::string, std::uint64_t>>;

inline kernel_found kernel_finds(const char *p, const char *end, unsigned stops,
                                 std::uint64_t column, std::uint64_t limit, bool between) {
    kernel_found found;
    const auto add = [&found](const std::string &operation, const char *fields, auto... values) {
        std::string names = fields;
        std::size_t from = 0;
        const auto next_name = [&names, &from] {
            const std::size_t comma = names.find(',', from);
            const std::string name = names.substr(from, comma - from);
            from = comma == std::string::npos ? names.size() : comma + 1;
            return name;
        };
        (found.emplace_back(operation + "." + next_name(), static_cast<std::uint64_t>(values)),
         ...);
    };
    const std::uint64_t line_column = column == ~std::uint64_t{0} ? 0 : column;
    const char *const skipped =
        textlib_skip(p, end, stops, column == ~std::uint64_t{0} ? nullptr : &column, limit);
    add("skip", "at,column", skipped - p, column);
    if (p == end) return found;
    const textlib_runes r = textlib_rune_starts(p, end);
    add("rune_starts", "starts,whole,plain,tabs,newlines,spaces,zeros,cut_short", r.starts, r.whole,
        r.plain, r.tabs, r.newlines, r.spaces, r.zeros, r.cut_short);
    std::uint64_t four_leads;
    textlib_rune_starts_fours(p, end, &four_leads);
    add("rune_starts_fours", "four_leads", four_leads);
    const textlib_view view = textlib_look(p, end);
    add("look", "tabs,newlines,spaces,plain_length", view.tabs, view.newlines, view.spaces,
        view.plain_length);
    // Bytes 00 and 80-FF written as two where the starts and some bits besides say so; dropped
    // where the zeros and some others say so.
    const auto n = static_cast<unsigned>(std::min<std::ptrdiff_t>(end - p, 64));
    std::uint64_t doubled = r.starts | (line_column * 0x9E3779B97F4A7C15);
    for (unsigned i = 0; i < n; i++) {
        const auto b = static_cast<unsigned char>(p[i]);
        if (b != 0 && b < 0x80) doubled &= ~(std::uint64_t{1} << i);
    }
    const std::uint64_t drop = between ? r.zeros | (limit * 0xC2B2AE3D27D4EB4F) : 0;
    char bytes[64] = {}, written[128];
    std::memcpy(bytes, p, n);
    const char *const written_end = textlib_reencode_bytes(written, bytes, n, doubled, drop);
    add("write", "length", written_end - written);
    for (const char *at = written; at < written_end; at++)
        add("write", ("byte " + std::to_string(at - written)).c_str(),
            static_cast<unsigned char>(*at));
    textlib_line_chunk chunk{};
    const char *from = p;
    // A line that a break opens at a column short of the limit, or past it.
    const std::uint64_t opening = between ? limit % 9 : limit + limit % 3;
    for (const char *const scan : {"scan_lines", "second scan_lines"}) {
        const textlib_lines lines =
            textlib_scan_lines(&chunk, from, end, line_column, std::max(limit, line_column),
                               opening, (stops & TEXTLIB_HALT_NEWLINE) != 0);
        add(scan, "count", lines.count);
        for (unsigned i = 0; i < lines.count; i++)
            add(scan, "end,newlines[0],newlines[1]", lines.ends[i] - p, lines.newlines[i][0],
                lines.newlines[i][1]);
        const textlib_line &line = lines.last;
        add(scan, "q,column,words_end,words_column,newlines[0],newlines[1]", line.q - p,
            line.column, line.words_end - p, line.words_column, line.newlines[0], line.newlines[1]);
        from = line.q;
    }
    // Every selection of counts, with more bytes to come and without.
    for (unsigned selection = 0; selection < 16; selection++) {
        for (const bool at_end : {false, true}) {
            textlib_counts c{1, 2, 3, 4};
            bool between_words = between;
            const char *const tallied =
                textlib_tally(p, end, at_end, selection, &c, &between_words);
            add("tally " + std::to_string(selection) + (at_end ? " at end" : ""),
                "at,lines,words,runes,broken,between", tallied - p, c.lines, c.words, c.runes,
                c.broken, between_words);
        }
    }
    return found;
}

// The first number a level found otherwise than the reference, named, with both values; empty
// when it found the same.
inline std::string kernel_difference(const kernel_found &reference, const kernel_found &found) {
    for (std::size_t i = 0; i < reference.size() && i < found.size(); i++) {
        if (reference[i] != found[i]) {
            return reference[i].first + ": reference " + std::to_string(reference[i].second) +
                   ", level " + found[i].first + " " + std::to_string(found[i].second);
        }
    }
    if (reference.size() != found.size())
        return "the level found " + std::to_string(found.size()) + " numbers, the reference " +
               std::to_string(reference.size());
    return "";
}

#endif
