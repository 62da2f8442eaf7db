// Compares of 64 bytes in four SSE2 registers, which every x86-64 CPU has: the flags of a compare
// are its four registers of bytes, all ones where it holds.
#ifndef TEXTLIB_KERNEL_X86_64_SSE2_H
#define TEXTLIB_KERNEL_X86_64_SSE2_H

#include "chunks.h"

#include <emmintrin.h>

namespace {

struct sse2_compares {
    static constexpr bool fast_deposit = false;

    static int popcount(std::uint64_t x) { return static_cast<int>(textlib_bit_count(x)); }

    struct chunk {
        __m128i v[4];
    };
    using bytes = chunk;
    static chunk load(const char *p) {
        chunk c;
        for (int i = 0; i < 4; i++)
            c.v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
        return c;
    }
    template <typename compare> static bytes each(const chunk &c, compare holds) {
        return {{holds(c.v[0]), holds(c.v[1]), holds(c.v[2]), holds(c.v[3])}};
    }
    static __m128i splat(int byte) { return _mm_set1_epi8(static_cast<char>(byte)); }

    static bytes equal(const chunk &c, int byte) {
        return each(c, [b = splat(byte)](__m128i v) { return _mm_cmpeq_epi8(v, b); });
    }
    static bytes at_least(const chunk &c, int byte) {
        return each(c,
                    [b = splat(byte)](__m128i v) { return _mm_cmpeq_epi8(_mm_max_epu8(v, b), v); });
    }
    static bytes within(const chunk &c, int low, int high) {
        return each(c, [l = splat(low), h = splat(high)](__m128i v) {
            return _mm_cmpeq_epi8(_mm_min_epu8(_mm_max_epu8(v, l), h), v);
        });
    }
    static bytes signed_below(const chunk &c, int byte) {
        return each(c, [b = splat(byte)](__m128i v) { return _mm_cmplt_epi8(v, b); });
    }
    static bytes signed_above(const chunk &c, int byte) {
        return each(c, [b = splat(byte)](__m128i v) { return _mm_cmpgt_epi8(v, b); });
    }
    static bytes either(const bytes &x, const bytes &y) {
        return {{_mm_or_si128(x.v[0], y.v[0]), _mm_or_si128(x.v[1], y.v[1]),
                 _mm_or_si128(x.v[2], y.v[2]), _mm_or_si128(x.v[3], y.v[3])}};
    }
    static std::uint64_t mask(const bytes &x) {
        std::uint64_t bits = 0;
        for (int i = 0; i < 4; i++) {
            bits |=
                static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(x.v[i])))
                << (16 * i);
        }
        return bits;
    }
    static bool any(const bytes &x) {
        const __m128i all =
            _mm_or_si128(_mm_or_si128(x.v[0], x.v[1]), _mm_or_si128(x.v[2], x.v[3]));
        return _mm_movemask_epi8(all) != 0;
    }
};

} // namespace

#endif
