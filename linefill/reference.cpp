// The reference: runes read and written one at a time through the codec's streams, each input
// line held whole before its words are placed. The block path must write what this writes.
#include "linefill.h"

#include "columns.h"

#include <cstdint>
#include <cstring>

rune_string indent = {nullptr, 0, 0};
rune_string word = {nullptr, 0, 0};
rune_string held_line = {nullptr, 0, 0};
rune_string held_lead = {nullptr, 0, 0};

namespace {

void write_newline(FILE *out) {
    rune_fputc(TEXTLIB_NEWLINE, out);
    out_column = 0;
    line_open = false;
}

void close_open_line(FILE *out) {
    if (line_open) write_newline(out);
}

std::uint64_t after_rune(rune16 r, std::uint64_t column) {
    return textlib_is_blank(r) ? textlib_after_blank(r, column) : column + textlib_columns_of(r);
}

// An indentation, or a marked paragraph's lead: written only at the start of an output line.
void write_lead(FILE *out, const rune_string &runes) {
    for (std::size_t i = 0; i < runes.length; i++) {
        rune_fputc(runes.runes[i], out);
        out_column = after_rune(runes.runes[i], out_column);
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
        rune_fputc(held_line.runes[i], out);
    write_newline(out);
    paragraph = {NO_PARAGRAPH, 0, 0};
}

void write_word(FILE *out, const rune_string &opening) {
    // The word that opens a line is never tested, and the lead before it is not counted.
    std::uint64_t columns = 0;
    for (std::size_t i = 0; i < word.length; i++)
        columns += textlib_columns_of(word.runes[i]);
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
        rune_fputc(word.runes[i], out);
        out_column += textlib_columns_of(word.runes[i]);
    }
    line_open = true;
}

// The words of the line from i on; blanks between and after them are dropped.
void write_words(FILE *out, std::size_t i, const rune_string &opening) {
    while (i < held_line.length) {
        word.length = 0;
        for (; i < held_line.length && !textlib_is_blank(held_line.runes[i]); i++) {
            // Rune 0 ends a zero-terminated word where it stands, so it never stays in one.
            if (held_line.runes[i] != 0) runes_append(&word, held_line.runes[i]);
        }
        write_word(out, opening);
        while (i < held_line.length && textlib_is_blank(held_line.runes[i]))
            i++;
    }
}

bool line_has(std::size_t i, const char *text) {
    for (; *text != '\0'; text++, i++) {
        if (i >= held_line.length || held_line.runes[i] != static_cast<unsigned char>(*text))
            return false;
    }
    return true;
}

// The marker at i, where the line's text begins: its code (NO_PARAGRAPH for none) and quote
// level, and where it ends.
paragraph_key marker_at(std::size_t i, std::size_t *after) {
    if (prefixing == prefix_kind::string) {
        for (std::size_t k = 0; k < prefix_length; k++) {
            if (i + k >= held_line.length || held_line.runes[i + k] != prefix_runes[k])
                return {NO_PARAGRAPH, 0, 0};
        }
        *after = i + prefix_length;
        return {STRING_MARKER, 0, 0};
    }
    if (held_line.runes[i] == '>') {
        std::uint64_t level = 0;
        for (std::size_t j = i; j < held_line.length && held_line.runes[j] == '>';) {
            level++;
            *after = ++j;
            while (j < held_line.length && textlib_is_blank(held_line.runes[j]))
                j++;
        }
        return {QUOTE_MARKER, level, 0};
    }
    for (int m = 0; m < FIXED_MARKER_COUNT; m++) {
        const std::size_t end = i + std::strlen(FIXED_MARKERS[m]);
        if (line_has(i, FIXED_MARKERS[m]) &&
            (end == held_line.length || textlib_is_blank(held_line.runes[end]))) {
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
    while (after < held_line.length && textlib_is_blank(held_line.runes[after]))
        after++;
    if (after == held_line.length) {
        write_as_read(out);
        return;
    }
    for (std::size_t k = 0; k < i; k++)
        key.indent = textlib_after_blank(held_line.runes[k], key.indent);
    if (!(key == paragraph)) {
        close_open_line(out);
        paragraph = key;
        held_lead.length = 0;
        for (std::size_t k = 0; k < after; k++)
            runes_append(&held_lead, held_line.runes[k]);
    }
    write_words(out, after, held_lead);
}

} // namespace

void linefill_reference(FILE *in, FILE *out) {
    for (;;) {
        held_line.length = 0;
        int r;
        while ((r = rune_fgetc(in)) != -1 && r != TEXTLIB_NEWLINE)
            runes_append(&held_line, static_cast<rune16>(r));
        std::size_t i = 0;
        indent.length = 0;
        for (; i < held_line.length && textlib_is_blank(held_line.runes[i]); i++)
            runes_append(&indent, held_line.runes[i]);
        if (i == held_line.length)
            write_paragraph_end(out, r);
        else
            fill_line(out, i);
        if (r == -1) return;
    }
}
