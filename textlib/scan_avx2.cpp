// The kernel on AVX2: 32 bytes a compare. Built with AVX2, BMI and POPCNT, and run only where the
// CPU reports AVX2.
#include "scan_chunks.h"

#include <immintrin.h>

namespace {

inline std::uint64_t bits_of(__m256i x) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(x));
}

inline __m256i splat(int byte) {
    return _mm256_set1_epi8(static_cast<char>(byte));
}

inline __m256i is_at_least(__m256i v, int byte) {
    return _mm256_cmpeq_epi8(_mm256_max_epu8(v, splat(byte)), v);
}

struct avx2_level {
    static constexpr bool fast_deposit = false;

    static int popcount(std::uint64_t x) { return __builtin_popcountll(x); }

    static chunk_masks classify(const char *p) {
        chunk_masks m{};
        std::uint64_t high = 0, candidates = 0;
        __m256i v[2];
        for (int i = 0; i < 2; i++) {
            v[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32 * i));
            const int at = 32 * i;
            m.tab |= bits_of(_mm256_cmpeq_epi8(v[i], splat(0x09))) << at;
            m.newline |= bits_of(_mm256_cmpeq_epi8(v[i], splat(0x0A))) << at;
            m.space |= bits_of(_mm256_cmpeq_epi8(v[i], splat(0x20))) << at;
            high |= bits_of(v[i]) << at;
            m.cont |= bits_of(_mm256_cmpgt_epi8(splat(0xC0), v[i])) << at;
            m.lead3 |= bits_of(_mm256_cmpgt_epi8(v[i], splat(0xDF))) << at;
            const __m256i low_or_never = _mm256_or_si256(
                _mm256_cmpeq_epi8(v[i], _mm256_setzero_si256()), is_at_least(v[i], 0xF0));
            const __m256i overlong = _mm256_or_si256(
                _mm256_cmpeq_epi8(_mm256_min_epu8(_mm256_max_epu8(v[i], splat(0xC0)), splat(0xC2)),
                                  v[i]),
                _mm256_cmpeq_epi8(v[i], splat(0xE0)));
            candidates |= bits_of(_mm256_or_si256(low_or_never, overlong)) << at;
        }
        m.lead = high & ~m.cont;
        m.lead3 &= high;
        if (candidates != 0) refuse_rare(v, &m);
        return m;
    }

    static void refuse_rare(const __m256i *v, chunk_masks *m) {
        std::uint64_t zero = 0, c0 = 0, c1 = 0, c2 = 0, e0 = 0, never = 0, byte80 = 0, low = 0;
        for (int i = 0; i < 2; i++) {
            const int at = 32 * i;
            const auto is = [&](int byte) {
                return bits_of(_mm256_cmpeq_epi8(v[i], splat(byte))) << at;
            };
            zero |= is(0x00);
            c0 |= is(0xC0);
            c1 |= is(0xC1);
            c2 |= is(0xC2);
            e0 |= is(0xE0);
            byte80 |= is(0x80);
            never |= bits_of(is_at_least(v[i], 0xF0)) << at;
            low |= bits_of(_mm256_cmpgt_epi8(splat(0xA0), v[i])) << at;
        }
        refuse(m, zero, c0, c1, c2, e0, byte80, low, never);
    }
};

} // namespace

const char *textlib_levels::skip_avx2(const char *p, const char *end, unsigned stops,
                                      std::uint64_t *column, std::uint64_t limit) {
    return skip_chunks<avx2_level>(p, end, stops, column, limit);
}

std::uint64_t textlib_levels::rune_starts_avx2(const char *p, const char *end, unsigned *whole,
                                               std::uint64_t *plain) {
    return rune_starts_chunks<avx2_level>(p, end, whole, plain);
}

textlib_view textlib_levels::look_avx2(const char *p, const char *end) {
    return look_chunks<avx2_level>(p, end);
}

const char *textlib_levels::count_avx2(const char *p, const char *end, textlib_counts *counts,
                                       bool *between_words) {
    return count_chunks<avx2_level>(p, end, counts, between_words);
}
