#include "linefill.h"

#include "columns.h"
#include "step.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

int line_length = 70;

std::uint64_t out_column = 0;
rune_string indent = {nullptr, 0, 0};
rune_string word = {nullptr, 0, 0};

namespace {

inline bool is_word_rune(int r) {
    return r != -1 && r != TEXTLIB_NEWLINE && !textlib_is_blank(r);
}

// Returns data with room for need elements of size bytes, doubling *capacity as needed; a size
// past what memory can hold fails as realloc does.
void *grown(void *data, std::size_t *capacity, std::size_t need, std::size_t size) {
    if (need <= *capacity) return data;
    constexpr std::size_t most = ~std::size_t{0};
    std::size_t enlarged = *capacity < 16 ? 16 : *capacity;
    while (enlarged < need)
        enlarged = enlarged > most / 2 ? need : 2 * enlarged;
    if (enlarged > most / size) diag_fatal("realloc() failed");
    void *const moved = realloc(data, enlarged * size);
    if (moved == nullptr) diag_fatal("realloc() failed");
    *capacity = enlarged;
    return moved;
}

// ---- The reference: rune streams, each word held whole ----

void put_newline(FILE *out) {
    rune_fputc(TEXTLIB_NEWLINE, out);
    out_column = 0;
}

void put_indent(FILE *out) {
    for (std::size_t i = 0; i < indent.length; i++) {
        rune_fputc(indent.runes[i], out);
        out_column = textlib_after_blank(indent.runes[i], out_column);
    }
}

// A blank line, or the end of input at a line start, closes the open line and keeps its blanks.
void end_paragraph(FILE *out, int r) {
    if (out_column != 0) put_newline(out);
    if (indent.length != 0) put_indent(out);
    if (r == TEXTLIB_NEWLINE || indent.length != 0) put_newline(out);
}

void place_word(FILE *out) {
    // The word that opens a line is never tested, and the indentation before it is not counted.
    std::uint64_t columns = 0;
    for (std::size_t i = 0; i < word.length; i++)
        columns += textlib_columns_of(word.runes[i]);
    if (out_column != 0) {
        if (out_column + 1 + columns > static_cast<std::uint64_t>(line_length)) {
            put_newline(out);
        } else {
            rune_fputc(TEXTLIB_SPACE, out);
            out_column++;
        }
    }
    // Before the word's first rune only: a rune of no display width leaves the column at 0.
    if (out_column == 0 && indent.length != 0 && word.length != 0) put_indent(out);
    for (std::size_t i = 0; i < word.length; i++) {
        rune_fputc(word.runes[i], out);
        out_column += textlib_columns_of(word.runes[i]);
    }
}

} // namespace

void runes_append(rune_string *string, rune16 r) {
    string->runes = static_cast<rune16 *>(
        grown(string->runes, &string->capacity, string->length + 1, sizeof(rune16)));
    string->runes[string->length++] = r;
}

void linefill_plain(FILE *in, FILE *out) {
    int r = rune_fgetc(in);
    for (;;) {
        indent.length = 0;
        while (textlib_is_blank(r)) {
            runes_append(&indent, static_cast<rune16>(r));
            r = rune_fgetc(in);
        }
        if (!is_word_rune(r)) {
            end_paragraph(out, r);
            if (r == -1) return;
            r = rune_fgetc(in);
            continue;
        }
        // The words of one input line; blanks between and after them are dropped.
        while (is_word_rune(r)) {
            word.length = 0;
            for (; is_word_rune(r); r = rune_fgetc(in)) {
                // Rune 0 ends a zero-terminated word where it stands, so it never stays in one.
                if (r != 0) runes_append(&word, static_cast<rune16>(r));
            }
            place_word(out);
            while (textlib_is_blank(r))
                r = rune_fgetc(in);
        }
        if (r == -1) return;
        r = rune_fgetc(in);
    }
}

namespace {

// ---- The block path: plain text placed many words at a time, bytes copied as they stand ----

// The leading blanks of the current input line, kept as runs of spaces each followed by a run of
// tabs, every finished run as two numbers of seven bits a byte: never more bytes than blanks,
// and a few bytes for any number of one kind.
struct indentation {
    unsigned char *runs;
    std::size_t length, capacity;
    std::uint64_t spaces, tabs; // the run still open
    std::uint64_t width;        // the column it reaches from column 0
    bool any;
};

void indent_clear(indentation *ind) {
    ind->length = 0;
    ind->spaces = ind->tabs = ind->width = 0;
    ind->any = false;
}

void put_number(indentation *ind, std::uint64_t n) {
    do {
        ind->runs =
            static_cast<unsigned char *>(grown(ind->runs, &ind->capacity, ind->length + 1, 1));
        ind->runs[ind->length++] = static_cast<unsigned char>((n & 0x7F) | (n > 0x7F ? 0x80 : 0));
        n >>= 7;
    } while (n != 0);
}

std::uint64_t take_number(const unsigned char **p) {
    std::uint64_t n = 0;
    for (int shift = 0;; shift += 7) {
        const unsigned char byte = *(*p)++;
        n |= std::uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) return n;
    }
}

void indent_add(indentation *ind, int blank) {
    if (blank == TEXTLIB_SPACE && ind->tabs != 0) {
        put_number(ind, ind->spaces);
        put_number(ind, ind->tabs);
        ind->spaces = ind->tabs = 0;
    }
    (blank == TEXTLIB_SPACE ? ind->spaces : ind->tabs)++;
    ind->width = textlib_after_blank(blank, ind->width);
    ind->any = true;
}

// Written only at the start of an output line, so the line reaches the indentation's width.
void put_indent(textlib_output *out, const indentation *ind) {
    for (const unsigned char *p = ind->runs; p < ind->runs + ind->length;) {
        textlib_output_repeat(out, ' ', take_number(&p));
        textlib_output_repeat(out, '\t', take_number(&p));
    }
    textlib_output_repeat(out, ' ', ind->spaces);
    textlib_output_repeat(out, '\t', ind->tabs);
    out_column = ind->width;
}

void put_newline(textlib_output *out) {
    textlib_output_byte(out, '\n');
    out_column = 0;
}

// A blank line, or the end of input at a line start, closes the open line and keeps its blanks.
void end_paragraph(textlib_output *out, const indentation *ind, bool newline) {
    if (out_column != 0) put_newline(out);
    if (ind->any) put_indent(out, ind);
    if (newline || ind->any) put_newline(out);
}

// The word's bytes, held only while it may still fit after a space on the open line.
struct byte_buffer {
    char *bytes;
    std::size_t length;
    std::size_t capacity;
};

byte_buffer held = {nullptr, 0, 0};

// Where the word being read goes. While holding, it fits when it ends with no more than room
// runes; once it has more, it opens the next line and the rest is written as it comes.
struct word_place {
    bool holding;
    bool begun; // some of the word is written, so its line's indentation is too
    std::uint64_t room;
    std::uint64_t runes;
};

// Bytes of a word on the line: the indentation first when they open it. Only bytes of the input
// stay put until the next read and may be borrowed; held ones are reused at the next word.
void write_word_bytes(word_place *place, textlib_output *out, const indentation *ind,
                      const char *bytes, std::size_t n, std::uint64_t runes, bool from_input) {
    if (n == 0) return;
    // A rune of no display width leaves the column at 0: the indentation goes before the word's
    // first bytes only.
    if (out_column == 0 && !place->begun && ind->any) put_indent(out, ind);
    place->begun = true;
    if (from_input)
        textlib_output_span(out, bytes, n);
    else
        textlib_output_bytes(out, bytes, n);
    out_column += runes;
}

void begin_word(word_place *place, textlib_output *out) {
    held.length = 0;
    place->runes = 0;
    place->begun = false;
    place->holding = out_column != 0;
    if (place->holding && out_column >= static_cast<std::uint64_t>(line_length)) {
        put_newline(out);
        place->holding = false;
    }
    place->room = place->holding ? static_cast<std::uint64_t>(line_length) - out_column - 1 : 0;
}

void add_word_bytes(word_place *place, textlib_output *out, const indentation *ind,
                    const char *bytes, std::size_t n, std::uint64_t runes, bool from_input) {
    if (n == 0) return;
    if (place->holding && runes > place->room - place->runes) {
        // Too long for the open line whatever follows: the word opens the next one.
        put_newline(out);
        write_word_bytes(place, out, ind, held.bytes, held.length, place->runes, false);
        place->holding = false;
    }
    if (!place->holding) {
        write_word_bytes(place, out, ind, bytes, n, runes, from_input);
        return;
    }
    held.bytes = static_cast<char *>(grown(held.bytes, &held.capacity, held.length + n, 1));
    std::memcpy(held.bytes + held.length, bytes, n);
    held.length += n;
    place->runes += runes;
}

void end_word(word_place *place, textlib_output *out, const indentation *ind) {
    if (!place->holding) return;
    textlib_output_byte(out, ' ');
    out_column++;
    write_word_bytes(place, out, ind, held.bytes, held.length, place->runes, false);
}

inline bool may_begin_word(unsigned char b) {
    return b != 0 && b != ' ' && b != '\t' && b != '\n';
}

// Whether the rune at q, before end, is a plain word rune: a scan that stops there stopped at
// its limit, not at something that needs a closer look.
bool plain_word_rune_at(const char *q, const char *end) {
    if (q >= end) return false;
    const auto b = static_cast<unsigned char>(*q);
    if (b < 0x80) return may_begin_word(b);
    rune16 r;
    const int width = textlib_take(&r, q, static_cast<std::size_t>(end - q), false);
    return width > 1 && r != RUNE_BAD && r >= (width == 2 ? 0x80 : 0x800);
}

// The words of a scanned line, from p: each newline between them becomes a space. Returns whether
// there was one.
bool put_joined(textlib_output *out, const char *p, const textlib_line &line) {
    const auto n = static_cast<std::size_t>(line.words_end - p);
    if (n <= TEXTLIB_SHORT) {
        // Copied whole, and the newlines that the scan found made spaces in the copy.
        char *const o = textlib_output_room(out, TEXTLIB_SHORT);
        std::memcpy(o, p, TEXTLIB_SHORT);
        for (unsigned half = 0; half < 2; half++) {
            for (std::uint64_t bits = line.newlines[half]; bits != 0; bits &= bits - 1)
                o[64 * half + static_cast<unsigned>(__builtin_ctzll(bits))] = ' ';
        }
        textlib_output_commit(out, n);
        return (line.newlines[0] | line.newlines[1]) != 0;
    }
    bool joined = false;
    for (const char *const q = line.words_end; p < q;) {
        const void *const newline = std::memchr(p, '\n', static_cast<std::size_t>(q - p));
        const char *const stop = newline != nullptr ? static_cast<const char *>(newline) : q;
        textlib_output_input(out, p, static_cast<std::size_t>(stop - p));
        if (stop == q) break;
        textlib_output_byte(out, ' ');
        joined = true;
        p = stop + 1;
    }
    return joined;
}

// Where the routine stands between calls on the same input.
enum class fill_at { line_start, between_words, in_word };

struct fill_state {
    fill_at at;
    indentation indent;
    word_place place;
    // Bytes of the word being read that the exact step wrote, not yet placed; room for a stretch
    // or a fixed-size copy of a rune written past the end.
    char word[2 * TEXTLIB_STRETCH_ROOM];
    std::size_t word_used;
    std::uint64_t word_runes;
    textlib_line_chunk chunk; // what the line scan looked at last
};

void place_held_word_bytes(fill_state *s, textlib_output *out) {
    add_word_bytes(&s->place, out, &s->indent, s->word, s->word_used, s->word_runes, false);
    s->word_used = 0;
    s->word_runes = 0;
}

constexpr unsigned WORD_STOPS = TEXTLIB_STOP_TAB | TEXTLIB_STOP_NEWLINE | TEXTLIB_STOP_SPACE;

// Words from p, the start of a word, placed a whole output line at a time while they are plain
// text apart by single separators: one scan finds how many fit. Returns where it stopped: at a
// blank, or at a word that the rune-by-rune path places; p when it placed nothing.
const char *place_words(fill_state *s, const char *p, const char *end, textlib_output *out) {
    const auto length = static_cast<std::uint64_t>(line_length);
    // The scan counts runes, not display widths.
    if (display_width || !plain_word_rune_at(p, end)) return p;
    for (;;) {
        const bool opener = out_column == 0;
        if (opener && s->indent.width >= length) return p;
        if (!opener && out_column >= length) {
            put_newline(out);
            continue;
        }
        // The scan passes single spaces, and newlines that a word follows, as the separators
        // that they become; only whole words count.
        const textlib_line line =
            textlib_scan_line(&s->chunk, p, end, opener ? s->indent.width : out_column + 1, length);
        const char *const q = line.q;
        const bool at_blank = q < end && (*q == ' ' || *q == '\t' || *q == '\n');
        const char *const words_end = line.words_end;
        if (words_end == p) {
            // The word at p is too long for the open line, or needs a closer look.
            if (opener || !plain_word_rune_at(q, end)) return p;
            put_newline(out);
            continue;
        }
        if (!opener)
            textlib_output_byte(out, ' ');
        else if (s->indent.any)
            put_indent(out, &s->indent);
        const bool joined = put_joined(out, p, line);
        out_column = line.words_column;
        // A word after a newline here is on an input line without indentation.
        if (joined || (!at_blank && *words_end == '\n')) indent_clear(&s->indent);
        if (at_blank && *q == '\n') {
            // The next input line: with blanks before a word, they are its indentation and the
            // paragraph goes on.
            const char *word = q + 1;
            while (word < end && (*word == ' ' || *word == '\t'))
                word++;
            if (word == end || !plain_word_rune_at(word, end)) return words_end;
            indent_clear(&s->indent);
            for (const char *blank = q + 1; blank < word; blank++)
                indent_add(&s->indent, *blank);
            p = word;
            continue;
        }
        if (at_blank || !plain_word_rune_at(q, end)) return words_end;
        // The word after the separator does not fit: it opens the next line.
        put_newline(out);
        p = words_end + 1;
    }
}

// A rune of the word being read, its n bytes at bytes, which has U8_MAXBYTES.
inline void hold_word_rune(fill_state *s, rune16 r, const char *bytes, unsigned n,
                           textlib_output *out) {
    // Rune 0 ends a zero-terminated word where it stands, so it never stays in one.
    if (r == 0) return;
    if (s->word_used + U8_MAXBYTES > sizeof s->word - U8_MAXBYTES) place_held_word_bytes(s, out);
    std::memcpy(s->word + s->word_used, bytes, U8_MAXBYTES);
    s->word_used += n;
    s->word_runes += textlib_columns_of(r);
}

// One rune by the routine's rules; bytes are the n bytes it is written as, in a buffer of
// U8_MAXBYTES.
void fill_rune(fill_state *s, rune16 r, const char *bytes, unsigned n, textlib_output *out) {
    if (s->at == fill_at::in_word) {
        if (is_word_rune(r)) {
            hold_word_rune(s, r, bytes, n, out);
            return;
        }
        place_held_word_bytes(s, out);
        end_word(&s->place, out, &s->indent);
        s->at = fill_at::between_words;
    }
    if (s->at == fill_at::line_start) {
        if (textlib_is_blank(r)) {
            indent_add(&s->indent, r);
            return;
        }
        if (r == TEXTLIB_NEWLINE) {
            end_paragraph(out, &s->indent, true);
            indent_clear(&s->indent);
            return;
        }
        s->at = fill_at::between_words;
    }
    if (textlib_is_blank(r)) return;
    if (r == TEXTLIB_NEWLINE) {
        indent_clear(&s->indent);
        s->at = fill_at::line_start;
        return;
    }
    begin_word(&s->place, out);
    s->at = fill_at::in_word;
    fill_rune(s, r, bytes, n, out);
}

// A rune of the word being read, or any rune by the routine's rules.
void step_rune(fill_state *s, rune16 r, textlib_output *out) {
    char bytes[U8_MAXBYTES];
    const auto n = static_cast<unsigned>(textlib_encode3(bytes, r));
    // Inside a word, the usual case, a rune is only held.
    if (s->at == fill_at::in_word && is_word_rune(r))
        hold_word_rune(s, r, bytes, n, out);
    else
        fill_rune(s, r, bytes, n, out);
}

// Inside a word, runes that need no decoding are held a stretch at a time, runes 0 left out.
void hold_stretch(fill_state *s, const textlib_stretch &stretch, textlib_output *out) {
    if (sizeof s->word - s->word_used < TEXTLIB_STRETCH_ROOM) place_held_word_bytes(s, out);
    s->word_used = static_cast<std::size_t>(
        textlib_write_lone_runes(s->word + s->word_used, stretch.at, stretch.n, stretch.doubled,
                                 stretch.zeros | stretch.dropped) -
        s->word);
    s->word_runes += textlib_bit_count(stretch.starts & ~stretch.zeros);
}

// The exact step, up to where plain text is ahead or a rune needs bytes still to come; says
// which, with *p moved there.
textlib_step_kind fill_runes(fill_state *s, const char **p, const char *end, bool at_eof,
                             textlib_output *out) {
    textlib_step step = textlib_step_start(*p, end, at_eof);
    for (;;) {
        const textlib_step_kind kind = s->at == fill_at::in_word
                                           ? textlib_step_next(&step, WORD_STOPS)
                                           : textlib_step_next_rune(&step);
        switch (kind) {
        case TEXTLIB_STRETCH: hold_stretch(s, step.stretch, out); break;
        case TEXTLIB_RUNE: step_rune(s, step.rune, out); break;
        case TEXTLIB_MORE:
        case TEXTLIB_PLAIN: *p = step.next; return kind;
        }
    }
}

// Everything from p that can be decided now; returns end, or where a rune waits for more bytes.
const char *fill_bytes(fill_state *s, const char *p, const char *end, bool at_eof,
                       textlib_output *out) {
    // The bytes that the line scan looked at last may have changed since the last call.
    s->chunk.at = nullptr;
    while (p < end) {
        const auto b = static_cast<unsigned char>(*p);
        if (s->at == fill_at::in_word && may_begin_word(b)) {
            std::uint64_t columns = 0;
            const char *const q = textlib_skip_columns(p, end, WORD_STOPS, &columns);
            if (q != p) {
                place_held_word_bytes(s, out);
                add_word_bytes(&s->place, out, &s->indent, p, static_cast<std::size_t>(q - p),
                               columns, true);
                p = q;
                continue;
            }
        } else if (s->at != fill_at::in_word && may_begin_word(b) && plain_word_rune_at(p, end)) {
            // A word: a line's indentation ends before it.
            s->at = fill_at::between_words;
            const char *const q = place_words(s, p, end, out);
            if (q != p) {
                p = q;
                continue;
            }
            begin_word(&s->place, out);
            s->at = fill_at::in_word;
            continue;
        }
        // Between words, and where plain text is ahead, a byte 01-7F is a rune by itself.
        if ((s->at != fill_at::in_word && b != 0 && b < 0x80) || textlib_plain_ahead(p, end)) {
            fill_rune(s, b, p, 1, out);
            p++;
            continue;
        }
        if (fill_runes(s, &p, end, at_eof, out) == TEXTLIB_MORE) break;
    }
    return p;
}

} // namespace

void linefill_blocks(textlib_input *in, textlib_output *out) {
    // Every input starts at a line start; only out_column carries over from the one before.
    static fill_state s;
    s.at = fill_at::line_start;
    indent_clear(&s.indent);
    s.word_used = 0;
    s.word_runes = 0;
    textlib_each_block(in, [out](const char *p, const char *end, bool at_eof) {
        return fill_bytes(&s, p, end, at_eof, out);
    });
    if (s.at == fill_at::in_word) {
        place_held_word_bytes(&s, out);
        end_word(&s.place, out, &s.indent);
    }
    if (s.at == fill_at::line_start) end_paragraph(out, &s.indent, false);
}

void linefill_file(const char *name) {
    textlib_filter_file(name, linefill_blocks);
}
