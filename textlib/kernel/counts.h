// tally's counts over 64-byte chunks, written once for every level but the scalar reference.
#ifndef TEXTLIB_KERNEL_COUNTS_H
#define TEXTLIB_KERNEL_COUNTS_H

#include "classify.h"

namespace {

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
    const std::uint64_t last_two =
        mask & textlib_below(length) & ~textlib_below(length < 2 ? 0 : length - 2);
    return last_two != 0 ? textlib_lowest(last_two) : length;
}

// Lines alone need no rune boundaries: a newline is a byte 0A, or an overlong form, C0 8A or
// E0 80 8A, whose lead is refused. A chunk whose last two bytes hold a C0 or E0 is taken up to it,
// and the next starts there.
// A chunk's newlines and its leads C0 and E0, straight from the level's compares: lines alone
// need nothing more of the classification.
struct line_masks {
    std::uint64_t newline, blank_lead;
};

template <typename level> inline line_masks lines_of(const char *p) {
    const typename level::chunk c = level::load(p);
    const auto leads = level::either(level::equal(c, 0xC0), level::equal(c, 0xE0));
    return {level::mask(level::equal(c, 0x0A)), level::any(leads) ? level::mask(leads) : 0};
}

template <typename level>
const char *tally_lines_chunks(const char *p, const char *end, bool at_end,
                               textlib_counts *counts) {
    std::uint64_t lines = 0;
    while (p < end) {
        unsigned length = CHUNK;
        line_masks m;
        if (end - p >= CHUNK) {
            m = lines_of<level>(p);
        } else {
            char padded[CHUNK];
            std::memset(padded, ' ', sizeof padded);
            length = static_cast<unsigned>(end - p);
            std::memcpy(padded, p, length);
            m = lines_of<level>(padded);
        }
        const bool more = length == CHUNK || !at_end;
        const unsigned whole = more ? before_last_two(m.blank_lead, length) : length;
        if (whole == 0) break;
        lines += static_cast<std::uint64_t>(level::popcount(m.newline & textlib_below(whole)));
        // A lead that begins no overlong newline reads as another rune.
        for (std::uint64_t rare = m.blank_lead & textlib_below(whole); rare != 0; rare &= rare - 1)
            lines += rune_of_lead(p + textlib_lowest(rare), end) == 0x0A;
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
    // Inlined by force: a call for each chunk would hand its masks over through memory.
    const auto count_chunk = [&](const char *at, const chunk_masks &m, unsigned length)
        __attribute__((always_inline)) {
        const std::uint64_t bytes = textlib_below(length);
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
                const unsigned i = textlib_lowest(rare);
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
            if (good != 0) after_separator = (separators >> textlib_highest(good)) & 1;
        }
    };
    // Whole chunks apart from the last few bytes, which classify_at pads: no call in the loop.
    for (; end - p >= CHUNK; p += CHUNK)
        count_chunk(p, classify<level>(p), CHUNK);
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

// Each selection with a routine of its own, which makes only the counts it names.
template <typename level, unsigned selection = 0>
const char *tally_chunks(const char *p, const char *end, bool at_end, unsigned wanted,
                         textlib_counts *counts, bool *between_words) {
    if constexpr (selection < 15) {
        if ((wanted & 15) != selection)
            return tally_chunks<level, selection + 1>(p, end, at_end, wanted, counts,
                                                      between_words);
    }
    return tally_chunks_for<level, selection>(p, end, at_end, counts, between_words);
}

} // namespace

#endif
