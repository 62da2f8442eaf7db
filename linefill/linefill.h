// linefill: joins the lines of each paragraph and breaks them again at a maximum line length,
// keeping each output line's indentation. Columns are counted in runes, or with --display-width
// as a terminal shows them.
//
// Two paths write the same output: the reference (reference.cpp), rune by rune over a stream,
// and the block path (blocks.cpp and the files it names), which the tool runs.
#ifndef LINEFILL_LINEFILL_H
#define LINEFILL_LINEFILL_H

#include "blocks.h"
#include "runes.h"
#include "units.h"

extern int line_length;
// tab_width, the distance between tab stops, is textlib's.

// A rune array that grows by doubling, so appending is linear over a whole input.
struct rune_string {
    rune16 *runes;
    std::size_t length;
    std::size_t capacity;
};

// The reference's words: their runes with the bytes they were read from, grown as rune_string.
struct unit_string {
    textlib_unit *units;
    std::size_t length;
    std::size_t capacity;
};

// Columns written on the current output line, kept by both paths. It carries from one input to
// the next: an output line left open at the end of one input goes on in the next.
extern std::uint64_t out_column;
// The reference's storage, reused from line to line and from one input to the next.
extern rune_string indent; // leading blanks of the current input line
extern unit_string word;   // the word being collected

void runes_append(rune_string *string, rune16 r);
void units_append(unit_string *string, const textlib_unit &unit);

// Whether r, or -1 for the end of input, goes into a word: anything but a blank or a newline.
inline bool is_word_rune(int r) {
    return r != -1 && r != TEXTLIB_NEWLINE && !textlib_is_blank(r);
}

void linefill_file(const char *name);
// The rune-by-rune rules, holding each word whole: the reference for the block path.
void linefill_plain(FILE *in, FILE *out);
// The same output a block at a time, holding no more of a word than can still fit the line.
void linefill_blocks(textlib_input *in, textlib_output *out);

#endif
