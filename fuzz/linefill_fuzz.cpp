// linefill's block path against its rune-by-rune reference, over fuzzed text cut into one to
// three inputs read in a row, line lengths, tab widths and block sizes, with and without
// --keep-bytes; and the words come out in the order they went in. The first six bytes are the
// options: the block size, the line length (two bytes), the tab width, then the two cuts.
#include "fuzz_support.h"
#include "linefill.h"

#include <climits>
#include <vector>

namespace {

// One of the inputs read in a row.
struct piece {
    const std::uint8_t *data;
    std::size_t size;
};

// Mostly 1 to 100; with the high bit of the second byte up to 32768, or INT_MAX.
int line_length_from(unsigned low, unsigned high) {
    if (high == 0xFF) return INT_MAX;
    if ((high & 0x80) != 0) return static_cast<int>(1 + ((high & 0x7Fu) << 8 | low));
    return static_cast<int>(1 + low % 100);
}

// Mostly 1 to 17; with a high byte, thousands, or INT_MAX.
int tab_width_from(unsigned byte) {
    if (byte == 0xFF) return INT_MAX;
    if (byte >= 0xC0) return static_cast<int>(1 + (byte - 0xC0) * 1000);
    return static_cast<int>(1 + byte % 17);
}

// The first cut byte's low bits say how many cuts (0 to 2); each cut byte places one.
std::vector<piece> pieces_of(const std::uint8_t *text, std::size_t size, unsigned first,
                             unsigned second) {
    std::vector<piece> pieces;
    const unsigned cuts = (first >> 6) % 3;
    std::size_t at = 0;
    for (const unsigned cut : {first & 0x3Fu, second}) {
        if (pieces.size() == cuts) break;
        const std::size_t to = at + (size - at) * cut / 0x100;
        pieces.push_back({text + at, to - at});
        at = to;
    }
    pieces.push_back({text + at, size - at});
    return pieces;
}

std::string filled_by_runes(const std::vector<piece> &pieces) {
    out_column = 0;
    captured out;
    capture_start(&out);
    for (const piece &p : pieces) {
        FILE *in = memory_input(p.data, p.size);
        linefill_plain(in, out.stream);
        fclose(in);
    }
    return capture_end(&out);
}

std::string filled_by_blocks(const std::vector<piece> &pieces, std::size_t block) {
    static textlib_input in;
    static textlib_output out;
    out_column = 0;
    captured bytes;
    capture_start(&bytes);
    use_next_level();
    textlib_output_start(&out, bytes.stream);
    for (const piece &p : pieces) {
        textlib_input_start(&in, file_holding(p.data, p.size), &out, block);
        linefill_blocks(&in, &out);
    }
    textlib_output_flush(&out);
    return capture_end(&bytes);
}

// The words of some text as the codec reads them, rune 0 left out as linefill leaves it out.
// The end of each input ends a word.
void add_words(std::vector<std::vector<int>> *words, const std::uint8_t *text, std::size_t size) {
    FILE *in = memory_input(text, size);
    bool in_word = false;
    for (int r = rune_fgetc(in); r != -1; r = rune_fgetc(in)) {
        if (r == TEXTLIB_SPACE || r == TEXTLIB_TAB || r == TEXTLIB_NEWLINE) {
            in_word = false;
        } else if (r != 0) {
            if (!in_word) words->emplace_back();
            words->back().push_back(r);
            in_word = true;
        }
    }
    fclose(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const std::size_t block = take_block_size(&options);
    const unsigned length_low = take_byte(&options);
    const unsigned length_high = take_byte(&options);
    const unsigned tab_byte = take_byte(&options);
    const unsigned first_cut = take_byte(&options);
    const unsigned second_cut = take_byte(&options);

    line_length = line_length_from(length_low, length_high);
    tab_width = tab_width_from(tab_byte);
    const std::vector<piece> pieces = pieces_of(options.data, options.size, first_cut, second_cut);

    keep_bytes = true;
    if (filled_by_blocks(pieces, block) != filled_by_runes(pieces)) {
        std::fprintf(stderr, "-l %d -t %d, block size %zu, %zu inputs, --keep-bytes\n", line_length,
                     tab_width, block, pieces.size());
        fuzz_fail("the block path writes what the rune rules write", 0);
    }
    keep_bytes = false;
    const std::string by_blocks = filled_by_blocks(pieces, block);
    if (by_blocks != filled_by_runes(pieces)) {
        std::fprintf(stderr, "-l %d -t %d, block size %zu, %zu inputs\n", line_length, tab_width,
                     block, pieces.size());
        fuzz_fail("the block path writes what the rune rules write", 0);
    }
    // Kept bytes that a dropped rune 0 stood between may join into another rune: the words are
    // compared without --keep-bytes alone.
    std::vector<std::vector<int>> words_in;
    for (const piece &p : pieces)
        add_words(&words_in, p.data, p.size);
    std::vector<std::vector<int>> words_out;
    add_words(&words_out, reinterpret_cast<const std::uint8_t *>(by_blocks.data()),
              by_blocks.size());
    if (words_out != words_in) fuzz_fail("the words come out in the order they went in", 0);
    return 0;
}
