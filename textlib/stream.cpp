#include "textlib.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

inline bool is_continuation(int b) {
    return (b & 0xC0) == 0x80;
}

// Bytes that a sequence starting with this byte may take, counting itself.
inline int announced_width(int b0) {
    if (b0 >= 0xC0 && b0 <= 0xDF) return 2;
    if (b0 >= 0xE0 && b0 <= 0xEF) return 3;
    return 1;
}

// Standard input named twice yields nothing the second time once it has ended, also when it
// was read around stdio's buffer.
bool stdin_ended = false;

} // namespace

int rune_fgetc(FILE *stream) {
    int b = getc_unlocked(stream);
    if (b == EOF) return -1;
    char buffer[U8_MAXBYTES];
    buffer[0] = static_cast<char>(b);
    std::size_t have = 1;
    const int width = announced_width(b);
    while (have < static_cast<std::size_t>(width)) {
        b = getc_unlocked(stream);
        if (b == EOF) break;
        if (!is_continuation(b)) {
            ungetc(b, stream);
            break;
        }
        buffer[have++] = static_cast<char>(b);
    }
    rune16 r;
    u8_take(&r, buffer, have);
    return r;
}

int rune_fputc(rune16 r, FILE *stream) {
    char buffer[U8_MAXBYTES];
    const int n = u8_encode(buffer, &r);
    for (int i = 0; i < n; i++) {
        if (putc_unlocked(buffer[i], stream) == EOF) return -1;
    }
    return r;
}

void block_input_start(block_input *in, FILE *stream, std::size_t block) {
    in->stream = stream;
    in->block = block < BLOCK_SIZE ? block : BLOCK_SIZE;
    in->begin = 0;
    in->end = 0;
    in->at_eof = feof(stream) || (stream == stdin && stdin_ended);
    in->failed = false;
}

bool block_input_fill(block_input *in) {
    while (in->end - in->begin < U8_MAXBYTES && !in->at_eof) {
        const std::size_t left = in->end - in->begin;
        std::memmove(in->data, in->data + in->begin, left);
        in->begin = 0;
        in->end = left;
        const ssize_t got = read(fileno(in->stream), in->data + left, in->block);
        if (got > 0) {
            in->end += static_cast<std::size_t>(got);
        } else if (got == 0) {
            in->at_eof = true;
            if (in->stream == stdin) stdin_ended = true;
        } else if (errno != EINTR) {
            in->at_eof = true;
            in->failed = true;
        }
    }
    return in->end > in->begin;
}

int block_input_rune(block_input *in) {
    if (!block_input_fill(in)) return -1;
    rune16 r;
    in->begin += static_cast<std::size_t>(u8_take(&r, in->data + in->begin, in->end - in->begin));
    return r;
}

void block_input_close(block_input *in, const char *name) {
    if (in->failed) diag_fatal("unable to read %s", name);
    input_close(in->stream, name);
}

void block_output_start(block_output *out, FILE *stream) {
    out->stream = stream;
    out->used = 0;
}

void block_output_flush(block_output *out) {
    if (out->used != 0 && fwrite(out->data, 1, out->used, out->stream) != out->used) {
        diag_fatal("write error");
    }
    out->used = 0;
}

void block_output_bytes(block_output *out, const char *bytes, std::size_t n) {
    if (n > BLOCK_SIZE - out->used) {
        block_output_flush(out);
        if (n >= BLOCK_SIZE) {
            if (fwrite(bytes, 1, n, out->stream) != n) diag_fatal("write error");
            return;
        }
    }
    std::memcpy(out->data + out->used, bytes, n);
    out->used += n;
}

void block_output_repeat(block_output *out, char byte, std::uint64_t count) {
    while (count > 0) {
        if (out->used == BLOCK_SIZE) block_output_flush(out);
        const std::size_t room = BLOCK_SIZE - out->used;
        const std::size_t n = count < room ? static_cast<std::size_t>(count) : room;
        std::memset(out->data + out->used, byte, n);
        out->used += n;
        count -= n;
    }
}

void block_filter_file(const char *name, void (*routine)(block_input *in, block_output *out)) {
    // Static: the buffers are too large for the stack of a small thread, and one run holds one
    // input at a time.
    static block_input in;
    static block_output out;
    block_input_start(&in, input_open(name));
    block_output_start(&out, stdout);
    routine(&in, &out);
    block_output_flush(&out);
    block_input_close(&in, name);
}
