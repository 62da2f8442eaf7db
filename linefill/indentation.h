// The block path's indentation: the leading blanks of the current input line, kept as runs of
// spaces each followed by a run of tabs, every finished run as two numbers of seven bits a byte.
// That is never more bytes than blanks, and a few bytes for any number of one kind.
#ifndef LINEFILL_INDENTATION_H
#define LINEFILL_INDENTATION_H

#include "buffers.h"
#include "linefill.h"

#include "blocks.h"
#include "columns.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// Most indentations are a few blanks, written at every output line: those are kept as they
// stand too, and written in one piece.
constexpr std::size_t FEW_BLANKS = 16;

struct indentation {
    byte_buffer runs;           // the finished runs
    std::uint64_t spaces, tabs; // the run still open
    std::uint64_t width;        // the column it reaches from column 0
    bool any;
    std::size_t count; // blanks, up to FEW_BLANKS + 1 for more
    char few[FEW_BLANKS];
};

inline void indent_clear(indentation *ind) {
    ind->runs.length = 0;
    ind->spaces = ind->tabs = ind->width = 0;
    ind->any = false;
    ind->count = 0;
}

// Moves the open run to the finished ones.
void indent_finish_run(indentation *ind);

// The blanks from p, before end, added to the indentation; returns the first byte after them.
// Nearly every line of source code has some, so the runs are counted in locals and the few blanks
// copied at once.
inline const char *indent_take(indentation *ind, const char *p, const char *end) {
    std::uint64_t spaces = ind->spaces, tabs = ind->tabs, width = ind->width;
    const char *q = p;
    for (; q < end && textlib_is_blank(*q); q++) {
        if (*q == '\t') {
            tabs++;
            width = textlib_next_stop(width);
            continue;
        }
        if (tabs != 0) {
            ind->spaces = spaces;
            ind->tabs = tabs;
            indent_finish_run(ind);
            spaces = tabs = 0;
        }
        spaces++;
        width++;
    }
    if (q == p) return p;
    const auto n = static_cast<std::size_t>(q - p);
    if (ind->count < FEW_BLANKS)
        std::memcpy(ind->few + ind->count, p, std::min(n, FEW_BLANKS - ind->count));
    ind->count = std::min(ind->count + n, FEW_BLANKS + 1);
    ind->spaces = spaces;
    ind->tabs = tabs;
    ind->width = width;
    ind->any = true;
    return q;
}

// One blank, a rune read by itself.
inline void indent_add(indentation *ind, int blank) {
    const char byte = static_cast<char>(blank);
    indent_take(ind, &byte, &byte + 1);
}

// Makes *to the same indentation as *from, in storage of its own.
void indent_copy(indentation *to, const indentation *from);

// put_indent for more than FEW_BLANKS blanks.
void put_indent_runs(textlib_output *out, const indentation *ind);

// Written only at the start of an output line, so the line reaches the indentation's width. Most
// output lines open with one, so the few blanks are written here.
inline void put_indent(textlib_output *out, const indentation *ind) {
    if (ind->count > FEW_BLANKS) {
        put_indent_runs(out, ind);
        return;
    }
    std::memcpy(textlib_output_room(out, FEW_BLANKS), ind->few, FEW_BLANKS);
    textlib_output_commit(out, ind->count);
    out_column = ind->width;
}

#endif
