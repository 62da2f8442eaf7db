// textlib_scan_lines for every level: what a line that ends passes on to the next, and the
// reference's lines from a scan of one line at a time. The lines go on in one call, so that a
// whole paragraph costs one call, not one a line.
#ifndef TEXTLIB_KERNEL_LINES_H
#define TEXTLIB_KERNEL_LINES_H

#include "scan.h"

#include <algorithm>
#include <cstring>

namespace {

// Whether the words of a line from p up to words_end, with newlines as textlib_line has them, hold
// a newline or end at one.
inline bool passes_newline(const char *p, const char *words_end,
                           const std::uint64_t (&newlines)[2]) {
    if ((newlines[0] | newlines[1]) != 0 || *words_end == '\n') return true;
    const auto words = static_cast<std::size_t>(words_end - p);
    return words > TEXTLIB_LINE_NEWLINE_WINDOW &&
           std::memchr(p + TEXTLIB_LINE_NEWLINE_WINDOW, '\n',
                       words - TEXTLIB_LINE_NEWLINE_WINDOW) != nullptr;
}

// one_line(p, column, &full) scans one line as textlib_scan_lines does, and sets full when it
// stopped at the limit.
template <typename scan_one>
inline textlib_lines scan_lines_with(const char *p, std::uint64_t column, std::uint64_t limit,
                                     std::uint64_t opening, scan_one one_line) {
    textlib_lines lines;
    lines.count = 0;
    bool passed = false;
    for (;;) {
        bool full;
        lines.last = one_line(p, column, &full);
        const textlib_line &line = lines.last;
        if (!full || line.words_end == p || lines.count == TEXTLIB_LINES_MOST) return lines;
        lines.ends[lines.count] = line.words_end;
        lines.newlines[lines.count][0] = line.newlines[0];
        lines.newlines[lines.count][1] = line.newlines[1];
        lines.count++;
        passed = passed || passes_newline(p, line.words_end, line.newlines);
        p = line.words_end + 1;
        column = passed ? 0 : std::min(opening, limit);
    }
}

} // namespace

#endif
