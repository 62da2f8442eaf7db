// The classification of 64-byte chunks that every level but the scalar reference shares, and the
// bit arithmetic over its masks. A level type gives: a chunk type and its load of 64 bytes; byte
// compares over a chunk (equal, at_least and within unsigned, signed_below, signed_above), each
// of which gives the level's flags of the bytes for which it holds; either (two compares'
// flags joined); mask (flags as 64 bits, bit i for byte i) and any (whether a flag is set);
// popcount; fast_deposit (and deposit where it is set); and write_bytes_as_runes, its writer.
// Everything here has internal linkage, so that code built for one level's instruction set
// never stands in for another's.
#ifndef TEXTLIB_KERNEL_CLASSIFY_H
#define TEXTLIB_KERNEL_CLASSIFY_H

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
    std::uint64_t four_leads; // F0-F4, the leads of four-byte UTF-8; likewise, and when asked for
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
// (unsigned, both ends included), signed_below and signed_above; four_leads when fours says so.
template <typename level, bool fours = false> inline chunk_masks classify(const char *p) {
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
        // Only where some byte is F0 or above, so that other text pays a test, not a compare.
        if constexpr (fours) {
            if (m.never != 0) m.four_leads = level::mask(level::within(c, 0xF0, 0xF4));
        }
    }
    return m;
}

// Where a chunk's scan ends: the first stop in its first `length` bytes, or length.
struct chunk_halt {
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

inline chunk_halt first_halt(const chunk_masks &m, unsigned length, unsigned halts) {
    const auto when = [halts](unsigned stop) {
        return (halts & stop) != 0 ? ~std::uint64_t{0} : 0;
    };
    const std::uint64_t run_flags = when(TEXTLIB_HALT_SPACE_RUN) | when(TEXTLIB_HALT_NEWLINE_RUN);
    std::uint64_t hits = not_plain(m, &length);
    if (run_flags != 0) {
        const std::uint64_t runs =
            (m.space & when(TEXTLIB_HALT_SPACE_RUN)) | (m.newline & when(TEXTLIB_HALT_NEWLINE_RUN));
        // The byte after the chunk is unknown: a run may begin there.
        if (length == CHUNK && (runs >> 63) != 0) length = 63;
        const std::uint64_t next_blank = (m.tab | m.newline | m.space | m.blank_lead) >> 1;
        hits |= runs & next_blank;
    }
    hits |= (m.tab & when(TEXTLIB_HALT_TAB)) | (m.newline & when(TEXTLIB_HALT_NEWLINE)) |
            (m.space & when(TEXTLIB_HALT_SPACE));
    hits &= textlib_below(length);
    if (hits == 0) return {length, false};
    return {textlib_lowest(hits), true};
}

// The position of the k-th (from 0) set bit of x, which has more than k.
template <typename level> inline unsigned select_bit(std::uint64_t x, std::uint64_t k) {
    if constexpr (level::fast_deposit)
        return textlib_lowest(level::deposit(std::uint64_t{1} << k, x));
    unsigned at = 0;
    for (unsigned width = 32; width != 0; width /= 2) {
        const std::uint64_t low =
            static_cast<std::uint64_t>(level::popcount(x & textlib_below(width)));
        if (k >= low) {
            k -= low;
            x >>= width;
            at += width;
        }
    }
    return at;
}

// The k-th (from 0) set bit of x, which has more than k, alone.
template <typename level> inline std::uint64_t select_bit_mask(std::uint64_t x, std::uint64_t k) {
    if constexpr (level::fast_deposit) return level::deposit(std::uint64_t{1} << k, x);
    return std::uint64_t{1} << select_bit<level>(x, k);
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
        *column = col + static_cast<std::uint64_t>(
                            level::popcount(starts & textlib_below(upto) & ~textlib_below(from)));
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
template <typename level, bool fours = false>
inline chunk_masks classify_at(const char *p, const char *end, unsigned *length) {
    if (end - p >= CHUNK) {
        *length = CHUNK;
        return classify<level, fours>(p);
    }
    char padded[CHUNK];
    std::memset(padded, ' ', sizeof padded);
    std::memcpy(padded, p, static_cast<std::size_t>(end - p));
    *length = static_cast<unsigned>(end - p);
    return classify<level, fours>(padded);
}

} // namespace

#endif
