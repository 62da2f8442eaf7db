// The kernel on AVX-512BW: a whole chunk a compare, its bits straight from the mask registers.
// Built with AVX-512BW, BMI and POPCNT, and run only where the CPU reports AVX-512BW.
#include "chunks.h"
#include "ssse3_writer.h"

#include <array>
#include <immintrin.h>

namespace {

inline __m512i splat(int byte) {
    return _mm512_set1_epi8(static_cast<char>(byte));
}

struct avx512_compares {
    // Every CPU with AVX-512BW deposits bits in a few cycles; some with AVX2 alone take hundreds.
    static constexpr bool fast_deposit = true;
    static std::uint64_t deposit(std::uint64_t bits, std::uint64_t mask) {
        return _pdep_u64(bits, mask);
    }

    static int popcount(std::uint64_t x) { return __builtin_popcountll(x); }

    // A compare's flags are its mask.
    using chunk = __m512i;
    using bytes = std::uint64_t;
    static chunk load(const char *p) { return _mm512_loadu_si512(p); }
    static bytes equal(chunk v, int byte) { return _mm512_cmpeq_epi8_mask(v, splat(byte)); }
    static bytes at_least(chunk v, int byte) { return _mm512_cmpge_epu8_mask(v, splat(byte)); }
    static bytes within(chunk v, int low, int high) {
        return _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, splat(low)), splat(high - low));
    }
    static bytes signed_below(chunk v, int byte) { return _mm512_cmplt_epi8_mask(v, splat(byte)); }
    static bytes signed_above(chunk v, int byte) { return _mm512_cmpgt_epi8_mask(v, splat(byte)); }
    static bytes either(bytes x, bytes y) { return x | y; }
    static std::uint64_t mask(bytes x) { return x; }
    static bool any(bytes x) { return x != 0; }
};

// Half a chunk's bytes at a time: each byte goes to two places, the first kept unless the byte is
// dropped, the second only for a rune written as two bytes, and the kept places are packed.
__attribute__((target("avx512vbmi,avx512vbmi2"))) char *reencode_bytes_vbmi2(char *o, const char *p,
                                                                             unsigned n,
                                                                             std::uint64_t doubled,
                                                                             std::uint64_t drop) {
    const std::uint64_t bytes = textlib_below(n);
    const __m512i v = _mm512_maskz_loadu_epi8(bytes, p);
    const std::uint64_t zero = _mm512_cmpeq_epi8_mask(v, _mm512_setzero_si512());
    const std::uint64_t kept = bytes & ~drop;
    doubled &= kept;
    __m512i first = _mm512_mask_mov_epi8(v, doubled, splat(0xC2));
    first = _mm512_mask_mov_epi8(first, doubled & zero, splat(0xC0));
    // Byte k of a half goes to places 2k and 2k + 1.
    alignas(64) static constexpr auto twice = [] {
        std::array<char, 64> index{};
        for (int k = 0; k < 64; k++)
            index[static_cast<std::size_t>(k)] = static_cast<char>(k / 2);
        return index;
    }();
    const __m512i low_half = _mm512_load_si512(twice.data());
    constexpr std::uint64_t even = 0x5555555555555555, odd = ~even;
    for (unsigned half = 0; half < n; half += 32) {
        const __m512i index = _mm512_add_epi8(low_half, splat(static_cast<int>(half)));
        // The second place of each byte holds 80, the second byte of every rune written as two.
        const __m512i placed = _mm512_mask_permutexvar_epi8(splat(0x80), even, index, first);
        const std::uint64_t places =
            _pdep_u64(kept >> half, even) | _pdep_u64(doubled >> half, odd);
        _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(places, placed));
        o += __builtin_popcountll(places);
    }
    return o;
}

struct avx512_level : avx512_compares {
    static constexpr auto reencode_bytes = textlib_reencode_bytes_ssse3;
};

struct avx512vbmi2_level : avx512_compares {
    static constexpr auto reencode_bytes = reencode_bytes_vbmi2;
};

bool has_avx512bw() {
    return __builtin_cpu_supports("avx512bw") != 0;
}

bool has_avx512vbmi2() {
    return has_avx512bw() && __builtin_cpu_supports("avx512vbmi") != 0 &&
           __builtin_cpu_supports("avx512vbmi2") != 0;
}

} // namespace

extern constinit const textlib_level textlib_level_avx512bw = {"avx512bw", has_avx512bw,
                                                               kernel_of<avx512_level>()};
extern constinit const textlib_level textlib_level_avx512vbmi2 = {"avx512vbmi2", has_avx512vbmi2,
                                                                  kernel_of<avx512vbmi2_level>()};
