// The kernel's operations over 64-byte chunks, written once for every level but the scalar
// reference: each level's source includes this header with its level type (see classify.h) and
// makes its table with kernel_of.
#ifndef TEXTLIB_KERNEL_CHUNKS_H
#define TEXTLIB_KERNEL_CHUNKS_H

#include "counts.h"

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

template <typename level>
textlib_line scan_line_chunks(textlib_line_chunk *chunk, const char *p, const char *end,
                              std::uint64_t column, std::uint64_t limit) {
    textlib_line line = {p, column, p, column, {0, 0}};
    __extension__ typedef unsigned __int128 offsets;
    static_assert(sizeof(offsets) * 8 == TEXTLIB_LINE_NEWLINE_WINDOW);
    offsets newlines = 0;
    const char *c = p;
    while (c < end) {
        if (chunk->at == nullptr || c < chunk->at || c >= chunk->at + chunk->usable) {
            *chunk = look_line<level>(c, end);
            if (chunk->usable == 0) break;
        }
        const auto from = static_cast<unsigned>(c - chunk->at);
        const std::uint64_t window = textlib_below(chunk->usable) & ~textlib_below(from);
        const std::uint64_t halts = chunk->halts & window;
        const unsigned to = halts != 0 ? textlib_lowest(halts) : chunk->usable;
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
        if (offset < TEXTLIB_LINE_NEWLINE_WINDOW)
            newlines |= offsets{(chunk->newlines & passing) >> from} << offset;
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
    if (words < TEXTLIB_LINE_NEWLINE_WINDOW) newlines &= (offsets{1} << words) - 1;
    line.newlines[0] = static_cast<std::uint64_t>(newlines);
    line.newlines[1] = static_cast<std::uint64_t>(newlines >> 64);
    return line;
}

// A level's table of the kernel's operations.
template <typename level> constexpr textlib_kernel kernel_of() {
    return {skip_chunks<level>,        tally_chunks<level>,
            rune_starts_chunks<level>, rune_starts_fours_chunks<level>,
            look_chunks<level>,        level::reencode_bytes,
            scan_line_chunks<level>};
}

} // namespace

#endif
