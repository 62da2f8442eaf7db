#include "textlib.h"

namespace {

inline unsigned byte_at(const char *src, int i) {
    return static_cast<unsigned char>(src[i]);
}
inline bool is_continuation(unsigned b) {
    return (b & 0xC0) == 0x80;
}
inline bool is_lead2(unsigned b) {
    return b >= 0xC0 && b <= 0xDF;
}
inline bool is_lead3(unsigned b) {
    return b >= 0xE0 && b <= 0xEF;
}

inline rune16 value2(unsigned b0, unsigned b1) {
    return static_cast<rune16>(((b0 & 0x1F) << 6) | (b1 & 0x3F));
}

inline rune16 value3(unsigned b0, unsigned b1, unsigned b2) {
    return static_cast<rune16>(((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
}

} // namespace

int u8_encode(char *dst, const rune16 *src) {
    const unsigned r = *src;
    if (r >= 0x01 && r <= 0x7F) {
        dst[0] = static_cast<char>(r);
        return 1;
    }
    if (r <= 0x7FF) {
        dst[0] = static_cast<char>(0xC0 | (r >> 6));
        dst[1] = static_cast<char>(0x80 | (r & 0x3F));
        return 2;
    }
    dst[0] = static_cast<char>(0xE0 | (r >> 12));
    dst[1] = static_cast<char>(0x80 | ((r >> 6) & 0x3F));
    dst[2] = static_cast<char>(0x80 | (r & 0x3F));
    return 3;
}

int u8_decode(rune16 *dst, const char *src) {
    *dst = RUNE_BAD;
    if (src == nullptr) return 1;
    const unsigned b0 = byte_at(src, 0);
    if (b0 < U8_SELF) {
        *dst = static_cast<rune16>(b0);
        return 1;
    }
    if (!is_lead2(b0) && !is_lead3(b0)) return 1;
    const unsigned b1 = byte_at(src, 1);
    if (!is_continuation(b1)) return 1;
    if (is_lead2(b0)) {
        *dst = value2(b0, b1);
        return 2;
    }
    const unsigned b2 = byte_at(src, 2);
    if (!is_continuation(b2)) return 1;
    *dst = value3(b0, b1, b2);
    return 3;
}

int u8_runewidth(std::int64_t rune) {
    if (rune >= 0x01 && rune <= 0x7F) return 1;
    if (rune >= 0x800) return 3;
    return 2;
}

int u8_isfull(const char *src, int n) {
    if (src == nullptr || n < 1 || n > U8_MAXBYTES) return 0;
    const unsigned b0 = byte_at(src, 0);
    int width = 0;
    if (b0 < U8_SELF)
        width = 1;
    else if (is_lead2(b0))
        width = 2;
    else if (is_lead3(b0))
        width = 3;
    if (width != n) return 0;
    rune16 r;
    return u8_decode(&r, src) == n && r != RUNE_BAD;
}
