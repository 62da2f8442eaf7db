// Properties that tie the tools to one another on generated inputs.
#include "expand.h"
#include "support.h"
#include "tally.h"

#include <gtest/gtest.h>

namespace {

std::string expanded(const std::string &text, int width) {
    use_tabs(std::to_string(width));
    FILE *in = stream_of(text);
    FILE *out = tmpfile();
    expand_plain(in, out);
    std::string result = contents_of(out);
    fclose(in);
    fclose(out);
    use_tabs("8");
    return result;
}

// The runes rune_fgetc reads from bytes.
std::uint64_t runes_in(const std::string &bytes) {
    FILE *in = stream_of(bytes);
    std::uint64_t runes = 0;
    while (rune_fgetc(in) != -1)
        runes++;
    fclose(in);
    return runes;
}

TEST(CrossTool, TallysRunesAreTheRunesExpandWritesWithOneColumnTabs) {
    std::mt19937 rng(17);
    for (int round = 0; round < 300; round++) {
        const std::string text = generated_text(rng, rng() % 400);
        FILE *in = stream_of(text);
        const tally_counts counts = tally_plain(in);
        fclose(in);
        const std::string out = expanded(text, 1);
        ASSERT_EQ(counts.runes, runes_in(out)) << testing::PrintToString(text);
        ASSERT_EQ(out.find('\t'), std::string::npos) << testing::PrintToString(text);
    }
}

} // namespace
