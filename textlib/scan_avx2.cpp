// The kernel on AVX2: 32 bytes a compare. Built with AVX2, BMI and POPCNT, and run only where the
// CPU reports AVX2.
#include "scan_chunks.h"

#include <immintrin.h>

namespace {

struct avx2_level {
    static constexpr bool fast_deposit = false;

    static int popcount(std::uint64_t x) { return __builtin_popcountll(x); }

    using vector = __m256i;
    static vector splat(int byte) { return _mm256_set1_epi8(static_cast<char>(byte)); }
    static vector load(const char *p) {
        return _mm256_loadu_si256(reinterpret_cast<const vector *>(p));
    }
    static std::uint64_t bits(vector x) {
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(x));
    }
    static vector either(vector x, vector y) { return _mm256_or_si256(x, y); }
    static vector equal(vector v, int byte) { return _mm256_cmpeq_epi8(v, splat(byte)); }
    static vector at_least(vector v, int byte) {
        return _mm256_cmpeq_epi8(_mm256_max_epu8(v, splat(byte)), v);
    }
    static vector within(vector v, int low, int high) {
        return _mm256_cmpeq_epi8(_mm256_min_epu8(_mm256_max_epu8(v, splat(low)), splat(high)), v);
    }
    static vector signed_below(vector v, int byte) { return _mm256_cmpgt_epi8(splat(byte), v); }
    static vector signed_above(vector v, int byte) { return _mm256_cmpgt_epi8(v, splat(byte)); }

    static chunk_masks classify(const char *p) { return classify_vectors<avx2_level>(p); }
};

} // namespace

constinit const textlib_kernel textlib_kernel_avx2 =
    kernel_of<avx2_level>(textlib_write_lone_runes_ssse3);
