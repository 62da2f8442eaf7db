// The kernel's entry points: one level, chosen once from what the CPU reports.
#include "scan.h"

#include <iterator>

namespace {

textlib_level best_level() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    const bool ssse3 = __builtin_cpu_supports("ssse3") != 0;
    const bool avx2 = __builtin_cpu_supports("avx2") != 0;
    const bool avx512bw = __builtin_cpu_supports("avx512bw") != 0;
    const bool avx512vbmi2 =
        __builtin_cpu_supports("avx512vbmi") != 0 && __builtin_cpu_supports("avx512vbmi2") != 0;
    return textlib_level_for(true, ssse3, avx2, avx512bw, avx512vbmi2);
#else
    return TEXTLIB_SCALAR;
#endif
}

textlib_level level_in_use = best_level();

// By level, slowest first.
constexpr const textlib_kernel *KERNELS[] = {
    &textlib_kernel_scalar,
#if defined(__x86_64__)
    &textlib_kernel_sse2,   &textlib_kernel_ssse3,       &textlib_kernel_avx2,
    &textlib_kernel_avx512, &textlib_kernel_avx512vbmi2,
#endif
};
#if defined(__x86_64__)
static_assert(std::size(KERNELS) == TEXTLIB_AVX512VBMI2 + 1, "a table for every level");
#endif

inline const textlib_kernel &kernel() {
    return *KERNELS[level_in_use];
}

} // namespace

textlib_level textlib_level_for(bool sse2, bool ssse3, bool avx2, bool avx512bw, bool avx512vbmi2) {
#if defined(__x86_64__)
    if (avx512vbmi2 && avx512bw && avx2) return TEXTLIB_AVX512VBMI2;
    if (avx512bw && avx2) return TEXTLIB_AVX512;
    if (avx2) return TEXTLIB_AVX2;
    if (ssse3 && sse2) return TEXTLIB_SSSE3;
    if (sse2) return TEXTLIB_SSE2;
#else
    (void)sse2, (void)ssse3, (void)avx2, (void)avx512bw, (void)avx512vbmi2;
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
    case TEXTLIB_SSSE3: return "ssse3";
    case TEXTLIB_AVX2: return "avx2";
    case TEXTLIB_AVX512: return "avx512bw";
    case TEXTLIB_AVX512VBMI2: return "avx512vbmi2";
    }
    return "unknown";
}

const char *textlib_skip(const char *p, const char *end, unsigned stops, std::uint64_t *column,
                         std::uint64_t limit) {
    return kernel().skip(p, end, stops, column, limit);
}

const char *textlib_tally(const char *p, const char *end, bool at_end, unsigned selection,
                          textlib_counts *counts, bool *between_words) {
    return kernel().tally(p, end, at_end, selection, counts, between_words);
}

textlib_runes textlib_rune_starts(const char *p, const char *end) {
    return kernel().rune_starts(p, end);
}

textlib_view textlib_look(const char *p, const char *end) {
    return kernel().look(p, end);
}

char *textlib_write_lone_runes(char *o, const char *p, unsigned n, std::uint64_t doubled,
                               std::uint64_t drop) {
    return kernel().write_lone_runes(o, p, n, doubled, drop);
}

textlib_line textlib_scan_line(textlib_line_chunk *chunk, const char *p, const char *end,
                               std::uint64_t column, std::uint64_t limit) {
    return kernel().scan_line(chunk, p, end, column, limit);
}
