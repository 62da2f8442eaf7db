// Plain words a whole output line at a time: one scan finds how many fit, and they are copied as
// they stand, each newline between them made a space.
#include "block_state.h"

#include <cstring>

namespace {

// A short line of words is copied whole and mended where the scan found newlines, which it
// reports for so many bytes only.
static_assert(TEXTLIB_SHORT <= TEXTLIB_LINE_NEWLINE_WINDOW,
              "a copy of TEXTLIB_SHORT bytes needs every newline in it from the scan");

// The words of a scanned line, from p: each newline between them becomes a space. Returns whether
// there was one.
bool put_joined(textlib_output *out, const char *p, const textlib_line &line) {
    const auto n = static_cast<std::size_t>(line.words_end - p);
    if (n <= TEXTLIB_SHORT) {
        char *const o = textlib_output_room(out, TEXTLIB_SHORT);
        std::memcpy(o, p, TEXTLIB_SHORT);
        for (unsigned half = 0; half < 2; half++) {
            for (std::uint64_t bits = line.newlines[half]; bits != 0; bits &= bits - 1)
                o[64 * half + static_cast<unsigned>(__builtin_ctzll(bits))] = ' ';
        }
        textlib_output_commit(out, n);
        return (line.newlines[0] | line.newlines[1]) != 0;
    }
    bool joined = false;
    for (const char *const q = line.words_end; p < q;) {
        const void *const newline = std::memchr(p, '\n', static_cast<std::size_t>(q - p));
        const char *const stop = newline != nullptr ? static_cast<const char *>(newline) : q;
        textlib_output_input(out, p, static_cast<std::size_t>(stop - p));
        if (stop == q) break;
        textlib_output_byte(out, ' ');
        joined = true;
        p = stop + 1;
    }
    return joined;
}

inline bool is_blank_byte(const char *q, const char *end) {
    return q < end && (*q == ' ' || *q == '\t');
}

// The words that a scan from p found, after a space on the open line or the indentation that
// opens a new one.
void put_scanned_words(fill_state *s, const char *p, const textlib_line &line,
                       textlib_output *out) {
    if (line_open)
        textlib_output_byte(out, ' ');
    else
        put_opening(s, out);
    const bool joined = put_joined(out, p, line);
    out_column = line.words_column;
    line_open = true;
    // A word after a newline that the scan passed is on an input line without indentation; the
    // scan stopped in a word when it did not stop at a separator.
    const bool stopped_in_word = line.q != line.words_end;
    if (joined || (stopped_in_word && *line.words_end == '\n')) indent_clear(&s->indent);
}

// Where whole lines go on after the words of a scan: at the next word, once the indentation or
// the line break before it is dealt with; null where the rune-by-rune path takes over, at the
// end of those words.
const char *next_plain_word(fill_state *s, const textlib_line &line, const char *end,
                            textlib_output *out) {
    const char *const q = line.q;
    if (q < end && *q == '\n') {
        // The next input line: blanks before a word are its indentation, and the paragraph goes
        // on. Blanks before anything else are for the rune-by-rune path.
        const char *word = q + 1;
        while (is_blank_byte(word, end))
            word++;
        if (!plain_word_rune_at(word, end) || !line_goes_on(*word)) return nullptr;
        indent_clear(&s->indent);
        for (const char *blank = q + 1; blank < word; blank++)
            indent_add(&s->indent, *blank);
        return word;
    }
    // A blank that the scan stopped at may begin a run of them, and a rune that is not plain
    // needs a closer look.
    if (is_blank_byte(q, end) || !plain_word_rune_at(q, end)) return nullptr;
    // The scan stopped at the line's limit: the word it stopped in opens the next line.
    put_newline(out);
    return line.words_end + 1;
}

// With --prefix, a scan must not pass a newline before a line that may begin with a marker: the
// first such newline that it passed, or null. It passes newlines only before a word.
const char *marker_line_passed(const char *p, const textlib_line &line) {
    if (prefixing == prefix_kind::none) return nullptr;
    const auto stops = [](const char *newline) { return !line_goes_on(newline[1]); };
    if (line.words_end - p <= static_cast<std::ptrdiff_t>(TEXTLIB_LINE_NEWLINE_WINDOW)) {
        for (unsigned half = 0; half < 2; half++) {
            for (std::uint64_t bits = line.newlines[half]; bits != 0; bits &= bits - 1) {
                const char *const newline = p + 64 * half + textlib_lowest(bits);
                if (stops(newline)) return newline;
            }
        }
    } else {
        for (const char *q = p; q < line.words_end; q++) {
            q = static_cast<const char *>(
                std::memchr(q, '\n', static_cast<std::size_t>(line.words_end - q)));
            if (q == nullptr) break;
            if (stops(q)) return q;
        }
    }
    if (line.words_end < line.q && *line.words_end == '\n' && stops(line.words_end))
        return line.words_end;
    return nullptr;
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
        // that they become; only whole words count.
        const std::uint64_t column = opener ? opening_width(s) : out_column + 1;
        textlib_line line = textlib_scan_line(&s->chunk, p, end, column, length);
        if (const char *const newline = marker_line_passed(p, line)) {
            // Scanned again up to that newline, which ends the bytes for once.
            s->chunk.at = nullptr;
            line = textlib_scan_line(&s->chunk, p, newline + 1, column, length);
            s->chunk.at = nullptr;
        }
        if (line.words_end != p) {
            put_scanned_words(s, p, line, out);
            p = next_plain_word(s, line, end, out);
            // The rune-by-rune path goes on where the words end.
            if (p == nullptr) return line.words_end;
        } else if (opener || !plain_word_rune_at(line.q, end)) {
            // The word at p is too long for a line of its own, or needs a closer look.
            return p;
        } else {
            // The word at p is too long for the open line: it opens the next.
            put_newline(out);
        }
    }
}
