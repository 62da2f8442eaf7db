// The kernel on SSE2, which every x86-64 CPU has: 16 bytes a compare.
#include "scan_chunks.h"

#include <emmintrin.h>

namespace {

inline std::uint64_t bits_of(__m128i x) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(x));
}

inline __m128i splat(int byte) {
    return _mm_set1_epi8(static_cast<char>(byte));
}

struct sse2_level {
    static constexpr bool fast_deposit = false;

    // The baseline has no popcount instruction, and the library's would be a call.
    static int popcount(std::uint64_t x) {
        x = x - ((x >> 1) & 0x5555555555555555);
        x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
        x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
        return static_cast<int>((x * 0x0101010101010101) >> 56);
    }

    static chunk_masks classify(const char *p) {
        chunk_masks m{};
        std::uint64_t high = 0, candidates = 0;
        __m128i v[4];
        for (int i = 0; i < 4; i++) {
            v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
            const int at = 16 * i;
            m.tab |= bits_of(_mm_cmpeq_epi8(v[i], splat(0x09))) << at;
            m.newline |= bits_of(_mm_cmpeq_epi8(v[i], splat(0x0A))) << at;
            m.space |= bits_of(_mm_cmpeq_epi8(v[i], splat(0x20))) << at;
            high |= bits_of(v[i]) << at;
            m.cont |= bits_of(_mm_cmplt_epi8(v[i], splat(0xC0))) << at;
            m.lead3 |= bits_of(_mm_cmpgt_epi8(v[i], splat(0xDF))) << at;
            // 00, C0-C2, E0 and F0-FF: the bytes that may be refused.
            const __m128i low_or_never =
                _mm_or_si128(_mm_cmpeq_epi8(v[i], _mm_setzero_si128()),
                             _mm_cmpeq_epi8(_mm_max_epu8(v[i], splat(0xF0)), v[i]));
            const __m128i overlong = _mm_or_si128(
                _mm_cmpeq_epi8(_mm_min_epu8(_mm_max_epu8(v[i], splat(0xC0)), splat(0xC2)), v[i]),
                _mm_cmpeq_epi8(v[i], splat(0xE0)));
            candidates |= bits_of(_mm_or_si128(low_or_never, overlong)) << at;
        }
        m.lead = high & ~m.cont;
        m.lead3 &= high;
        if (candidates != 0) refuse_rare(v, &m);
        return m;
    }

    static void refuse_rare(const __m128i *v, chunk_masks *m) {
        std::uint64_t zero = 0, c0 = 0, c1 = 0, c2 = 0, e0 = 0, never = 0, byte80 = 0, low = 0;
        for (int i = 0; i < 4; i++) {
            const int at = 16 * i;
            const auto is = [&](int byte) {
                return bits_of(_mm_cmpeq_epi8(v[i], splat(byte))) << at;
            };
            zero |= is(0x00);
            c0 |= is(0xC0);
            c1 |= is(0xC1);
            c2 |= is(0xC2);
            e0 |= is(0xE0);
            byte80 |= is(0x80);
            never |= bits_of(_mm_cmpeq_epi8(_mm_max_epu8(v[i], splat(0xF0)), v[i])) << at;
            low |= bits_of(_mm_cmplt_epi8(v[i], splat(0xA0))) << at;
        }
        refuse(m, zero, c0, c1, c2, e0, byte80, low, never);
    }
};

} // namespace

const char *textlib_levels::skip_sse2(const char *p, const char *end, unsigned stops,
                                      std::uint64_t *column, std::uint64_t limit) {
    return skip_chunks<sse2_level>(p, end, stops, column, limit);
}

std::uint64_t textlib_levels::rune_starts_sse2(const char *p, const char *end, unsigned *whole,
                                               std::uint64_t *plain) {
    return rune_starts_chunks<sse2_level>(p, end, whole, plain);
}

textlib_view textlib_levels::look_sse2(const char *p, const char *end) {
    return look_chunks<sse2_level>(p, end);
}

const char *textlib_levels::count_sse2(const char *p, const char *end, textlib_counts *counts,
                                       bool *between_words) {
    return count_chunks<sse2_level>(p, end, counts, between_words);
}
