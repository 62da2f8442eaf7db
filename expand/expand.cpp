#include "expand.h"

#include <cstring>

int tab_width = 8;

namespace {

constexpr int TAB = 9;
constexpr int NEWLINE = 10;

// Spaces from column up to the next tab stop: a full tab_width when column lies on one. A mask
// serves the usual power-of-two widths, where a 64-bit division would cost more than the copy.
inline std::int64_t spaces_to_stop(std::int64_t column) {
    const std::int64_t width = tab_width;
    return width - ((width & (width - 1)) == 0 ? column & (width - 1) : column % width);
}

} // namespace

void expand_plain(FILE *in, FILE *out) {
    std::int64_t column = 0;
    for (int r; (r = rune_fgetc(in)) != -1;) {
        if (r == TAB) {
            const std::int64_t n = spaces_to_stop(column);
            for (std::int64_t i = 0; i < n; i++)
                rune_fputc(' ', out);
            column += n;
        } else if (r == NEWLINE) {
            rune_fputc(NEWLINE, out);
            column = 0;
        } else {
            rune_fputc(static_cast<rune16>(r), out);
            column++;
        }
    }
}

namespace {

// Room that one step of the block loop may write without a check: eight bytes of a plain
// word, a short tab or one encoded rune.
constexpr std::size_t STEP_ROOM = 32;

// Writes one rune that needs more than a copy and returns the new column.
std::int64_t expand_rune(block_output *out, rune16 r, std::int64_t column) {
    if (r == TAB) {
        const std::int64_t n = spaces_to_stop(column);
        if (n <= 8) {
            std::memcpy(out->data + out->used, "        ", 8);
            out->used += static_cast<std::size_t>(n);
        } else {
            block_output_repeat(out, ' ', static_cast<std::uint64_t>(n));
        }
        return column + n;
    }
    if (r == NEWLINE) {
        out->data[out->used++] = '\n';
        return 0;
    }
    out->used += static_cast<std::size_t>(u8_encode(out->data + out->used, &r));
    return column + 1;
}

} // namespace

namespace {

// Copies text from p to o a word at a time, with tabs of up to eight spaces and newlines, until
// p reaches p_stop or o reaches o_stop, or until a rune that needs more (a zero byte, a longer
// tab, anything the codec rewrites), which it reports by returning true. Stores whole words and
// a few bytes past what it keeps, so the caller leaves STEP_ROOM bytes of slack after o_stop and
// p_stop.
bool copy_plain(const char *&from, const char *p_stop, char *&to, const char *o_stop,
                std::int64_t &at_column) {
    // Locals, so that the bytes stored through o cannot alias them.
    const char *p = from;
    char *o = to;
    std::int64_t column = at_column;
    bool special = false;
    while (p < p_stop && o < o_stop) {
        std::memcpy(o, p, PLAIN_STRIDE);
        std::int64_t runes;
        bool stopped;
        const std::size_t length = plain_prefix(p, &runes, &stopped);
        p += length;
        o += length;
        column += runes;
        if (!stopped) continue;
        if (*p == TAB) {
            const std::int64_t n = spaces_to_stop(column);
            if (n > 8) {
                special = true;
                break;
            }
            std::memcpy(o, "        ", 8);
            o += n;
            column += n;
            p++;
        } else if (*p == NEWLINE) {
            *o++ = '\n';
            column = 0;
            p++;
        } else {
            const std::size_t width = verbatim_width(p, p + U8_MAXBYTES);
            if (width == 0) {
                special = true;
                break;
            }
            std::memcpy(o, p, U8_MAXBYTES);
            o += width;
            p += width;
            column++;
        }
    }
    from = p;
    to = o;
    at_column = column;
    return special;
}

} // namespace

void expand_blocks(block_input *in, block_output *out) {
    std::int64_t column = 0;
    while (block_input_fill(in)) {
        const char *p = in->data + in->begin;
        const char *const end = in->data + in->end;
        while (p < end) {
            // A sequence near the end of the buffer may go on in the next read.
            if (end - p < U8_MAXBYTES && !in->at_eof) break;
            if (BLOCK_SIZE - out->used < 2 * STEP_ROOM) block_output_flush(out);
            if (end - p > static_cast<std::ptrdiff_t>(STEP_ROOM)) {
                char *o = out->data + out->used;
                const bool special =
                    copy_plain(p, end - STEP_ROOM, o, out->data + BLOCK_SIZE - STEP_ROOM, column);
                out->used = static_cast<std::size_t>(o - out->data);
                if (!special) continue;
            }
            rune16 r;
            p += u8_take(&r, p, static_cast<std::size_t>(end - p));
            column = expand_rune(out, r, column);
        }
        in->begin = static_cast<std::size_t>(p - in->data);
    }
}

void expand_file(const char *name) {
    FILE *stream = input_open(name);
    static block_input in;
    static block_output out;
    block_input_start(&in, stream);
    block_output_start(&out, stdout);
    expand_blocks(&in, &out);
    block_output_flush(&out);
    block_input_close(&in, name);
}
