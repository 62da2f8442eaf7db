// The block path's indentation: the leading blanks of the current input line, kept as runs of
// spaces each followed by a run of tabs, every finished run as two numbers of seven bits a byte.
// That is never more bytes than blanks, and a few bytes for any number of one kind.
#ifndef LINEFILL_INDENTATION_H
#define LINEFILL_INDENTATION_H

#include "buffers.h"

#include "blocks.h"
#include "columns.h"

#include <cstdint>

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

inline void indent_add(indentation *ind, int blank) {
    if (blank == TEXTLIB_SPACE && ind->tabs != 0) indent_finish_run(ind);
    (blank == TEXTLIB_SPACE ? ind->spaces : ind->tabs)++;
    ind->width = textlib_after_blank(blank, ind->width);
    ind->any = true;
    if (ind->count < FEW_BLANKS) ind->few[ind->count] = static_cast<char>(blank);
    if (ind->count <= FEW_BLANKS) ind->count++;
}

// The blanks from p, before end, added to the indentation; returns the first byte after them.
inline const char *indent_take(indentation *ind, const char *p, const char *end) {
    for (; p < end && (*p == ' ' || *p == '\t'); p++)
        indent_add(ind, *p);
    return p;
}

// Makes *to the same indentation as *from, in storage of its own.
void indent_copy(indentation *to, const indentation *from);

// Written only at the start of an output line, so the line reaches the indentation's width.
void put_indent(textlib_output *out, const indentation *ind);

#endif
