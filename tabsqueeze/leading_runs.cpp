// The block path without -a: only the blanks that begin a line are a run, and the text between
// line starts goes out as it came, a chunk of line starts at a time.
#include "squeeze_step.h"

namespace {

// Whether a run from column 0 follows from its bits alone: with tab stops evenly spaced and at
// least two columns apart, where a tab always reaches the next stop and is written as a tab.
inline bool runs_by_bits() {
    return textlib_tab_stops == 0 && tab_width >= 2;
}

// By display width a rune of no width leaves a line at its start, and only the exact step tells
// the width of a rune of more than one byte: the one that begins with lead may have none.
inline bool may_be_zero_wide(char lead) {
    return static_cast<unsigned char>(lead) >= 0x80;
}

// The first of the line starts at p whose rune may be of no width, or null.
const char *first_maybe_zero_wide(const char *p, std::uint64_t line_starts) {
    for (; line_starts != 0; line_starts &= line_starts - 1) {
        const unsigned at = textlib_lowest(line_starts);
        if (may_be_zero_wide(p[at])) return p + at;
    }
    return nullptr;
}

inline bool may_be_zero_wide_at_line_start(const char *p, const squeeze_state &s) {
    return display_width && s.at_line_start && may_be_zero_wide(*p);
}

// A chunk of plain text as textlib_look sees it, and what its line starts hold.
struct line_chunk {
    const char *at;
    textlib_view view;
    std::uint64_t blanks; // tabs and spaces
    // The line starts before maybe_zero_wide that hold a blank: the runs to look at, none when
    // they are all as they will be written.
    std::uint64_t runs;
    // By display width, the first line start whose rune may be of no width; else null.
    const char *maybe_zero_wide;
};

// Whether the runs, each at a line's start, are all tabs alone that end before plain text inside
// the chunk: with evenly spaced stops, each is then written as read.
inline bool tabs_alone_as_read(const textlib_view &view, std::uint64_t runs, std::uint64_t plain) {
    const std::uint64_t blanks = view.tabs | view.spaces;
    // Adding a run's first bit carries through the run to the byte after it.
    const std::uint64_t in_runs = blanks & ~(blanks + runs);
    const std::uint64_t after = (blanks + runs) & ~blanks;
    return runs_by_bits() && (in_runs & view.spaces) == 0 && (in_runs >> 63) == 0 &&
           (after & ~plain) == 0;
}

// The chunk at p, whose first byte is at a line's start when at_line_start says so.
line_chunk look_at_chunk(const char *p, const char *end, bool at_line_start) {
    const textlib_view view = textlib_look(p, end);
    const std::uint64_t plain = textlib_below(view.plain_length);
    const std::uint64_t blanks = view.tabs | view.spaces;
    const std::uint64_t line_starts = ((view.newlines << 1) | (at_line_start ? 1 : 0)) & plain;
    line_chunk chunk = {p, view, blanks, line_starts & blanks, nullptr};
    if (display_width) {
        chunk.maybe_zero_wide = first_maybe_zero_wide(p, line_starts & ~chunk.runs);
        if (chunk.maybe_zero_wide != nullptr)
            chunk.runs &= textlib_below(static_cast<unsigned>(chunk.maybe_zero_wide - p));
    }
    if (tabs_alone_as_read(view, chunk.runs, plain)) chunk.runs = 0;
    return chunk;
}

// A line's leading run: where it ends, the column it reaches, and whether it is already what
// write_run writes for it, so that it goes out with the text around it.
struct leading_run {
    const char *at, *after;
    std::uint64_t column;
    bool as_read;
};

// Measures the run by its bits where tab stops are evenly spaced and its tabs come first: the
// usual indentation. tabs are the bits of its tabs, from the run's first; false when the bits do
// not tell.
inline bool measured_by_bits(std::uint64_t tabs, unsigned length, leading_run *run) {
    const auto width = static_cast<std::uint64_t>(tab_width);
    tabs &= textlib_below(length);
    // Tabs that come first are a run of low bits.
    if (!runs_by_bits() || (tabs & (tabs + 1)) != 0) return false;
    const auto leading = static_cast<std::uint64_t>(__builtin_ctzll(~tabs));
    const std::uint64_t spaces = length - leading;
    run->column = leading * width + spaces;
    // Written as read: tabs, then fewer spaces than reach a stop.
    run->as_read = spaces < width;
    return true;
}

// Whether the blanks from run to after, a run from column 0 to column end, are already what
// write_run writes for it.
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

// The run at the chunk's byte at, by its bits when they tell, else blank by blank up to end.
inline leading_run measure_run(const line_chunk &chunk, unsigned at, const char *end) {
    const std::uint64_t from_run = ~(chunk.blanks >> at);
    const auto length = static_cast<unsigned>(from_run != 0 ? textlib_lowest(from_run) : 64);
    leading_run run = {chunk.at + at, chunk.at + at + length, 0, false};
    if (at + length < 64 && measured_by_bits(chunk.view.tabs >> at, length, &run)) return run;
    run.column = 0;
    run.after = skip_blanks(run.at, end, &run.column);
    run.as_read = written_as_read(run.at, run.after, run.column);
    return run;
}

// Writes the text before the run, then the run as write_run writes it.
inline void rewrite_run(const leading_run &run, const char **copied, textlib_output *out) {
    textlib_output_input(out, *copied, static_cast<std::size_t>(run.at - *copied));
    write_run(out, 0, run.column);
    *copied = run.after;
}

// Plain text from p, the blanks that begin each line rewritten where write_run would write them
// otherwise, a chunk at a time. Returns where plain text ends, or a line start that needs the
// exact step: a run that ends with the bytes or before the lead of what may be an overlong blank,
// or a rune that may be of no width.
const char *squeeze_line_starts(const char *p, const char *end, squeeze_state *s,
                                textlib_output *out) {
    const char *copied = p;
    while (p < end) {
        const line_chunk chunk = look_at_chunk(p, end, s->at_line_start);
        const char *next = p + chunk.view.plain_length;
        // Where the exact step takes over, if it must.
        const char *exact = chunk.maybe_zero_wide;
        for (std::uint64_t runs = chunk.runs; runs != 0; runs &= runs - 1) {
            const leading_run run = measure_run(chunk, textlib_lowest(runs), end);
            // Only the exact step knows where a run ends at the end of the bytes, or before the
            // lead of what may be an overlong blank.
            if (run.after == end || may_lead_overlong_blank(*run.after)) {
                exact = run.at;
                break;
            }
            if (!run.as_read) rewrite_run(run, &copied, out);
            // A run that goes on past the chunk is its last.
            if (run.after > next) {
                next = run.after;
                break;
            }
        }
        if (exact != nullptr) {
            textlib_output_input(out, copied, static_cast<std::size_t>(exact - copied));
            s->at_line_start = true;
            return exact;
        }
        if (next > p) s->at_line_start = next[-1] == '\n';
        // Plain text may go on where the chunk's bytes, or a run, end.
        const bool more = chunk.view.plain_length == 64 || next > p + chunk.view.plain_length;
        p = next;
        if (!more) break;
    }
    textlib_output_input(out, copied, static_cast<std::size_t>(p - copied));
    return p;
}

// One block: the blanks that begin a line, plain text with the line starts in it, and the exact
// step for what is neither.
const char *squeeze_block(const char *p, const char *end, bool at_eof, squeeze_state *s,
                          textlib_output *out) {
    while (p < end) {
        if (textlib_is_blank(*p) && (s->in_run || s->at_line_start)) {
            p = squeeze_blanks(p, end, s, out);
            continue;
        }
        if (!s->in_run && !may_be_zero_wide_at_line_start(p, *s)) {
            const char *const plain = squeeze_line_starts(p, end, s, out);
            if (plain != p) {
                p = plain;
                continue;
            }
        }
        if (squeeze_step(&p, end, at_eof, s, out) == TEXTLIB_MORE) break;
    }
    return p;
}

} // namespace

void squeeze_leading_runs(textlib_input *in, textlib_output *out) {
    squeeze_blocks(in, out, squeeze_block);
}
