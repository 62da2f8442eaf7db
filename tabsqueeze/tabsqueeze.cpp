#include "tabsqueeze.h"

#include "scan.h"

#include <cstring>

bool all_blanks = false;

namespace {

// Whether a blank at this column would begin a run: without -a only a line's leading one does.
inline bool blanks_start_runs(std::uint64_t column) {
    return all_blanks || column == 0;
}

inline bool starts_run(int r, std::uint64_t column) {
    return textlib_is_blank(r) && blanks_start_runs(column);
}

// The column a blank at column reaches: the next one for a space, the next tab stop strictly
// above it for a tab.
inline std::uint64_t after_blank(int r, std::uint64_t column) {
    return r == TEXTLIB_SPACE ? column + 1 : textlib_next_stop(column);
}

void write_run_plain(std::uint64_t start, std::uint64_t end, FILE *out) {
    // A run one column wide stays one space, also a tab that stood just before a stop.
    if (end - start == 1) {
        rune_fputc(TEXTLIB_SPACE, out);
        return;
    }
    while (textlib_next_stop(start) <= end) {
        rune_fputc(TEXTLIB_TAB, out);
        start = textlib_next_stop(start);
    }
    for (; start < end; start++)
        rune_fputc(TEXTLIB_SPACE, out);
}

} // namespace

void tabsqueeze_plain(FILE *in, FILE *out) {
    std::uint64_t column = 0;
    int r = rune_fgetc(in);
    while (r != -1) {
        if (starts_run(r, column)) {
            // Only the run's two columns are kept; the rune that ends it is looked at next.
            const std::uint64_t start = column;
            for (; textlib_is_blank(r); r = rune_fgetc(in))
                column = after_blank(r, column);
            write_run_plain(start, column, out);
            continue;
        }
        rune_fputc(static_cast<rune16>(r), out);
        column = r == TEXTLIB_NEWLINE ? 0 : column + 1;
        r = rune_fgetc(in);
    }
}

namespace {

struct squeeze_state {
    std::uint64_t column;
    bool in_run; // a run of blanks is open; column is the column it reaches so far
    std::uint64_t start;
};

// The tab stops in (start, end], then the spaces from the last of them (or from start) to end.
void write_run(textlib_output *out, std::uint64_t start, std::uint64_t end) {
    const auto width = static_cast<std::uint64_t>(tab_width);
    std::uint64_t tabs = 0, spaces = 1;
    if (end - start != 1) {
        tabs = end / width - start / width;
        spaces = tabs > 0 ? end % width : end - start;
    }
    // The usual short run as two copies of fixed size, without a library call.
    constexpr std::uint64_t few = 16;
    if (tabs <= few && spaces <= few) {
        char *const o = textlib_output_room(out, 2 * few);
        std::memcpy(o, "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t", few);
        std::memcpy(o + tabs, "                ", few);
        textlib_output_commit(out, static_cast<std::size_t>(tabs + spaces));
        return;
    }
    textlib_output_repeat(out, '\t', tabs);
    textlib_output_repeat(out, ' ', spaces);
}

// The bytes ahead are plain enough to hand back to the kernel: eight of 01 to 7F.
inline bool plain_ahead(const char *p, const char *end) {
    if (end - p < 8) return false;
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    return ((x | ((x - ones) & ~x)) & highs) == 0;
}

// Whether the rune at p may begin a run: a blank, or the lead of an overlong one.
inline bool may_begin_run(const char *p, const squeeze_state &s) {
    const auto b = static_cast<unsigned char>(*p);
    return (all_blanks || s.column == 0) && (b == ' ' || b == '\t' || b == 0xC0 || b == 0xE0);
}

// The exact step: rune by rune by the reference's rules, until plain text is ahead with no run
// open. Returns where it stopped; *waiting tells that the rune there needs bytes still to come.
const char *squeeze_runes(const char *p, const char *end, bool at_eof, squeeze_state *s,
                          textlib_output *out, bool *waiting) {
    while (p < end) {
        rune16 r;
        const int width = textlib_take(&r, p, static_cast<std::size_t>(end - p), at_eof);
        *waiting = width == 0;
        if (*waiting) break;
        if (s->in_run) {
            if (textlib_is_blank(r)) {
                s->column = after_blank(r, s->column);
                p += width;
                continue;
            }
            write_run(out, s->start, s->column);
            s->in_run = false;
        }
        if (starts_run(r, s->column)) {
            s->in_run = true;
            s->start = s->column;
            s->column = after_blank(r, s->column);
            p += width;
            continue;
        }
        if (plain_ahead(p, end)) break;
        textlib_output_rune(out, r);
        s->column = r == TEXTLIB_NEWLINE ? 0 : s->column + 1;
        p += width;
    }
    return p;
}

} // namespace

void tabsqueeze_blocks(textlib_input *in, textlib_output *out) {
    squeeze_state s = {0, false, 0};
    // With -a every tab and every space before a blank begins a run; without, only blanks at a
    // line's start do.
    const unsigned stops =
        all_blanks ? TEXTLIB_STOP_TAB | TEXTLIB_STOP_SPACE_RUN : TEXTLIB_STOP_NEWLINE_RUN;
    while (textlib_input_fill(in)) {
        const char *p = in->data + in->begin;
        const char *const end = in->data + in->end;
        while (p < end) {
            if (!s.in_run && !may_begin_run(p, s)) {
                const char *const plain = textlib_skip(p, end, stops, &s.column, ~std::uint64_t{0});
                textlib_output_span(out, p, static_cast<std::size_t>(plain - p));
                p = plain;
                if (p == end) break;
                if (*p == '\n') {
                    // A newline before a blank: the next line may begin with a run.
                    textlib_output_byte(out, '\n');
                    s.column = 0;
                    p++;
                    continue;
                }
            }
            bool waiting = false;
            p = squeeze_runes(p, end, in->at_eof, &s, out, &waiting);
            if (waiting) break;
        }
        in->begin = static_cast<std::size_t>(p - in->data);
    }
    if (s.in_run) write_run(out, s.start, s.column);
}

void tabsqueeze_file(const char *name) {
    textlib_filter_file(name, tabsqueeze_blocks);
}
