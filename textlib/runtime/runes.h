// How the tools' fast paths decode and encode runes: the codec's grouping of bytes, and the
// runes the filters treat apart. Internal to textlib and the tools.
#ifndef TEXTLIB_RUNTIME_RUNES_H
#define TEXTLIB_RUNTIME_RUNES_H

#include "textlib.h"

#include <cstddef>
#include <cstdint>

// The runes the filters treat apart: blanks are tab and space, and no other rune.
constexpr int TEXTLIB_TAB = 9;
constexpr int TEXTLIB_NEWLINE = 10;
constexpr int TEXTLIB_SPACE = 32;

inline bool textlib_is_blank(int r) {
    return r == TEXTLIB_SPACE || r == TEXTLIB_TAB;
}

// Groups the bytes at p, n of them (at least 1), into one rune exactly as rune_fgetc groups a
// stream: stores the rune and returns the bytes it takes, 1 to 3. A malformed sequence ends before
// the first byte that cannot continue it. Where the n bytes end a sequence that more bytes could
// complete, returns 0 unless at_end says that no more will come.
inline int textlib_take(rune16 *r, const char *p, std::size_t n, bool at_end) {
    const auto byte = [p](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(p[i]));
    };
    const auto continues = [&byte](std::size_t i) { return (byte(i) & 0xC0) == 0x80; };
    const unsigned b0 = byte(0);
    *r = RUNE_BAD;
    if (b0 < 0x80) {
        *r = static_cast<rune16>(b0);
        return 1;
    }
    if (b0 < 0xC0 || b0 >= 0xF0) return 1;
    if (n < 2) return at_end ? 1 : 0;
    if (!continues(1)) return 1;
    if (b0 < 0xE0) {
        *r = static_cast<rune16>(((b0 & 0x1F) << 6) | (byte(1) & 0x3F));
        return 2;
    }
    if (n < 3) return at_end ? 2 : 0;
    if (!continues(2)) return 2;
    *r = static_cast<rune16>(((b0 & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F));
    return 3;
}

// The rune of width bytes at p, 1 to 3, one whole rune as rune_fgetc groups them, decoded with
// shifts and masks alone: in text of bytes at random no test on them would be predictable.
inline rune16 textlib_rune_at(const char *p, unsigned width) {
    const auto byte = [p](unsigned i) {
        return static_cast<unsigned>(static_cast<unsigned char>(p[i]));
    };
    const unsigned b0 = byte(0), b1 = byte(width > 1), b2 = byte(width - 1);
    const unsigned bits = (b0 << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
    // 7, 11 or 16 bits of value by width.
    constexpr std::uint64_t kept = 0xFFFF07FF007F;
    const unsigned value =
        (bits >> (6 * (3 - width))) & static_cast<unsigned>(kept >> (16 * (width - 1)));
    // Malformed: a lone byte of 80 and up, or a three-byte lead cut after its first continuation
    // byte; one bit of a constant, by width and the lead's top three bits.
    const unsigned bad = (0x80F0u >> (8 * (width - 1) + (b0 >> 5))) & 1;
    return static_cast<rune16>(value ^ ((value ^ RUNE_BAD) & (0u - bad)));
}

// u8_encode without a branch on the rune: stores three bytes at o, of which the count returned
// are the rune's.
inline int textlib_encode3(char *o, unsigned r) {
    const unsigned n = 1 + (r - 1 >= 0x7F) + (r >= 0x800);
    const unsigned three = n == 3;
    // The lead's marker bits are byte n - 1 of E0 C0 00.
    o[0] = static_cast<char>(((0xE0C000u >> (8 * (n - 1))) & 0xFF) | (r >> (6 * (n - 1))));
    o[1] = static_cast<char>(0x80 | ((r >> (6 * three)) & 0x3F));
    o[2] = static_cast<char>(0x80 | (r & 0x3F));
    return static_cast<int>(n);
}

#endif
