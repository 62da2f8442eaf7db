// The block path's shared parts: where it stands between runes and how a run of blanks is
// written. Internal to tabsqueeze.
#ifndef TABSQUEEZE_SQUEEZE_RUNS_H
#define TABSQUEEZE_SQUEEZE_RUNS_H

#include "columns.h"
#include "tabsqueeze.h"

#include <bit>
#include <cstring>

struct squeeze_state {
    // With -a, the column. Without, the column within an open run, which begins a line; outside
    // one it is not read.
    std::uint64_t column;
    std::uint64_t start; // the column where the open run began
    bool in_run;
    // Without -a: nothing but runes of no width since the last newline or the start, so that a
    // blank here begins a run.
    bool at_line_start;
};

constexpr squeeze_state SQUEEZE_START = {0, 0, false, true};

// The runes the kernel stops at outside a run, in plain text and in the exact step alike: those
// that may begin a run, and without -a the newlines after which one may.
inline unsigned kernel_halts(const squeeze_state &s) {
    // A space before what is not a blank is a run of one column, written as it came.
    if (all_blanks) return TEXTLIB_HALT_TAB | TEXTLIB_HALT_SPACE_RUN;
    if (s.at_line_start) return TEXTLIB_HALT_TAB | TEXTLIB_HALT_SPACE | TEXTLIB_HALT_NEWLINE;
    return TEXTLIB_HALT_NEWLINE;
}

// What a run from column start to column end becomes: a tab for each tab stop in (start, end],
// then spaces from the last of them (or from start) to end. A run one column wide stays one
// space, also a tab that stood just before a stop.
struct run_shape {
    std::uint64_t tabs, spaces;
};

inline run_shape shape_of_run(std::uint64_t start, std::uint64_t end) {
    if (end - start == 1) return {0, 1};
    const std::uint64_t tabs = textlib_stops_between(start, end);
    return {tabs, tabs > 0 ? end - textlib_stop_through(end) : end - start};
}

inline void write_run(textlib_output *out, std::uint64_t start, std::uint64_t end) {
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

// The tabs and spaces of a run from p, eight spaces a step; returns the first other byte.
inline const char *skip_blanks(const char *p, const char *end, std::uint64_t *column) {
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

// Opens a run where the state stands: with -a at its column, without at a line's start.
inline void begin_run(squeeze_state *s) {
    s->in_run = true;
    s->start = all_blanks ? s->column : 0;
    s->column = s->start;
}

// Writes the open run and closes it. A run has columns, so the line is past its start.
inline void end_run(squeeze_state *s, textlib_output *out) {
    write_run(out, s->start, s->column);
    s->in_run = false;
    s->at_line_start = false;
}

// A run of plain blanks from p, which holds a blank that begins one, or the rest of an open run.
// Returns where it stopped: at the rune after the run, which is then written, or at a byte that
// needs the exact step (the run then stays open).
inline const char *squeeze_blanks(const char *p, const char *end, squeeze_state *s,
                                  textlib_output *out) {
    if (!s->in_run) begin_run(s);
    p = skip_blanks(p, end, &s->column);
    // The lead of an overlong blank may go on with the run.
    if (p < end && !may_lead_overlong_blank(*p)) end_run(s, out);
    return p;
}

// The block path without -a, where only the blanks that begin a line are runs.
void squeeze_leading_runs(textlib_input *in, textlib_output *out);
// The block path with -a, where every run of blanks is one.
void squeeze_every_run(textlib_input *in, textlib_output *out);

#endif
