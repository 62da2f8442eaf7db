#include "tabsqueeze.h"

#include "columns.h"
#include "step.h"

#include <bit>
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

void write_run_plain(std::uint64_t start, std::uint64_t end, FILE *out) {
    // A run one column wide stays one space, also a tab that stood just before a stop.
    if (end - start == 1) {
        rune_fputc(TEXTLIB_SPACE, out);
        return;
    }
    while (textlib_stops_between(start, end) > 0) {
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
                column = textlib_after_blank(r, column);
            write_run_plain(start, column, out);
            continue;
        }
        rune_fputc(static_cast<rune16>(r), out);
        column = r == TEXTLIB_NEWLINE ? 0 : column + textlib_columns_of(static_cast<rune16>(r));
        r = rune_fgetc(in);
    }
}

namespace {

struct squeeze_state {
    std::uint64_t column;
    bool in_run; // a run of blanks is open; column is the column it reaches so far
    std::uint64_t start;
};

// What a run from column start to column end becomes: a tab for each tab stop in (start, end],
// then spaces from the last of them (or from start) to end. A run one column wide stays one
// space, also a tab that stood just before a stop.
struct run_shape {
    std::uint64_t tabs, spaces;
};

run_shape shape_of_run(std::uint64_t start, std::uint64_t end) {
    if (end - start == 1) return {0, 1};
    const std::uint64_t tabs = textlib_stops_between(start, end);
    return {tabs, tabs > 0 ? end - textlib_stop_through(end) : end - start};
}

void write_run(textlib_output *out, std::uint64_t start, std::uint64_t end) {
    const auto [tabs, spaces] = shape_of_run(start, end);
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

// The leads C0 and E0, which may begin an overlong blank: only the exact step tells.
inline bool may_lead_overlong_blank(char b) {
    return b == static_cast<char>(0xC0) || b == static_cast<char>(0xE0);
}

// Whether the rune at p may begin a run: a blank, or the lead of an overlong one.
inline bool may_begin_run(const char *p, const squeeze_state &s) {
    return blanks_start_runs(s.column) && (textlib_is_blank(*p) || may_lead_overlong_blank(*p));
}

// The tabs and spaces of a run from p, eight spaces a step; returns the first other byte.
const char *skip_blanks(const char *p, const char *end, std::uint64_t *column) {
    constexpr std::uint64_t spaces = 0x2020202020202020;
    while (p < end) {
        if (*p == '\t') {
            *column = textlib_next_stop(*column);
            p++;
        } else if (*p != ' ') {
            break;
        } else if (end - p >= 8) {
            std::uint64_t x;
            std::memcpy(&x, p, sizeof x);
            const std::uint64_t others = x ^ spaces;
            // p[0] is the low byte of x on a little-endian machine, the high one on a
            // big-endian machine.
            const int zeros = std::endian::native == std::endian::little ? std::countr_zero(others)
                                                                         : std::countl_zero(others);
            const auto n = static_cast<std::uint64_t>(zeros / 8);
            *column += n;
            p += n;
        } else {
            ++*column;
            p++;
        }
    }
    return p;
}

void end_run(squeeze_state *s, textlib_output *out) {
    write_run(out, s->start, s->column);
    s->in_run = false;
}

// A run of plain blanks from p, which holds a blank that begins one, or the rest of an open run.
// Returns where it stopped: at the rune after the run, which is then written, or at a byte that
// needs the exact step (the run then stays open).
const char *squeeze_blanks(const char *p, const char *end, squeeze_state *s, textlib_output *out) {
    if (!s->in_run) {
        s->in_run = true;
        s->start = s->column;
    }
    p = skip_blanks(p, end, &s->column);
    // The lead of an overlong blank may go on with the run.
    if (p < end && !may_lead_overlong_blank(*p)) end_run(s, out);
    return p;
}

// Whether the blanks from run to after, a run from column 0 to column end, are already what
// write_run writes for it: then they go out with the text around them.
bool written_as_read(const char *run, const char *after, std::uint64_t end) {
    const auto n = static_cast<std::uint64_t>(after - run);
    const auto [tabs, spaces] = shape_of_run(0, end);
    if (tabs + spaces != n) return false;
    // Tabs up to the last stop, spaces after it: past the last stop of a list a tab is written as
    // a space.
    for (std::uint64_t i = 0; i < n; i++) {
        if (run[i] != (i < tabs ? '\t' : ' ')) return false;
    }
    return true;
}

// Whether a run from column 0 follows from its bits alone: with tab stops evenly spaced and at
// least two columns apart, where a tab always reaches the next stop and is written as a tab.
inline bool runs_by_bits() {
    return textlib_tab_stops == 0 && tab_width >= 2;
}

// A line's leading run inside a chunk, `length` blanks whose tabs are the bits of tabs, measured
// by those bits where tab stops are evenly spaced and the tabs come first: the usual indentation.
// Sets the column it reaches and whether it is already what write_run writes for it.
inline bool measured_by_bits(std::uint64_t tabs, unsigned length, std::uint64_t *column,
                             bool *as_read) {
    const auto width = static_cast<std::uint64_t>(tab_width);
    const std::uint64_t run = (std::uint64_t{1} << length) - 1;
    tabs &= run;
    // Tabs that come first are a run of low bits.
    if (!runs_by_bits() || (tabs & (tabs + 1)) != 0) return false;
    const auto leading = static_cast<std::uint64_t>(__builtin_ctzll(~tabs));
    const std::uint64_t spaces = length - leading;
    *column = leading * width + spaces;
    // Written as read: tabs, then fewer spaces than reach a stop.
    *as_read = spaces < width;
    return true;
}

// Whether the runs that begin at starts, each at a line's start, are all tabs alone that end
// before plain text inside the chunk: with evenly spaced stops, each is then written as read.
inline bool tabs_alone_as_read(const textlib_view &view, std::uint64_t starts,
                               std::uint64_t plain) {
    const std::uint64_t blanks = view.tabs | view.spaces;
    // Adding a run's first bit carries through the run to the byte after it.
    const std::uint64_t runs = blanks & ~(blanks + starts);
    const std::uint64_t after = (blanks + starts) & ~blanks;
    return runs_by_bits() && (runs & view.spaces) == 0 && (runs >> 63) == 0 &&
           (after & ~plain) == 0;
}

// Without -a, from p while the text is plain: the blanks that begin each line are rewritten
// where write_run would write them otherwise, and everything else goes out as it came, a chunk
// of line starts at a time. Returns where plain text ends, or the start of a run that needs the
// exact step; *s says whether that is a line's start.
const char *squeeze_line_starts(const char *p, const char *end, squeeze_state *s,
                                textlib_output *out) {
    const char *copied = p;
    while (p < end) {
        const textlib_view view = textlib_look(p, end);
        const std::uint64_t plain =
            view.plain >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << view.plain) - 1;
        const std::uint64_t blanks = view.tabs | view.spaces;
        const std::uint64_t line_starts = ((view.newlines << 1) | (s->column == 0 ? 1 : 0)) & plain;
        std::uint64_t starts = line_starts & blanks;
        const char *next = p + view.plain;
        // By display width a rune of no width keeps a line at its start: from the first line
        // that starts with a rune of more than one byte, the exact step looks at it.
        const char *zero_wide = nullptr;
        if (display_width) {
            for (std::uint64_t others = line_starts & ~starts; others != 0; others &= others - 1) {
                const auto at = static_cast<unsigned>(__builtin_ctzll(others));
                if (static_cast<unsigned char>(p[at]) < 0x80) continue;
                starts &= (std::uint64_t{1} << at) - 1;
                zero_wide = p + at;
                break;
            }
        }
        if (tabs_alone_as_read(view, starts, plain)) starts = 0;
        while (starts != 0) {
            const auto at = static_cast<unsigned>(__builtin_ctzll(starts));
            const char *const run = p + at;
            starts &= starts - 1;
            const std::uint64_t from_run = ~(blanks >> at);
            const auto length =
                static_cast<unsigned>(from_run != 0 ? __builtin_ctzll(from_run) : 64);
            std::uint64_t column;
            const char *after = run + length;
            bool as_read;
            if (at + length >= 64 ||
                !measured_by_bits(view.tabs >> at, length, &column, &as_read)) {
                column = 0;
                after = skip_blanks(run, end, &column);
                as_read = written_as_read(run, after, column);
            }
            // Only the exact step knows where a run ends at the end of the bytes, or before the
            // lead of what may be an overlong blank.
            if (after == end || may_lead_overlong_blank(*after)) {
                textlib_output_input(out, copied, static_cast<std::size_t>(run - copied));
                s->column = 0;
                return run;
            }
            if (!as_read) {
                textlib_output_input(out, copied, static_cast<std::size_t>(run - copied));
                write_run(out, 0, column);
                copied = after;
            }
            if (after > next) {
                next = after;
                break;
            }
        }
        if (zero_wide != nullptr) {
            textlib_output_input(out, copied, static_cast<std::size_t>(zero_wide - copied));
            s->column = 0;
            return zero_wide;
        }
        if (next > p) s->column = next[-1] == '\n' ? 0 : 1;
        const bool more = view.plain == 64 || next > p + view.plain;
        p = next;
        if (!more) break;
    }
    textlib_output_input(out, copied, static_cast<std::size_t>(p - copied));
    return p;
}

// The exact step: rune by rune by the reference's rules, up to where plain text is ahead or a rune
// needs bytes still to come; says which, with *p moved there.
textlib_step_kind squeeze_runes(const char **p, const char *end, bool at_eof, squeeze_state *s,
                                textlib_output *out) {
    textlib_writer w = textlib_writer_start(out);
    // A copy of the state, which the bytes written cannot alias, so that it stays in registers.
    squeeze_state state = *s;
    // Whether r goes out as it is, after what it does to a run.
    const auto written = [&state, &w](rune16 r) {
        if (state.in_run) {
            if (textlib_is_blank(r)) {
                state.column = textlib_after_blank(r, state.column);
                return false;
            }
            textlib_writer_done(&w);
            end_run(&state, w.out);
            w = textlib_writer_start(w.out);
        }
        if (starts_run(r, state.column)) {
            state.in_run = true;
            state.start = state.column;
            state.column = textlib_after_blank(r, state.column);
            return false;
        }
        state.column = r == TEXTLIB_NEWLINE ? 0 : state.column + textlib_columns_of(r);
        return true;
    };
    // Outside a run, runes other than the blanks that may begin one, and without -a the newlines
    // after which they may, go out as they are; inside one, each rune is looked at.
    const auto next = [&state](textlib_step *step) {
        if (state.in_run) return textlib_step_next_rune(step);
        // A space before what is not a blank is a run of one column, written as it came.
        if (all_blanks) return textlib_step_next(step, TEXTLIB_STOP_TAB | TEXTLIB_STOP_SPACE_RUN);
        return textlib_step_next(step, state.column == 0 ? TEXTLIB_STOP_TAB | TEXTLIB_STOP_SPACE |
                                                               TEXTLIB_STOP_NEWLINE
                                                         : unsigned{TEXTLIB_STOP_NEWLINE});
    };
    textlib_step step = textlib_step_start(*p, end, at_eof);
    for (;;) {
        const textlib_step_kind kind = next(&step);
        switch (kind) {
        case TEXTLIB_STRETCH: textlib_write_stretch(&w, step.stretch, &state.column); break;
        case TEXTLIB_RUNE:
            if (written(step.rune))
                w.at += textlib_encode3(textlib_writer_room(&w, U8_MAXBYTES), step.rune);
            break;
        case TEXTLIB_MORE:
        case TEXTLIB_PLAIN:
            textlib_writer_done(&w);
            *s = state;
            *p = step.next;
            return kind;
        }
    }
}

} // namespace

void tabsqueeze_blocks(textlib_input *in, textlib_output *out) {
    squeeze_state s = {0, false, 0};
    // With -a every tab and every space before a blank begins a run; without, only blanks at a
    // line's start do.
    // By display width a line may start with runes of no width: every newline is looked at.
    const unsigned stops = all_blanks      ? TEXTLIB_STOP_TAB | TEXTLIB_STOP_SPACE_RUN
                           : display_width ? TEXTLIB_STOP_NEWLINE
                                           : TEXTLIB_STOP_NEWLINE_RUN;
    textlib_each_block(in, [&s, stops, out](const char *p, const char *end, bool at_eof) {
        while (p < end) {
            const bool blank = textlib_is_blank(*p);
            if (blank && (s.in_run || may_begin_run(p, s))) {
                p = squeeze_blanks(p, end, &s, out);
                continue;
            }
            // By display width, a rune of no width at a line's start needs the exact step.
            const bool zero_wide =
                display_width && s.column == 0 && static_cast<unsigned char>(*p) >= 0x80;
            if (!all_blanks && !s.in_run && !zero_wide) {
                const char *const plain = squeeze_line_starts(p, end, &s, out);
                if (plain != p) {
                    p = plain;
                    continue;
                }
            }
            if (!s.in_run && !may_begin_run(p, s) && !zero_wide) {
                const char *const plain = textlib_skip_columns(p, end, stops, &s.column);
                textlib_output_span(out, p, static_cast<std::size_t>(plain - p));
                p = plain;
                if (p == end) break;
                if (*p == '\n') {
                    // A newline before a line that may begin with a run.
                    textlib_output_byte(out, '\n');
                    s.column = 0;
                    p++;
                    continue;
                }
                if (textlib_is_blank(*p)) continue;
            }
            if (squeeze_runes(&p, end, at_eof, &s, out) == TEXTLIB_MORE) break;
        }
        return p;
    });
    if (s.in_run) write_run(out, s.start, s.column);
}

void tabsqueeze_file(const char *name) {
    textlib_filter_file(name, tabsqueeze_blocks);
}
