// The kernel's reference: one rune at a time, straight from the codec's rules. Every other level is
// tested against it, and it serves where no other level is built.
#include "lines.h"

#include <array>
#include <cstring>

namespace {

inline unsigned byte_at(const char *p) {
    return static_cast<unsigned char>(*p);
}

inline bool is_continuation(unsigned b) {
    return (b & 0xC0) == 0x80;
}

// The width of the plain rune at p, or 0 when the rune there is not plain or end cuts it.
int plain_width(const char *p, const char *end) {
    const unsigned b0 = byte_at(p);
    if (b0 >= 0x01 && b0 <= 0x7F) return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (end - p < 2 || !is_continuation(byte_at(p + 1))) return 0;
        return b0 == 0xC2 && byte_at(p + 1) == 0x80 ? 0 : 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (end - p < 3 || !is_continuation(byte_at(p + 1)) || !is_continuation(byte_at(p + 2)))
            return 0;
        return b0 == 0xE0 && byte_at(p + 1) < 0xA0 ? 0 : 3;
    }
    return 0;
}

bool is_separator(unsigned b) {
    return b == ' ' || b == '\n';
}

bool is_blank_or_newline(unsigned b) {
    return b == '\t' || is_separator(b);
}

// Whether the byte after p may begin a blank or a newline; unknown at end, so it may.
bool blank_may_follow(const char *p, const char *end) {
    if (end - p < 2) return true;
    const unsigned b = byte_at(p + 1);
    return is_blank_or_newline(b) || b == 0xC0 || b == 0xE0;
}

bool halts_at(const char *p, const char *end, unsigned halts) {
    const unsigned b = byte_at(p);
    if (b == '\t') return (halts & TEXTLIB_HALT_TAB) != 0;
    if (b == '\n') {
        return (halts & TEXTLIB_HALT_NEWLINE) != 0 ||
               ((halts & TEXTLIB_HALT_NEWLINE_RUN) != 0 && blank_may_follow(p, end));
    }
    if (b == ' ') {
        return (halts & TEXTLIB_HALT_SPACE) != 0 ||
               ((halts & TEXTLIB_HALT_SPACE_RUN) != 0 && blank_may_follow(p, end));
    }
    return false;
}

const char *skip_scalar(const char *p, const char *end, unsigned halts, std::uint64_t *column,
                        std::uint64_t limit) {
    for (int width; p < end && (width = plain_width(p, end)) != 0; p += width) {
        if (halts_at(p, end, halts)) break;
        if (column == nullptr) continue;
        if (*p == '\n') {
            *column = 0;
        } else {
            if (*column >= limit) break;
            ++*column;
        }
    }
    return p;
}

// The width of the rune at p as rune_fgetc groups the bytes before end, and whether it is
// malformed; *value is the rune. *cut tells that more bytes after end could have made it longer.
int grouped_width(const char *p, const char *end, unsigned *value, bool *bad, bool *cut) {
    const unsigned b0 = byte_at(p);
    const int wanted = b0 >= 0xC0 && b0 <= 0xDF ? 2 : b0 >= 0xE0 && b0 <= 0xEF ? 3 : 1;
    int width = 1;
    while (width < wanted && p + width < end && is_continuation(byte_at(p + width)))
        width++;
    *cut = width < wanted && p + width == end;
    *value = b0;
    if (width == 2) *value = ((b0 & 0x1F) << 6) | (byte_at(p + 1) & 0x3F);
    if (width == 3) {
        *value = ((b0 & 0x0F) << 12) | ((byte_at(p + 1) & 0x3F) << 6) | (byte_at(p + 2) & 0x3F);
    }
    *bad = width < wanted || (b0 >= 0x80 && b0 <= 0xBF) || b0 >= 0xF0 || *value == 0x80;
    return width;
}

const char *tally_scalar(const char *p, const char *end, bool at_end, unsigned selection,
                         textlib_counts *counts, bool *between_words) {
    if ((selection & 15) == 0) return end;
    const bool lines_alone = (selection & 15) == TEXTLIB_COUNT_LINES;
    if (lines_alone && !at_end) {
        // An overlong newline may begin in the last two bytes.
        for (const char *q = end - 2 > p ? end - 2 : p; q < end; q++) {
            if (byte_at(q) == 0xC0 || byte_at(q) == 0xE0) {
                end = q;
                break;
            }
        }
    }
    while (p < end) {
        unsigned r;
        bool bad, cut;
        const int width = grouped_width(p, end, &r, &bad, &cut);
        if (cut && !at_end && !lines_alone) break;
        p += width;
        if ((selection & TEXTLIB_COUNT_RUNES) != 0) counts->runes++;
        if (bad) {
            if ((selection & TEXTLIB_COUNT_BROKEN) != 0) counts->broken++;
            continue;
        }
        if (r == '\n' && (selection & TEXTLIB_COUNT_LINES) != 0) counts->lines++;
        if ((selection & TEXTLIB_COUNT_WORDS) == 0) continue;
        if (is_blank_or_newline(r)) {
            *between_words = true;
        } else {
            if (*between_words) counts->words++;
            *between_words = false;
        }
    }
    return p;
}

textlib_runes rune_starts_scalar(const char *p, const char *end) {
    const std::ptrdiff_t length = end - p < 64 ? end - p : 64;
    textlib_runes runes{0, 0, 0, 0, 0, 0, 0, 0};
    const auto continues = [p, length](std::ptrdiff_t i) {
        return i < length && is_continuation(byte_at(p + i));
    };
    std::ptrdiff_t at = 0;
    while (at < length) {
        const unsigned b0 = byte_at(p + at);
        const std::ptrdiff_t wanted = b0 >= 0xC0 && b0 <= 0xDF   ? 2
                                      : b0 >= 0xE0 && b0 <= 0xEF ? 3
                                                                 : 1;
        std::ptrdiff_t width = 1;
        while (width < wanted && continues(at + width))
            width++;
        // More bytes could still continue a sequence that the length cuts.
        if (width < wanted && at + width == length) break;
        const std::uint64_t bit = std::uint64_t{1} << at;
        runes.starts |= bit;
        if (plain_width(p + at, p + length) == width) runes.plain |= bit;
        if (b0 == '\t') runes.tabs |= bit;
        if (b0 == '\n') runes.newlines |= bit;
        if (b0 == ' ') runes.spaces |= bit;
        if (b0 == 0) runes.zeros |= bit;
        if (wanted == 3 && width == 2) runes.cut_short |= bit;
        at += width;
    }
    runes.whole = static_cast<unsigned>(at);
    return runes;
}

textlib_runes rune_starts_fours_scalar(const char *p, const char *end, std::uint64_t *four_leads) {
    const textlib_runes runes = rune_starts_scalar(p, end);
    const std::ptrdiff_t length = end - p < 64 ? end - p : 64;
    // A continuation byte, or none looked at, may go on with a four-byte sequence.
    const auto goes_on = [p, length](std::ptrdiff_t i) {
        return i >= length || is_continuation(byte_at(p + i));
    };
    *four_leads = 0;
    for (std::ptrdiff_t at = 0; at < runes.whole; at++) {
        const unsigned b = byte_at(p + at);
        if (b >= 0xF0 && b <= 0xF4 && goes_on(at + 1) && goes_on(at + 2) && goes_on(at + 3))
            *four_leads |= std::uint64_t{1} << at;
    }
    return runes;
}

textlib_view look_scalar(const char *p, const char *end) {
    const std::ptrdiff_t length = end - p < 64 ? end - p : 64;
    textlib_view view{0, 0, 0, 0};
    for (std::ptrdiff_t i = 0; i < length; i++) {
        const unsigned b = byte_at(p + i);
        view.tabs |= std::uint64_t{b == '\t'} << i;
        view.newlines |= std::uint64_t{b == '\n'} << i;
        view.spaces |= std::uint64_t{b == ' '} << i;
    }
    // Plain runes that lie wholly within the bytes looked at.
    const char *const limit = p + length;
    const char *q = p;
    for (int width; q < limit && (width = plain_width(q, limit)) != 0;)
        q += width;
    // A sequence that limit cuts may still be plain.
    view.plain_length = static_cast<unsigned>(q - p);
    return view;
}

textlib_line scan_line_scalar(const char *p, const char *end, std::uint64_t column,
                              std::uint64_t limit, bool newline_halts, bool *full) {
    textlib_line line = {p, column, p, column, {0, 0}};
    *full = false;
    const char *q = p;
    for (int width; q < end && (width = plain_width(q, end)) != 0; q += width) {
        const unsigned b = byte_at(q);
        if (b == '\t' || (b == '\n' && newline_halts)) break;
        if (is_separator(b)) {
            const char *const next = q + 1;
            if (next == end || is_blank_or_newline(byte_at(next)) || plain_width(next, end) == 0)
                break;
        }
        if (column >= limit) {
            *full = true;
            break;
        }
        if (is_separator(b)) {
            line.words_end = q;
            line.words_column = column;
        }
        column++;
    }
    line.q = q;
    line.column = column;
    if (q < end && is_blank_or_newline(byte_at(q))) {
        line.words_end = q;
        line.words_column = column;
    }
    for (const char *at = p;
         at < line.words_end && static_cast<std::size_t>(at - p) < TEXTLIB_LINE_NEWLINE_WINDOW;
         at++) {
        if (*at == '\n') line.newlines[(at - p) / 64] |= std::uint64_t{1} << ((at - p) % 64);
    }
    return line;
}

textlib_lines scan_lines_scalar(textlib_line_chunk *, const char *p, const char *end,
                                std::uint64_t column, std::uint64_t limit, std::uint64_t opening,
                                bool newline_halts) {
    return scan_lines_with(p, column, limit, opening,
                           [=](const char *from, std::uint64_t at, bool *full) {
                               return scan_line_scalar(from, end, at, limit, newline_halts, full);
                           });
}

// How each byte is written: as itself; doubled, as a lead C0 (for 00) or C2, then 80; dropped,
// not at all. Its bytes, then their count; by byte, then 256 more when doubled, 512 more when
// dropped.
struct written_byte {
    char bytes[2];
    unsigned char count;
};

constexpr auto WRITTEN = [] {
    std::array<written_byte, 1024> written{};
    for (unsigned b = 0; b < 256; b++) {
        written[b] = {{static_cast<char>(b), 0}, 1};
        written[256 + b] = {{static_cast<char>(b == 0 ? 0xC0 : 0xC2), static_cast<char>(0x80)}, 2};
        written[512 + b] = written[768 + b] = {{0, 0}, 0};
    }
    return written;
}();

} // namespace

// No branch on the bytes: in text of bytes at random none would be predictable.
char *textlib_reencode_bytes_scalar(char *o, const char *p, unsigned n, std::uint64_t doubled,
                                    std::uint64_t drop) {
    for (unsigned i = 0; i < n; i++, doubled >>= 1, drop >>= 1) {
        const auto b = static_cast<unsigned char>(p[i]);
        const written_byte &written = WRITTEN[b | (doubled & 1) << 8 | (drop & 1) << 9];
        std::memcpy(o, written.bytes, 2);
        o += written.count;
    }
    return o;
}

namespace {

bool always() {
    return true;
}

} // namespace

extern constinit const textlib_level textlib_level_scalar = {
    "scalar",
    always,
    {skip_scalar, tally_scalar, rune_starts_scalar, rune_starts_fours_scalar, look_scalar,
     textlib_reencode_bytes_scalar, scan_lines_scalar}};
