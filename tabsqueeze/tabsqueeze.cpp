#include "tabsqueeze.h"

#include "columns.h"
#include "squeeze_runs.h"

bool all_blanks = false;

namespace {

// Whether a blank at this column would begin a run: without -a only a line's leading one does.
inline bool blanks_start_runs(std::uint64_t column) {
    return all_blanks || column == 0;
}

inline bool starts_run(int r, std::uint64_t column) {
    return textlib_is_blank(r) && blanks_start_runs(column);
}

void write_run_by_runes(std::uint64_t start, std::uint64_t end, FILE *out) {
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

void tabsqueeze_reference(FILE *in, FILE *out) {
    std::uint64_t column = 0;
    textlib_unit_reader reader = {in, 0, {}};
    textlib_unit unit;
    int r = textlib_unit_fgetc(&reader, &unit);
    while (r != -1) {
        if (starts_run(r, column)) {
            // Only the run's two columns are kept; the rune that ends it is looked at next.
            const std::uint64_t start = column;
            for (; textlib_is_blank(r); r = textlib_unit_fgetc(&reader, &unit))
                column = textlib_after_blank(r, column);
            write_run_by_runes(start, column, out);
            continue;
        }
        textlib_unit_fputc(unit, out);
        column = r == TEXTLIB_NEWLINE ? 0 : column + textlib_unit_columns(unit);
        r = textlib_unit_fgetc(&reader, &unit);
    }
}

void tabsqueeze_blocks(textlib_input *in, textlib_output *out) {
    if (all_blanks) {
        squeeze_every_run(in, out);
    } else {
        squeeze_leading_runs(in, out);
    }
}

void tabsqueeze_file(const char *name) {
    textlib_filter_file(name, tabsqueeze_blocks);
}
