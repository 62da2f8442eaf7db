// The exact step of the block path, for the runes that the kernel does not pass. Inline in each
// routine's block loop: some texts call it once a line, where a call's cost shows.
#ifndef TABSQUEEZE_SQUEEZE_STEP_H
#define TABSQUEEZE_SQUEEZE_STEP_H

#include "squeeze_runs.h"
#include "step.h"

// Whether a blank here begins a run: with -a everywhere, without only at a line's start.
inline bool blanks_begin_runs(const squeeze_state &s) {
    return all_blanks || s.at_line_start;
}

// Moves the state past a rune that goes out as it is, of columns columns but for a newline.
inline void pass_rune(squeeze_state *s, rune16 r, std::uint64_t columns) {
    if (all_blanks) {
        s->column = r == TEXTLIB_NEWLINE ? 0 : s->column + columns;
        return;
    }
    // By display width a rune of no width leaves a line at its start.
    s->at_line_start = r == TEXTLIB_NEWLINE || (s->at_line_start && columns == 0);
}

// Writes a stretch, whose runes go out as they are, a column each, and moves the state past it.
inline void pass_stretch(textlib_writer *w, const textlib_stretch &stretch, bool keep,
                         squeeze_state *s) {
    textlib_write_stretch(w, stretch, keep, &s->column);
    // Without -a newlines are stops, so the stretch holds none: the line is past its start.
    s->at_line_start = false;
}

// A rune that the exact step hands over, read from its width bytes at p: it goes on with an open
// run or ends it, begins a run, or goes out as it is.
template <bool keep>
[[gnu::always_inline]] inline void take_rune(textlib_writer *w, rune16 r, const char *p,
                                             unsigned width, squeeze_state *s) {
    if (s->in_run) {
        if (textlib_is_blank(r)) {
            s->column = textlib_after_blank(r, s->column);
            return;
        }
        textlib_writer_done(w);
        end_run(s, w->out);
        *w = textlib_writer_start(w->out);
    }
    if (textlib_is_blank(r) && blanks_begin_runs(*s)) {
        begin_run(s);
        s->column = textlib_after_blank(r, s->column);
        return;
    }
    pass_rune(s, r, textlib_unit_columns(r, p, width, keep));
    w->at += textlib_unit_write(textlib_writer_room(w, TEXTLIB_UNIT_MAXBYTES), r, p, width, keep);
}

// The next thing from the exact step: inside a run every rune, for the first that is no blank ends
// it; outside, the runes of kernel_halts. One call for each of its sets: there the set is a
// constant, which the step's masks fold in.
[[gnu::always_inline]] inline textlib_step_kind step_next(textlib_step *step,
                                                          const squeeze_state &s) {
    if (s.in_run) return textlib_step_next_rune(step);
    if (all_blanks) return textlib_step_next(step, kernel_halts(s));
    if (s.at_line_start) return textlib_step_next(step, kernel_halts(s));
    return textlib_step_next(step, kernel_halts(s));
}

// The exact step: rune by rune by the reference's rules, up to where plain text is ahead or a rune
// needs bytes still to come; says which, with *p moved there. Made for each value of keep_bytes.
template <bool keep>
[[gnu::always_inline]] inline textlib_step_kind
squeeze_runes(const char **p, const char *end, bool at_eof, squeeze_state *s, textlib_output *out) {
    textlib_writer w = textlib_writer_start(out);
    // A copy of the state, which the bytes written cannot alias, so that it stays in registers.
    squeeze_state state = *s;
    textlib_step step = textlib_step_start(*p, end, at_eof, keep);
    for (;;) {
        const textlib_step_kind kind = step_next(&step, state);
        switch (kind) {
        case TEXTLIB_STRETCH: pass_stretch(&w, step.stretch, keep, &state); break;
        case TEXTLIB_RUNE: take_rune<keep>(&w, step.rune, step.at, step.width, &state); break;
        case TEXTLIB_MORE:
        case TEXTLIB_PLAIN:
            textlib_writer_done(&w);
            *s = state;
            *p = step.next;
            return kind;
        }
    }
}

// squeeze_runes made for the value keep_bytes has.
[[gnu::always_inline]] inline textlib_step_kind
squeeze_step(const char **p, const char *end, bool at_eof, squeeze_state *s, textlib_output *out) {
    return keep_bytes ? squeeze_runes<true>(p, end, at_eof, s, out)
                      : squeeze_runes<false>(p, end, at_eof, s, out);
}

// The block routine of either mode: each block through squeeze_block, which says where it stopped,
// and a run still open at the end of input written out.
template <typename block_routine>
void squeeze_blocks(textlib_input *in, textlib_output *out, block_routine squeeze_block) {
    squeeze_state s = SQUEEZE_START;
    textlib_each_block(in, [&s, out, squeeze_block](const char *p, const char *end, bool at_eof) {
        return squeeze_block(p, end, at_eof, &s, out);
    });
    if (s.in_run) write_run(out, s.start, s.column);
}

#endif
