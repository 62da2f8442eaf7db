#include "expand.h"

namespace {

constexpr int TAB = 9;
constexpr int NEWLINE = 10;

// Spaces from column up to the next tab stop: a full tab_width when column lies on one.
inline std::int64_t spaces_to_stop(std::int64_t column) { return tab_width - column % tab_width; }

} // namespace

void expand_plain(FILE *in, FILE *out)
{
    std::int64_t column = 0;
    for (int r; (r = rune_fgetc(in)) != -1;) {
        if (r == TAB) {
            const std::int64_t n = spaces_to_stop(column);
            for (std::int64_t i = 0; i < n; i++) rune_fputc(' ', out);
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

void expand_blocks(block_input *in, block_output *out)
{
    std::int64_t column = 0;
    while (block_input_fill(in)) {
        const char *p = in->data + in->begin;
        const char *const end = in->data + in->end;
        // A sequence that starts before limit has all its bytes in the buffer.
        const char *const limit = in->at_eof ? end : end - (U8_MAXBYTES - 1);
        while (p < limit) {
            // Tab, newline, the zero byte and every byte of a multi-byte sequence need a look;
            // everything else is one rune of one column, copied as it stands.
            const char *const special = skip_plain(p, limit, NEWLINE + 1);
            block_output_bytes(out, p, static_cast<std::size_t>(special - p));
            column += special - p;
            p = special;
            if (p == limit) break;
            rune16 r;
            p += u8_take(&r, p, static_cast<std::size_t>(end - p));
            if (r == TAB) {
                const std::int64_t n = spaces_to_stop(column);
                block_output_repeat(out, ' ', static_cast<std::uint64_t>(n));
                column += n;
            } else if (r == NEWLINE) {
                block_output_byte(out, '\n');
                column = 0;
            } else {
                block_output_rune(out, r);
                column++;
            }
        }
        in->begin = static_cast<std::size_t>(p - in->data);
    }
}

void expand_file(const char *name)
{
    FILE *stream = input_open(name);
    static block_input in;
    static block_output out;
    block_input_start(&in, stream);
    block_output_start(&out, stdout);
    expand_blocks(&in, &out);
    block_output_flush(&out);
    block_input_close(&in, name);
}
