// The block path's indentation: the leading blanks of the current input line, kept as runs of
// spaces each followed by a run of tabs, every finished run as two numbers of seven bits a byte.
// That is never more bytes than blanks, and a few bytes for any number of one kind.
#ifndef LINEFILL_INDENTATION_H
#define LINEFILL_INDENTATION_H

#include "buffers.h"

#include "blocks.h"
#include "columns.h"

#include <cstdint>

struct indentation {
    byte_buffer runs;           // the finished runs
    std::uint64_t spaces, tabs; // the run still open
    std::uint64_t width;        // the column it reaches from column 0
    bool any;
};

inline void indent_clear(indentation *ind) {
    ind->runs.length = 0;
    ind->spaces = ind->tabs = ind->width = 0;
    ind->any = false;
}

// Moves the open run to the finished ones.
void indent_finish_run(indentation *ind);

inline void indent_add(indentation *ind, int blank) {
    if (blank == TEXTLIB_SPACE && ind->tabs != 0) indent_finish_run(ind);
    (blank == TEXTLIB_SPACE ? ind->spaces : ind->tabs)++;
    ind->width = textlib_after_blank(blank, ind->width);
    ind->any = true;
}

// Written only at the start of an output line, so the line reaches the indentation's width.
void put_indent(textlib_output *out, const indentation *ind);

#endif
