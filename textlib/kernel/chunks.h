// The kernel's logic over 64-byte chunks, shared by every level but the scalar reference. Each
// level's source includes it and defines a level type: a chunk type and its load of 64 bytes; byte
// compares over a chunk, each of which gives the level's flags of the bytes for which it holds;
// either (the flags of two compares joined); mask (flags as 64 bits, bit i for byte i) and any
// (whether a flag is set); popcount; and its writer of one-byte runes. Everything here has
// internal linkage, so that code built for one level's instruction set never stands in for
// another's.
#ifndef TEXTLIB_KERNEL_CHUNKS_H
#define TEXTLIB_KERNEL_CHUNKS_H

#include "scan.h"

#include <cstring>

namespace {

constexpr std::ptrdiff_t CHUNK = 64;

// One chunk's bytes by what they are, bit i for byte i.
struct chunk_masks {
    std::uint64_t tab, newline, space;
    std::uint64_t cont;  // 80-BF
    std::uint64_t lead;  // C0-FF
    std::uint64_t lead3; // E0-FF
    // Bytes that end plain text whatever surrounds them: 00, C0, C1, F0-FF, C2 before 80, E0
    // before 80-9F. Exact but for the last byte, whose next byte is not in the chunk.
    std::uint64_t refused;
    std::uint64_t blank_lead; // C0 and E0, which may begin an overlong blank or newline
    std::uint64_t never;      // F0-FF, which begin no sequence; only where refused is set
    std::uint64_t zero;       // 00; only where refused is set
};

// refused, blank_lead and never from the bytes that a level found to be 00, C0, C1, C2, E0, 80,
// below A0, and F0 and up.
inline void refuse(chunk_masks *m, std::uint64_t zero, std::uint64_t c0, std::uint64_t c1,
                   std::uint64_t c2, std::uint64_t e0, std::uint64_t byte80, std::uint64_t below_a0,
                   std::uint64_t never) {
    const std::uint64_t low = below_a0 & m->cont;
    m->refused = zero | c0 | c1 | never | (c2 & (byte80 >> 1)) | (e0 & (low >> 1));
    m->blank_lead = c0 | e0;
    m->never = never;
    m->zero = zero;
}

// The masks of one chunk from the level's compares: equal, at_least (unsigned), within
// (unsigned, both ends included), signed_below and signed_above.
template <typename level> inline chunk_masks classify(const char *p) {
    const typename level::chunk c = level::load(p);
    chunk_masks m{};
    m.tab = level::mask(level::equal(c, 0x09));
    m.newline = level::mask(level::equal(c, 0x0A));
    m.space = level::mask(level::equal(c, 0x20));
    const std::uint64_t high = level::mask(level::signed_below(c, 0x00));
    m.cont = level::mask(level::signed_below(c, 0xC0));
    m.lead = high & ~m.cont;
    m.lead3 = level::mask(level::signed_above(c, 0xDF)) & high;
    // 00, C0-C2, E0 and F0-FF: the bytes that may be refused.
    const auto candidates =
        level::either(level::either(level::equal(c, 0x00), level::at_least(c, 0xF0)),
                      level::either(level::within(c, 0xC0, 0xC2), level::equal(c, 0xE0)));
    if (level::any(candidates)) {
        const auto is = [&c](int byte) { return level::mask(level::equal(c, byte)); };
        refuse(&m, is(0x00), is(0xC0), is(0xC1), is(0xC2), is(0xE0), is(0x80),
               level::mask(level::signed_below(c, 0xA0)), level::mask(level::at_least(c, 0xF0)));
    }
    return m;
}

// Where a chunk's scan ends: the first stop in its first `length` bytes, or length.
struct chunk_stop {
    unsigned at;
    bool stopped;
};

// The bytes of a chunk that end plain text, up to its first `length` bytes, and how far the chunk
// may be taken: short of a sequence or a space whose end lies past it.
inline std::uint64_t not_plain(const chunk_masks &m, unsigned *length) {
    const std::uint64_t lead3 = m.lead3;
    const std::uint64_t lead2 = m.lead & ~lead3;
    const std::uint64_t cont1 = m.cont >> 1, cont2 = m.cont >> 2;
    const std::uint64_t missing = (lead2 & ~cont1) | (lead3 & ~(cont1 & cont2));
    const std::uint64_t stray = m.cont & ~((m.lead << 1) | (lead3 << 2));
    if (*length == CHUNK) {
        if ((m.lead >> 63) != 0)
            *length = 63;
        else if (((lead3 >> 62) & (m.cont >> 63)) != 0)
            *length = 62;
    }
    return (missing | stray | m.refused) & textlib_below(*length);
}

inline chunk_stop first_stop(const chunk_masks &m, unsigned length, unsigned stops) {
    const auto when = [stops](unsigned stop) {
        return (stops & stop) != 0 ? ~std::uint64_t{0} : 0;
    };
    const std::uint64_t run_flags = when(TEXTLIB_STOP_SPACE_RUN) | when(TEXTLIB_STOP_NEWLINE_RUN);
    std::uint64_t hits = not_plain(m, &length);
    if (run_flags != 0) {
        const std::uint64_t runs =
            (m.space & when(TEXTLIB_STOP_SPACE_RUN)) | (m.newline & when(TEXTLIB_STOP_NEWLINE_RUN));
        // The byte after the chunk is unknown: a run may begin there.
        if (length == CHUNK && (runs >> 63) != 0) length = 63;
        const std::uint64_t next_blank = (m.tab | m.newline | m.space | m.blank_lead) >> 1;
        hits |= runs & next_blank;
    }
    hits |= (m.tab & when(TEXTLIB_STOP_TAB)) | (m.newline & when(TEXTLIB_STOP_NEWLINE)) |
            (m.space & when(TEXTLIB_STOP_SPACE));
    hits &= textlib_below(length);
    if (hits == 0) return {length, false};
    return {textlib_lowest(hits), true};
}

// The position of the k-th (from 0) set bit of x, which has more than k.
template <typename level> inline unsigned select_bit(std::uint64_t x, std::uint64_t k) {
    if constexpr (level::fast_deposit) return textlib_lowest(level::deposit(std::uint64_t{1} << k, x));
    unsigned at = 0;
    for (unsigned width = 32; width != 0; width /= 2) {
        const std::uint64_t low = static_cast<std::uint64_t>(level::popcount(x & textlib_below(width)));
        if (k >= low) {
            k -= low;
            x >>= width;
            at += width;
        }
    }
    return at;
}

// Columns over the first `upto` bytes of a chunk whose runes start at `starts`: each line from its
// newline on starts again at 0. Returns upto, or the start of the first rune that would take the
// column past limit.
template <typename level>
inline unsigned advance_column(std::uint64_t starts, std::uint64_t newlines, unsigned upto,
                               std::uint64_t *column, std::uint64_t limit) {
    std::uint64_t col = *column;
    unsigned from = 0;
    newlines &= textlib_below(upto);
    if (limit == ~std::uint64_t{0}) {
        // No limit: only the line after the last newline counts.
        if (newlines != 0) {
            from = textlib_highest(newlines) + 1;
            col = 0;
        }
        *column =
            col + static_cast<std::uint64_t>(level::popcount(starts & textlib_below(upto) & ~textlib_below(from)));
        return upto;
    }
    for (;;) {
        const unsigned to = newlines != 0 ? textlib_lowest(newlines) : upto;
        const std::uint64_t line = starts & textlib_below(to) & ~textlib_below(from);
        const auto runes = static_cast<std::uint64_t>(level::popcount(line));
        if (runes > limit - col) {
            *column = limit;
            return select_bit<level>(line, limit - col);
        }
        if (newlines == 0) {
            *column = col + runes;
            return upto;
        }
        col = 0;
        from = to + 1;
        newlines &= newlines - 1;
    }
}

// The chunk at p, or the last bytes before end padded with spaces: a space is neither a
// continuation byte nor a candidate, and it keeps a run open at the end.
template <typename level>
inline chunk_masks classify_at(const char *p, const char *end, unsigned *length) {
    if (end - p >= CHUNK) {
        *length = CHUNK;
        return classify<level>(p);
    }
    char padded[CHUNK];
    std::memset(padded, ' ', sizeof padded);
    std::memcpy(padded, p, static_cast<std::size_t>(end - p));
    *length = static_cast<unsigned>(end - p);
    return classify<level>(padded);
}

template <typename level>
const char *skip_chunks(const char *p, const char *end, unsigned stops, std::uint64_t *column,
                        std::uint64_t limit) {
    while (p < end) {
        unsigned length;
        const chunk_masks m = classify_at<level>(p, end, &length);
        const chunk_stop stop = first_stop(m, length, stops);
        if (column == nullptr) {
            p += stop.at;
            if (stop.stopped) break;
            continue;
        }
        const unsigned passed = advance_column<level>(~m.cont, m.newline, stop.at, column, limit);
        if (passed < stop.at || stop.stopped) return p + passed;
        p += passed;
    }
    return p;
}

template <typename level>
const char *count_chunks(const char *p, const char *end, textlib_counts *counts,
                         bool *between_words) {
    std::uint64_t lines = 0, words = 0, runes = 0;
    std::uint64_t after_separator = *between_words ? 1 : 0;
    while (p < end) {
        unsigned length;
        const chunk_masks m = classify_at<level>(p, end, &length);
        const std::uint64_t plain = ~not_plain(m, &length) & textlib_below(length);
        // Plain bytes from the chunk's start up to the first that is not.
        const std::uint64_t passed = plain & ~(plain + 1);
        const std::uint64_t starts = ~m.cont & passed;
        const std::uint64_t separators = m.tab | m.newline | m.space;
        const std::uint64_t word_starts =
            starts & ~separators & ((separators << 1) | after_separator);
        lines += static_cast<std::uint64_t>(level::popcount(m.newline & passed));
        words += static_cast<std::uint64_t>(level::popcount(word_starts));
        runes += static_cast<std::uint64_t>(level::popcount(starts));
        const unsigned n = static_cast<unsigned>(level::popcount(passed));
        if (n != 0) after_separator = (separators >> (n - 1)) & 1;
        p += n;
        if (n < length) break;
    }
    counts->lines += lines;
    counts->words += words;
    counts->runes += runes;
    *between_words = after_separator != 0;
    return p;
}

// Rune starts by the codec's grouping: a continuation byte starts a rune of its own unless the
// lead before it, or a three-byte lead and a continuation byte before it, take it along.
template <typename level> textlib_runes rune_starts_chunks(const char *p, const char *end) {
    unsigned length;
    const chunk_masks m = classify_at<level>(p, end, &length);
    const std::uint64_t lead = m.lead & ~m.never, lead3 = m.lead3 & ~m.never;
    const std::uint64_t taken = m.cont & ((lead << 1) | ((lead3 << 2) & (m.cont << 1)));
    const std::uint64_t starts = ~taken;
    // Plain runes: a byte 01-7F, or a lead with all its continuation bytes, none refused. 00 and
    // F0-FF are refused, so where none is refused there is none.
    const std::uint64_t cont1 = m.cont >> 1, cont2 = m.cont >> 2;
    const std::uint64_t whole_lead = ((lead & ~lead3) & cont1) | (lead3 & cont1 & cont2);
    const std::uint64_t plain = starts & ~m.refused & ((~m.cont & ~m.lead) | whole_lead);
    // A sequence whose bytes may go on past the length is left for the next look.
    unsigned whole = length;
    const std::uint64_t last = std::uint64_t{1} << (length - 1);
    if ((lead & last) != 0)
        whole = length - 1;
    else if (length >= 2 && (lead3 & (last >> 1)) != 0 && (m.cont & last) != 0)
        whole = length - 2;
    const std::uint64_t bytes = textlib_below(whole);
    return {starts & bytes,
            plain & bytes,
            m.tab & bytes,
            m.newline & bytes,
            m.space & bytes,
            m.zero & bytes,
            lead3 & cont1 & ~cont2 & bytes,
            whole};
}

template <typename level> textlib_view look_chunks(const char *p, const char *end) {
    unsigned looked;
    const chunk_masks m = classify_at<level>(p, end, &looked);
    unsigned whole = looked;
    const std::uint64_t stops = not_plain(m, &whole) | ~textlib_below(whole);
    const std::uint64_t bytes = textlib_below(looked);
    return {m.tab & bytes, m.newline & bytes, m.space & bytes, stops != 0 ? textlib_lowest(stops) : 64};
}

template <typename level> textlib_line_chunk look_line(const char *at, const char *end) {
    unsigned looked;
    const chunk_masks m = classify_at<level>(at, end, &looked);
    unsigned whole = looked;
    const std::uint64_t refused = not_plain(m, &whole) | ~textlib_below(whole);
    const unsigned plain = refused != 0 ? textlib_lowest(refused) : 64;
    const std::uint64_t bytes = textlib_below(plain);
    const std::uint64_t separators = (m.space | m.newline) & bytes;
    const std::uint64_t blanks = m.tab | m.space | m.newline;
    std::uint64_t stops = (m.tab | (separators & (blanks >> 1))) & bytes;
    unsigned usable = plain;
    if (plain != 0 && ((separators >> (plain - 1)) & 1) != 0) {
        // What follows the last separator: past the chunk, or a sequence that the chunk cuts,
        // the next look tells, starting at the separator; else it is not plain, or the end.
        if (plain == whole && at + whole < end)
            usable = plain - 1;
        else
            stops |= std::uint64_t{1} << (plain - 1);
    }
    return {at, usable, ~m.cont & bytes, separators, m.newline & bytes, stops};
}

template <typename level>
textlib_line scan_line_chunks(textlib_line_chunk *chunk, const char *p, const char *end,
                              std::uint64_t column, std::uint64_t limit) {
    textlib_line line = {p, column, p, column, {0, 0}};
    __extension__ typedef unsigned __int128 offsets;
    offsets newlines = 0;
    const char *c = p;
    while (c < end) {
        if (chunk->at == nullptr || c < chunk->at || c >= chunk->at + chunk->usable) {
            *chunk = look_line<level>(c, end);
            if (chunk->usable == 0) break;
        }
        const auto from = static_cast<unsigned>(c - chunk->at);
        const std::uint64_t window = textlib_below(chunk->usable) & ~textlib_below(from);
        const std::uint64_t stops = chunk->stops & window;
        const unsigned to = stops != 0 ? textlib_lowest(stops) : chunk->usable;
        const std::uint64_t passing = window & textlib_below(to);
        const std::uint64_t runes = chunk->starts & passing;
        const auto n = static_cast<std::uint64_t>(level::popcount(runes));
        // Up to the rune past the limit when it is here: a separator there ends the line's last
        // word.
        const bool full = n > limit - column;
        const unsigned over = full ? select_bit<level>(runes, limit - column) : to;
        const std::uint64_t separators = chunk->separators & passing & textlib_below(over + 1);
        if (separators != 0) {
            const unsigned last = textlib_highest(separators);
            line.words_end = chunk->at + last;
            line.words_column =
                column + static_cast<std::uint64_t>(level::popcount(runes & textlib_below(last)));
        }
        const auto offset = static_cast<std::size_t>(c - p);
        if (offset < 128) newlines |= offsets{(chunk->newlines & passing) >> from} << offset;
        if (full) {
            column = limit;
            c = chunk->at + over;
            break;
        }
        column += n;
        c = chunk->at + to;
        if (to < chunk->usable) {
            // At a blank.
            line.words_end = c;
            line.words_column = column;
            break;
        }
    }
    line.q = c;
    line.column = column;
    const auto words = static_cast<std::size_t>(line.words_end - p);
    if (words < 128) newlines &= (offsets{1} << words) - 1;
    line.newlines[0] = static_cast<std::uint64_t>(newlines);
    line.newlines[1] = static_cast<std::uint64_t>(newlines >> 64);
    return line;
}

// A level's table of the kernel's operations.
template <typename level> constexpr textlib_kernel kernel_of() {
    return {skip_chunks<level>,        count_chunks<level>,
            rune_starts_chunks<level>, look_chunks<level>,
            level::write_lone_runes,   scan_line_chunks<level>};
}

} // namespace

#endif
