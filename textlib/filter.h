// What the filters' fast paths share beyond the kernel: block input and output, the per-file frame
// around them, and the rune helpers of their exact per-rune steps. Internal to textlib and the
// tools; not part of the library's interface.
#ifndef TEXTLIB_FILTER_H
#define TEXTLIB_FILTER_H

#include "textlib.h"

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

// The first tab stop after column: stops lie at the multiples of tab_width. A mask serves the
// usual power-of-two widths, where a 64-bit division would cost more than the rest.
inline std::uint64_t textlib_next_stop(std::uint64_t column) {
    const auto width = static_cast<std::uint64_t>(tab_width);
    return column + width - ((width & (width - 1)) == 0 ? column & (width - 1) : column % width);
}

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

// The bytes at p, borrowed when there are many, copied when there are few.
inline void textlib_output_span(textlib_output *out, const char *p, std::size_t n) {
    if (n >= TEXTLIB_BORROW_MIN) {
        textlib_output_borrow(out, p, n);
    } else if (n != 0) {
        std::memcpy(textlib_output_room(out, n), p, n);
        textlib_output_commit(out, n);
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
    char data[TEXTLIB_BLOCK + U8_MAXBYTES];
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
