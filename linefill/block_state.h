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
#include <cstring>

// Where the routine stands between calls on the same input. With --prefix, a line's text
// begins with its marker, and a line that only ends a paragraph is copied.
enum class fill_at { line_start, marker, between_words, in_word, copying };

// Where the word being read goes. While holding, it fits the open line when it ends within
// room_columns, the columns left after a space; once it has more, it opens the next line and the
// rest is written as it comes.
struct word_place {
    bool holding;
    std::uint64_t room_columns;
    byte_buffer held; // while holding: the word's bytes so far
    std::uint64_t held_columns;
};

// A line's marker as it is read, with --prefix.
struct marker_scan {
    int code;             // NO_PARAGRAPH until the marker is whole
    std::size_t matched;  // of STRING (prefix_goes_on), or runes of a fixed marker, read so far
    char fixed[2];        // those of a fixed marker
    std::uint64_t level;  // of a quote
    byte_buffer bytes;    // the marker and the blanks after it, as written
    std::uint64_t column; // where they end, after the line's indentation
};

// The lead of the marked paragraph being filled, which opens each of its output lines: its first
// line's indentation, marker and blanks after it. It may go on in the next input.
struct paragraph_lead {
    indentation indent;
    byte_buffer bytes;
    std::uint64_t width;
};
extern paragraph_lead block_lead;

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
    // With keep_bytes: the word's last rune is malformed, of fewer than four bytes, so that a
    // rune 0 after it stays (stage_word_rune).
    bool after_malformed;
    textlib_line_chunk chunk; // what the line scan looked at last
    marker_scan mark;
};

inline void put_newline(textlib_output *out) {
    textlib_output_byte(out, '\n');
    out_column = 0;
    line_open = false;
}

inline void close_open_line(textlib_output *out) {
    if (line_open) put_newline(out);
}

// A blank line, or the end of input at a line start, closes the open line and keeps its blanks.
inline void end_paragraph(textlib_output *out, const indentation *ind, bool newline) {
    close_open_line(out);
    if (ind->any) put_indent(out, ind);
    if (newline || ind->any) put_newline(out);
    paragraph = {NO_PARAGRAPH, 0, 0};
}

// A blank line, whose blanks s->indent holds, ends the paragraph; the next line's are read anew.
inline void end_blank_line(fill_state *s, textlib_output *out) {
    end_paragraph(out, &s->indent, true);
    indent_clear(&s->indent);
}

// What opens an output line: the marked paragraph's lead, else the line's indentation.
inline void put_opening(const fill_state *s, textlib_output *out) {
    if (is_marked(paragraph)) {
        put_indent(out, &block_lead.indent);
        const byte_buffer &lead = block_lead.bytes;
        // A marker and the blanks after it are mostly a few bytes.
        if (lead.length <= BUFFER_LEAST) {
            std::memcpy(textlib_output_room(out, BUFFER_LEAST), lead.bytes, BUFFER_LEAST);
            textlib_output_commit(out, lead.length);
        } else {
            textlib_output_bytes(out, lead.bytes, lead.length);
        }
        out_column = block_lead.width;
    } else if (s->indent.any) {
        put_indent(out, &s->indent);
    }
}

inline std::uint64_t opening_width(const fill_state *s) {
    return is_marked(paragraph) ? block_lead.width : s->indent.width;
}

// Whether a line whose text begins with byte first goes on with the paragraph as plain text:
// always without --prefix; with it, in a plain paragraph, when first cannot begin a marker.
inline bool line_goes_on(char first) {
    return prefixing == prefix_kind::none ||
           (prefixing == prefix_kind::markers && paragraph.marker == PLAIN_TEXT &&
            !may_begin_marker(static_cast<unsigned char>(first)));
}

// A plain line with --prefix: it closes a marked paragraph's open line, and goes on with a plain
// one.
inline void begin_plain_line(textlib_output *out) {
    if (is_marked(paragraph)) close_open_line(out);
    paragraph = {PLAIN_TEXT, 0, 0};
}

inline bool may_begin_word(unsigned char b) {
    return b != 0 && !textlib_is_blank(b) && b != '\n';
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

// One rune by the routine's rules; bytes are the n bytes it is written as, in a buffer of
// TEXTLIB_UNIT_MAXBYTES.
void fill_rune(fill_state *s, rune16 r, const char *bytes, unsigned n, textlib_output *out);

// With --prefix, a rune of the marker being read, or the end of input (-1) there; and a rune of
// a line being copied.
void mark_rune(fill_state *s, int r, const char *bytes, unsigned n, textlib_output *out);
void copy_rune(fill_state *s, rune16 r, const char *bytes, unsigned n, textlib_output *out);

// With --prefix, a line whose indentation is read, its marker at p and the blanks after it read
// at once: it joins or opens its marked paragraph, and the first word comes next. Returns that
// word, or null where the rune-by-rune path decides, nothing read: no marker, a line without
// words, a first word that is not plain, or bytes still to come.
const char *start_marked_line(fill_state *s, const char *p, const char *end, textlib_output *out);

// Words from p, the start of a word, placed a whole output line at a time while they are plain
// text apart by single separators. Returns where it stopped: at a blank, or at a word that the
// rune-by-rune path places; p when it placed nothing.
const char *place_words(fill_state *s, const char *p, const char *end, textlib_output *out);

#endif
