// Block input and output: the tools' fast paths read a block at a time and gather their output
// as parts written with one call. Internal to textlib and the tools.
#ifndef TEXTLIB_FASTPATH_BLOCKS_H
#define TEXTLIB_FASTPATH_BLOCKS_H

#include "textlib.h"
#include "units.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/uio.h>

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
    char data[TEXTLIB_BLOCK + TEXTLIB_UNIT_MAXBYTES - 1 + TEXTLIB_SHORT];
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

// Runs take(p, end, at_eof) over the input a block at a time, until the input has ended and every
// byte is taken. take returns where it stopped: end, or the first byte of a rune that needs bytes
// still to come, which the next call is offered again with them.
template <typename take_routine> void textlib_each_block(textlib_input *in, take_routine &&take) {
    while (textlib_input_fill(in)) {
        const char *const p = take(in->data + in->begin, in->data + in->end, in->at_eof);
        in->begin = static_cast<std::size_t>(p - in->data);
    }
}

#endif
