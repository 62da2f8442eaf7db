// The reference: runes read and written one at a time through the codec's streams, each word
// collected whole before it is placed. The block path must write what this writes.
#include "linefill.h"

#include "columns.h"

#include <cstdint>

rune_string indent = {nullptr, 0, 0};
unit_string word = {nullptr, 0, 0};

namespace {

void write_newline(FILE *out) {
    rune_fputc(TEXTLIB_NEWLINE, out);
    out_column = 0;
}

void write_indent(FILE *out) {
    for (std::size_t i = 0; i < indent.length; i++) {
        rune_fputc(indent.runes[i], out);
        out_column = textlib_after_blank(indent.runes[i], out_column);
    }
}

// A blank line, or the end of input at a line start, closes the open line and keeps its blanks.
void write_paragraph_end(FILE *out, int r) {
    if (out_column != 0) write_newline(out);
    if (indent.length != 0) write_indent(out);
    if (r == TEXTLIB_NEWLINE || indent.length != 0) write_newline(out);
}

std::uint64_t unit_columns(const textlib_unit &unit) {
    return textlib_unit_columns(unit.rune, unit.bytes, unit.n);
}

void write_word(FILE *out) {
    // The word that opens a line is never tested, and the indentation before it is not counted.
    std::uint64_t columns = 0;
    for (std::size_t i = 0; i < word.length; i++)
        columns += unit_columns(word.units[i]);
    if (out_column != 0) {
        if (out_column + 1 + columns > static_cast<std::uint64_t>(line_length)) {
            write_newline(out);
        } else {
            rune_fputc(TEXTLIB_SPACE, out);
            out_column++;
        }
    }
    // Before the word's first rune only: a rune of no display width leaves the column at 0.
    if (out_column == 0 && indent.length != 0 && word.length != 0) write_indent(out);
    for (std::size_t i = 0; i < word.length; i++) {
        textlib_unit_fputc(word.units[i], out);
        out_column += unit_columns(word.units[i]);
    }
}

} // namespace

void linefill_plain(FILE *in, FILE *out) {
    textlib_unit_reader reader = {in, 0, {}};
    textlib_unit unit;
    int r = textlib_unit_fgetc(&reader, &unit);
    for (;;) {
        indent.length = 0;
        while (textlib_is_blank(r)) {
            runes_append(&indent, static_cast<rune16>(r));
            r = textlib_unit_fgetc(&reader, &unit);
        }
        if (!is_word_rune(r)) {
            write_paragraph_end(out, r);
            if (r == -1) return;
            r = textlib_unit_fgetc(&reader, &unit);
            continue;
        }
        // The words of one input line; blanks between and after them are dropped.
        while (is_word_rune(r)) {
            word.length = 0;
            for (; is_word_rune(r); r = textlib_unit_fgetc(&reader, &unit)) {
                // Rune 0 ends a zero-terminated word where it stands, so it never stays in one.
                if (r != 0) units_append(&word, unit);
            }
            write_word(out);
            while (textlib_is_blank(r))
                r = textlib_unit_fgetc(&reader, &unit);
        }
        if (r == -1) return;
        r = textlib_unit_fgetc(&reader, &unit);
    }
}
