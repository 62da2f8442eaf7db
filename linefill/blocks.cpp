// The block path: the reference's output from blocks of input, its bytes copied as they stand
// wherever the codec would write them back unchanged. Plain words go a whole output line at a
// time (whole_lines.cpp); everything else goes a rune, or a stretch of runes, at a time by the
// reference's rules, and a word is held only while it may still fit the open line.
#include "block_state.h"

#include <cstring>

namespace {

// ---- Placing a word as its bytes come ----

// Bytes of a word on the line: the indentation first when they open it. Only bytes of the input
// stay put until the next read and may be borrowed; held and staged ones are soon reused.
void open_word_line(const fill_state *s, textlib_output *out) {
    if (!line_open) put_opening(s, out);
    line_open = true;
}

void write_word_bytes(fill_state *s, textlib_output *out, const char *bytes, std::size_t n,
                      std::uint64_t columns, bool from_input) {
    if (n == 0) return;
    open_word_line(s, out);
    if (from_input)
        textlib_output_span(out, bytes, n);
    else
        textlib_output_bytes(out, bytes, n);
    out_column += columns;
}

void write_held(fill_state *s, textlib_output *out) {
    write_word_bytes(s, out, s->place.held.bytes, s->place.held.length, s->place.held_columns,
                     false);
}

void begin_word(fill_state *s, textlib_output *out) {
    word_place *const place = &s->place;
    place->held.length = 0;
    place->held_columns = 0;
    s->after_malformed = false;
    place->holding = line_open;
    if (place->holding && out_column >= static_cast<std::uint64_t>(line_length)) {
        put_newline(out);
        place->holding = false;
    }
    place->room_columns =
        place->holding ? static_cast<std::uint64_t>(line_length) - out_column - 1 : 0;
}

void add_word_bytes(fill_state *s, textlib_output *out, const char *bytes, std::size_t n,
                    std::uint64_t columns, bool from_input) {
    if (n == 0) return;
    word_place *const place = &s->place;
    if (place->holding && columns > place->room_columns - place->held_columns) {
        // Too long for the open line whatever follows: the word opens the next one.
        put_newline(out);
        write_held(s, out);
        place->holding = false;
    }
    if (!place->holding) {
        write_word_bytes(s, out, bytes, n, columns, from_input);
        return;
    }
    byte_buffer_append(&place->held, bytes, n);
    place->held_columns += columns;
}

void clear_staged(fill_state *s) {
    s->staged.length = 0;
    s->staged_columns = 0;
}

void place_staged(fill_state *s, textlib_output *out) {
    add_word_bytes(s, out, s->staged.bytes, s->staged.length, s->staged_columns, false);
    clear_staged(s);
}

// The end of the word being read. One still held fits after a space on the open line if its
// staged bytes fit too, and these go out from where they are, without joining the held ones;
// else the staged bytes are placed as any are.
void end_word(fill_state *s, textlib_output *out) {
    const word_place *const place = &s->place;
    if (!place->holding || s->staged_columns > place->room_columns - place->held_columns) {
        place_staged(s, out);
        return;
    }
    textlib_output_byte(out, ' ');
    out_column++;
    write_held(s, out);
    write_word_bytes(s, out, s->staged.bytes, s->staged.length, s->staged_columns, false);
    clear_staged(s);
}

// The runes 0 of a stretch of a word that are left out of it, as stage_word_rune leaves them out:
// all of them, but with keep set those right after a malformed rune.
template <bool keep>
inline std::uint64_t left_out_zeros(fill_state *s, const textlib_stretch &stretch) {
    std::uint64_t left_out = stretch.zeros;
    if (keep) {
        left_out &= ~((stretch.joinable << 1) | static_cast<std::uint64_t>(s->after_malformed));
        s->after_malformed = (stretch.joinable >> (stretch.n - 1) & 1) != 0;
    }
    return left_out;
}

// left_out_zeros for a stretch that begins a word: no malformed rune of the word comes before it.
template <bool keep>
inline std::uint64_t word_left_out(fill_state *s, const textlib_stretch &stretch) {
    s->after_malformed = false;
    return left_out_zeros<keep>(s, stretch);
}

// Every rune of a stretch takes a column but those left out.
inline std::uint64_t stretch_columns(const textlib_stretch &stretch, std::uint64_t left_out) {
    return textlib_bit_count(stretch.starts & ~left_out);
}

// How many bytes the codec writes for the first i bytes of a stretch, but for those left out:
// each byte kept once, and twice where doubled.
inline std::size_t written_before(const textlib_stretch &stretch, std::uint64_t left_out,
                                  unsigned i) {
    const std::uint64_t kept = ~(left_out | stretch.dropped) & textlib_below(i);
    return textlib_bit_count(kept) + textlib_bit_count(stretch.doubled & kept);
}

// Newlines part the words of a stretch as the spaces they become: these go over the newlines of
// the stretch as the codec wrote it at o.
inline void space_newlines(char *o, const textlib_stretch &stretch, std::uint64_t left_out) {
    for (std::uint64_t newlines = stretch.newlines; newlines != 0; newlines &= newlines - 1)
        o[written_before(stretch, left_out, textlib_lowest(newlines))] = ' ';
}

// Writes at room, which has 1 + TEXTLIB_STRETCH_ROOM, the words of a stretch after a space when
// spaced is set, as the codec writes them but for the runes left out, newlines made spaces;
// returns the end of what it wrote.
template <bool keep>
char *put_words(char *room, const textlib_stretch &stretch, std::uint64_t left_out, bool spaced) {
    room[0] = ' ';
    char *const written = textlib_put_stretch(room + spaced, stretch, keep, left_out);
    space_newlines(room + spaced, stretch, left_out);
    return written;
}

// A stretch of the word, after a space when spaced is set, written where it stands on the line
// without being staged first: one piece of output.
template <bool keep>
void write_word_stretch(fill_state *s, textlib_output *out, const textlib_stretch &stretch,
                        std::uint64_t left_out, std::uint64_t columns, bool spaced) {
    // Runes 0 alone write nothing, and open no line.
    if (columns == 0 && !spaced) return;
    open_word_line(s, out);
    char *const room = textlib_output_room(out, 1 + TEXTLIB_STRETCH_ROOM);
    const char *const written = put_words<keep>(room, stretch, left_out, spaced);
    textlib_output_commit(out, static_cast<std::size_t>(written - room));
    out_column += spaced + columns;
}

// A word read whole in one stretch, placed at once where begin_word and end_word would place it.
template <bool keep>
void place_word(fill_state *s, const textlib_stretch &stretch, textlib_output *out) {
    const std::uint64_t left_out = word_left_out<keep>(s, stretch);
    const std::uint64_t columns = stretch_columns(stretch, left_out);
    const bool spaced =
        line_open && out_column + 1 + columns <= static_cast<std::uint64_t>(line_length);
    if (line_open && !spaced) put_newline(out);
    write_word_stretch<keep>(s, out, stretch, left_out, columns, spaced);
}

// The bytes of the longest run of words at the start of a stretch, parted by separators, up to
// one of them, whose runes, separators between them included, take at most room of the columns
// that counted marks; 0 where the first does not fit.
inline unsigned fitting_words(std::uint64_t separators, std::uint64_t counted, std::uint64_t room) {
    for (; separators != 0; separators &= ~(std::uint64_t{1} << textlib_highest(separators))) {
        const unsigned end = textlib_highest(separators);
        if (textlib_bit_count(counted & textlib_below(end)) <= room) return end;
    }
    return 0;
}

// With a stretch's first n bytes of words fitting the open line, the rest of its words on a line
// of their own with nothing to open it, as one piece: the separator between them becomes the
// newline. Returns whether it wrote them; not where the rest do not fit, or begin with a word of
// runes 0 alone, which opens no line.
template <bool keep>
bool write_across_lines(fill_state *s, textlib_output *out, const textlib_stretch &stretch,
                        unsigned n, std::uint64_t separators, std::uint64_t left_out) {
    const std::uint64_t rest = stretch.starts & ~left_out & ~textlib_below(n + 1);
    const std::uint64_t later = separators & ~textlib_below(n + 1);
    // The next line would open with the marked paragraph's lead, or with the indentation, unless
    // a newline up to the break cleared it.
    const std::uint64_t newlines_before = stretch.newlines & textlib_below(n + 1);
    if (is_marked(paragraph) || (s->indent.any && newlines_before == 0) ||
        (rest & textlib_below(later != 0 ? textlib_lowest(later) : stretch.n)) == 0)
        return false;
    const std::uint64_t columns = textlib_bit_count(rest);
    if (columns > static_cast<std::uint64_t>(line_length)) return false;
    char *const room = textlib_output_room(out, 1 + TEXTLIB_STRETCH_ROOM);
    const char *const written = put_words<keep>(room, stretch, left_out, true);
    room[1 + written_before(stretch, left_out, n)] = '\n';
    textlib_output_commit(out, static_cast<std::size_t>(written - room));
    out_column = columns;
    if (stretch.newlines != 0) indent_clear(&s->indent);
    return true;
}

// The words that fit on the line, a run of whole ones at the start of the stretch just yielded,
// written as one piece after a space when spaced is set; the rest is taken back, unless
// write_across_lines puts it on the next line in the same piece. Returns whether any fit; unless
// spaced, the first is written whether it fits or not.
template <bool keep>
bool write_fitting_words(fill_state *s, textlib_step *step, textlib_output *out,
                         std::uint64_t separators, bool spaced) {
    const textlib_stretch &stretch = step->stretch;
    std::uint64_t left_out = word_left_out<keep>(s, stretch);
    std::uint64_t columns = stretch_columns(stretch, left_out);
    const bool any_room = out_column + spaced <= static_cast<std::uint64_t>(line_length);
    const std::uint64_t room = static_cast<std::uint64_t>(line_length) - out_column - spaced;
    if (!any_room || columns > room) {
        unsigned n = any_room ? fitting_words(separators, stretch.starts & ~left_out, room) : 0;
        if (n == 0 && !spaced) n = textlib_lowest(separators);
        if (n == 0) return false;
        if (spaced && write_across_lines<keep>(s, out, stretch, n, separators, left_out))
            return true;
        textlib_step_shorten_stretch(step, n);
        left_out = word_left_out<keep>(s, stretch);
        columns = stretch_columns(stretch, left_out);
    }
    write_word_stretch<keep>(s, out, stretch, left_out, columns, spaced);
    // Past a newline the line that goes on has no indentation.
    if (stretch.newlines != 0) indent_clear(&s->indent);
    return true;
}

// Words read whole in one stretch, each after a single space or newline: as many as fit go on the
// open line as one piece; else those that fit a line of their own open the next. The rest are
// taken back.
template <bool keep>
void place_words_of_stretch(fill_state *s, textlib_step *step, textlib_output *out) {
    const std::uint64_t separators = textlib_step_stretch_separators(*step);
    if (separators == 0) {
        place_word<keep>(s, step->stretch, out);
        return;
    }
    if (line_open) {
        if (write_fitting_words<keep>(s, step, out, separators, true)) return;
        put_newline(out);
    }
    // Runes 0 alone open no line: a word of them is placed on its own.
    const std::uint64_t first_word = textlib_below(textlib_lowest(separators));
    if ((step->stretch.starts & ~word_left_out<keep>(s, step->stretch) & first_word) == 0) {
        textlib_step_shorten_stretch(step, textlib_lowest(separators));
        place_word<keep>(s, step->stretch, out);
        return;
    }
    open_word_line(s, out);
    write_fitting_words<keep>(s, step, out, separators, false);
}

// ---- Runes by the reference's rules ----

constexpr unsigned WORD_HALTS = TEXTLIB_HALT_TAB | TEXTLIB_HALT_NEWLINE | TEXTLIB_HALT_SPACE;

// A rune of the word being read, its n bytes at bytes, which has TEXTLIB_UNIT_MAXBYTES; keep is
// keep_bytes.
inline void stage_word_rune(fill_state *s, rune16 r, const char *bytes, unsigned n, bool keep,
                            textlib_output *out) {
    // Rune 0 ends a zero-terminated word where it stands, so it never stays in one; but with
    // keep_bytes it stays after a malformed rune, which the bytes after it could otherwise join.
    if (keep) {
        if (r == 0 && !s->after_malformed) return;
        s->after_malformed = r == RUNE_BAD && n < TEXTLIB_UNIT_MAXBYTES;
    } else if (r == 0) {
        return;
    }
    if (s->staged.length + TEXTLIB_UNIT_MAXBYTES > STAGED_SIZE - TEXTLIB_UNIT_MAXBYTES)
        place_staged(s, out);
    std::memcpy(s->staged.bytes + s->staged.length, bytes, TEXTLIB_UNIT_MAXBYTES);
    s->staged.length += n;
    // Written as read, a four-byte sequence's bytes tell its columns.
    s->staged_columns += textlib_unit_columns(r, bytes, n, keep);
}

} // namespace

void fill_rune(fill_state *s, rune16 r, const char *bytes, unsigned n, textlib_output *out) {
    switch (s->at) {
    case fill_at::marker: mark_rune(s, r, bytes, n, out); return;
    case fill_at::copying: copy_rune(s, r, bytes, n, out); return;
    default: break;
    }
    if (s->at == fill_at::in_word) {
        if (is_word_rune(r)) {
            stage_word_rune(s, r, bytes, n, keep_bytes, out);
            return;
        }
        end_word(s, out);
        s->at = fill_at::between_words;
    }
    if (s->at == fill_at::line_start) {
        if (textlib_is_blank(r)) {
            indent_add(&s->indent, r);
            return;
        }
        if (r == TEXTLIB_NEWLINE) {
            end_blank_line(s, out);
            return;
        }
        if (prefixing != prefix_kind::none) {
            s->mark.code = NO_PARAGRAPH;
            s->mark.matched = 0;
            s->mark.level = 0;
            s->mark.bytes.length = 0;
            s->mark.column = s->indent.width;
            s->at = fill_at::marker;
            mark_rune(s, r, bytes, n, out);
            return;
        }
        s->at = fill_at::between_words;
    }
    if (textlib_is_blank(r)) return;
    if (r == TEXTLIB_NEWLINE) {
        indent_clear(&s->indent);
        s->at = fill_at::line_start;
        return;
    }
    begin_word(s, out);
    s->at = fill_at::in_word;
    fill_rune(s, r, bytes, n, out);
}

namespace {

// A rune of the word being read, or any rune by the routine's rules; read from its width bytes
// at p.
template <bool keep>
void step_rune(fill_state *s, rune16 r, const char *p, unsigned width, textlib_output *out) {
    char bytes[TEXTLIB_UNIT_MAXBYTES];
    const unsigned n = textlib_unit_write(bytes, r, p, width, keep);
    // Inside a word, the usual case, a rune is only staged.
    if (s->at == fill_at::in_word && is_word_rune(r))
        stage_word_rune(s, r, bytes, n, keep, out);
    else
        fill_rune(s, r, bytes, n, out);
}

// Inside a word, runes that need no decoding are staged a stretch at a time, runes 0 left out as
// stage_word_rune leaves them out; once the word has opened its line they go there straight.
template <bool keep>
void stage_stretch(fill_state *s, const textlib_stretch &stretch, textlib_output *out) {
    const std::uint64_t left_out = left_out_zeros<keep>(s, stretch);
    const std::uint64_t columns = stretch_columns(stretch, left_out);
    if (!s->place.holding) {
        place_staged(s, out);
        write_word_stretch<keep>(s, out, stretch, left_out, columns, false);
        return;
    }
    if (STAGED_SIZE - s->staged.length < TEXTLIB_STRETCH_ROOM) place_staged(s, out);
    char *const start = s->staged.bytes;
    s->staged.length = static_cast<std::size_t>(
        textlib_put_stretch(start + s->staged.length, stretch, keep, left_out) - start);
    s->staged_columns += columns;
}

// Whether the routine takes the words ahead several a stretch, where no word is being read. A line
// that may begin with a marker goes a rune at a time.
inline bool takes_words(const fill_state *s) {
    return s->at == fill_at::between_words ||
           (s->at == fill_at::line_start && prefixing == prefix_kind::none);
}

// Whether a rune that starts with byte b ends a word: the byte is then the whole rune.
inline bool ends_word(char b) {
    return textlib_is_blank(b) || b == '\n';
}

// The longest start of a word that a chunk's end cuts which is taken again: a shorter one most
// likely ends in the next chunk, while a longer word, as in bytes at random, would not.
constexpr unsigned RETAKEN_MOST = 32;

// Runes that need no decoding, up to before a halt, or where the step stopped: runes of a word.
// Words that begin in the stretch and end in it too, as is usual with short words, are placed
// whole.
template <bool keep> void take_stretch(fill_state *s, textlib_step *step, textlib_output *out) {
    if (s->at != fill_at::in_word) {
        s->at = fill_at::between_words;
        if (step->next != step->end && ends_word(*step->next)) {
            place_words_of_stretch<keep>(s, step, out);
            return;
        }
        begin_word(s, out);
        s->at = fill_at::in_word;
    }
    stage_stretch<keep>(s, step->stretch, out);
}

// The next thing from the step, by where the routine stands.
[[gnu::always_inline]] inline textlib_step_kind step_next(const fill_state *s, textlib_step *step) {
    if (s->at == fill_at::in_word) return textlib_step_next(step, WORD_HALTS);
    if (!takes_words(s)) return textlib_step_next_rune(step);
    return textlib_step_next_words(step, WORD_HALTS, s->at == fill_at::between_words,
                                   prefixing == prefix_kind::none, RETAKEN_MOST);
}

// The exact step, up to where plain text is ahead or a rune needs bytes still to come; says
// which, with *p moved there. Made for each value of keep_bytes, and kept out of the block
// routine: inlined there, either loop measured slower.
template <bool keep>
[[gnu::noinline]] textlib_step_kind fill_runes(fill_state *s, const char **p, const char *end,
                                               bool at_eof, textlib_output *out) {
    textlib_step step = textlib_step_start(*p, end, at_eof, keep);
    for (;;) {
        const textlib_step_kind kind = step_next(s, &step);
        switch (kind) {
        case TEXTLIB_STRETCH: take_stretch<keep>(s, &step, out); break;
        case TEXTLIB_RUNE: step_rune<keep>(s, step.rune, step.at, step.width, out); break;
        case TEXTLIB_MORE:
        case TEXTLIB_PLAIN: *p = step.next; return kind;
        }
    }
}

// ---- The block routine ----

// Everything from p that can be decided now; returns end, or where a rune waits for more bytes.
const char *fill_bytes(fill_state *s, const char *p, const char *end, bool at_eof,
                       textlib_output *out) {
    // The bytes that the line scan looked at last may have changed since the last call.
    s->chunk.at = nullptr;
    while (p < end) {
        const auto b = static_cast<unsigned char>(*p);
        if (s->at == fill_at::in_word && may_begin_word(b)) {
            std::uint64_t columns = 0;
            const char *const q = textlib_skip_columns(p, end, WORD_HALTS, &columns);
            if (q != p) {
                place_staged(s, out);
                add_word_bytes(s, out, p, static_cast<std::size_t>(q - p), columns, true);
                s->after_malformed = false;
                p = q;
                continue;
            }
        } else if (s->at == fill_at::copying && b != '\n') {
            // A line copied as it was read: plain text up to its newline as it stands.
            const char *const q = textlib_skip(p, end, TEXTLIB_HALT_NEWLINE, nullptr, 0);
            if (q != p) {
                textlib_output_span(out, p, static_cast<std::size_t>(q - p));
                p = q;
                continue;
            }
        } else if (s->at == fill_at::line_start && textlib_is_blank(*p)) {
            p = indent_take(&s->indent, p, end);
            continue;
        } else if ((s->at == fill_at::between_words ||
                    (s->at == fill_at::line_start && prefixing != prefix_kind::string)) &&
                   may_begin_word(b) && plain_word_rune_at(p, end)) {
            // A word: a line's indentation ends before it. A line that may begin with a marker
            // goes a rune at a time.
            if (s->at == fill_at::line_start && prefixing != prefix_kind::none) {
                if (may_begin_marker(b)) {
                    const char *const word = start_marked_line(s, p, end, out);
                    if (word != nullptr) {
                        p = word;
                        continue;
                    }
                    fill_rune(s, b, p, 1, out);
                    p++;
                    continue;
                }
                begin_plain_line(out);
            }
            s->at = fill_at::between_words;
            const char *const q = place_words(s, p, end, out);
            if (q != p) {
                p = q;
                continue;
            }
            begin_word(s, out);
            s->at = fill_at::in_word;
            continue;
        }
        // Between words, and where plain text is ahead, a byte 01-7F is a rune by itself.
        if ((s->at != fill_at::in_word && b != 0 && b < 0x80) || textlib_ascii_ahead(p, end)) {
            fill_rune(s, b, p, 1, out);
            p++;
            continue;
        }
        const textlib_step_kind kind = keep_bytes ? fill_runes<true>(s, &p, end, at_eof, out)
                                                  : fill_runes<false>(s, &p, end, at_eof, out);
        if (kind == TEXTLIB_MORE) break;
    }
    return p;
}

fill_state fill_start() {
    fill_state s{};
    s.at = fill_at::line_start;
    byte_buffer_grow(&s.staged, STAGED_SIZE);
    return s;
}

void fill_release(fill_state *s) {
    byte_buffer_release(&s->indent.runs);
    byte_buffer_release(&s->place.held);
    byte_buffer_release(&s->staged);
    byte_buffer_release(&s->mark.bytes);
}

} // namespace

void linefill_blocks(textlib_input *in, textlib_output *out) {
    fill_state s = fill_start();
    textlib_each_block(in, [&s, out](const char *p, const char *end, bool at_eof) {
        return fill_bytes(&s, p, end, at_eof, out);
    });
    if (s.at == fill_at::marker) mark_rune(&s, -1, nullptr, 0, out);
    if (s.at == fill_at::copying) copy_rune(&s, TEXTLIB_NEWLINE, nullptr, 0, out);
    if (s.at == fill_at::in_word) end_word(&s, out);
    if (s.at == fill_at::line_start) end_paragraph(out, &s.indent, false);
    fill_release(&s);
}
