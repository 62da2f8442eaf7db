#include "tabsqueeze.h"

bool all_blanks = false;

namespace {

constexpr int TAB = 9;
constexpr int NEWLINE = 10;
constexpr int SPACE = 32;

inline bool is_blank(int r) {
    return r == SPACE || r == TAB;
}

// Whether a blank here begins a run to convert: without -a only a line's leading run is.
inline bool starts_run(int r, std::int64_t column) {
    return is_blank(r) && (column == 0 || all_blanks);
}

// The column a blank at column reaches: the next one for a space, the next tab stop strictly
// above it for a tab.
inline std::int64_t after_blank(int r, std::int64_t column) {
    return r == SPACE ? column + 1 : (column / tab_width + 1) * tab_width;
}

void write_run_plain(std::int64_t start, std::int64_t end, FILE *out) {
    // A run one column wide stays one space, also a tab that stood just before a stop.
    if (end - start == 1) {
        rune_fputc(SPACE, out);
        return;
    }
    while (start / tab_width < end / tab_width) {
        rune_fputc(TAB, out);
        start = (start / tab_width + 1) * tab_width;
    }
    for (; start < end; start++)
        rune_fputc(SPACE, out);
}

} // namespace

void tabsqueeze_plain(FILE *in, FILE *out) {
    std::int64_t column = 0;
    int r = rune_fgetc(in);
    while (r != -1) {
        if (starts_run(r, column)) {
            // Only the run's two columns are kept; the rune that ends it is looked at next.
            const std::int64_t start = column;
            for (; is_blank(r); r = rune_fgetc(in))
                column = after_blank(r, column);
            write_run_plain(start, column, out);
            continue;
        }
        rune_fputc(static_cast<rune16>(r), out);
        column = r == NEWLINE ? 0 : column + 1;
        r = rune_fgetc(in);
    }
}

namespace {

void write_run(block_output *out, std::int64_t start, std::int64_t end) {
    if (end - start == 1) {
        block_output_byte(out, ' ');
        return;
    }
    const std::int64_t tabs = end / tab_width - start / tab_width;
    if (tabs > 0) {
        block_output_repeat(out, '\t', static_cast<std::uint64_t>(tabs));
        start = end / tab_width * tab_width;
    }
    block_output_repeat(out, ' ', static_cast<std::uint64_t>(end - start));
}

// The bytes below this bound, or 0x80 and above, need a look of their own; the others are one
// column each and written as read. Mid-line without -a, blanks are copied like any other
// rune, so only newlines and what the codec may rewrite need a look.
inline unsigned plain_bound(std::int64_t column) {
    return all_blanks || column == 0 ? SPACE + 1 : NEWLINE + 1;
}

inline bool is_plain_byte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b > SPACE && b < U8_SELF;
}

inline int take_rune(rune16 *r, const char *p, const char *end) {
    const auto b = static_cast<unsigned char>(*p);
    if (b < U8_SELF) {
        *r = b;
        return 1;
    }
    return u8_take(r, p, static_cast<std::size_t>(end - p));
}

// Whether the codec writes r back as the very bytes it was read from, so that they can go out
// in one copy with their neighbours.
inline bool written_as_read(rune16 r, const char *p, int width) {
    char bytes[U8_MAXBYTES];
    return u8_encode(bytes, &r) == width &&
           std::memcmp(bytes, p, static_cast<std::size_t>(width)) == 0;
}

inline void write_span(block_output *out, const char *from, const char *to) {
    block_output_bytes(out, from, static_cast<std::size_t>(to - from));
}

} // namespace

void tabsqueeze_blocks(block_input *in, block_output *out) {
    std::int64_t column = 0;
    // A run may go on across reads; while it is open, column is the column it reaches.
    bool in_run = false;
    std::int64_t start = 0;
    while (block_input_fill(in)) {
        const char *p = in->data + in->begin;
        const char *const end = in->data + in->end;
        // A sequence that starts before limit has all its bytes in the buffer.
        const char *const limit = in->at_eof ? end : end - (U8_MAXBYTES - 1);
        // The bytes from copied up to p go out as they came in.
        const char *copied = p;
        while (p < limit) {
            if (!in_run) {
                const char *const special = skip_plain(p, limit, plain_bound(column));
                column += special - p;
                p = special;
                if (p == limit) break;
            }
            rune16 r;
            const int width = take_rune(&r, p, end);
            if (in_run) {
                if (is_blank(r)) {
                    column = after_blank(r, column);
                    p += width;
                    continue;
                }
                write_run(out, start, column);
                in_run = false;
                copied = p;
            }
            if (starts_run(r, column)) {
                // A lone space before a plain rune stays as it is: the common case in prose.
                if (*p == ' ' && p + 1 < end && is_plain_byte(p[1])) {
                    column++;
                    p++;
                    continue;
                }
                write_span(out, copied, p);
                in_run = true;
                start = column;
                column = after_blank(r, column);
                p += width;
                continue;
            }
            if (!written_as_read(r, p, width)) {
                write_span(out, copied, p);
                block_output_rune(out, r);
                copied = p + width;
            }
            column = r == NEWLINE ? 0 : column + 1;
            p += width;
        }
        if (!in_run) write_span(out, copied, p);
        in->begin = static_cast<std::size_t>(p - in->data);
    }
    if (in_run) write_run(out, start, column);
}

void tabsqueeze_file(const char *name) {
    FILE *stream = input_open(name);
    static block_input in;
    static block_output out;
    block_input_start(&in, stream);
    block_output_start(&out, stdout);
    tabsqueeze_blocks(&in, &out);
    block_output_flush(&out);
    block_input_close(&in, name);
}
