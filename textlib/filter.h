// What the filters' fast paths share beyond the kernel: block input and output, the per-file frame
// around them, and the rune helpers of their exact per-rune steps. Internal to textlib and the
// tools; not part of the library's interface.
#ifndef TEXTLIB_FILTER_H
#define TEXTLIB_FILTER_H

#include "scan.h"
#include "textlib.h"
#include "width.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/uio.h>

// The runes the filters treat apart: blanks are tab and space, and no other rune.
constexpr int TEXTLIB_TAB = 9;
constexpr int TEXTLIB_NEWLINE = 10;
constexpr int TEXTLIB_SPACE = 32;

inline bool textlib_is_blank(int r) {
    return r == TEXTLIB_SPACE || r == TEXTLIB_TAB;
}

// Tab stops lie every tab_width columns, or, when -t gives a list, at its columns: past the last
// of them a tab takes one column.
extern std::uint64_t *textlib_tab_list;
extern std::size_t textlib_tab_stops; // 0 without a list
// For the columns of the list up to a bound: how many of its stops lie at or before each.
constexpr std::size_t TEXTLIB_TAB_INDEXED = 4096;
extern std::uint32_t textlib_tab_index[TEXTLIB_TAB_INDEXED];
extern std::size_t textlib_tab_indexed;

// How many stops of the list lie at or before a column past the table.
std::uint64_t textlib_stops_searched(std::uint64_t column);

// How many stops of the list lie at or before column.
inline std::uint64_t textlib_stops_through(std::uint64_t column) {
    // The table's own bound, which textlib_tab_indexed never passes, tells the compiler so too.
    return column < textlib_tab_indexed && column < TEXTLIB_TAB_INDEXED
               ? textlib_tab_index[column]
               : textlib_stops_searched(column);
}

// The first tab stop after column. A mask serves the usual power-of-two widths, where a 64-bit
// division would cost more than the rest.
inline std::uint64_t textlib_next_stop(std::uint64_t column) {
    if (textlib_tab_stops != 0) {
        const std::uint64_t at = textlib_stops_through(column);
        return at < textlib_tab_stops ? textlib_tab_list[at] : column + 1;
    }
    const auto width = static_cast<std::uint64_t>(tab_width);
    return column + width - ((width & (width - 1)) == 0 ? column & (width - 1) : column % width);
}

// The column a blank at column reaches: the next one for a space, the next tab stop for a tab.
inline std::uint64_t textlib_after_blank(int blank, std::uint64_t column) {
    return blank == TEXTLIB_SPACE ? column + 1 : textlib_next_stop(column);
}

// The tab stops in (start, end], start <= end.
inline std::uint64_t textlib_stops_between(std::uint64_t start, std::uint64_t end) {
    if (textlib_tab_stops != 0) return textlib_stops_through(end) - textlib_stops_through(start);
    const auto width = static_cast<std::uint64_t>(tab_width);
    if ((width & (width - 1)) == 0) {
        const int shift = __builtin_ctzll(width);
        return (end >> shift) - (start >> shift);
    }
    return end / width - start / width;
}

// The last tab stop at or before column, which has one.
inline std::uint64_t textlib_stop_through(std::uint64_t column) {
    if (textlib_tab_stops != 0) return textlib_tab_list[textlib_stops_through(column) - 1];
    const auto width = static_cast<std::uint64_t>(tab_width);
    return column - ((width & (width - 1)) == 0 ? column & (width - 1) : column % width);
}

// The columns of r, which is neither tab nor newline: one, or its display width.
inline std::uint64_t textlib_columns_of(rune16 r) {
    return display_width ? static_cast<std::uint64_t>(textlib_display_width(r)) : 1;
}

// The display column after the plain text from p to end, which holds no tab, from column at p:
// worked out for the last line alone.
std::uint64_t textlib_columns_after(const char *p, const char *end, std::uint64_t column);

// textlib_skip without a limit, *column moved by one a rune, or by display width when that is
// asked for.
inline const char *textlib_skip_columns(const char *p, const char *end, unsigned stops,
                                        std::uint64_t *column) {
    if (!display_width) return textlib_skip(p, end, stops, column, ~std::uint64_t{0});
    const char *const plain = textlib_skip(p, end, stops, nullptr, 0);
    *column = textlib_columns_after(p, plain, *column);
    return plain;
}

// The long option of the tools that count columns.
constexpr frame_long_option TEXTLIB_COLUMN_OPTIONS[] = {{"display-width", LONG_DISPLAY_WIDTH}};

// Groups the bytes at p, n of them (at least 1), into one rune exactly as rune_fgetc groups a
// stream: stores the rune and returns the bytes it takes, 1 to 3. A malformed sequence ends before
// the first byte that cannot continue it. Where the n bytes end a sequence that more bytes could
// complete, returns 0 unless at_end says that no more will come.
inline int textlib_take(rune16 *r, const char *p, std::size_t n, bool at_end) {
    const auto byte = [p](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(p[i]));
    };
    const auto continues = [&byte](std::size_t i) { return (byte(i) & 0xC0) == 0x80; };
    const unsigned b0 = byte(0);
    *r = RUNE_BAD;
    if (b0 < 0x80) {
        *r = static_cast<rune16>(b0);
        return 1;
    }
    if (b0 < 0xC0 || b0 >= 0xF0) return 1;
    if (n < 2) return at_end ? 1 : 0;
    if (!continues(1)) return 1;
    if (b0 < 0xE0) {
        *r = static_cast<rune16>(((b0 & 0x1F) << 6) | (byte(1) & 0x3F));
        return 2;
    }
    if (n < 3) return at_end ? 2 : 0;
    if (!continues(2)) return 2;
    *r = static_cast<rune16>(((b0 & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F));
    return 3;
}

// The rune of width bytes at p, 1 to 3, one whole rune as rune_fgetc groups them, decoded with
// shifts and masks alone: in text of bytes at random no test on them would be predictable.
inline rune16 textlib_rune_at(const char *p, unsigned width) {
    const auto byte = [p](unsigned i) {
        return static_cast<unsigned>(static_cast<unsigned char>(p[i]));
    };
    const unsigned b0 = byte(0), b1 = byte(width > 1), b2 = byte(width - 1);
    const unsigned bits = (b0 << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
    // 7, 11 or 16 bits of value by width.
    constexpr std::uint64_t kept = 0xFFFF07FF007F;
    const unsigned value =
        (bits >> (6 * (3 - width))) & static_cast<unsigned>(kept >> (16 * (width - 1)));
    // Malformed: a lone byte of 80 and up, or a three-byte lead cut after its first continuation
    // byte; one bit of a constant, by width and the lead's top three bits.
    const unsigned bad = (0x80F0u >> (8 * (width - 1) + (b0 >> 5))) & 1;
    return static_cast<rune16>(value ^ ((value ^ RUNE_BAD) & (0u - bad)));
}

// u8_encode without a branch on the rune: stores three bytes at o, of which the count returned
// are the rune's.
inline int textlib_encode3(char *o, unsigned r) {
    const unsigned n = 1 + (r - 1 >= 0x7F) + (r >= 0x800);
    const unsigned three = n == 3;
    // The lead's marker bits are byte n - 1 of E0 C0 00.
    o[0] = static_cast<char>(((0xE0C000u >> (8 * (n - 1))) & 0xFF) | (r >> (6 * (n - 1))));
    o[1] = static_cast<char>(0x80 | ((r >> (6 * three)) & 0x3F));
    o[2] = static_cast<char>(0x80 | (r & 0x3F));
    return static_cast<int>(n);
}

// The bytes ahead are plain enough to hand back to the kernel: eight of 01 to 7F.
inline bool textlib_plain_ahead(const char *p, const char *end) {
    if (end - p < 8) return false;
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    return ((x | ((x - ones) & ~x)) & highs) == 0;
}

inline std::uint64_t textlib_below(unsigned n) {
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

inline unsigned textlib_lowest(std::uint64_t x) {
    return static_cast<unsigned>(__builtin_ctzll(x));
}

// One chunk of text that is not plain, as the exact step takes it.
struct textlib_rune_chunk {
    textlib_runes runes;
    std::uint64_t longer; // the starts of runes of more than one byte
    // Where the step stops: before sixteen bytes of plain runes, or at the whole bytes' end.
    unsigned stop;
};

// The width of the rune that starts at byte `at` of a chunk.
inline unsigned textlib_width_at(const textlib_rune_chunk &chunk, unsigned at) {
    const std::uint64_t after = chunk.runes.starts >> at >> 1;
    return after != 0 ? textlib_lowest(after) + 1 : chunk.runes.whole - at;
}

// The exact step's walk over text that is not plain, a chunk at a time from the kernel, so that
// no rune waits for the one before it to be decoded: on_chunk(first byte, chunk) takes a chunk's
// runes up to its stop, on_rune(first byte, width) a sequence that only more bytes, or the end
// of input, can decide. It stops where plain text is ahead again (sixteen bytes of plain runes),
// after at least one rune. Returns where it stopped; *waiting tells that the rune there needs
// bytes still to come.
template <typename chunk_routine, typename rune_routine>
const char *textlib_each_chunk(const char *p, const char *end, bool at_eof, bool *waiting,
                               chunk_routine &&on_chunk, rune_routine &&on_rune) {
    *waiting = false;
    while (p < end) {
        const textlib_runes runes = textlib_rune_starts(p, end);
        if (runes.whole == 0) {
            rune16 r;
            const int width = textlib_take(&r, p, static_cast<std::size_t>(end - p), at_eof);
            *waiting = width == 0;
            if (*waiting) break;
            on_rune(p, static_cast<unsigned>(width));
            p += width;
            continue;
        }
        // Where sixteen bytes of plain runes begin: each byte starts a plain rune or goes on one.
        const std::uint64_t starts = runes.starts;
        std::uint64_t plain = runes.plain | ~starts;
        plain &= plain >> 1;
        plain &= plain >> 2;
        plain &= plain >> 4;
        plain &= plain >> 8;
        plain &= starts & ~std::uint64_t{1} &
                 (runes.whole >= 16 ? (std::uint64_t{1} << (runes.whole - 16) << 1) - 1 : 0);
        const unsigned first_plain = plain != 0 ? textlib_lowest(plain) : 64;
        const unsigned stop = first_plain < runes.whole ? first_plain : runes.whole;
        // Starts not followed by one.
        const std::uint64_t longer =
            starts & ~((starts >> 1) | std::uint64_t{1} << (runes.whole - 1));
        on_chunk(p, textlib_rune_chunk{runes, longer, stop});
        p += stop;
        if (stop < runes.whole) break;
    }
    return p;
}

// Besides TEXTLIB_STOP_TAB, TEXTLIB_STOP_NEWLINE and TEXTLIB_STOP_SPACE: every rune.
constexpr unsigned TEXTLIB_STOP_EVERY = 32;

// The runes among a chunk's that the stop flags name; TEXTLIB_STOP_SPACE_RUN names the spaces
// followed by a rune of next_blank: one that is or may be a blank or a newline, or one not known.
inline std::uint64_t textlib_stop_bytes(const textlib_runes &runes, unsigned stops,
                                        std::uint64_t next_blank) {
    const auto when = [stops](unsigned stop) {
        return (stops & stop) != 0 ? ~std::uint64_t{0} : 0;
    };
    return (runes.tabs & when(TEXTLIB_STOP_TAB)) | (runes.newlines & when(TEXTLIB_STOP_NEWLINE)) |
           (runes.spaces &
            (when(TEXTLIB_STOP_SPACE) | (next_blank & when(TEXTLIB_STOP_SPACE_RUN)))) |
           (runes.starts & when(TEXTLIB_STOP_EVERY));
}

// ---- Block output ----

// Output is gathered as parts: bytes of its own, and spans of the input or of constant text that
// it points to and writes as they stand, so that long plain stretches are not copied twice.
constexpr std::size_t TEXTLIB_OUTPUT_SIZE = 64 * 1024;
constexpr std::size_t TEXTLIB_OUTPUT_PARTS = 1024;
// Shorter spans are cheaper to copy than to write as parts of their own.
constexpr std::size_t TEXTLIB_BORROW_MIN = 512;

struct textlib_output {
    FILE *stream;
    int fd; // -1 for a stream without one: parts then go through fwrite
    std::size_t parts;
    std::size_t used; // bytes of data taken
    iovec part[TEXTLIB_OUTPUT_PARTS];
    char data[TEXTLIB_OUTPUT_SIZE];
};

void textlib_output_start(textlib_output *out, FILE *stream);
// Writes every part; a failed write ends the program with "write error".
void textlib_output_flush(textlib_output *out);
// Adds n bytes that stay where they are until the next flush.
void textlib_output_borrow(textlib_output *out, const char *bytes, std::size_t n);
void textlib_output_bytes(textlib_output *out, const char *bytes, std::size_t n);
void textlib_output_repeat(textlib_output *out, char byte, std::uint64_t count);

// Room for n bytes (at most TEXTLIB_OUTPUT_SIZE) of its own at the end of the output; they count
// once textlib_output_commit has been told how many were written.
inline char *textlib_output_room(textlib_output *out, std::size_t n) {
    if (TEXTLIB_OUTPUT_SIZE - out->used < n || out->parts == TEXTLIB_OUTPUT_PARTS)
        textlib_output_flush(out);
    return out->data + out->used;
}

inline void textlib_output_commit(textlib_output *out, std::size_t n) {
    char *const at = out->data + out->used;
    iovec *const last = out->parts == 0 ? nullptr : &out->part[out->parts - 1];
    if (last != nullptr && static_cast<char *>(last->iov_base) + last->iov_len == at) {
        last->iov_len += n;
    } else {
        out->part[out->parts++] = {at, n};
    }
    out->used += n;
}

// Bytes of the output's own written straight into its buffer through a pointer of the caller's,
// and committed in one go: a per-rune step then keeps no chain of loads and stores through the
// output's fields.
struct textlib_writer {
    textlib_output *out;
    char *start, *at, *limit;
};

constexpr std::size_t TEXTLIB_WRITER_ROOM = 1024;

inline void textlib_writer_done(textlib_writer *w) {
    textlib_output_commit(w->out, static_cast<std::size_t>(w->at - w->start));
    w->start = w->at;
}

inline textlib_writer textlib_writer_start(textlib_output *out) {
    char *const at = textlib_output_room(out, TEXTLIB_WRITER_ROOM);
    return {out, at, at, at + TEXTLIB_WRITER_ROOM};
}

// Room for n bytes at w->at, n at most TEXTLIB_WRITER_ROOM.
inline char *textlib_writer_room(textlib_writer *w, std::size_t n) {
    if (static_cast<std::size_t>(w->limit - w->at) < n) {
        textlib_writer_done(w);
        *w = textlib_writer_start(w->out);
    }
    return w->at;
}

// The room that the bytes of a stretch may take when written.
constexpr std::size_t TEXTLIB_STRETCH_ROOM = 2 * 64;

// A stretch of runes that need no decoding, n bytes from at: one-byte runes, plain runes and
// malformed runes of two bytes. Bit i of a mask is for at[i], and only bits below n are set.
struct textlib_stretch {
    const char *at;
    unsigned n;
    // Runes written as two bytes: one-byte runes that are not plain, and malformed runes of two
    // bytes, whose second byte is dropped.
    std::uint64_t doubled, dropped;
    std::uint64_t starts; // every rune
    std::uint64_t newlines, zeros;
};

// The exact step of a tool that takes most runes as they are. The runes from p that need no
// decoding (one-byte runes but those that stops() names, plain runes, and malformed runes of two
// bytes; by display width, no plain runes of more than one byte) go to on_stretch(stretch), a
// chunk's stretch at a time; every other rune goes to on_rune(first byte, width). Either may
// change what stops() returns. Stops where plain text is ahead again, after at least one rune;
// returns where it stopped; *waiting tells that the rune there needs bytes still to come.
template <typename stops_routine, typename stretch_routine, typename rune_routine>
const char *textlib_each_stretch(const char *p, const char *end, bool at_eof, bool *waiting,
                                 stops_routine &&stops, stretch_routine &&on_stretch,
                                 rune_routine &&on_rune) {
    const auto stretches = [&](const char *chunk_at, const textlib_rune_chunk &chunk) {
        const textlib_runes &runes = chunk.runes;
        // A malformed rune of two bytes is written as C2 80, as a one-byte one of 80-FF is.
        const std::uint64_t doubled =
            (runes.starts & ~chunk.longer & ~runes.plain) | runes.cut_short;
        const std::uint64_t dropped = runes.cut_short << 1;
        const std::uint64_t decoded =
            chunk.longer & ~runes.cut_short & (display_width ? ~std::uint64_t{0} : ~runes.plain);
        // The runes decoded may be blanks; past the stop nothing is known.
        const std::uint64_t last = std::uint64_t{1} << (chunk.stop - 1);
        const std::uint64_t next_blank =
            ((runes.tabs | runes.newlines | runes.spaces | decoded) >> 1) | last;
        for (unsigned at = 0; at < chunk.stop;) {
            const std::uint64_t ahead = ~textlib_below(at);
            const std::uint64_t special =
                (decoded | textlib_stop_bytes(runes, stops(), next_blank)) & ahead;
            const unsigned next = special != 0 ? textlib_lowest(special) : 64;
            const unsigned to = next < chunk.stop ? next : chunk.stop;
            if (to > at) {
                const std::uint64_t bytes = textlib_below(to - at);
                const auto from_at = [at, bytes](std::uint64_t mask) {
                    return (mask >> at) & bytes;
                };
                on_stretch(textlib_stretch{chunk_at + at, to - at, from_at(doubled),
                                           from_at(dropped), from_at(runes.starts),
                                           from_at(runes.newlines), from_at(runes.zeros)});
                at = to;
                if (at == chunk.stop) break;
            }
            const unsigned width = textlib_width_at(chunk, at);
            on_rune(chunk_at + at, width);
            at += width;
        }
    };
    return textlib_each_chunk(p, end, at_eof, waiting, stretches, on_rune);
}

// textlib_each_stretch for a tool that writes the stretches as they are, at w, each rune moving
// *column by one, a newline back to 0.
template <typename stops_routine, typename rune_routine>
const char *textlib_write_runes(const char *p, const char *end, bool at_eof, bool *waiting,
                                textlib_writer *w, std::uint64_t *column, stops_routine &&stops,
                                rune_routine &&on_rune) {
    const auto write = [w, column](const textlib_stretch &stretch) {
        w->at = textlib_write_lone_runes(textlib_writer_room(w, TEXTLIB_STRETCH_ROOM), stretch.at,
                                         stretch.n, stretch.doubled, stretch.dropped);
        if (stretch.newlines != 0) {
            const unsigned last = 63u - static_cast<unsigned>(__builtin_clzll(stretch.newlines));
            *column = textlib_bit_count(stretch.starts & ~textlib_below(last + 1));
        } else {
            *column += textlib_bit_count(stretch.starts);
        }
    };
    return textlib_each_stretch(p, end, at_eof, waiting, stops, write, on_rune);
}

// Copies of at most this many bytes are made at that fixed size, without a library call.
constexpr std::size_t TEXTLIB_SHORT = 128;

// The bytes at p, borrowed when there are many, copied when there are few.
inline void textlib_output_span(textlib_output *out, const char *p, std::size_t n) {
    if (n >= TEXTLIB_BORROW_MIN) {
        textlib_output_borrow(out, p, n);
    } else if (n != 0) {
        std::memcpy(textlib_output_room(out, n), p, n);
        textlib_output_commit(out, n);
    }
}

// textlib_output_span for bytes of an input buffer, after which TEXTLIB_SHORT bytes may be read.
inline void textlib_output_input(textlib_output *out, const char *p, std::size_t n) {
    if (n <= TEXTLIB_SHORT) {
        std::memcpy(textlib_output_room(out, TEXTLIB_SHORT), p, TEXTLIB_SHORT);
        textlib_output_commit(out, n);
    } else {
        textlib_output_span(out, p, n);
    }
}

inline void textlib_output_byte(textlib_output *out, char byte) {
    *textlib_output_room(out, 1) = byte;
    textlib_output_commit(out, 1);
}

// The rune as the codec writes it: rune 0 as C0 80, RUNE_BAD as C2 80.
inline void textlib_output_rune(textlib_output *out, rune16 r) {
    textlib_output_commit(
        out, static_cast<std::size_t>(u8_encode(textlib_output_room(out, U8_MAXBYTES), &r)));
}

// ---- Block input ----

constexpr std::size_t TEXTLIB_BLOCK = 128 * 1024;

struct textlib_input {
    FILE *stream;
    std::size_t block;      // bytes asked of each read; TEXTLIB_BLOCK but for tests
    std::size_t begin, end; // the bytes not yet taken are data[begin..end)
    bool at_eof;            // the stream has given all it has
    bool failed;            // a read failed; textlib_input_close reports it
    // Written out before a read moves the bytes it may point into, and so before every read: on
    // a terminal each line then shows as soon as it is complete.
    textlib_output *borrower;
    // A chunk's worth of room after the bytes a read may bring, so that a fixed-size copy of a few
    // bytes may read past them.
    char data[TEXTLIB_BLOCK + U8_MAXBYTES + TEXTLIB_SHORT];
};

void textlib_input_start(textlib_input *in, FILE *stream, textlib_output *borrower,
                         std::size_t block = TEXTLIB_BLOCK);
// Keeps the bytes not yet taken and reads once more, whatever a read returns. False once the
// input has ended and every byte has been offered; at the end, all bytes left must be taken.
bool textlib_input_fill(textlib_input *in);
// input_close, after reporting a failed read as "unable to read".
void textlib_input_close(textlib_input *in, const char *name);

// A filter's per-file routine: opens the named input, runs routine from it to standard output,
// writes out what is left and closes the input by the frame's rules.
void textlib_filter_file(const char *name, void (*routine)(textlib_input *in, textlib_output *out));

#endif
