#include "expand.h"

#include "columns.h"
#include "step.h"

#include <cstring>

namespace {

// Spaces from column up to the next tab stop: a full tab's worth when column lies on one.
inline std::uint64_t spaces_to_stop(std::uint64_t column) {
    return textlib_next_stop(column) - column;
}

} // namespace

void expand_reference(FILE *in, FILE *out) {
    std::uint64_t column = 0;
    textlib_unit_reader reader = {in, 0, {}};
    textlib_unit unit;
    for (int r; (r = textlib_unit_fgetc(&reader, &unit)) != -1;) {
        if (r == TEXTLIB_TAB) {
            const std::uint64_t n = spaces_to_stop(column);
            for (std::uint64_t i = 0; i < n; i++)
                rune_fputc(' ', out);
            column += n;
        } else if (r == TEXTLIB_NEWLINE) {
            rune_fputc(TEXTLIB_NEWLINE, out);
            column = 0;
        } else {
            textlib_unit_fputc(unit, out);
            column += textlib_unit_columns(unit);
        }
    }
}

namespace {

void write_spaces(textlib_output *out, std::uint64_t n) {
    constexpr std::size_t few = 64;
    if (n <= few) {
        // A copy of fixed length needs no library call; the bytes past n are not kept.
        std::memcpy(textlib_output_room(out, few),
                    "                                                                ", few);
        textlib_output_commit(out, static_cast<std::size_t>(n));
    } else {
        textlib_output_repeat(out, ' ', n);
    }
}

// The tabs from p on; returns the first byte after them.
const char *expand_tabs(const char *p, const char *end, std::uint64_t *column,
                        textlib_output *out) {
    for (; p < end && *p == '\t'; p++) {
        const std::uint64_t n = spaces_to_stop(*column);
        write_spaces(out, n);
        *column += n;
    }
    return p;
}

// A rune that the exact step hands over, read from its width bytes at p: a tab becomes spaces,
// anything else is written back.
template <bool keep>
void expand_rune(textlib_writer *w, rune16 r, const char *p, unsigned width,
                 std::uint64_t *column) {
    if (r == TEXTLIB_TAB) {
        const std::uint64_t n = spaces_to_stop(*column);
        textlib_writer_done(w);
        write_spaces(w->out, n);
        *w = textlib_writer_start(w->out);
        *column += n;
    } else if (r == TEXTLIB_NEWLINE) {
        *textlib_writer_room(w, 1) = '\n';
        w->at++;
        *column = 0;
    } else {
        w->at +=
            textlib_unit_write(textlib_writer_room(w, TEXTLIB_UNIT_MAXBYTES), r, p, width, keep);
        *column += textlib_unit_columns(r, p, width, keep);
    }
}

// The exact step where text is not plain, up to where plain text is ahead or a rune needs bytes
// still to come; says which, with *p moved there. Made for each value of keep_bytes.
template <bool keep>
textlib_step_kind expand_runes(const char **p, const char *end, bool at_eof, std::uint64_t *column,
                               textlib_output *out) {
    textlib_writer w = textlib_writer_start(out);
    std::uint64_t col = *column;
    textlib_step step = textlib_step_start(*p, end, at_eof, keep);
    for (;;) {
        const textlib_step_kind kind = textlib_step_next(&step, TEXTLIB_HALT_TAB);
        switch (kind) {
        case TEXTLIB_STRETCH: textlib_write_stretch(&w, step.stretch, keep, &col); break;
        case TEXTLIB_RUNE: expand_rune<keep>(&w, step.rune, step.at, step.width, &col); break;
        case TEXTLIB_MORE:
        case TEXTLIB_PLAIN:
            textlib_writer_done(&w);
            *column = col;
            *p = step.next;
            return kind;
        }
    }
}

} // namespace

void expand_blocks(textlib_input *in, textlib_output *out) {
    std::uint64_t column = 0;
    textlib_each_block(in, [&column, out](const char *p, const char *end, bool at_eof) {
        while (p < end) {
            const char *const plain = textlib_skip_columns(p, end, TEXTLIB_HALT_TAB, &column);
            textlib_output_span(out, p, static_cast<std::size_t>(plain - p));
            p = expand_tabs(plain, end, &column, out);
            if (p > plain || p == end) continue;
            // Text that is not plain.
            const textlib_step_kind kind = keep_bytes
                                               ? expand_runes<true>(&p, end, at_eof, &column, out)
                                               : expand_runes<false>(&p, end, at_eof, &column, out);
            if (kind == TEXTLIB_MORE) break;
        }
        return p;
    });
}

void expand_file(const char *name) {
    textlib_filter_file(name, expand_blocks);
}
