// The patterns by which the writers of one-byte runes that shuffle bytes (SSSE3's, NEON's) spread
// a group of bytes so that each rune written as two gets its 80.
#ifndef TEXTLIB_KERNEL_WRITER_TABLES_H
#define TEXTLIB_KERNEL_WRITER_TABLES_H

#include <array>

namespace {

// For each group of eight bytes by which of them are written as two: where each byte written comes
// from, byte i of the group or byte 8, which holds the 80 that follows a lead C0 or C2.
alignas(16) constexpr auto DOUBLING = [] {
    std::array<std::array<char, 16>, 256> from{};
    for (unsigned doubled = 0; doubled < 256; doubled++) {
        unsigned at = 0;
        for (char i = 0; i < 8; i++) {
            from[doubled][at++] = i;
            if (((doubled >> i) & 1) != 0) from[doubled][at++] = 8;
        }
    }
    return from;
}();

// For bytes some of which are dropped, each group of four bytes by which of them are written (low
// four bits) and which of those are written as two (high four): where each byte written comes from
// among the group's pairs, the byte itself at 2i and the 80 that follows a lead C0 or C2 at 2i + 1.
constexpr auto SPREAD = [] {
    std::array<std::array<char, 8>, 256> from{};
    for (unsigned group = 0; group < 256; group++) {
        unsigned at = 0;
        for (char i = 0; i < 4; i++) {
            if (((group >> i) & 1) == 0) continue;
            from[group][at++] = static_cast<char>(2 * i);
            if (((group >> (4 + i)) & 1) != 0) from[group][at++] = static_cast<char>(2 * i + 1);
        }
    }
    return from;
}();

} // namespace

#endif
