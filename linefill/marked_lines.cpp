// The block path's line starts with --prefix: the marker after a line's indentation, read a rune
// at a time, decides whether the line is plain, marked, or written as it was read.
#include "block_state.h"

#include <cstring>
#include <string_view>

paragraph_lead block_lead = {};

namespace {

void take(marker_scan *m, int r, const char *bytes, unsigned n) {
    byte_buffer_append(&m->bytes, bytes, n);
    m->column = textlib_is_blank(r) ? textlib_after_blank(r, m->column)
                                    : m->column + textlib_unit_columns(static_cast<rune16>(r),
                                                                       bytes, n, keep_bytes);
}

// What r makes of the fixed marker's runes read so far: one more of them, the end of a whole
// marker (r a blank, a newline or the end of input), or no marker at all.
enum class fixed_step { taken, whole, none };

fixed_step step_fixed(marker_scan *m, int r) {
    const auto prefix_of = [m](const char *marker) {
        return std::strlen(marker) >= m->matched && std::memcmp(marker, m->fixed, m->matched) == 0;
    };
    for (int i = 0; i < FIXED_MARKER_COUNT && m->matched < sizeof m->fixed; i++) {
        const char *const marker = FIXED_MARKERS[i];
        if (prefix_of(marker) && marker[m->matched] != '\0' &&
            r == static_cast<unsigned char>(marker[m->matched])) {
            m->fixed[m->matched++] = static_cast<char>(r);
            return fixed_step::taken;
        }
    }
    if (r != -1 && r != TEXTLIB_NEWLINE && !textlib_is_blank(r)) return fixed_step::none;
    for (int i = 0; i < FIXED_MARKER_COUNT; i++) {
        if (m->matched != 0 && prefix_of(FIXED_MARKERS[i]) &&
            FIXED_MARKERS[i][m->matched] == '\0') {
            m->code = FIRST_FIXED_MARKER + i;
            return fixed_step::whole;
        }
    }
    return fixed_step::none;
}

// The start of a line that only ends a paragraph, as it was read.
void put_as_read(fill_state *s, textlib_output *out) {
    close_open_line(out);
    if (s->indent.any) put_indent(out, &s->indent);
    textlib_output_bytes(out, s->mark.bytes.bytes, s->mark.bytes.length);
    paragraph = {NO_PARAGRAPH, 0, 0};
}

void end_copied_line(fill_state *s, textlib_output *out) {
    put_newline(out);
    indent_clear(&s->indent);
    s->at = fill_at::line_start;
}

// No marker: the runes read for one are the start of the line's first word.
void plain_line(fill_state *s, int r, const char *bytes, unsigned n, textlib_output *out) {
    begin_plain_line(out);
    s->at = fill_at::between_words;
    for (std::size_t i = 0; i < s->mark.bytes.length; i++) {
        const char rune[TEXTLIB_UNIT_MAXBYTES] = {s->mark.bytes.bytes[i]};
        fill_rune(s, static_cast<unsigned char>(rune[0]), rune, 1, out);
    }
    if (r != -1) fill_rune(s, static_cast<rune16>(r), bytes, n, out);
}

// A marked line with words: it joins the open paragraph, or opens one with its own lead.
void marked_line(fill_state *s, textlib_output *out) {
    const marker_scan *const m = &s->mark;
    const paragraph_key key = {m->code, m->level, s->indent.width};
    if (key == paragraph) return;
    close_open_line(out);
    paragraph = key;
    indent_copy(&block_lead.indent, &s->indent);
    block_lead.bytes.length = 0;
    byte_buffer_append(&block_lead.bytes, m->bytes.bytes, m->bytes.length);
    block_lead.width = m->column;
}

// A rune while the marker is not yet whole; false once r is dealt with otherwise.
bool read_marker(fill_state *s, int r, const char *bytes, unsigned n, textlib_output *out) {
    marker_scan *const m = &s->mark;
    if (prefixing == prefix_kind::string) {
        if (r != -1 && prefix_goes_on(&m->matched, static_cast<rune16>(r), bytes, n)) {
            take(m, r, bytes, n);
            if (prefix_whole(m->matched)) m->code = STRING_MARKER;
            return true;
        }
        put_as_read(s, out);
        s->at = fill_at::copying;
        if (r == -1)
            end_copied_line(s, out);
        else
            copy_rune(s, static_cast<rune16>(r), bytes, n, out);
        return false;
    }
    if (m->matched == 0 && r == '>') {
        m->code = QUOTE_MARKER;
        m->level = 1;
        take(m, r, bytes, n);
        return true;
    }
    switch (step_fixed(m, r)) {
    case fixed_step::taken: take(m, r, bytes, n); return true;
    case fixed_step::whole: return true;
    case fixed_step::none: break;
    }
    plain_line(s, r, bytes, n, out);
    return false;
}

// The fixed marker at p, before end, whose next byte is a blank: its code, or NO_PARAGRAPH.
int fixed_marker_at(const char *p, const char *end) {
    for (int i = 0; i < FIXED_MARKER_COUNT; i++) {
        // Most markers are told apart by their first byte, without measuring them.
        if (*p != FIXED_MARKERS[i][0]) continue;
        const std::string_view marker = FIXED_MARKERS[i];
        if (static_cast<std::size_t>(end - p) > marker.size() &&
            marker == std::string_view(p, marker.size()) && textlib_is_blank(p[marker.size()]))
            return FIRST_FIXED_MARKER + i;
    }
    return NO_PARAGRAPH;
}

// The marker at p and the blanks after it, into s->mark as mark_rune takes them; returns the
// first byte after them, or null where there is no marker.
const char *read_marker_at(fill_state *s, const char *p, const char *end) {
    marker_scan *const m = &s->mark;
    m->code = *p == '>' ? QUOTE_MARKER : fixed_marker_at(p, end);
    if (m->code == NO_PARAGRAPH) return nullptr;
    m->level = 0;
    m->column = s->indent.width;
    const char *q = p;
    if (m->code != QUOTE_MARKER) {
        const std::size_t n = std::strlen(FIXED_MARKERS[m->code - FIRST_FIXED_MARKER]);
        for (; q < p + n; q++)
            m->column += textlib_columns_of(static_cast<unsigned char>(*q));
    }
    for (; q < end && (textlib_is_blank(*q) || (m->code == QUOTE_MARKER && *q == '>')); q++) {
        m->level += *q == '>';
        m->column =
            *q == '>' ? m->column + textlib_columns_of('>') : textlib_after_blank(*q, m->column);
    }
    m->bytes.length = 0;
    byte_buffer_append(&m->bytes, p, static_cast<std::size_t>(q - p));
    return q;
}

} // namespace

const char *start_marked_line(fill_state *s, const char *p, const char *end, textlib_output *out) {
    if (prefixing != prefix_kind::markers) return nullptr;
    const char *const first = read_marker_at(s, p, end);
    if (first == nullptr || !plain_word_rune_at(first, end)) return nullptr;
    marked_line(s, out);
    s->at = fill_at::between_words;
    return first;
}

void mark_rune(fill_state *s, int r, const char *bytes, unsigned n, textlib_output *out) {
    marker_scan *const m = &s->mark;
    if (m->code == NO_PARAGRAPH) {
        if (!read_marker(s, r, bytes, n, out) || m->code == NO_PARAGRAPH) return;
        // A fixed marker is whole at the rune after it, which is dealt with below.
        if (m->code < FIRST_FIXED_MARKER) return;
    }
    if (textlib_is_blank(r)) {
        take(m, r, bytes, n);
    } else if (m->code == QUOTE_MARKER && r == '>') {
        take(m, r, bytes, n);
        m->level++;
    } else if (r == -1 || r == TEXTLIB_NEWLINE) {
        put_as_read(s, out);
        end_copied_line(s, out);
    } else {
        marked_line(s, out);
        s->at = fill_at::between_words;
        fill_rune(s, static_cast<rune16>(r), bytes, n, out);
    }
}

void copy_rune(fill_state *s, rune16 r, const char *bytes, unsigned n, textlib_output *out) {
    if (r == TEXTLIB_NEWLINE)
        end_copied_line(s, out);
    else
        textlib_output_bytes(out, bytes, n);
}
