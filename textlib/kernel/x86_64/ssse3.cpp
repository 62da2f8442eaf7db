// The SSSE3 level: SSE2's compares, and a writer of one-byte runes with byte shuffles, 16 bytes a
// step, that every level from SSSE3 up uses but for AVX-512 with byte compression. Built with
// SSSE3, and run only where the CPU reports it.
#include "sse2.h"
#include "ssse3_writer.h"
#include "writer_tables.h"

#include <tmmintrin.h>

namespace {

// A byte of all ones for each bit of bits.
inline __m128i bytes_of_bits(unsigned bits) {
    const __m128i spread =
        _mm_shuffle_epi8(_mm_set1_epi16(static_cast<short>(bits)),
                         _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1));
    const __m128i bit = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201));
    return _mm_cmpeq_epi8(_mm_and_si128(spread, bit), bit);
}

// Where select holds ones, the bytes of chosen, else those of kept.
inline __m128i blend(__m128i kept, __m128i chosen, __m128i select) {
    return _mm_or_si128(_mm_and_si128(select, chosen), _mm_andnot_si128(select, kept));
}

} // namespace

// Sixteen bytes at a time: the leads of the runes written as two put in place, then each group of
// eight spread by its pattern; or, where bytes are dropped, each byte paired with an 80 and each
// group of four pairs packed by its pattern.
char *textlib_reencode_bytes_ssse3(char *o, const char *p, unsigned n, std::uint64_t doubled,
                                   std::uint64_t drop) {
    const __m128i zero = _mm_setzero_si128(), eighty = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i second_half = _mm_set1_epi8(8);
    for (unsigned i = 0; i < n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i zeros = _mm_cmpeq_epi8(x, zero);
        const unsigned bytes = n - i < 16 ? n - i : 16;
        const unsigned written = static_cast<unsigned>(~(drop >> i)) & ((1u << bytes) - 1);
        const unsigned twice = static_cast<unsigned>(doubled >> i) & written;
        // C0 for 00, else C2: the two differ in one bit.
        const __m128i lead = _mm_xor_si128(_mm_set1_epi8(static_cast<char>(0xC2)),
                                           _mm_and_si128(zeros, _mm_set1_epi8(0x02)));
        const __m128i first = blend(x, lead, bytes_of_bits(twice));
        if (written == (1u << bytes) - 1) {
            // None dropped: eight bytes a group.
            const __m128i groups[2] = {_mm_unpacklo_epi64(first, eighty),
                                       _mm_unpackhi_epi64(first, eighty)};
            for (unsigned g = 0; 8 * g < bytes; g++) {
                const unsigned group = (twice >> (8 * g)) & 0xFF;
                const __m128i pattern =
                    _mm_load_si128(reinterpret_cast<const __m128i *>(DOUBLING[group].data()));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o),
                                 _mm_shuffle_epi8(groups[g], pattern));
                const unsigned in_group = bytes - 8 * g < 8 ? bytes - 8 * g : 8;
                o += in_group + static_cast<unsigned>(textlib_bit_count(group));
            }
            continue;
        }
        const __m128i pairs[2] = {_mm_unpacklo_epi8(first, eighty),
                                  _mm_unpackhi_epi8(first, eighty)};
        for (unsigned g = 0; 4 * g < bytes; g++) {
            const unsigned group = ((written >> (4 * g)) & 0xF) | ((twice >> (4 * g)) & 0xF) << 4;
            __m128i pattern =
                _mm_loadl_epi64(reinterpret_cast<const __m128i *>(SPREAD[group].data()));
            if ((g & 1) != 0) pattern = _mm_add_epi8(pattern, second_half);
            _mm_storel_epi64(reinterpret_cast<__m128i *>(o),
                             _mm_shuffle_epi8(pairs[g / 2], pattern));
            o += textlib_bit_count(group);
        }
    }
    return o;
}

namespace {

struct ssse3_level : sse2_compares {
    static constexpr auto reencode_bytes = textlib_reencode_bytes_ssse3;
};

bool has_ssse3() {
    return __builtin_cpu_supports("ssse3") != 0;
}

} // namespace

extern constinit const textlib_level textlib_level_ssse3 = {"ssse3", has_ssse3,
                                                            kernel_of<ssse3_level>()};
