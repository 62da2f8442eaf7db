// The kernel on NEON, which every ARMv8-A CPU has: 16 bytes a compare, and each mask of 64 bytes
// made by one reduction of its four registers. Built only for little-endian aarch64, where lane 0
// of a register is its lowest byte.
#include "chunks.h"
#include "writer_tables.h"

#include <arm_neon.h>

namespace {

// Bit i % 8 in byte i: a mask's bytes added pairwise three times become its bits.
const uint8x16_t BIT_OF_BYTE = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};

struct neon_level {
    static constexpr bool fast_deposit = false;
    static char *reencode_bytes(char *o, const char *p, unsigned n, std::uint64_t doubled,
                                std::uint64_t drop);

    static int popcount(std::uint64_t x) { return __builtin_popcountll(x); }

    // A compare's flags: its four registers of bytes, all ones where it holds.
    struct chunk {
        uint8x16_t v[4];
    };
    using bytes = chunk;
    static chunk load(const char *p) {
        const auto *const at = reinterpret_cast<const std::uint8_t *>(p);
        return {{vld1q_u8(at), vld1q_u8(at + 16), vld1q_u8(at + 32), vld1q_u8(at + 48)}};
    }
    template <typename compare> static bytes each(const chunk &c, compare holds) {
        return {{holds(c.v[0]), holds(c.v[1]), holds(c.v[2]), holds(c.v[3])}};
    }
    static uint8x16_t splat(int byte) { return vdupq_n_u8(static_cast<std::uint8_t>(byte)); }
    static int8x16_t as_signed(uint8x16_t v) { return vreinterpretq_s8_u8(v); }
    static int8x16_t signed_splat(int byte) { return vdupq_n_s8(static_cast<std::int8_t>(byte)); }

    static bytes equal(const chunk &c, int byte) {
        return each(c, [b = splat(byte)](uint8x16_t v) { return vceqq_u8(v, b); });
    }
    static bytes at_least(const chunk &c, int byte) {
        return each(c, [b = splat(byte)](uint8x16_t v) { return vcgeq_u8(v, b); });
    }
    static bytes within(const chunk &c, int low, int high) {
        return each(c, [l = splat(low), span = splat(high - low)](uint8x16_t v) {
            return vcleq_u8(vsubq_u8(v, l), span);
        });
    }
    static bytes signed_below(const chunk &c, int byte) {
        return each(c,
                    [b = signed_splat(byte)](uint8x16_t v) { return vcltq_s8(as_signed(v), b); });
    }
    static bytes signed_above(const chunk &c, int byte) {
        return each(c,
                    [b = signed_splat(byte)](uint8x16_t v) { return vcgtq_s8(as_signed(v), b); });
    }
    static bytes either(const bytes &x, const bytes &y) {
        return {{vorrq_u8(x.v[0], y.v[0]), vorrq_u8(x.v[1], y.v[1]), vorrq_u8(x.v[2], y.v[2]),
                 vorrq_u8(x.v[3], y.v[3])}};
    }
    // One reduction for the 64 bytes: each byte keeps its bit of BIT_OF_BYTE, and three rounds
    // of pairwise adds gather eight bytes' bits into one.
    static std::uint64_t mask(const bytes &x) {
        const uint8x16_t a = vandq_u8(x.v[0], BIT_OF_BYTE), b = vandq_u8(x.v[1], BIT_OF_BYTE);
        const uint8x16_t d = vandq_u8(x.v[2], BIT_OF_BYTE), e = vandq_u8(x.v[3], BIT_OF_BYTE);
        const uint8x16_t sums = vpaddq_u8(vpaddq_u8(a, b), vpaddq_u8(d, e));
        return vgetq_lane_u64(vreinterpretq_u64_u8(vpaddq_u8(sums, sums)), 0);
    }
    static bool any(const bytes &x) {
        const uint8x16_t all = vorrq_u8(vorrq_u8(x.v[0], x.v[1]), vorrq_u8(x.v[2], x.v[3]));
        return vmaxvq_u8(all) != 0;
    }
};

// A byte of all ones for each bit of bits.
inline uint8x16_t bytes_of_bits(unsigned bits) {
    const uint8x16_t halves = vreinterpretq_u8_u16(vdupq_n_u16(static_cast<std::uint16_t>(bits)));
    const uint8x16_t spread =
        vqtbl1q_u8(halves, uint8x16_t{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1});
    return vtstq_u8(spread, BIT_OF_BYTE);
}

// Sixteen bytes at a time, as SSSE3's writer: the leads of the runes written as two put in place,
// then each group of eight spread by its pattern; or, where bytes are dropped, each byte paired
// with an 80 and each group of four pairs packed by its pattern.
char *neon_level::reencode_bytes(char *o, const char *p, unsigned n, std::uint64_t doubled,
                                 std::uint64_t drop) {
    const uint8x16_t zero = vdupq_n_u8(0), eighty = vdupq_n_u8(0x80);
    auto *out = reinterpret_cast<std::uint8_t *>(o);
    const auto *const in = reinterpret_cast<const std::uint8_t *>(p);
    for (unsigned i = 0; i < n; i += 16) {
        const uint8x16_t x = vld1q_u8(in + i);
        const unsigned bytes = n - i < 16 ? n - i : 16;
        const unsigned written = static_cast<unsigned>(~(drop >> i)) & ((1u << bytes) - 1);
        const unsigned twice = static_cast<unsigned>(doubled >> i) & written;
        // C0 for 00, else C2: the two differ in one bit.
        const uint8x16_t lead = veorq_u8(splat(0xC2), vandq_u8(vceqq_u8(x, zero), splat(0x02)));
        const uint8x16_t first = vbslq_u8(bytes_of_bits(twice), lead, x);
        if (written == (1u << bytes) - 1) {
            const uint8x16_t groups[2] = {vcombine_u8(vget_low_u8(first), vget_low_u8(eighty)),
                                          vcombine_u8(vget_high_u8(first), vget_low_u8(eighty))};
            for (unsigned g = 0; 8 * g < bytes; g++) {
                const unsigned group = (twice >> (8 * g)) & 0xFF;
                const uint8x16_t pattern =
                    vld1q_u8(reinterpret_cast<const std::uint8_t *>(DOUBLING[group].data()));
                vst1q_u8(out, vqtbl1q_u8(groups[g], pattern));
                const unsigned in_group = bytes - 8 * g < 8 ? bytes - 8 * g : 8;
                out += in_group + static_cast<unsigned>(__builtin_popcount(group));
            }
            continue;
        }
        const uint8x16_t pairs[2] = {vzip1q_u8(first, eighty), vzip2q_u8(first, eighty)};
        for (unsigned g = 0; 4 * g < bytes; g++) {
            const unsigned group = ((written >> (4 * g)) & 0xF) | ((twice >> (4 * g)) & 0xF) << 4;
            uint8x8_t pattern =
                vld1_u8(reinterpret_cast<const std::uint8_t *>(SPREAD[group].data()));
            if ((g & 1) != 0) pattern = vadd_u8(pattern, vdup_n_u8(8));
            vst1_u8(out, vqtbl1_u8(pairs[g / 2], pattern));
            out += __builtin_popcount(group);
        }
    }
    return reinterpret_cast<char *>(out);
}

bool always() {
    return true;
}

} // namespace

extern constinit const textlib_level textlib_level_neon = {"neon", always, kernel_of<neon_level>()};
