// Units: runes together with the bytes they were read from, so that --keep-bytes can write
// malformed input back as it came and keep a four-byte sequence whole. Internal to textlib and
// the tools.
#ifndef TEXTLIB_RUNTIME_UNITS_H
#define TEXTLIB_RUNTIME_UNITS_H

#include "runes.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

// The most bytes of one unit: a four-byte sequence, which --keep-bytes reads as one RUNE_BAD.
constexpr unsigned TEXTLIB_UNIT_MAXBYTES = 4;

// Whether the n bytes at p begin the four-byte sequence of a character from U+10000 to U+10FFFF:
// TEXTLIB_UNIT_MAXBYTES when they hold all of it, 0 when they end where more bytes could
// complete one, -1 when no bytes could.
inline int textlib_four_bytes(const char *p, std::size_t n) {
    const auto byte = [p](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(p[i]));
    };
    const unsigned b0 = byte(0);
    if (b0 < 0xF0 || b0 > 0xF4) return -1;
    for (std::size_t i = 1; i < TEXTLIB_UNIT_MAXBYTES; i++) {
        if (i == n) return 0;
        // The second byte keeps the value above U+FFFF (after F0) and within U+10FFFF (after F4).
        const unsigned low = i == 1 && b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned high = i == 1 && b0 == 0xF4 ? 0x8F : 0xBF;
        if (byte(i) < low || byte(i) > high) return -1;
    }
    return TEXTLIB_UNIT_MAXBYTES;
}

// The character of the whole four-byte sequence at p.
inline std::uint32_t textlib_char_of_four(const char *p) {
    const auto bits = [p](unsigned i, unsigned mask) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(p[i]) & mask) << 6 * (3 - i);
    };
    return bits(0, 0x07) | bits(1, 0x3F) | bits(2, 0x3F) | bits(3, 0x3F);
}

// textlib_take, but with keep_bytes a four-byte sequence is one RUNE_BAD of four bytes, and one
// that the n bytes cut short waits for more (returns 0) unless at_end.
inline int textlib_take_unit(rune16 *r, const char *p, std::size_t n, bool at_end) {
    if (keep_bytes) {
        const int four = textlib_four_bytes(p, n);
        if (four > 0) *r = RUNE_BAD;
        if (four > 0 || (four == 0 && !at_end)) return four;
    }
    return textlib_take(r, p, n, at_end);
}

// Writes at o, which has room for TEXTLIB_UNIT_MAXBYTES, the rune r read from its width bytes at
// p: as the codec writes it or, with keep and r malformed, as those bytes. Returns the bytes
// written. TEXTLIB_UNIT_MAXBYTES bytes at p may be read. keep is keep_bytes, a constant where a
// loop is made for one value of it, so that the loop made without it tests nothing more.
inline unsigned textlib_unit_write(char *o, rune16 r, const char *p, unsigned width, bool keep) {
    // Kept, malformed bytes mostly go in stretches, and few of the runes handed over one at a time
    // are malformed, even in bytes at random: the branch is predictable, and cheaper than a
    // choice without one.
    if (keep && r == RUNE_BAD) [[unlikely]] {
        std::memcpy(o, p, TEXTLIB_UNIT_MAXBYTES);
        return width;
    }
    return static_cast<unsigned>(textlib_encode3(o, r));
}

// A rune as the rune-by-rune references read it, with its bytes.
struct textlib_unit {
    rune16 rune;
    unsigned n;
    char bytes[TEXTLIB_UNIT_MAXBYTES];
};

// Reads a stream a unit at a time, a few bytes ahead, so it must be the stream's only reader.
struct textlib_unit_reader {
    FILE *stream;
    std::size_t have;
    char ahead[TEXTLIB_UNIT_MAXBYTES];
};

// The next unit of the reader's stream: its rune, as rune_fgetc would return it but that with
// keep_bytes a four-byte sequence is one RUNE_BAD, or -1 at the end.
int textlib_unit_fgetc(textlib_unit_reader *reader, textlib_unit *unit);
// Writes the unit as rune_fputc writes its rune or, with keep_bytes and a malformed rune, as its
// bytes.
void textlib_unit_fputc(const textlib_unit &unit, FILE *stream);

#endif
