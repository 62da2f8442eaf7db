#include "expand.h"

#include <cstring>

namespace {

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

// Room that one chunk may take in the output without a check: every byte a tab of eight
// spaces, and the sixteen bytes that a short copy may store beyond what it keeps.
constexpr std::size_t CHUNK_ROOM = 8 * SCAN_CHUNK + 16;

// Writes one rune that needs more than a copy and returns the new column.
std::int64_t expand_rune(block_output *out, rune16 r, std::int64_t column) {
    if (r == TAB) {
        const std::int64_t n = spaces_to_stop(column);
        block_output_repeat(out, ' ', static_cast<std::uint64_t>(n));
        return column + n;
    }
    if (r == NEWLINE) {
        block_output_byte(out, '\n');
        return 0;
    }
    block_output_rune(out, r);
    return column + 1;
}

// Copies n bytes sixteen at a time; it may store up to fifteen bytes past them.
inline char *copy_short(char *o, const char *p, std::size_t n) {
    for (std::size_t i = 0; i < n; i += 16)
        std::memcpy(o + i, p + i, 16);
    return o + n;
}

// Expands whole chunks from p to o while p is before p_stop and o before o_stop. Stops early at
// a rune that needs the codec, or at a tab wider than eight spaces, and then returns true with p
// at that rune. Reads and writes up to sixteen bytes past what it uses, so the caller leaves
// SCAN_CHUNK + 16 bytes after p_stop and CHUNK_ROOM after o_stop.
bool expand_chunks(const char *&from, const char *p_stop, char *&to, const char *o_stop,
                   std::int64_t &at_column) {
    // Locals, so that the bytes stored through o cannot alias them.
    const char *p = from;
    char *o = to;
    std::int64_t column = at_column;
    bool special = false;
    while (!special && p < p_stop && o < o_stop) {
        chunk_scan scan;
        scan_chunk(p, &scan);
        std::size_t at = 0;
        const auto copy_to = [&](std::size_t stop) {
            o = copy_short(o, p + at, stop - at);
            // Plain ASCII, the usual case between tabs, needs no count of continuation bytes.
            const std::uint64_t continuations =
                scan.continuation & bits_below(stop) & ~bits_below(at);
            column += static_cast<std::int64_t>(stop - at) -
                      (continuations == 0 ? 0 : bit_count(continuations));
        };
        for (std::uint64_t events = (scan.tabs | scan.newlines) & bits_below(scan.plain);
             events != 0; events &= events - 1) {
            const std::size_t event = static_cast<std::size_t>(std::countr_zero(events));
            copy_to(event);
            at = event;
            if (((scan.newlines >> event) & 1) != 0) {
                *o++ = '\n';
                column = 0;
            } else {
                const std::int64_t n = spaces_to_stop(column);
                if (n > 8) {
                    special = true;
                    break;
                }
                std::memcpy(o, "        ", 8);
                o += n;
                column += n;
            }
            at++;
        }
        if (!special) {
            copy_to(scan.plain);
            at = scan.plain;
            special = scan.stopped;
        }
        p += at;
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
            if (BLOCK_SIZE - out->used < 2 * CHUNK_ROOM) block_output_flush(out);
            if (end - p > static_cast<std::ptrdiff_t>(2 * SCAN_CHUNK)) {
                char *o = out->data + out->used;
                const bool special = expand_chunks(p, end - 2 * SCAN_CHUNK, o,
                                                   out->data + BLOCK_SIZE - CHUNK_ROOM, column);
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
    block_filter_file(name, expand_blocks);
}
