// The kernel's logic over 64-byte chunks, shared by the vector levels. Each level's source includes
// it and defines a level type with classify() and popcount(); everything here has internal
// linkage, so that code built for one level's instruction set never stands in for another's.
#ifndef TEXTLIB_SCAN_CHUNKS_H
#define TEXTLIB_SCAN_CHUNKS_H

#include "scan.h"

#include <array>
#include <cstring>
#include <utility>

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

// classify() for a level whose compares give a vector of bytes a bit each, several vectors to a
// chunk. The level gives a vector type, load, bits (a vector's top bits), either (or), and the
// compares equal, at_least and within (unsigned), signed_below and signed_above.
template <typename level> void refuse_rare(const typename level::vector *v, chunk_masks *m);

template <typename level> inline chunk_masks classify_vectors(const char *p) {
    using vector = typename level::vector;
    constexpr int width = static_cast<int>(sizeof(vector));
    chunk_masks m{};
    std::uint64_t high = 0, candidates = 0;
    vector v[CHUNK / width];
    for (int i = 0; i < CHUNK / width; i++) {
        v[i] = level::load(p + width * i);
        const auto bits = [at = width * i](vector x) { return level::bits(x) << at; };
        m.tab |= bits(level::equal(v[i], 0x09));
        m.newline |= bits(level::equal(v[i], 0x0A));
        m.space |= bits(level::equal(v[i], 0x20));
        high |= bits(v[i]);
        m.cont |= bits(level::signed_below(v[i], 0xC0));
        m.lead3 |= bits(level::signed_above(v[i], 0xDF));
        // 00, C0-C2, E0 and F0-FF: the bytes that may be refused.
        const vector low_or_never =
            level::either(level::equal(v[i], 0x00), level::at_least(v[i], 0xF0));
        const vector overlong =
            level::either(level::within(v[i], 0xC0, 0xC2), level::equal(v[i], 0xE0));
        candidates |= bits(level::either(low_or_never, overlong));
    }
    m.lead = high & ~m.cont;
    m.lead3 &= high;
    if (candidates != 0) refuse_rare<level>(v, &m);
    return m;
}

template <typename level> void refuse_rare(const typename level::vector *v, chunk_masks *m) {
    using vector = typename level::vector;
    constexpr int width = static_cast<int>(sizeof(vector));
    std::uint64_t zero = 0, c0 = 0, c1 = 0, c2 = 0, e0 = 0, never = 0, byte80 = 0, low = 0;
    for (int i = 0; i < CHUNK / width; i++) {
        const auto bits = [at = width * i](vector x) { return level::bits(x) << at; };
        const auto is = [&](int byte) { return bits(level::equal(v[i], byte)); };
        zero |= is(0x00);
        c0 |= is(0xC0);
        c1 |= is(0xC1);
        c2 |= is(0xC2);
        e0 |= is(0xE0);
        byte80 |= is(0x80);
        never |= bits(level::at_least(v[i], 0xF0));
        low |= bits(level::signed_below(v[i], 0xA0));
    }
    refuse(m, zero, c0, c1, c2, e0, byte80, low, never);
}

inline std::uint64_t below(unsigned n) {
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

inline unsigned lowest(std::uint64_t x) {
    return static_cast<unsigned>(__builtin_ctzll(x));
}

inline unsigned highest(std::uint64_t x) {
    return 63u - static_cast<unsigned>(__builtin_clzll(x));
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
    return (missing | stray | m.refused) & below(*length);
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
    hits &= below(length);
    if (hits == 0) return {length, false};
    return {lowest(hits), true};
}

// The position of the k-th (from 0) set bit of x, which has more than k.
template <typename level> inline unsigned select_bit(std::uint64_t x, std::uint64_t k) {
    if constexpr (level::fast_deposit) return lowest(level::deposit(std::uint64_t{1} << k, x));
    unsigned at = 0;
    for (unsigned width = 32; width != 0; width /= 2) {
        const std::uint64_t low = static_cast<std::uint64_t>(level::popcount(x & below(width)));
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
    newlines &= below(upto);
    if (limit == ~std::uint64_t{0}) {
        // No limit: only the line after the last newline counts.
        if (newlines != 0) {
            from = highest(newlines) + 1;
            col = 0;
        }
        *column =
            col + static_cast<std::uint64_t>(level::popcount(starts & below(upto) & ~below(from)));
        return upto;
    }
    for (;;) {
        const unsigned to = newlines != 0 ? lowest(newlines) : upto;
        const std::uint64_t line = starts & below(to) & ~below(from);
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
        return level::classify(p);
    }
    char padded[CHUNK];
    std::memset(padded, ' ', sizeof padded);
    std::memcpy(padded, p, static_cast<std::size_t>(end - p));
    *length = static_cast<unsigned>(end - p);
    return level::classify(padded);
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

// The rune that the lead at p, C0 to EF, begins, read from the bytes before end as the codec
// reads them; 0x80 when it is malformed, as U+0080 is.
inline unsigned rune_of_lead(const char *p, const char *end) {
    const auto byte = [p](int i) {
        return static_cast<unsigned>(static_cast<unsigned char>(p[i]));
    };
    const auto continues = [&](int i) { return end - p > i && (byte(i) & 0xC0) == 0x80; };
    const unsigned b0 = byte(0);
    if (!continues(1)) return 0x80;
    if (b0 < 0xE0) return ((b0 & 0x1F) << 6) | (byte(1) & 0x3F);
    if (!continues(2)) return 0x80;
    return ((b0 & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
}

// The bytes of a chunk from the first of those in its last two that mask marks, or length.
inline unsigned before_last_two(std::uint64_t mask, unsigned length) {
    const std::uint64_t last_two = mask & below(length) & ~below(length < 2 ? 0 : length - 2);
    return last_two != 0 ? lowest(last_two) : length;
}

// Lines alone need no rune boundaries: a newline is a byte 0A, or an overlong form, C0 8A or
// E0 80 8A, whose lead is refused. A chunk whose last two bytes hold a C0 or E0 is taken up to it,
// and the next starts there.
template <typename level>
const char *tally_lines_chunks(const char *p, const char *end, bool at_end,
                               textlib_counts *counts) {
    std::uint64_t lines = 0;
    while (p < end) {
        unsigned length;
        const chunk_masks m = classify_at<level>(p, end, &length);
        const bool more = length == CHUNK || !at_end;
        const unsigned whole = more ? before_last_two(m.blank_lead, length) : length;
        if (whole == 0) break;
        lines += static_cast<std::uint64_t>(level::popcount(m.newline & below(whole)));
        for (std::uint64_t rare = m.blank_lead & m.refused & below(whole); rare != 0;
             rare &= rare - 1)
            lines += rune_of_lead(p + lowest(rare), end) == 0x0A;
        p += whole;
    }
    counts->lines += lines;
    return p;
}

// Where the runes that the bytes from p to end complete end: short of a lead at end - 1, or of a
// three-byte lead and a continuation byte at end - 2, which more bytes could complete.
inline const char *complete_runes_end(const char *p, const char *end) {
    const auto byte = [](const char *q) {
        return static_cast<unsigned>(static_cast<unsigned char>(*q));
    };
    if (end - p >= 1 && byte(end - 1) >= 0xC0 && byte(end - 1) < 0xF0) return end - 1;
    if (end - p >= 2 && byte(end - 2) >= 0xE0 && byte(end - 2) < 0xF0 &&
        (byte(end - 1) & 0xC0) == 0x80)
        return end - 2;
    return end;
}

// The selected counts a chunk at a time. A chunk counts the runes that start in it, and tells the
// next which of its first two bytes the last of them take: the chunks follow one another at fixed
// steps, so that none waits for the one before it. The malformed runes are found from the
// chunk's bytes and the two after it; the leads that the codec reads as a blank, a newline or
// U+0080 only in an overlong form, or as U+0080 itself, are refused and rare, and are read one at
// a time.
template <typename level, unsigned selection>
const char *tally_chunks_for(const char *p, const char *end, bool at_end, textlib_counts *counts,
                             bool *between_words) {
    constexpr bool lines = (selection & TEXTLIB_COUNT_LINES) != 0;
    constexpr bool words = (selection & TEXTLIB_COUNT_WORDS) != 0;
    constexpr bool runes = (selection & TEXTLIB_COUNT_RUNES) != 0;
    constexpr bool broken = (selection & TEXTLIB_COUNT_BROKEN) != 0;
    if constexpr (!words && !runes && !broken) {
        if constexpr (lines) return tally_lines_chunks<level>(p, end, at_end, counts);
        return end;
    }
    if (!at_end) end = complete_runes_end(p, end);
    const auto continues = [](char b) {
        return static_cast<std::uint64_t>((static_cast<unsigned char>(b) & 0xC0) == 0x80);
    };
    textlib_counts c{};
    std::uint64_t after_separator = words && *between_words ? 1 : 0;
    std::uint64_t carried = 0; // the chunk's first bytes that a rune of the chunk before takes
    const auto count_chunk = [&](const char *at, const chunk_masks &m, unsigned length) {
        const std::uint64_t bytes = below(length);
        // Bit 0 for the byte after the chunk, bit 1 for the one after that.
        std::uint64_t next = 0;
        if (end - at > CHUNK) {
            next =
                continues(at[CHUNK]) | (end - at > CHUNK + 1 ? continues(at[CHUNK + 1]) << 1 : 0);
        }
        const std::uint64_t lead = m.lead & ~m.never, lead3 = m.lead3 & ~m.never;
        // Where the chunk's first rune starts: after none, one or both of its first two bytes.
        const std::uint64_t first_start = carried + 1;
        // Text as it should be: each continuation byte where a lead calls for it, none refused,
        // down to the two bytes after the chunk. Most text is, and needs no more than this.
        const std::uint64_t expected = (lead << 1) | (lead3 << 2) | carried;
        const std::uint64_t ahead = (lead >> 63) | (lead3 >> 62);
        const unsigned last = static_cast<unsigned char>(at[length - 1]);
        // refused is exact but for the last byte, whose next byte is not in the chunk.
        const bool last_rare = length == CHUNK && (last == 0xC2 || last == 0xE0);
        if (length == CHUNK && !last_rare && (next & ahead) == ahead &&
            ((m.cont ^ expected) | (m.refused & lead) | m.never) == 0) {
            if constexpr (runes) c.runes += static_cast<std::uint64_t>(level::popcount(~m.cont));
            if constexpr (lines) c.lines += static_cast<std::uint64_t>(level::popcount(m.newline));
            if constexpr (words) {
                const std::uint64_t separators = m.tab | m.newline | m.space;
                const std::uint64_t follows = (separators << 1) | (after_separator * first_start);
                c.words +=
                    static_cast<std::uint64_t>(level::popcount(~separators & ~m.cont & follows));
                after_separator = separators >> 63;
            }
            carried = ahead;
            return;
        }
        const std::uint64_t cont1 = (m.cont >> 1) | (next << 63),
                            cont2 = (m.cont >> 2) | (next << 62);
        const std::uint64_t taken =
            (m.cont & ((lead << 1) | ((lead3 << 2) & (m.cont << 1)))) | carried;
        carried = (next & 1 & ((lead >> 63) | ((lead3 >> 62) & (m.cont >> 63)))) |
                  ((next >> 1) & next & (lead3 >> 63)) << 1;
        const std::uint64_t starts = ~taken & bytes;
        if constexpr (runes) c.runes += static_cast<std::uint64_t>(level::popcount(starts));
        std::uint64_t bad = 0, overlong_separators = 0;
        if constexpr (words || broken)
            bad = starts & (m.cont | m.never | (lead & ~cont1) | (lead3 & cont1 & ~cont2));
        if constexpr (lines || words || broken) {
            const std::uint64_t rare_last = last_rare;
            for (std::uint64_t rare = ((m.refused & lead) | rare_last << 63) & starts; rare != 0;
                 rare &= rare - 1) {
                const unsigned i = lowest(rare);
                const unsigned r = rune_of_lead(at + i, end);
                const std::uint64_t bit = std::uint64_t{1} << i;
                if (r == 0x80) bad |= bit;
                if (r == 0x09 || r == 0x0A || r == 0x20) overlong_separators |= bit;
                if constexpr (lines) c.lines += r == 0x0A;
            }
        }
        if constexpr (lines)
            c.lines += static_cast<std::uint64_t>(level::popcount(m.newline & bytes));
        if constexpr (broken) c.broken += static_cast<std::uint64_t>(level::popcount(bad));
        if constexpr (words) {
            // A word starts at a rune that is no separator and not malformed, after a separator
            // with only malformed runes between: a carry runs from the byte after the separator
            // through them, and through the continuation bytes of an overlong one.
            const std::uint64_t separators =
                ((m.tab | m.newline | m.space) & bytes) | overlong_separators;
            const std::uint64_t good = starts & ~bad, word = good & ~separators;
            const std::uint64_t follows = (separators << 1) | (after_separator * first_start);
            std::uint64_t word_starts = word & follows;
            if ((bad | overlong_separators) != 0) {
                const std::uint64_t through = ~good;
                word_starts =
                    word & ((follows & ~through) | ((through + (follows & through)) & ~through));
            }
            c.words += static_cast<std::uint64_t>(level::popcount(word_starts));
            if (good != 0) after_separator = (separators >> highest(good)) & 1;
        }
    };
    // Whole chunks apart from the last few bytes, which classify_at pads: no call in the loop.
    for (; end - p >= CHUNK; p += CHUNK)
        count_chunk(p, level::classify(p), CHUNK);
    if (p < end) {
        unsigned length;
        const chunk_masks m = classify_at<level>(p, end, &length);
        count_chunk(p, m, length);
    }
    counts->lines += c.lines;
    counts->words += c.words;
    counts->runes += c.runes;
    counts->broken += c.broken;
    if constexpr (words) *between_words = after_separator != 0;
    return end;
}

template <typename level, unsigned... selections>
constexpr auto tally_routines(std::integer_sequence<unsigned, selections...>) {
    return std::array{tally_chunks_for<level, selections>...};
}

// Each selection with a routine of its own, which makes only the counts it names.
template <typename level>
const char *tally_chunks(const char *p, const char *end, bool at_end, unsigned selection,
                         textlib_counts *counts, bool *between_words) {
    static constexpr auto by_selection =
        tally_routines<level>(std::make_integer_sequence<unsigned, 16>{});
    return by_selection[selection & 15](p, end, at_end, counts, between_words);
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
    const std::uint64_t bytes = below(whole);
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
    const std::uint64_t stops = not_plain(m, &whole) | ~below(whole);
    const std::uint64_t bytes = below(looked);
    return {m.tab & bytes, m.newline & bytes, m.space & bytes, stops != 0 ? lowest(stops) : 64};
}

template <typename level> textlib_line_chunk look_line(const char *at, const char *end) {
    unsigned looked;
    const chunk_masks m = classify_at<level>(at, end, &looked);
    unsigned whole = looked;
    const std::uint64_t refused = not_plain(m, &whole) | ~below(whole);
    const unsigned plain = refused != 0 ? lowest(refused) : 64;
    const std::uint64_t bytes = below(plain);
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
        const std::uint64_t window = below(chunk->usable) & ~below(from);
        const std::uint64_t stops = chunk->stops & window;
        const unsigned to = stops != 0 ? lowest(stops) : chunk->usable;
        const std::uint64_t passing = window & below(to);
        const std::uint64_t runes = chunk->starts & passing;
        const auto n = static_cast<std::uint64_t>(level::popcount(runes));
        // Up to the rune past the limit when it is here: a separator there ends the line's last
        // word.
        const bool full = n > limit - column;
        const unsigned over = full ? select_bit<level>(runes, limit - column) : to;
        const std::uint64_t separators = chunk->separators & passing & below(over + 1);
        if (separators != 0) {
            const unsigned last = highest(separators);
            line.words_end = chunk->at + last;
            line.words_column =
                column + static_cast<std::uint64_t>(level::popcount(runes & below(last)));
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

// A level's table of the kernel's operations, with its own writer of one-byte runes where it has
// one.
using write_routine = char *(*)(char *o, const char *p, unsigned n, std::uint64_t lone,
                                std::uint64_t drop);

template <typename level>
constexpr textlib_kernel kernel_of(write_routine write = textlib_write_lone_runes_scalar) {
    return {skip_chunks<level>,
            tally_chunks<level>,
            rune_starts_chunks<level>,
            look_chunks<level>,
            write,
            scan_line_chunks<level>};
}

} // namespace

#endif
