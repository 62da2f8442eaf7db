// linefill's rules of the check kit over fuzzed text cut into one to three inputs read in a row,
// line lengths, tab widths and lists, --display-width, --keep-bytes, --prefix and block sizes. The
// first bytes are the options: the block size, the settings, the line length (two bytes), the two
// cuts, then
// --prefix.
#include "fuzz_support.h"

#include <climits>

namespace {

// Mostly 1 to 100; with the high bit of the second byte up to 32768, or INT_MAX.
int line_length_from(unsigned low, unsigned high) {
    if (high == 0xFF) return INT_MAX;
    if ((high & 0x80) != 0) return static_cast<int>(1 + ((high & 0x7Fu) << 8 | low));
    return static_cast<int>(1 + low % 100);
}

// The first cut byte's high bits say how many cuts (0 to 2); each cut byte places one.
input_list pieces_of(std::string_view text, unsigned first, unsigned second) {
    input_list pieces;
    const unsigned cuts = (first >> 6) % 3;
    std::size_t at = 0;
    for (const unsigned cut : {first & 0x3Fu, second}) {
        if (pieces.size() == cuts) break;
        const std::size_t to = at + (text.size() - at) * cut / 0x100;
        pieces.push_back(text.substr(at, to - at));
        at = to;
    }
    pieces.push_back(text.substr(at));
    return pieces;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const std::size_t block = take_block_size(&options);
    // Indentation is written as it was read, so the stops may lie anywhere.
    run_settings settings = take_settings(&options, 0);
    const unsigned length_low = take_byte(&options);
    settings.line_length = line_length_from(length_low, take_byte(&options));
    const unsigned first_cut = take_byte(&options);
    const unsigned second_cut = take_byte(&options);
    const unsigned prefix_byte = take_byte(&options);
    // None, the fixed markers, or one of a few strings.
    static const char *const strings[] = {"#", "> ", "XY", "\xc3\xa9"};
    settings.prefixed = prefix_byte % 3 != 0;
    if (prefix_byte % 3 == 2) settings.prefix = strings[prefix_byte / 3 % 4];
    fuzz_check(linefill_holds(pieces_of(text_of(options), first_cut, second_cut), settings, block));
    return 0;
}
