// The kernel on AVX-512BW: a whole chunk a compare, its bits straight from the mask registers.
// Built with AVX-512BW, BMI and POPCNT, and run only where the CPU reports AVX-512BW.
#include "scan_chunks.h"

#include <immintrin.h>

namespace {

inline __m512i splat(int byte) {
    return _mm512_set1_epi8(static_cast<char>(byte));
}

struct avx512_level {
    // Every CPU with AVX-512BW deposits bits in a few cycles; some with AVX2 alone take hundreds.
    static constexpr bool fast_deposit = true;
    static std::uint64_t deposit(std::uint64_t bits, std::uint64_t mask) {
        return _pdep_u64(bits, mask);
    }

    static int popcount(std::uint64_t x) { return __builtin_popcountll(x); }

    static chunk_masks classify(const char *p) {
        const __m512i v = _mm512_loadu_si512(p);
        chunk_masks m{};
        m.tab = _mm512_cmpeq_epi8_mask(v, splat(0x09));
        m.newline = _mm512_cmpeq_epi8_mask(v, splat(0x0A));
        m.space = _mm512_cmpeq_epi8_mask(v, splat(0x20));
        m.cont = _mm512_cmplt_epi8_mask(v, splat(0xC0));
        m.lead = _mm512_cmpge_epu8_mask(v, splat(0xC0));
        m.lead3 = _mm512_cmpge_epu8_mask(v, splat(0xE0));
        // 00, C0-C2, E0 and F0-FF: the bytes that may be refused.
        const std::uint64_t candidates =
            _mm512_cmpeq_epi8_mask(v, _mm512_setzero_si512()) |
            _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v, splat(0xC0)), splat(3)) |
            _mm512_cmpeq_epi8_mask(v, splat(0xE0)) | _mm512_cmpge_epu8_mask(v, splat(0xF0));
        if (candidates != 0) {
            const auto is = [&v](int byte) -> std::uint64_t {
                return _mm512_cmpeq_epi8_mask(v, splat(byte));
            };
            refuse(&m, is(0x00), is(0xC0), is(0xC1), is(0xC2), is(0xE0), is(0x80),
                   _mm512_cmplt_epi8_mask(v, splat(0xA0)), _mm512_cmpge_epu8_mask(v, splat(0xF0)));
        }
        return m;
    }
};

} // namespace

constinit const textlib_kernel textlib_kernel_avx512 = kernel_of<avx512_level>();
