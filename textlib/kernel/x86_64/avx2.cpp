// The kernel on AVX2: 32 bytes a compare. Built with AVX2, BMI and POPCNT, and run only where the
// CPU reports AVX2.
#include "chunks.h"
#include "ssse3_writer.h"

#include <immintrin.h>

namespace {

struct avx2_level {
    static constexpr bool fast_deposit = false;
    static constexpr auto reencode_bytes = textlib_reencode_bytes_ssse3;

    static int popcount(std::uint64_t x) { return __builtin_popcountll(x); }

    // A compare's flags: its two registers of bytes, all ones where it holds.
    struct chunk {
        __m256i v[2];
    };
    using bytes = chunk;
    static chunk load(const char *p) {
        return {{_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)),
                 _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32))}};
    }
    template <typename compare> static bytes each(const chunk &c, compare holds) {
        return {{holds(c.v[0]), holds(c.v[1])}};
    }
    static __m256i splat(int byte) { return _mm256_set1_epi8(static_cast<char>(byte)); }

    static bytes equal(const chunk &c, int byte) {
        return each(c, [b = splat(byte)](__m256i v) { return _mm256_cmpeq_epi8(v, b); });
    }
    static bytes at_least(const chunk &c, int byte) {
        return each(c, [b = splat(byte)](__m256i v) {
            return _mm256_cmpeq_epi8(_mm256_max_epu8(v, b), v);
        });
    }
    static bytes within(const chunk &c, int low, int high) {
        return each(c, [l = splat(low), h = splat(high)](__m256i v) {
            return _mm256_cmpeq_epi8(_mm256_min_epu8(_mm256_max_epu8(v, l), h), v);
        });
    }
    static bytes signed_below(const chunk &c, int byte) {
        return each(c, [b = splat(byte)](__m256i v) { return _mm256_cmpgt_epi8(b, v); });
    }
    static bytes signed_above(const chunk &c, int byte) {
        return each(c, [b = splat(byte)](__m256i v) { return _mm256_cmpgt_epi8(v, b); });
    }
    static bytes either(const bytes &x, const bytes &y) {
        return {{_mm256_or_si256(x.v[0], y.v[0]), _mm256_or_si256(x.v[1], y.v[1])}};
    }
    static std::uint64_t mask(const bytes &x) {
        const auto low = static_cast<std::uint32_t>(_mm256_movemask_epi8(x.v[0]));
        const auto high = static_cast<std::uint32_t>(_mm256_movemask_epi8(x.v[1]));
        return low | static_cast<std::uint64_t>(high) << 32;
    }
    static bool any(const bytes &x) {
        return _mm256_movemask_epi8(_mm256_or_si256(x.v[0], x.v[1])) != 0;
    }
};

bool has_avx2() {
    return __builtin_cpu_supports("avx2") != 0;
}

} // namespace

extern constinit const textlib_level textlib_level_avx2 = {"avx2", has_avx2,
                                                           kernel_of<avx2_level>()};
