#include "linefill.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

int line_length = 70;

std::int64_t out_column = 0;
rune_string indent = {nullptr, 0, 0};
rune_string word = {nullptr, 0, 0};

namespace {

inline bool is_word_rune(int r) {
    return r != -1 && r != NEWLINE && !is_blank(r);
}

// Returns data with room for need elements of size bytes, doubling *capacity as needed.
void *grown(void *data, std::size_t *capacity, std::size_t need, std::size_t size) {
    if (need <= *capacity) return data;
    std::size_t enlarged = *capacity < 16 ? 16 : *capacity;
    while (enlarged < need)
        enlarged *= 2;
    void *const moved = realloc(data, enlarged * size);
    if (moved == nullptr) diag_fatal("realloc() failed");
    *capacity = enlarged;
    return moved;
}

// The column after a blank of the indentation: a tab goes to the next tab stop strictly after.
inline std::int64_t column_after(std::int64_t column, int blank) {
    if (blank == SPACE) return column + 1;
    return (column / tab_width + 1) * tab_width;
}

// ---- The reference: rune streams, each word held whole ----

void put_newline(FILE *out) {
    rune_fputc(NEWLINE, out);
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
    if (r == NEWLINE || indent.length != 0) put_newline(out);
}

void place_word(FILE *out) {
    // The word that opens a line is never tested, and the indentation before it is not counted.
    if (out_column != 0) {
        if (out_column + 1 + static_cast<std::int64_t>(word.length) > line_length) {
            put_newline(out);
        } else {
            rune_fputc(SPACE, out);
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
        while (is_blank(r)) {
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
            while (is_blank(r))
                r = rune_fgetc(in);
        }
        if (r == -1) return;
        r = rune_fgetc(in);
    }
}

namespace {

// ---- The block path: bytes copied as they stand wherever the codec would write them back ----

// The word's bytes, held only while it may still fit after a space on the open line.
struct byte_buffer {
    char *bytes;
    std::size_t length;
    std::size_t capacity;
};

byte_buffer held = {nullptr, 0, 0};

// Where a word that is read in pieces goes. While holding, it fits when it ends with no more
// than room runes; once it has more, it opens the next line and the rest is written as it comes.
struct word_place {
    bool holding;
    std::int64_t room;
    std::int64_t runes;
};

void put_newline(block_output *out) {
    block_output_byte(out, '\n');
    out_column = 0;
}

void put_indent(block_output *out) {
    for (std::size_t i = 0; i < indent.length; i++) {
        block_output_byte(out, static_cast<char>(indent.runes[i]));
        out_column = column_after(out_column, indent.runes[i]);
    }
}

void end_paragraph(block_output *out, int r) {
    if (out_column != 0) put_newline(out);
    if (indent.length != 0) put_indent(out);
    if (r == NEWLINE || indent.length != 0) put_newline(out);
}

// The rune at the read position, left unread, and its width in bytes; -1 at the end. A word
// rune other than those of one byte may come back as RUNE_BAD: only leads C0, C1 and E0 can
// begin the overlong form of a blank or a newline, so no other needs decoding here.
inline int peek_rune(block_input *in, std::size_t *width) {
    if (in->end - in->begin < U8_MAXBYTES && !block_input_fill(in)) return -1;
    const char *const p = in->data + in->begin;
    const unsigned char b = static_cast<unsigned char>(*p);
    if (b < U8_SELF) {
        *width = 1;
        return b;
    }
    if (b != 0xC0 && b != 0xC1 && b != 0xE0) {
        *width = 0;
        return RUNE_BAD;
    }
    rune16 r;
    *width = static_cast<std::size_t>(u8_take(&r, p, in->end - in->begin));
    return r;
}

inline int next_rune(block_input *in, std::size_t *width) {
    in->begin += *width;
    return peek_rune(in, width);
}

constexpr std::uint64_t ONES = 0x0101010101010101;
constexpr std::uint64_t HIGHS = 0x8080808080808080;
constexpr std::uint64_t LANE6 = 0x0080000000000000;
constexpr std::uint64_t LANE7 = 0x8000000000000000;

// The number of bytes whose high bit is set in flags.
inline std::size_t lanes_in(std::uint64_t flags) {
    // One per lane summed into the top byte: a popcount without a library call.
    return static_cast<std::size_t>((((flags >> 7) * ONES) >> 56));
}

// Eight bytes of word text, their lanes (bytes in memory order) marked by their high bits.
struct chunk_marks {
    std::uint64_t stops;        // ASCII below '!': blanks, newline, controls, the zero byte
    std::uint64_t continuation; // 10xxxxxx
    std::uint64_t bad;          // where a rune starts that the codec does not write back as is
    std::uint64_t lead;         // 11xxxxxx
    std::uint64_t lead3;        // 111xxxxx
    std::uint64_t after_e0;     // the lane after an E0
};

// called_for: the continuation lanes that leads of the chunk before call for, after_e0 the lane
// after an E0 there. Little-endian lanes only.
inline chunk_marks mark_chunk(std::uint64_t x, std::uint64_t called_for, std::uint64_t after_e0) {
    chunk_marks m;
    // Each byte's bits 6, 5 and 4 moved to its high bit.
    const std::uint64_t bit6 = (x << 1) & HIGHS;
    const std::uint64_t bit5 = (x << 2) & HIGHS;
    const std::uint64_t bit4 = (x << 3) & HIGHS;
    const std::uint64_t high = x & HIGHS;
    // Exact for the first stop only; nothing after it is looked at.
    m.stops = (x - (SPACE + 1) * ONES) & ~x & HIGHS;
    m.continuation = high & ~bit6;
    m.lead = high & bit6;
    m.lead3 = m.lead & bit5;
    // Continuation bytes stand exactly where the leads before them call for them, and F0 to FF
    // never begin a rune.
    m.bad = (m.continuation ^ ((m.lead << 8) | (m.lead3 << 16) | called_for)) | (m.lead3 & bit4);
    m.after_e0 = 0;
    // Leads C0, C1, E0 and E1, whose bits 4 to 1 are clear, are rare enough to be looked at only
    // when present: C0 and C1 begin overlong forms, and so does E0 before 80 to 9F.
    const std::uint64_t rare = m.lead & ~(((x & 0x1E * ONES) + 0x1E * ONES) << 2);
    if ((rare | after_e0) != 0) {
        const std::uint64_t e0 = rare & bit5 & ~(x << 7);
        m.after_e0 = e0 >> 56;
        m.bad |= (rare & ~bit5) | (((e0 << 8) | after_e0) & ~bit5);
    }
    return m;
}

// The end of the run from the read position of word runes, other than rune 0, that are written
// back as they stand; the number of runes in the run goes to *runes. Nothing is taken.
const char *scan_word_run(const block_input *in, std::int64_t *runes) {
    const char *p = in->data + in->begin;
    const char *const end = in->data + in->end;
    // A sequence that starts before limit has all its bytes in the buffer.
    const char *const limit = in->at_eof ? end : end - (U8_MAXBYTES - 1);
    std::size_t count = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight bytes a step whatever they hold, so that no step waits for the one before.
        std::uint64_t called_for = 0, after_e0 = 0;
        chunk_marks last = {}; // of the chunk before
        while (limit - p >= 8) {
            std::uint64_t x;
            std::memcpy(&x, p, sizeof x);
            const chunk_marks m = mark_chunk(x, called_for, after_e0);
            if ((m.stops | m.bad) != 0) {
                const std::uint64_t first_stop = m.stops & (~m.stops + 1);
                // Every bit up to the first stop's lane, or all of them when there is none.
                if ((m.bad & ((first_stop << 1) - 1)) != 0) break;
                const std::size_t k = static_cast<std::size_t>(std::countr_zero(first_stop) / 8);
                *runes = static_cast<std::int64_t>(count + k -
                                                   lanes_in(m.continuation & (first_stop - 1)));
                return p + k;
            }
            count += 8 - lanes_in(m.continuation);
            called_for = (m.lead >> 56) | (m.lead3 >> 48);
            after_e0 = m.after_e0;
            last = m;
            p += 8;
        }
        // Back to the lead of a sequence that the last chunk left open, counted already as a rune.
        const std::size_t open = (last.lead & LANE7) != 0 ? 1 : (last.lead3 & LANE6) != 0 ? 2 : 0;
        if (open != 0) {
            p -= open;
            count--;
        }
    }
    while (p < limit) {
        const char *const q = skip_plain(p, limit, SPACE + 1);
        count += static_cast<std::size_t>(q - p);
        p = q;
        if (p == limit) break;
        const int width = verbatim_width(p, end);
        if (width == 0) break;
        p += width;
        count++;
    }
    *runes = static_cast<std::int64_t>(count);
    return p;
}

constexpr std::size_t SHORT_COPY = 64;

// block_output_bytes for the n bytes at bytes, of which readable can be read.
inline void put_short_bytes(block_output *out, const char *bytes, std::size_t n,
                            std::size_t readable) {
    if (n <= SHORT_COPY && readable >= SHORT_COPY && BLOCK_SIZE - out->used >= SHORT_COPY) {
        // A copy of fixed length needs no library call; the bytes past n are overwritten later.
        std::memcpy(out->data + out->used, bytes, SHORT_COPY);
        out->used += n;
    } else {
        block_output_bytes(out, bytes, n);
    }
}

void write_word_bytes(block_output *out, const char *bytes, std::size_t n, std::int64_t runes) {
    if (runes == 0) return;
    if (out_column == 0 && indent.length != 0) put_indent(out);
    block_output_bytes(out, bytes, n);
    out_column += runes;
}

// A word known whole: the separator test, then the word.
void place_whole_word(block_output *out, const char *bytes, std::size_t n, std::int64_t runes,
                      std::size_t readable) {
    if (out_column != 0) {
        if (out_column + 1 + runes > line_length) {
            put_newline(out);
        } else {
            block_output_byte(out, ' ');
            out_column++;
        }
    }
    if (out_column == 0 && indent.length != 0) put_indent(out);
    put_short_bytes(out, bytes, n, readable);
    out_column += runes;
}

void begin_word(word_place *place, block_output *out) {
    held.length = 0;
    place->runes = 0;
    place->holding = out_column != 0;
    place->room = line_length - out_column - 1;
    if (place->holding && place->room < 0) {
        put_newline(out);
        place->holding = false;
    }
}

void add_word_bytes(word_place *place, block_output *out, const char *bytes, std::size_t n,
                    std::int64_t runes) {
    if (n == 0) return;
    if (place->holding && place->runes + runes > place->room) {
        // Too long for the open line whatever follows: the word opens the next one.
        put_newline(out);
        write_word_bytes(out, held.bytes, held.length, place->runes);
        place->holding = false;
    }
    if (!place->holding) {
        write_word_bytes(out, bytes, n, runes);
        return;
    }
    held.bytes = static_cast<char *>(grown(held.bytes, &held.capacity, held.length + n, 1));
    std::memcpy(held.bytes + held.length, bytes, n);
    held.length += n;
    place->runes += runes;
}

void add_word_rune(word_place *place, block_output *out, int r) {
    if (r == 0) return;
    const rune16 rune = static_cast<rune16>(r);
    char bytes[U8_MAXBYTES];
    add_word_bytes(place, out, bytes, static_cast<std::size_t>(u8_encode(bytes, &rune)), 1);
}

void end_word(const word_place *place, block_output *out) {
    if (!place->holding) return;
    block_output_byte(out, ' ');
    out_column++;
    write_word_bytes(out, held.bytes, held.length, place->runes);
}

inline bool is_blank_byte(char b) {
    return b == ' ' || b == '\t' || b == '\n';
}

// Places the word that begins at the read position and takes it.
void place_word(block_input *in, block_output *out) {
    const char *p = in->data + in->begin;
    std::int64_t runes;
    const char *q = scan_word_run(in, &runes);
    if (q < in->data + in->end && is_blank_byte(*q)) {
        in->begin += static_cast<std::size_t>(q - p);
        place_whole_word(out, p, static_cast<std::size_t>(q - p), runes,
                         static_cast<std::size_t>(in->data + sizeof in->data - p));
        return;
    }
    // A word that runs past the buffer, or holds a rune the codec rewrites, comes in pieces.
    word_place place;
    begin_word(&place, out);
    for (;;) {
        in->begin += static_cast<std::size_t>(q - p);
        add_word_bytes(&place, out, p, static_cast<std::size_t>(q - p), runes);
        std::size_t width;
        if (!is_word_rune(peek_rune(in, &width))) break;
        add_word_rune(&place, out, block_input_rune(in));
        p = in->data + in->begin;
        q = scan_word_run(in, &runes);
    }
    end_word(&place, out);
}

} // namespace

void linefill_blocks(block_input *in, block_output *out) {
    std::size_t width = 0;
    int r = peek_rune(in, &width);
    for (;;) {
        indent.length = 0;
        while (is_blank(r)) {
            runes_append(&indent, static_cast<rune16>(r));
            r = next_rune(in, &width);
        }
        if (!is_word_rune(r)) {
            end_paragraph(out, r);
            if (r == -1) return;
            r = next_rune(in, &width);
            continue;
        }
        while (is_word_rune(r)) {
            place_word(in, out);
            r = peek_rune(in, &width);
            while (is_blank(r))
                r = next_rune(in, &width);
        }
        if (r == -1) return;
        r = next_rune(in, &width);
    }
}

void linefill_file(const char *name) {
    block_filter_file(name, linefill_blocks);
}
