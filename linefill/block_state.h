// The block path's state, and what its two files share: blocks.cpp reads runes and stretches of
// them exactly and places words one at a time; whole_lines.cpp places plain words a whole output
// line at a time.
#ifndef LINEFILL_BLOCK_STATE_H
#define LINEFILL_BLOCK_STATE_H

#include "buffers.h"
#include "indentation.h"
#include "linefill.h"

#include "blocks.h"
#include "runes.h"
#include "scan.h"
#include "step.h"

#include <cstdint>

// Where the routine stands between calls on the same input.
enum class fill_at { line_start, between_words, in_word };

// Where the word being read goes. While holding, it fits the open line when it ends within
// room_columns, the columns left after a space; once it has more, it opens the next line and the
// rest is written as it comes.
struct word_place {
    bool holding;
    bool begun; // some of the word is written, so its line's indentation is too
    std::uint64_t room_columns;
    byte_buffer held; // while holding: the word's bytes so far
    std::uint64_t held_columns;
};

// Room for the staged bytes and for a stretch, or a fixed-size copy of a rune, written past them.
constexpr std::size_t STAGED_SIZE = 2 * TEXTLIB_STRETCH_ROOM;

// Everything the block path keeps, for one input: linefill_blocks sets it up when an input
// starts, which is always at a line start, and releases it when the input ends. Only out_column
// (linefill.h) carries over to the next input. The chunk is good for one block only.
struct fill_state {
    fill_at at;
    indentation indent; // of the current input line
    word_place place;
    // Bytes of the word that the exact step wrote, not yet placed: STAGED_SIZE bytes of room.
    byte_buffer staged;
    std::uint64_t staged_columns;
    textlib_line_chunk chunk; // what the line scan looked at last
};

inline void put_newline(textlib_output *out) {
    textlib_output_byte(out, '\n');
    out_column = 0;
}

inline bool may_begin_word(unsigned char b) {
    return b != 0 && b != ' ' && b != '\t' && b != '\n';
}

// Whether the rune at q, before end, is a plain word rune: a scan that stops there stopped at
// its limit, not at something that needs a closer look.
inline bool plain_word_rune_at(const char *q, const char *end) {
    if (q >= end) return false;
    const auto b = static_cast<unsigned char>(*q);
    if (b < 0x80) return may_begin_word(b);
    rune16 r;
    const int width = textlib_take(&r, q, static_cast<std::size_t>(end - q), false);
    return width > 1 && r != RUNE_BAD && r >= (width == 2 ? 0x80 : 0x800);
}

// Words from p, the start of a word, placed a whole output line at a time while they are plain
// text apart by single separators. Returns where it stopped: at a blank, or at a word that the
// rune-by-rune path places; p when it placed nothing.
const char *place_words(fill_state *s, const char *p, const char *end, textlib_output *out);

#endif
