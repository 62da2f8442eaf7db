// What the fuzz targets take from the front of an input as options, and how they report a broken
// rule so that libFuzzer keeps the input. The runs and the rules are the check kit's.
#ifndef FUZZ_FUZZ_SUPPORT_H
#define FUZZ_FUZZ_SUPPORT_H

#include "check_kit.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// The bytes not yet taken as options.
struct fuzz_bytes {
    const std::uint8_t *data;
    std::size_t size;
};

// The next byte as an option value, or 0 once the input is used up.
inline unsigned take_byte(fuzz_bytes *in) {
    if (in->size == 0) return 0;
    in->size--;
    return *in->data++;
}

// A block size for the block readers from one option byte: 1 to 128 put the block edges
// everywhere; a byte with its high bit set reads the text at once.
inline std::size_t take_block_size(fuzz_bytes *in) {
    const unsigned byte = take_byte(in);
    return byte >= 0x80 ? TEXTLIB_BLOCK : 1 + byte;
}

inline std::string_view text_of(const fuzz_bytes &in) {
    return {reinterpret_cast<const char *>(in.data), in.size};
}

// How many of the bytes left are one of those in set.
inline std::uint64_t bytes_among(const fuzz_bytes &in, std::string_view set) {
    const std::string_view text = text_of(in);
    return static_cast<std::uint64_t>(
        std::count_if(text.begin(), text.end(), [set](char b) { return set.find(b) != set.npos; }));
}

// The most spaces that the tab stops of one input may stand for, so that huge widths stay quick.
constexpr std::uint64_t SPACES_BUDGET = 1 << 16;

// A tab width from three option bytes: mostly 1 to 300; with the high bit of the last byte, a
// width up to what the budget allows for text with at most `stops` tabs or blanks, and INT_MAX
// for text with none.
inline int budgeted_tab_width(unsigned low, unsigned mid, unsigned high, std::uint64_t stops) {
    if ((high & 0x80) == 0) return static_cast<int>(1 + (mid << 8 | low) % 300);
    if (stops == 0 && high == 0xFF) return INT_MAX;
    const std::uint64_t limit = stops == 0 ? INT_MAX : SPACES_BUDGET / stops;
    const std::uint64_t wanted = (high & 0x7Fu) << 16 | mid << 8 | low;
    return static_cast<int>(1 + wanted % (limit > 300 ? limit : 300));
}

// The settings from the option bytes: flags (bit 0 tabsqueeze's -a, bit 1 --display-width,
// bits 2 and 3 a tab list, bit 4 its gaps wide, bit 5 --keep-bytes), then a tab width from three
// bytes, or a count byte and a gap byte for each of 2 to 9 stops. A list's last stop stays within
// the budget for text with at most `stops` tabs or blanks, as a width does, and below INT_MAX.
inline run_settings take_settings(fuzz_bytes *in, std::uint64_t stops) {
    const unsigned flags = take_byte(in);
    run_settings s;
    s.all_blanks = (flags & 1) != 0;
    s.display_width = (flags & 2) != 0;
    s.keep_bytes = (flags & 0x20) != 0;
    if ((flags & 0xC) != 0xC) {
        const unsigned low = take_byte(in), mid = take_byte(in), high = take_byte(in);
        s.tabs = std::to_string(budgeted_tab_width(low, mid, high, stops));
        return s;
    }
    const unsigned count = 2 + take_byte(in) % 8;
    const std::uint64_t limit =
        stops == 0 ? INT_MAX : std::max<std::uint64_t>(300, SPACES_BUDGET / stops);
    const std::uint64_t scale =
        (flags & 0x10) != 0 ? std::max<std::uint64_t>(1, limit / 256 / count) : 1;
    std::uint64_t stop = 0;
    s.tabs.clear();
    for (unsigned i = 0; i < count; i++) {
        stop += 1 + take_byte(in) * scale;
        s.tabs += (i == 0 ? "" : ",") + std::to_string(stop);
    }
    return s;
}

// A broken rule: says which and where, then aborts so that libFuzzer keeps the input.
[[noreturn]] inline void fuzz_fail(const char *rule, std::size_t offset) {
    std::fprintf(stderr, "broken rule: %s (input offset %zu)\n", rule, offset);
    std::abort();
}

// A check kit's verdict: nothing, or the rule that broke.
inline void fuzz_check(const std::string &broken) {
    if (!broken.empty()) fuzz_fail(broken.c_str(), 0);
}

#endif
