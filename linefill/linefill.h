// linefill: joins the lines of each paragraph and breaks them again at a maximum line length,
// keeping each output line's indentation. Columns are counted in runes.
#ifndef LINEFILL_LINEFILL_H
#define LINEFILL_LINEFILL_H

#include "blocks.h"

extern int line_length;
// tab_width, the distance between tab stops, is textlib's.

// A rune array that grows by doubling, so appending is linear over a whole input.
struct rune_string {
    rune16 *runes;
    std::size_t length;
    std::size_t capacity;
};

// Carried from one input to the next: an output line left open at the end of one file goes on
// in the next.
extern std::uint64_t out_column; // columns written on the current output line
extern rune_string indent;       // leading blanks of the current input line
extern rune_string word;         // the word being collected by the reference routine

void runes_append(rune_string *string, rune16 r);

void linefill_file(const char *name);
// The rune-by-rune rules, holding each word whole: the reference for the block path.
void linefill_plain(FILE *in, FILE *out);
// The same output a block at a time, holding no more of a word than can still fit the line.
void linefill_blocks(textlib_input *in, textlib_output *out);

#endif
