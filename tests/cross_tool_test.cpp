// Properties that tie the tools to one another on generated inputs.
#include "support.h"

#include <gtest/gtest.h>

namespace {

TEST(CrossTool, TallysRunesAreTheRunesExpandWritesWithOneColumnTabs) {
    std::mt19937 rng(17);
    for (int round = 0; round < 300; round++) {
        const std::string text = generated_text(rng, rng() % 400);
        const std::string out = through_reference(expand_tool, {text}, {"1"});
        ASSERT_EQ(tally_reference_of(text).runes, rune_stream_counts(out).runes)
            << testing::PrintToString(text);
        ASSERT_EQ(out.find('\t'), std::string::npos) << testing::PrintToString(text);
    }
}

} // namespace
