// The kernel's reference: one rune at a time, straight from the codec's rules. Every other level is
// tested against it, and it serves where no other level is built.
#include "scan.h"

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

// Whether the byte after p may begin a blank or a newline; unknown at end, so it may.
bool blank_may_follow(const char *p, const char *end) {
    if (end - p < 2) return true;
    const unsigned b = byte_at(p + 1);
    return b == '\t' || b == '\n' || b == ' ' || b == 0xC0 || b == 0xE0;
}

bool stops_at(const char *p, const char *end, unsigned stops) {
    const unsigned b = byte_at(p);
    if (b == '\t') return (stops & TEXTLIB_STOP_TAB) != 0;
    if (b == '\n') {
        return (stops & TEXTLIB_STOP_NEWLINE) != 0 ||
               ((stops & TEXTLIB_STOP_NEWLINE_RUN) != 0 && blank_may_follow(p, end));
    }
    if (b == ' ') {
        return (stops & TEXTLIB_STOP_SPACE) != 0 ||
               ((stops & TEXTLIB_STOP_SPACE_RUN) != 0 && blank_may_follow(p, end));
    }
    return false;
}

} // namespace

const char *textlib_levels::skip_scalar(const char *p, const char *end, unsigned stops,
                                        std::uint64_t *column, std::uint64_t limit) {
    for (int width; p < end && (width = plain_width(p, end)) != 0; p += width) {
        if (stops_at(p, end, stops)) break;
        if (*p == '\n') {
            *column = 0;
        } else {
            if (*column >= limit) break;
            ++*column;
        }
    }
    return p;
}

const char *textlib_levels::count_scalar(const char *p, const char *end, textlib_counts *counts,
                                         bool *between_words) {
    for (int width; p < end && (width = plain_width(p, end)) != 0; p += width) {
        counts->runes++;
        if (*p == '\n') counts->lines++;
        if (*p == '\n' || *p == '\t' || *p == ' ') {
            *between_words = true;
        } else {
            if (*between_words) counts->words++;
            *between_words = false;
        }
    }
    return p;
}
