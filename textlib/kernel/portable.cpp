// The kernel on 64-bit integers alone, for every architecture: a chunk is eight words, and each
// compare a few integer operations a word. A word holds eight bytes in little-endian order
// whatever the machine's, so that byte i of a word is always its bits 8i to 8i + 7.
#include "chunks.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr std::uint64_t ONES = 0x0101010101010101;
constexpr std::uint64_t HIGHS = 0x8080808080808080;
constexpr std::uint64_t LOWS = 0x7F7F7F7F7F7F7F7F;

inline std::uint64_t load_little_endian(const char *p) {
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
    return x;
}

// Each compare sets the high bit of the bytes of x for which it holds, and no other bit.
inline std::uint64_t equal_bytes(std::uint64_t x, unsigned byte) {
    const std::uint64_t zero_where_equal = x ^ (byte * ONES);
    return ~(((zero_where_equal & LOWS) + LOWS) | zero_where_equal) & HIGHS;
}

// Unsigned: the low seven bits compared by an add that cannot carry out of its byte, then the
// high bit.
inline std::uint64_t at_least_bytes(std::uint64_t x, unsigned byte) {
    const std::uint64_t low_at_least = ((x & LOWS) + (0x80 - (byte & 0x7F)) * ONES) & HIGHS;
    return byte < 0x80 ? (x & HIGHS) | low_at_least : x & low_at_least;
}

// The high bit of each byte of flags, for bytes 0 to 7, as bits 0 to 7: the multiply moves the
// high bit of byte k to bit 56 + k, and no two of its partial products meet.
inline std::uint64_t gather(std::uint64_t flags) {
    return (flags * 0x0002040810204081) >> 56;
}

struct portable_level {
    static constexpr bool fast_deposit = false;
    static constexpr auto reencode_bytes = textlib_reencode_bytes_scalar;

    static int popcount(std::uint64_t x) { return static_cast<int>(textlib_bit_count(x)); }

    // A compare's flags: the high bit of each byte of the eight words where it holds.
    using chunk = std::array<std::uint64_t, 8>;
    using bytes = chunk;
    static chunk load(const char *p) {
        chunk c;
        for (unsigned i = 0; i < 8; i++)
            c[i] = load_little_endian(p + 8 * i);
        return c;
    }
    template <typename compare> static bytes each(const chunk &c, compare holds) {
        bytes flags;
        for (unsigned i = 0; i < 8; i++)
            flags[i] = holds(c[i]);
        return flags;
    }

    static bytes equal(const chunk &c, int byte) {
        return each(c, [byte](std::uint64_t x) { return equal_bytes(x, unsigned(byte)); });
    }
    static bytes at_least(const chunk &c, int byte) {
        return each(c, [byte](std::uint64_t x) { return at_least_bytes(x, unsigned(byte)); });
    }
    static bytes within(const chunk &c, int low, int high) {
        return each(c, [low, high](std::uint64_t x) {
            const std::uint64_t above = high >= 0xFF ? 0 : at_least_bytes(x, unsigned(high + 1));
            return at_least_bytes(x, unsigned(low)) & ~above;
        });
    }
    // Signed compares are unsigned ones with the high bits flipped.
    static bytes signed_below(const chunk &c, int byte) {
        const unsigned flipped = (unsigned(byte) & 0xFF) ^ 0x80;
        return each(
            c, [flipped](std::uint64_t x) { return ~at_least_bytes(x ^ HIGHS, flipped) & HIGHS; });
    }
    static bytes signed_above(const chunk &c, int byte) {
        const unsigned flipped = (unsigned(byte) & 0xFF) ^ 0x80;
        return each(c, [flipped](std::uint64_t x) {
            return flipped == 0xFF ? 0 : at_least_bytes(x ^ HIGHS, flipped + 1);
        });
    }
    static bytes either(const bytes &x, const bytes &y) {
        bytes flags;
        for (unsigned i = 0; i < 8; i++)
            flags[i] = x[i] | y[i];
        return flags;
    }
    static std::uint64_t mask(const bytes &x) {
        std::uint64_t bits = 0;
        for (unsigned i = 0; i < 8; i++)
            bits |= gather(x[i]) << (8 * i);
        return bits;
    }
    static bool any(const bytes &x) {
        std::uint64_t all = 0;
        for (const std::uint64_t flags : x)
            all |= flags;
        return all != 0;
    }
};

bool always() {
    return true;
}

} // namespace

extern constinit const textlib_level textlib_level_portable = {"portable", always,
                                                               kernel_of<portable_level>()};
