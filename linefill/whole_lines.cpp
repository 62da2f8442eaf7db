// Plain words a whole output line at a time: one scan finds where the lines of a paragraph end,
// and their words are copied as they stand, each newline between them made a space.
#include "block_state.h"

#include <cstring>

namespace {

// A short line of words is copied whole and mended where the scan found newlines, which it
// reports for so many bytes only.
static_assert(TEXTLIB_SHORT <= TEXTLIB_LINE_NEWLINE_WINDOW,
              "a copy of TEXTLIB_SHORT bytes needs every newline in it from the scan");

// The words from p up to words_end, more than TEXTLIB_SHORT bytes, as put_joined puts them: a
// call of its own, so that the short lines' copy needs no registers saved.
[[gnu::noinline]] bool put_joined_long(textlib_output *out, bool spaced, const char *p,
                                       const char *words_end, bool ended) {
    if (spaced) textlib_output_byte(out, ' ');
    bool joined = false;
    for (const char *const q = words_end; p < q;) {
        const void *const newline = std::memchr(p, '\n', static_cast<std::size_t>(q - p));
        const char *const stop = newline != nullptr ? static_cast<const char *>(newline) : q;
        textlib_output_input(out, p, static_cast<std::size_t>(stop - p));
        if (stop == q) break;
        textlib_output_byte(out, ' ');
        joined = true;
        p = stop + 1;
    }
    if (ended) textlib_output_byte(out, '\n');
    return joined;
}

// The words from p up to words_end that a scan found, newlines among them at their offsets from p
// below TEXTLIB_LINE_NEWLINE_WINDOW: each newline becomes a space. A space goes before them when
// spaced is set, and a newline after them when ended is: a short line is one piece of output.
// Returns whether there was a newline among them.
inline bool put_joined(textlib_output *out, bool spaced, const char *p, const char *words_end,
                       const std::uint64_t (&newlines)[2], bool ended) {
    const auto n = static_cast<std::size_t>(words_end - p);
    if (n > TEXTLIB_SHORT) return put_joined_long(out, spaced, p, words_end, ended);
    char *const room = textlib_output_room(out, TEXTLIB_SHORT + 2);
    room[0] = ' ';
    char *const o = room + spaced;
    std::memcpy(o, p, TEXTLIB_SHORT);
    for (unsigned half = 0; half < 2; half++) {
        for (std::uint64_t bits = newlines[half]; bits != 0; bits &= bits - 1)
            o[64 * half + textlib_lowest(bits)] = ' ';
    }
    o[n] = '\n';
    textlib_output_commit(out, spaced + n + ended);
    return (newlines[0] | newlines[1]) != 0;
}

// The words from p up to words_end, after a space on the open line or the opening of a new one;
// when ended is set, the line ends after them. Returns whether a newline was among them: the
// words after it are on an input line without indentation.
inline bool put_scanned_words(fill_state *s, const char *p, const char *words_end,
                              const std::uint64_t (&newlines)[2], bool ended, textlib_output *out) {
    if (!line_open) put_opening(s, out);
    const bool joined = put_joined(out, line_open, p, words_end, newlines, ended);
    line_open = !ended;
    if (ended) out_column = 0;
    return joined;
}

// Blank lines from p, each of which ends the paragraph as the rune-by-rune path ends it, up to the
// line after them, whose blanks are taken as its indentation: returns where those end. Most
// paragraphs end at one, and a return to that path for each cost more than the lines' own work.
const char *end_paragraphs(fill_state *s, const char *p, const char *end, textlib_output *out) {
    do {
        end_blank_line(s, out);
        p = indent_take(&s->indent, p + 1, end);
    } while (p < end && *p == '\n');
    return p;
}

// Where whole lines go on after the words of a scan: at the next word, once the indentation or
// the line break before it is dealt with; null where the rune-by-rune path takes over, at
// *resume, which holds the end of those words unless the paragraph ended.
const char *next_plain_word(fill_state *s, const textlib_line &line, const char *end,
                            textlib_output *out, const char **resume) {
    const char *const q = line.q;
    if (q < end && *q == '\n') {
        // The next input line: blanks before a word are its indentation, and the paragraph goes
        // on; with --prefix, a marker there goes on with its paragraph or opens the next. Blanks
        // before anything else are for the rune-by-rune path.
        indent_clear(&s->indent);
        const char *word = indent_take(&s->indent, q + 1, end);
        if (word < end && *word == '\n') {
            // The rune-by-rune path takes the line after a paragraph from its start, but for
            // plain text, which goes on here.
            word = end_paragraphs(s, word, end, out);
            if (prefixing == prefix_kind::none && plain_word_rune_at(word, end)) return word;
            *resume = word;
            s->at = fill_at::line_start;
            return nullptr;
        }
        if (!plain_word_rune_at(word, end)) return nullptr;
        if (line_goes_on(*word)) return word;
        if (prefixing == prefix_kind::markers &&
            !may_begin_marker(static_cast<unsigned char>(*word))) {
            // A plain line after a marked paragraph opens a plain one.
            begin_plain_line(out);
            return word;
        }
        return start_marked_line(s, word, end, out);
    }
    // Blanks between words are one separator, as the rune-by-rune path makes them; blanks
    // before anything else, and a rune that is not plain, need a closer look.
    if (q < end && textlib_is_blank(*q)) {
        const char *word = q + 1;
        while (word < end && textlib_is_blank(*word))
            word++;
        return plain_word_rune_at(word, end) ? word : nullptr;
    }
    if (!plain_word_rune_at(q, end)) return nullptr;
    // The scan stopped at the line's limit: the word it stopped in opens the next line.
    put_newline(out);
    return line.words_end + 1;
}

} // namespace

const char *place_words(fill_state *s, const char *p, const char *end, textlib_output *out) {
    const auto length = static_cast<std::uint64_t>(line_length);
    // The scan counts runes, not display widths.
    if (display_width || !plain_word_rune_at(p, end)) return p;
    for (;;) {
        if (line_open && out_column >= length) put_newline(out);
        const bool opener = !line_open;
        // A lead as wide as the line leaves no room for a word: the rune-by-rune path puts the
        // word on a line of its own.
        if (opener && opening_width(s) >= length) return p;
        // The scan passes single spaces, and newlines that a word follows, as the separators
        // that they become; only whole words count. With --prefix, whether a line goes on with
        // the paragraph is decided at its newline.
        const std::uint64_t column = opener ? opening_width(s) : out_column + 1;
        const textlib_lines lines = textlib_scan_lines(
            &s->chunk, p, end, column, length, opening_width(s), prefixing != prefix_kind::none);
        for (unsigned i = 0; i < lines.count; i++) {
            const char *const words_end = lines.ends[i];
            if (put_scanned_words(s, p, words_end, lines.newlines[i], true, out) ||
                *words_end == '\n')
                indent_clear(&s->indent);
            p = words_end + 1;
        }
        const textlib_line &line = lines.last;
        if (line.words_end != p) {
            // The scan stopped in a word when it did not stop at a separator.
            const bool stopped_in_word = line.q != line.words_end;
            if (put_scanned_words(s, p, line.words_end, line.newlines, false, out) ||
                (stopped_in_word && *line.words_end == '\n'))
                indent_clear(&s->indent);
            out_column = line.words_column;
            const char *resume = line.words_end;
            p = next_plain_word(s, line, end, out, &resume);
            if (p == nullptr) return resume;
        } else if (lines.count != 0 || opener || !plain_word_rune_at(line.q, end)) {
            // The word at p is too long for a line of its own, or needs a closer look.
            return p;
        } else {
            // The word at p is too long for the open line: it opens the next.
            put_newline(out);
        }
    }
}
