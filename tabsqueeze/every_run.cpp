// The block path with -a: every run of blanks is rewritten, wherever it stands.
#include "squeeze_step.h"

namespace {

// Plain text from p up to a rune the kernel stops at, written as it came; returns where it ends.
const char *copy_plain(const char *p, const char *end, squeeze_state *s, textlib_output *out) {
    const char *const plain = textlib_skip_columns(p, end, kernel_halts(*s), &s->column);
    textlib_output_span(out, p, static_cast<std::size_t>(plain - p));
    return plain;
}

// One block: runs of plain blanks, plain text up to the next blank that may begin a run, and the
// exact step for what is neither.
const char *squeeze_block(const char *p, const char *end, bool at_eof, squeeze_state *s,
                          textlib_output *out) {
    while (p < end) {
        if (textlib_is_blank(*p)) {
            p = squeeze_blanks(p, end, s, out);
            continue;
        }
        // A run still open here waits for the exact step: it may go on with an overlong blank.
        if (!s->in_run) {
            p = copy_plain(p, end, s, out);
            if (p == end || textlib_is_blank(*p)) continue;
        }
        if (squeeze_step(&p, end, at_eof, s, out) == TEXTLIB_MORE) break;
    }
    return p;
}

} // namespace

void squeeze_every_run(textlib_input *in, textlib_output *out) {
    squeeze_blocks(in, out, squeeze_block);
}
