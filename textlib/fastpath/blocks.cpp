#include "blocks.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Standard input named twice yields nothing the second time once it has ended, also when it
// was read around stdio's buffer.
bool stdin_ended = false;

} // namespace

void textlib_input_start(textlib_input *in, FILE *stream, textlib_output *borrower,
                         std::size_t block) {
    in->stream = stream;
    in->block = block < TEXTLIB_BLOCK ? block : TEXTLIB_BLOCK;
    in->begin = 0;
    in->end = 0;
    in->at_eof = feof(stream) || (stream == stdin && stdin_ended);
    in->failed = false;
    in->borrower = borrower;
}

bool textlib_input_fill(textlib_input *in) {
    if (in->borrower != nullptr) textlib_output_flush(in->borrower);
    if (in->at_eof) return false;
    const std::size_t left = in->end - in->begin;
    std::memmove(in->data, in->data + in->begin, left);
    in->begin = 0;
    in->end = left;
    // A routine takes all but a sequence that more bytes may complete, less than a unit; anything
    // else is a fault that would lose input or overrun the buffer, so it ends the program at once.
    if (left >= TEXTLIB_UNIT_MAXBYTES) std::abort();
    for (;;) {
        const ssize_t got = read(fileno(in->stream), in->data + left, in->block);
        if (got > 0) {
            in->end += static_cast<std::size_t>(got);
            return true;
        }
        if (got < 0 && errno == EINTR) continue;
        in->at_eof = true;
        in->failed = got < 0;
        if (in->stream == stdin) stdin_ended = true;
        return left != 0;
    }
}

void textlib_input_close(textlib_input *in, const char *name) {
    if (in->failed) diag_fatal("unable to read %s", name);
    input_close(in->stream, name);
}

void textlib_output_start(textlib_output *out, FILE *stream) {
    // Whatever stdio holds for the stream goes first.
    fflush(stream);
    out->stream = stream;
    out->fd = fileno(stream);
    out->parts = 0;
    out->used = 0;
}

namespace {

// Writes the parts from first on with one call where it can; false when a write fails.
bool write_parts(textlib_output *out) {
    iovec *part = out->part;
    std::size_t count = out->parts;
    if (out->fd < 0) {
        for (; count > 0; part++, count--) {
            if (fwrite(part->iov_base, 1, part->iov_len, out->stream) != part->iov_len)
                return false;
        }
        return fflush(out->stream) == 0;
    }
    while (count > 0) {
        const ssize_t wrote = writev(out->fd, part, static_cast<int>(count));
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        // A short write leaves the rest of the parts for the next call.
        for (auto n = static_cast<std::size_t>(wrote);
             n > 0 || (count > 0 && part->iov_len == 0);) {
            const std::size_t taken = n < part->iov_len ? n : part->iov_len;
            part->iov_base = static_cast<char *>(part->iov_base) + taken;
            part->iov_len -= taken;
            n -= taken;
            if (part->iov_len == 0) {
                part++;
                count--;
            }
        }
    }
    return true;
}

} // namespace

void textlib_output_flush(textlib_output *out) {
    if (out->parts != 0 && !write_parts(out)) diag_fatal("write error");
    out->parts = 0;
    out->used = 0;
}

void textlib_output_borrow(textlib_output *out, const char *bytes, std::size_t n) {
    if (n == 0) return;
    if (out->parts == TEXTLIB_OUTPUT_PARTS) textlib_output_flush(out);
    out->part[out->parts++] = {const_cast<char *>(bytes), n};
}

void textlib_output_bytes(textlib_output *out, const char *bytes, std::size_t n) {
    while (n > 0) {
        if (out->used == TEXTLIB_OUTPUT_SIZE) textlib_output_flush(out);
        const std::size_t room = TEXTLIB_OUTPUT_SIZE - out->used;
        const std::size_t piece = n < room ? n : room;
        std::memcpy(textlib_output_room(out, piece), bytes, piece);
        textlib_output_commit(out, piece);
        bytes += piece;
        n -= piece;
    }
}

void textlib_output_repeat(textlib_output *out, char byte, std::uint64_t count) {
    while (count > 0) {
        if (out->used == TEXTLIB_OUTPUT_SIZE) textlib_output_flush(out);
        const std::size_t room = TEXTLIB_OUTPUT_SIZE - out->used;
        const std::size_t n = count < room ? static_cast<std::size_t>(count) : room;
        std::memset(textlib_output_room(out, n), byte, n);
        textlib_output_commit(out, n);
        count -= n;
    }
}

void textlib_filter_file(const char *name,
                         void (*routine)(textlib_input *in, textlib_output *out)) {
    // Static: the buffers are too large for the stack of a small thread, and one run holds one
    // input at a time.
    static textlib_input in;
    static textlib_output out;
    textlib_output_start(&out, stdout);
    textlib_input_start(&in, input_open(name), &out);
    routine(&in, &out);
    textlib_output_flush(&out);
    textlib_input_close(&in, name);
}
