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

// The lines as scan_lines_with makes them, in one pass over the chunks: a line ends within the
// chunk that it reaches the limit in, and the next goes on from there.
template <typename level>
textlib_lines scan_lines_chunks(textlib_line_chunk *chunk, const char *p, const char *end,
                                std::uint64_t column, std::uint64_t limit, std::uint64_t opening,
                                bool newline_halts) {
    __extension__ typedef unsigned __int128 offsets;
    static_assert(sizeof(offsets) * 8 == TEXTLIB_LINE_NEWLINE_WINDOW);
    const std::uint64_t halt_newlines = newline_halts ? ~std::uint64_t{0} : 0;
    textlib_lines lines;
    lines.count = 0;
    textlib_line_chunk k = *chunk;
    // The line being scanned: where it starts, its words so far and the newlines among them.
    const char *start = p, *words_end = p;
    std::uint64_t words_column = column;
    offsets newlines = 0;
    const auto line_newlines = [&start, &words_end, &newlines](std::uint64_t(&to)[2]) {
        const auto words = static_cast<std::size_t>(words_end - start);
        const offsets kept = newlines != 0 && words < TEXTLIB_LINE_NEWLINE_WINDOW
                                 ? newlines & ((offsets{1} << words) - 1)
                                 : newlines;
        to[0] = static_cast<std::uint64_t>(kept);
        to[1] = static_cast<std::uint64_t>(kept >> 64);
    };
    bool passed = false;
    const char *c = p;
    while (c < end) {
        if (k.at == nullptr || c < k.at || c >= k.at + k.usable) {
            k = look_line<level>(c, end);
            if (k.usable == 0) break;
        }
        const auto from = static_cast<unsigned>(c - k.at);
        const std::uint64_t window = textlib_below(k.usable) & ~textlib_below(from);
        const std::uint64_t halts = (k.halts | (k.newlines & halt_newlines)) & window;
        const unsigned to = halts != 0 ? textlib_lowest(halts) : k.usable;
        const std::uint64_t passing = window & textlib_below(to);
        const std::uint64_t runes = k.starts & passing;
        const auto n = static_cast<std::uint64_t>(level::popcount(runes));
        // Up to the rune past the limit when it is here: a separator there ends the line's last
        // word.
        const bool at_limit = n > limit - column;
        const unsigned over = at_limit ? select_bit<level>(runes, limit - column) : to;
        const std::uint64_t separators = k.separators & passing & textlib_below(over + 1);
        if (separators != 0) {
            const unsigned last = textlib_highest(separators);
            words_end = k.at + last;
            words_column =
                column + static_cast<std::uint64_t>(level::popcount(runes & textlib_below(last)));
        }
        const auto offset = static_cast<std::size_t>(c - start);
        // With --prefix most scans pass no newline, and the wide shift costs more than the test.
        if ((k.newlines & passing) != 0 && offset < TEXTLIB_LINE_NEWLINE_WINDOW)
            newlines |= offsets{(k.newlines & passing) >> from} << offset;
        if (at_limit) {
            if (words_end == start || lines.count == TEXTLIB_LINES_MOST) {
                column = limit;
                c = k.at + over;
                break;
            }
            // The separator ends the line, and the next starts after it.
            std::uint64_t(&ended)[2] = lines.newlines[lines.count];
            line_newlines(ended);
            lines.ends[lines.count++] = words_end;
            passed = passed || passes_newline(start, words_end, ended);
            start = c = words_end + 1;
            words_end = start;
            column = words_column = passed ? 0 : std::min(opening, limit);
            newlines = 0;
            continue;
        }
        column += n;
        c = k.at + to;
        if (to < k.usable) {
            // At a blank.
            words_end = c;
            words_column = column;
            break;
        }
    }
    *chunk = k;
    lines.last = {c, column, words_end, words_column, {0, 0}};
    line_newlines(lines.last.newlines);
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
