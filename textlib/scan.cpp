// The kernel's entry points: one level, chosen once from what the CPU reports.
#include "scan.h"

namespace {

textlib_level best_level() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    return textlib_level_for(true, __builtin_cpu_supports("avx2") != 0,
                             __builtin_cpu_supports("avx512bw") != 0);
#else
    return TEXTLIB_SCALAR;
#endif
}

textlib_level level_in_use = best_level();

} // namespace

textlib_level textlib_level_for(bool sse2, bool avx2, bool avx512bw) {
#if defined(__x86_64__)
    if (avx512bw && avx2) return TEXTLIB_AVX512;
    if (avx2) return TEXTLIB_AVX2;
    if (sse2) return TEXTLIB_SSE2;
#else
    (void)sse2, (void)avx2, (void)avx512bw;
#endif
    return TEXTLIB_SCALAR;
}

bool textlib_level_supported(textlib_level level) {
    return level <= best_level();
}

void textlib_force_level(textlib_level level) {
    level_in_use = level;
}

textlib_level textlib_scan_level() {
    return level_in_use;
}

const char *textlib_level_name(textlib_level level) {
    switch (level) {
    case TEXTLIB_SCALAR: return "scalar";
    case TEXTLIB_SSE2: return "sse2";
    case TEXTLIB_AVX2: return "avx2";
    case TEXTLIB_AVX512: return "avx512bw";
    }
    return "unknown";
}

const char *textlib_skip(const char *p, const char *end, unsigned stops, std::uint64_t *column,
                         std::uint64_t limit) {
    using namespace textlib_levels;
    switch (level_in_use) {
#if defined(__x86_64__)
    case TEXTLIB_AVX512: return skip_avx512(p, end, stops, column, limit);
    case TEXTLIB_AVX2: return skip_avx2(p, end, stops, column, limit);
    case TEXTLIB_SSE2: return skip_sse2(p, end, stops, column, limit);
#endif
    default: return skip_scalar(p, end, stops, column, limit);
    }
}

const char *textlib_count(const char *p, const char *end, textlib_counts *counts,
                          bool *between_words) {
    using namespace textlib_levels;
    switch (level_in_use) {
#if defined(__x86_64__)
    case TEXTLIB_AVX512: return count_avx512(p, end, counts, between_words);
    case TEXTLIB_AVX2: return count_avx2(p, end, counts, between_words);
    case TEXTLIB_SSE2: return count_sse2(p, end, counts, between_words);
#endif
    default: return count_scalar(p, end, counts, between_words);
    }
}

std::uint64_t textlib_rune_starts(const char *p, const char *end, unsigned *whole,
                                  std::uint64_t *plain) {
    using namespace textlib_levels;
    switch (level_in_use) {
#if defined(__x86_64__)
    case TEXTLIB_AVX512: return rune_starts_avx512(p, end, whole, plain);
    case TEXTLIB_AVX2: return rune_starts_avx2(p, end, whole, plain);
    case TEXTLIB_SSE2: return rune_starts_sse2(p, end, whole, plain);
#endif
    default: return rune_starts_scalar(p, end, whole, plain);
    }
}

textlib_view textlib_look(const char *p, const char *end) {
    using namespace textlib_levels;
    switch (level_in_use) {
#if defined(__x86_64__)
    case TEXTLIB_AVX512: return look_avx512(p, end);
    case TEXTLIB_AVX2: return look_avx2(p, end);
    case TEXTLIB_SSE2: return look_sse2(p, end);
#endif
    default: return look_scalar(p, end);
    }
}
