// linefill: joins the lines of each paragraph and breaks them again at a maximum line length,
// keeping each output line's indentation. Columns are counted in runes, or with --display-width
// as a terminal shows them.
//
// Two paths write the same output: the reference (reference.cpp), rune by rune over a stream,
// and the block path (blocks.cpp and the files it names), which the tool runs.
#ifndef LINEFILL_LINEFILL_H
#define LINEFILL_LINEFILL_H

#include "prefixes.h"

#include "blocks.h"
#include "runes.h"
#include "units.h"

extern int line_length;
// Set when standard output is a terminal: only complete output lines are written as the input is
// read, so that what is typed next does not run into an open line; it goes at the input's end.
extern bool whole_lines_only;
// tab_width, the distance between tab stops, is textlib's.

// Runes with the bytes they were read from, in an array that grows by doubling, so appending is
// linear over a whole input.
struct unit_string {
    textlib_unit *units;
    std::size_t length;
    std::size_t capacity;
};

// Columns written on the current output line, kept by both paths. It carries from one input to
// the next: an output line left open at the end of one input goes on in the next.
extern std::uint64_t out_column;
// Whether anything is written on the current output line: by display width a word may take no
// columns and leave out_column at 0 on a line that is open all the same. It carries as out_column.
extern bool line_open;
// The reference's storage, reused from line to line and from one input to the next.
extern unit_string indent;    // leading blanks of the current input line
extern unit_string word;      // the word being collected
extern unit_string held_line; // the current input line
extern unit_string held_lead; // a marked paragraph's indentation, marker and blanks after it

void units_append(unit_string *string, const textlib_unit &unit);

// Whether r, or -1 for the end of input, goes into a word: anything but a blank or a newline.
inline bool is_word_rune(int r) {
    return r != -1 && r != TEXTLIB_NEWLINE && !textlib_is_blank(r);
}

void linefill_file(const char *name);
// The rune-by-rune rules, holding each word whole: the reference for the block path.
void linefill_reference(FILE *in, FILE *out);
// The same output a block at a time, holding no more of a word than can still fit the line.
void linefill_blocks(textlib_input *in, textlib_output *out);

#endif
