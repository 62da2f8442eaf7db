// The reference: runes read and written one at a time through the codec's streams, each input
// line held whole before its words are placed. The block path must write what this writes.
#include "linefill.h"

#include "columns.h"

#include <cstdint>
#include <cstring>

unit_string indent = {nullptr, 0, 0};
unit_string word = {nullptr, 0, 0};
unit_string held_line = {nullptr, 0, 0};
unit_string held_lead = {nullptr, 0, 0};

namespace {

void write_newline(FILE *out) {
    rune_fputc(TEXTLIB_NEWLINE, out);
    out_column = 0;
    line_open = false;
}

void close_open_line(FILE *out) {
    if (line_open) write_newline(out);
}

// The rune of the held line's unit i.
rune16 held(std::size_t i) {
    return held_line.units[i].rune;
}

// An indentation, or a marked paragraph's lead: written only at the start of an output line.
void write_lead(FILE *out, const unit_string &units) {
    for (std::size_t i = 0; i < units.length; i++) {
        const textlib_unit &unit = units.units[i];
        textlib_unit_fputc(unit, out);
        out_column = textlib_is_blank(unit.rune) ? textlib_after_blank(unit.rune, out_column)
                                                 : out_column + textlib_unit_columns(unit);
    }
}

// A blank line, or the end of input at a line start, closes the open line and keeps its blanks.
void write_paragraph_end(FILE *out, int r) {
    close_open_line(out);
    if (indent.length != 0) write_lead(out, indent);
    if (r == TEXTLIB_NEWLINE || indent.length != 0) write_newline(out);
    paragraph = {NO_PARAGRAPH, 0, 0};
}

// A line that only ends a paragraph: written as it was read, with a newline.
void write_as_read(FILE *out) {
    close_open_line(out);
    for (std::size_t i = 0; i < held_line.length; i++)
        textlib_unit_fputc(held_line.units[i], out);
    write_newline(out);
    paragraph = {NO_PARAGRAPH, 0, 0};
}

void write_word(FILE *out, const unit_string &opening) {
    // The word that opens a line is never tested, and the lead before it is not counted.
    std::uint64_t columns = 0;
    for (std::size_t i = 0; i < word.length; i++)
        columns += textlib_unit_columns(word.units[i]);
    if (line_open) {
        if (out_column + 1 + columns > static_cast<std::uint64_t>(line_length)) {
            write_newline(out);
        } else {
            rune_fputc(TEXTLIB_SPACE, out);
            out_column++;
        }
    }
    if (word.length == 0) return;
    if (!line_open) write_lead(out, opening);
    for (std::size_t i = 0; i < word.length; i++) {
        textlib_unit_fputc(word.units[i], out);
        out_column += textlib_unit_columns(word.units[i]);
    }
    line_open = true;
}

// The words of the line from i on; blanks between and after them are dropped.
void write_words(FILE *out, std::size_t i, const unit_string &opening) {
    while (i < held_line.length) {
        word.length = 0;
        bool after_malformed = false;
        for (; i < held_line.length && !textlib_is_blank(held(i)); i++) {
            const textlib_unit &unit = held_line.units[i];
            // Rune 0 ends a zero-terminated word where it stands, so it never stays in one; but
            // with keep_bytes it stays after a malformed rune, which the bytes after it could
            // otherwise join.
            if (unit.rune != 0 || after_malformed) units_append(&word, unit);
            after_malformed = keep_bytes && unit.rune == RUNE_BAD && unit.n < TEXTLIB_UNIT_MAXBYTES;
        }
        write_word(out, opening);
        while (i < held_line.length && textlib_is_blank(held(i)))
            i++;
    }
}

bool line_has(std::size_t i, const char *text) {
    for (; *text != '\0'; text++, i++) {
        if (i >= held_line.length || held(i) != static_cast<unsigned char>(*text)) return false;
    }
    return true;
}

// prefix_goes_on for a unit, by the bytes it is written as.
bool unit_goes_on(std::size_t *matched, const textlib_unit &unit) {
    char bytes[TEXTLIB_UNIT_MAXBYTES];
    const unsigned n = textlib_unit_write(bytes, unit.rune, unit.bytes, unit.n, keep_bytes);
    return prefix_goes_on(matched, unit.rune, bytes, n);
}

// The marker at i, where the line's text begins: its code (NO_PARAGRAPH for none) and quote
// level, and where it ends.
paragraph_key marker_at(std::size_t i, std::size_t *after) {
    if (prefixing == prefix_kind::string) {
        std::size_t matched = 0;
        for (std::size_t k = i; !prefix_whole(matched); k++) {
            if (k == held_line.length || !unit_goes_on(&matched, held_line.units[k]))
                return {NO_PARAGRAPH, 0, 0};
            *after = k + 1;
        }
        return {STRING_MARKER, 0, 0};
    }
    if (held(i) == '>') {
        std::uint64_t level = 0;
        for (std::size_t j = i; j < held_line.length && held(j) == '>';) {
            level++;
            *after = ++j;
            while (j < held_line.length && textlib_is_blank(held(j)))
                j++;
        }
        return {QUOTE_MARKER, level, 0};
    }
    for (int m = 0; m < FIXED_MARKER_COUNT; m++) {
        const std::size_t end = i + std::strlen(FIXED_MARKERS[m]);
        if (line_has(i, FIXED_MARKERS[m]) &&
            (end == held_line.length || textlib_is_blank(held(end)))) {
            *after = end;
            return {FIRST_FIXED_MARKER + m, 0, 0};
        }
    }
    return {NO_PARAGRAPH, 0, 0};
}

// A line whose text begins at i. With the marker, the line's own lead is kept when it opens a
// paragraph; it stays the paragraph's for every output line.
void fill_line(FILE *out, std::size_t i) {
    std::size_t after = i;
    paragraph_key key =
        prefixing == prefix_kind::none ? paragraph_key{NO_PARAGRAPH, 0, 0} : marker_at(i, &after);
    if (key.marker == NO_PARAGRAPH) {
        if (prefixing == prefix_kind::string) {
            write_as_read(out);
            return;
        }
        if (is_marked(paragraph)) close_open_line(out);
        paragraph = {PLAIN_TEXT, 0, 0};
        write_words(out, i, indent);
        return;
    }
    while (after < held_line.length && textlib_is_blank(held(after)))
        after++;
    if (after == held_line.length) {
        write_as_read(out);
        return;
    }
    for (std::size_t k = 0; k < i; k++)
        key.indent = textlib_after_blank(held(k), key.indent);
    if (!(key == paragraph)) {
        close_open_line(out);
        paragraph = key;
        held_lead.length = 0;
        for (std::size_t k = 0; k < after; k++)
            units_append(&held_lead, held_line.units[k]);
    }
    write_words(out, after, held_lead);
}

} // namespace

void linefill_reference(FILE *in, FILE *out) {
    textlib_unit_reader reader = {in, 0, {}};
    for (;;) {
        held_line.length = 0;
        textlib_unit unit;
        int r;
        while ((r = textlib_unit_fgetc(&reader, &unit)) != -1 && r != TEXTLIB_NEWLINE)
            units_append(&held_line, unit);
        std::size_t i = 0;
        indent.length = 0;
        for (; i < held_line.length && textlib_is_blank(held(i)); i++)
            units_append(&indent, held_line.units[i]);
        if (i == held_line.length)
            write_paragraph_end(out, r);
        else
            fill_line(out, i);
        if (r == -1) return;
    }
}
