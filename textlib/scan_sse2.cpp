// The kernel on SSE2, which every x86-64 CPU has: 16 bytes a compare.
#include "scan_chunks.h"

#include <emmintrin.h>

namespace {

struct sse2_level {
    static constexpr bool fast_deposit = false;

    static int popcount(std::uint64_t x) { return static_cast<int>(textlib_bit_count(x)); }

    using vector = __m128i;
    static vector splat(int byte) { return _mm_set1_epi8(static_cast<char>(byte)); }
    static vector load(const char *p) {
        return _mm_loadu_si128(reinterpret_cast<const vector *>(p));
    }
    static std::uint64_t bits(vector x) { return static_cast<std::uint32_t>(_mm_movemask_epi8(x)); }
    static vector either(vector x, vector y) { return _mm_or_si128(x, y); }
    static vector equal(vector v, int byte) { return _mm_cmpeq_epi8(v, splat(byte)); }
    static vector at_least(vector v, int byte) {
        return _mm_cmpeq_epi8(_mm_max_epu8(v, splat(byte)), v);
    }
    static vector within(vector v, int low, int high) {
        return _mm_cmpeq_epi8(_mm_min_epu8(_mm_max_epu8(v, splat(low)), splat(high)), v);
    }
    static vector signed_below(vector v, int byte) { return _mm_cmplt_epi8(v, splat(byte)); }
    static vector signed_above(vector v, int byte) { return _mm_cmpgt_epi8(v, splat(byte)); }

    static chunk_masks classify(const char *p) { return classify_vectors<sse2_level>(p); }
};

} // namespace

constinit const textlib_kernel textlib_kernel_sse2 = kernel_of<sse2_level>();
constinit const textlib_kernel textlib_kernel_ssse3 =
    kernel_of<sse2_level>(textlib_write_lone_runes_ssse3);
