#include "linefill.h"

#include "scan.h"

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

// The column after a blank of the indentation: a tab goes to the next tab stop strictly after.
inline std::uint64_t column_after(std::uint64_t column, int blank) {
    return blank == TEXTLIB_SPACE ? column + 1 : textlib_next_stop(column);
}

// ---- The reference: rune streams, each word held whole ----

void put_newline(FILE *out) {
    rune_fputc(TEXTLIB_NEWLINE, out);
    out_column = 0;
}

void put_indent(FILE *out) {
    for (std::size_t i = 0; i < indent.length; i++) {
        rune_fputc(indent.runes[i], out);
        out_column = column_after(out_column, indent.runes[i]);
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
    if (out_column != 0) {
        if (out_column + 1 + word.length > static_cast<std::uint64_t>(line_length)) {
            put_newline(out);
        } else {
            rune_fputc(TEXTLIB_SPACE, out);
            out_column++;
        }
    }
    for (std::size_t i = 0; i < word.length; i++) {
        if (out_column == 0 && indent.length != 0) put_indent(out);
        rune_fputc(word.runes[i], out);
        out_column++;
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
    ind->width = column_after(ind->width, blank);
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
    std::uint64_t room;
    std::uint64_t runes;
};

// Bytes of a word on the line: the indentation first when they open it. Only bytes of the input
// stay put until the next read and may be borrowed; held ones are reused at the next word.
void write_word_bytes(textlib_output *out, const indentation *ind, const char *bytes, std::size_t n,
                      std::uint64_t runes, bool from_input) {
    if (runes == 0) return;
    if (out_column == 0 && ind->any) put_indent(out, ind);
    if (from_input)
        textlib_output_span(out, bytes, n);
    else
        textlib_output_bytes(out, bytes, n);
    out_column += runes;
}

void begin_word(word_place *place, textlib_output *out) {
    held.length = 0;
    place->runes = 0;
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
        write_word_bytes(out, ind, held.bytes, held.length, place->runes, false);
        place->holding = false;
    }
    if (!place->holding) {
        write_word_bytes(out, ind, bytes, n, runes, from_input);
        return;
    }
    held.bytes = static_cast<char *>(grown(held.bytes, &held.capacity, held.length + n, 1));
    std::memcpy(held.bytes + held.length, bytes, n);
    held.length += n;
    place->runes += runes;
}

void end_word(const word_place *place, textlib_output *out, const indentation *ind) {
    if (!place->holding) return;
    textlib_output_byte(out, ' ');
    out_column++;
    write_word_bytes(out, ind, held.bytes, held.length, place->runes, false);
}

// The bytes ahead are plain enough to hand to the kernel: eight of 01 to 7F.
inline bool plain_ahead(const char *p, const char *end) {
    if (end - p < 8) return false;
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    return ((x | ((x - ones) & ~x)) & highs) == 0;
}

// Runes that start in [p, q): the bytes that are no continuation bytes.
std::uint64_t runes_in(const char *p, const char *q) {
    std::uint64_t n = 0;
    for (; p < q; p++)
        n += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
    return n;
}

// The whole words from p, the first byte of a word, that fit on the open line after a space,
// written at once. Returns where the words written end, at a blank or at the start of a word
// that needs a closer look; p when no word is written.
const char *place_fitting_words(const char *p, const char *end, textlib_output *out) {
    if (out_column >= static_cast<std::uint64_t>(line_length)) return p;
    std::uint64_t column = out_column + 1;
    const char *const q =
        textlib_skip(p, end, TEXTLIB_STOP_TAB | TEXTLIB_STOP_NEWLINE | TEXTLIB_STOP_SPACE_RUN,
                     &column, static_cast<std::uint64_t>(line_length));
    const char *words_end = q;
    if (q == end || (*q != ' ' && *q != '\t' && *q != '\n')) {
        // The last word goes on past what was looked at: only the words before it are known.
        while (words_end > p && words_end[-1] != ' ')
            words_end--;
        if (words_end == p) return p;
        words_end--;
        column -= runes_in(words_end, q);
    }
    textlib_output_byte(out, ' ');
    textlib_output_span(out, p, static_cast<std::size_t>(words_end - p));
    out_column = column;
    return words_end;
}

// Whether the rune read as r from width bytes is written back as those very bytes: a plain rune.
inline bool is_plain(rune16 r, int width) {
    if (width == 1) return r != 0 && r < 0x80;
    return r != RUNE_BAD && r >= (width == 2 ? 0x80 : 0x800);
}

constexpr unsigned WORD_STOPS = TEXTLIB_STOP_TAB | TEXTLIB_STOP_NEWLINE | TEXTLIB_STOP_SPACE;

// Where the routine stands between calls on the same input.
enum class fill_at { line_start, between_words, in_word };

struct fill_state {
    fill_at at;
    bool waiting; // the rune at the position returned needs bytes still to come
    indentation indent;
    word_place place;
};

// The rune at p, or false (and waiting) when the bytes there end before it does.
inline bool read_rune(fill_state *s, rune16 *r, int *width, const char *p, const char *end,
                      bool at_eof) {
    *width = textlib_take(r, p, static_cast<std::size_t>(end - p), at_eof);
    s->waiting = *width == 0;
    return !s->waiting;
}

// The blanks that begin a line, and a line of blanks alone.
const char *read_indent(fill_state *s, const char *p, const char *end, bool at_eof,
                        textlib_output *out) {
    rune16 r;
    int width;
    while (p < end && read_rune(s, &r, &width, p, end, at_eof)) {
        if (r == TEXTLIB_NEWLINE) {
            end_paragraph(out, &s->indent, true);
            indent_clear(&s->indent);
        } else if (textlib_is_blank(r)) {
            indent_add(&s->indent, r);
        } else {
            s->at = fill_at::between_words;
            break;
        }
        p += width;
    }
    return p;
}

// Blanks between words and after the last, up to a word or the end of the line; a word that
// starts on the open line takes as many of the words after it as fit there.
const char *read_between(fill_state *s, const char *p, const char *end, bool at_eof,
                         textlib_output *out) {
    rune16 r;
    int width;
    while (p < end && read_rune(s, &r, &width, p, end, at_eof)) {
        if (r == TEXTLIB_NEWLINE) {
            indent_clear(&s->indent);
            s->at = fill_at::line_start;
            return p + width;
        }
        if (!textlib_is_blank(r)) {
            const char *const after = out_column != 0 ? place_fitting_words(p, end, out) : p;
            if (after != p) return after;
            begin_word(&s->place, out);
            s->at = fill_at::in_word;
            return p;
        }
        p += width;
    }
    return p;
}

// A word, plain stretches through the kernel and the rest rune by rune.
const char *read_word(fill_state *s, const char *p, const char *end, bool at_eof,
                      textlib_output *out) {
    char bytes[64];
    std::size_t used = 0;
    std::uint64_t runes = 0;
    const auto put_bytes = [&] {
        add_word_bytes(&s->place, out, &s->indent, bytes, used, runes, false);
        used = 0;
        runes = 0;
    };
    rune16 r;
    int width;
    while (p < end && read_rune(s, &r, &width, p, end, at_eof)) {
        if (!is_word_rune(r)) {
            put_bytes();
            end_word(&s->place, out, &s->indent);
            s->at = fill_at::between_words;
            return p;
        }
        if (is_plain(r, width) && (width > 1 || plain_ahead(p, end))) {
            put_bytes();
            std::uint64_t plain_runes = 0;
            const char *const q = textlib_skip(p, end, WORD_STOPS, &plain_runes, ~std::uint64_t{0});
            add_word_bytes(&s->place, out, &s->indent, p, static_cast<std::size_t>(q - p),
                           plain_runes, true);
            p = q;
            continue;
        }
        // Rune 0 ends a zero-terminated word where it stands, so it never stays in one.
        if (r != 0) {
            if (used > sizeof bytes - U8_MAXBYTES) put_bytes();
            used += static_cast<std::size_t>(u8_encode(bytes + used, &r));
            runes++;
        }
        p += width;
    }
    put_bytes();
    return p;
}

// Everything from p that can be decided now; returns end, or where a rune waits for more bytes.
const char *fill_bytes(fill_state *s, const char *p, const char *end, bool at_eof,
                       textlib_output *out) {
    s->waiting = false;
    while (p < end && !s->waiting) {
        switch (s->at) {
        case fill_at::line_start: p = read_indent(s, p, end, at_eof, out); break;
        case fill_at::between_words: p = read_between(s, p, end, at_eof, out); break;
        case fill_at::in_word: p = read_word(s, p, end, at_eof, out); break;
        }
    }
    return p;
}

} // namespace

void linefill_blocks(textlib_input *in, textlib_output *out) {
    // Every input starts at a line start; only out_column carries over from the one before.
    static fill_state s = {fill_at::line_start, false, {nullptr, 0, 0, 0, 0, 0, false}, {}};
    s.at = fill_at::line_start;
    indent_clear(&s.indent);
    while (textlib_input_fill(in)) {
        const char *const start = in->data + in->begin;
        const char *const p = fill_bytes(&s, start, in->data + in->end, in->at_eof, out);
        in->begin = static_cast<std::size_t>(p - in->data);
    }
    if (s.at == fill_at::in_word) end_word(&s.place, out, &s.indent);
    if (s.at == fill_at::line_start) end_paragraph(out, &s.indent, false);
}

void linefill_file(const char *name) {
    textlib_filter_file(name, linefill_blocks);
}
