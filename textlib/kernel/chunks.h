// The kernel's operations over 64-byte chunks, written once for every level but the scalar
// reference: each level's source includes this header with its level type (see classify.h) and
// makes its table with kernel_of.
#ifndef TEXTLIB_KERNEL_CHUNKS_H
#define TEXTLIB_KERNEL_CHUNKS_H

#include "counts.h"
#include "lines.h"

namespace {

template <typename level>
const char *skip_chunks(const char *p, const char *end, unsigned halts, std::uint64_t *column,
                        std::uint64_t limit) {
    while (p < end) {
        unsigned length;
        const chunk_masks m = classify_at<level>(p, end, &length);
        const chunk_halt stop = first_halt(m, length, halts);
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

// Rune starts by the codec's grouping: a continuation byte starts a rune of its own unless the
// lead before it, or a three-byte lead and a continuation byte before it, take it along. The
// four_leads only with fours, which costs the rest nothing.
template <typename level, bool fours>
textlib_runes runes_of_chunk(const char *p, const char *end, std::uint64_t *four_leads) {
    unsigned length;
    const chunk_masks m = classify_at<level, fours>(p, end, &length);
    const std::uint64_t lead = m.lead & ~m.never, lead3 = m.lead3 & ~m.never;
    const std::uint64_t taken = m.cont & ((lead << 1) | ((lead3 << 2) & (m.cont << 1)));
    const std::uint64_t starts = ~taken;
    // Plain runes: a byte 01-7F, or a lead with all its continuation bytes, none refused. 00 and
    // F0-FF are refused, so where none is refused there is none.
    const std::uint64_t cont1 = m.cont >> 1, cont2 = m.cont >> 2;
    const std::uint64_t whole_lead = ((lead & ~lead3) & cont1) | (lead3 & cont1 & cont2);
    const std::uint64_t plain = starts & ~m.refused & ((~m.cont & ~m.lead) | whole_lead);
    std::uint64_t leads = 0;
    if constexpr (fours) {
        // Continuation bytes after F0-F4, or the end of what was looked at, three ahead.
        const std::uint64_t cont_or_end = m.cont | (~std::uint64_t{0} << (length - 1) << 1);
        leads = m.four_leads & ((cont_or_end >> 1) | std::uint64_t{1} << 63) &
                ((cont_or_end >> 2) | std::uint64_t{3} << 62) &
                ((cont_or_end >> 3) | std::uint64_t{7} << 61);
    }
    // A sequence whose bytes may go on past the length is left for the next look.
    unsigned whole = length;
    const std::uint64_t last = std::uint64_t{1} << (length - 1);
    if ((lead & last) != 0)
        whole = length - 1;
    else if (length >= 2 && (lead3 & (last >> 1)) != 0 && (m.cont & last) != 0)
        whole = length - 2;
    const std::uint64_t bytes = textlib_below(whole);
    if constexpr (fours) *four_leads = leads & bytes;
    return {starts & bytes,
            plain & bytes,
            m.tab & bytes,
            m.newline & bytes,
            m.space & bytes,
            m.zero & bytes,
            lead3 & cont1 & ~cont2 & bytes,
            whole};
}

template <typename level> textlib_runes rune_starts_chunks(const char *p, const char *end) {
    return runes_of_chunk<level, false>(p, end, nullptr);
}

template <typename level>
textlib_runes rune_starts_fours_chunks(const char *p, const char *end, std::uint64_t *four_leads) {
    return runes_of_chunk<level, true>(p, end, four_leads);
}

template <typename level> textlib_view look_chunks(const char *p, const char *end) {
    unsigned looked;
    const chunk_masks m = classify_at<level>(p, end, &looked);
    unsigned whole = looked;
    const std::uint64_t halts = not_plain(m, &whole) | ~textlib_below(whole);
    const std::uint64_t bytes = textlib_below(looked);
    return {m.tab & bytes, m.newline & bytes, m.space & bytes,
            halts != 0 ? textlib_lowest(halts) : 64};
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
    std::uint64_t halts = (m.tab | (separators & (blanks >> 1))) & bytes;
    unsigned usable = plain;
    if (plain != 0 && ((separators >> (plain - 1)) & 1) != 0) {
        // What follows the last separator: past the chunk, or a sequence that the chunk cuts,
        // the next look tells, starting at the separator; else it is not plain, or the end.
        if (plain == whole && at + whole < end)
            usable = plain - 1;
        else
            halts |= std::uint64_t{1} << (plain - 1);
    }
    return {at, usable, ~m.cont & bytes, separators, m.newline & bytes, halts};
}

// The newlines among the first `words` bytes at p, before end, below
// TEXTLIB_LINE_NEWLINE_WINDOW: read from the bytes once a line is known, so that the scan keeps
// none. Without a branch on the length, which is about as often under 64 bytes as over.
template <typename level>
inline void newlines_of_words(const char *p, const char *end, std::size_t words,
                              std::uint64_t (&to)[2]) {
    static_assert(TEXTLIB_LINE_NEWLINE_WINDOW == 2 * CHUNK);
    const auto newlines_at = [](const char *at) {
        return level::mask(level::equal(level::load(at), '\n'));
    };
    std::uint64_t low, high;
    if (end - p >= 2 * CHUNK) {
        low = newlines_at(p);
        high = newlines_at(p + CHUNK);
    } else {
        char padded[2 * CHUNK];
        std::memset(padded, ' ', sizeof padded);
        std::memcpy(padded, p, static_cast<std::size_t>(end - p));
        low = newlines_at(padded);
        high = newlines_at(padded + CHUNK);
    }
    const std::size_t in_high = words > CHUNK ? words - CHUNK : 0;
    to[0] = low & textlib_below(static_cast<unsigned>(std::min<std::size_t>(words, CHUNK)));
    to[1] = high & textlib_below(static_cast<unsigned>(std::min<std::size_t>(in_high, CHUNK)));
}

// The newlines among a line's words from start to words_end, read only where the scan passed
// some, as passed tells: a scan that halts at every newline passes none.
template <typename level>
inline void newlines_of_line(const char *start, const char *words_end, const char *end,
                             std::uint64_t passed, std::uint64_t (&to)[2]) {
    if (passed == 0) {
        to[0] = to[1] = 0;
        return;
    }
    newlines_of_words<level>(start, end, static_cast<std::size_t>(words_end - start), to);
}

// The lines as scan_lines_with makes them, in one pass over the chunks: a line ends within the
// chunk that it reaches the limit in, and the next goes on from there.
template <typename level>
textlib_lines scan_lines_chunks(textlib_line_chunk *chunk, const char *p, const char *end,
                                std::uint64_t column, std::uint64_t limit, std::uint64_t opening,
                                bool newline_halts) {
    const std::uint64_t halt_newlines = newline_halts ? ~std::uint64_t{0} : 0;
    textlib_lines lines;
    lines.count = 0;
    textlib_line_chunk k = *chunk;
    // What the chunk's scan stops at, and its usable bytes: masks that every look sets anew.
    std::uint64_t stops = k.halts | (k.newlines & halt_newlines);
    std::uint64_t usable = textlib_below(k.usable);
    // The line being scanned: where it starts, and its words so far.
    const char *start = p, *words_end = p;
    std::uint64_t words_column = column;
    bool passed = false;
    // Newlines that the line has passed: each is a separator, so none lies past its words, and
    // a long line needs no search of its bytes past the window.
    std::uint64_t line_newlines = 0;
    const char *c = p;
    while (c < end) {
        // Past the chunk kept, or before it, or none kept: the distance wraps past usable.
        if (reinterpret_cast<std::uintptr_t>(c) - reinterpret_cast<std::uintptr_t>(k.at) >=
            k.usable) {
            k = look_line<level>(c, end);
            if (k.usable == 0) break;
            stops = k.halts | (k.newlines & halt_newlines);
            usable = textlib_below(k.usable);
        }
        const auto from = static_cast<unsigned>(c - k.at);
        // Halts lie below usable, which is more than from.
        const std::uint64_t ahead = ~std::uint64_t{0} << from;
        const std::uint64_t halts = stops & ahead;
        const std::uint64_t passing = ahead & usable & ((halts & (0 - halts)) - 1);
        const std::uint64_t runes = k.starts & passing;
        const auto n = static_cast<std::uint64_t>(level::popcount(runes));
        if (n > limit - column) {
            // The rune past the limit is here: a separator there ends the line's last word.
            const std::uint64_t over = select_bit_mask<level>(runes, limit - column);
            const std::uint64_t separators = k.separators & passing & ((over << 1) - 1);
            line_newlines |= k.newlines & separators;
            if (separators != 0) words_end = k.at + textlib_highest(separators);
            if (words_end == start || lines.count == TEXTLIB_LINES_MOST) {
                if (separators != 0)
                    words_column =
                        column + static_cast<std::uint64_t>(level::popcount(
                                     runes & textlib_below(textlib_highest(separators))));
                column = limit;
                c = k.at + textlib_lowest(over);
                break;
            }
            // The separator ends the line, and the next starts after it.
            newlines_of_line<level>(start, words_end, end, line_newlines,
                                    lines.newlines[lines.count]);
            lines.ends[lines.count++] = words_end;
            passed = passed || line_newlines != 0;
            line_newlines = 0;
            start = c = words_end + 1;
            words_end = start;
            column = words_column = passed ? 0 : std::min(opening, limit);
            continue;
        }
        const std::uint64_t separators = k.separators & passing;
        line_newlines |= k.newlines & separators;
        if (separators != 0) {
            const unsigned last = textlib_highest(separators);
            words_end = k.at + last;
            words_column =
                column + static_cast<std::uint64_t>(level::popcount(runes & textlib_below(last)));
        }
        column += n;
        if (halts != 0) {
            // At a blank.
            c = words_end = k.at + textlib_lowest(halts);
            words_column = column;
            break;
        }
        c = k.at + k.usable;
    }
    *chunk = k;
    lines.last = {c, column, words_end, words_column, {0, 0}};
    newlines_of_line<level>(start, words_end, end, line_newlines, lines.last.newlines);
    return lines;
}

// A level's table of the kernel's operations.
template <typename level> constexpr textlib_kernel kernel_of() {
    return {skip_chunks<level>,        tally_chunks<level>,
            rune_starts_chunks<level>, rune_starts_fours_chunks<level>,
            look_chunks<level>,        level::reencode_bytes,
            scan_lines_chunks<level>};
}

} // namespace

#endif
