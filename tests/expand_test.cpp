#include "expand.h"
#include "support.h"

#include <gtest/gtest.h>

namespace {

// Short texts read in small blocks, and texts long enough for whole chunks to be expanded at
// once, so that every way out of them (a tab wider than eight spaces, a rune that needs the
// codec, a buffer end) is taken.
TEST(Expand, KeepsItsRulesOnGeneratedText) {
    std::mt19937 rng(3);
    const char *const widths[] = {"1", "3", "8", "9", "13", "40", "5,9,40,41,60,100"};
    for (int round = 0; round < 700; round++) {
        const bool chunks = round % 7 >= 4;
        const std::string text = generated_text(rng, chunks ? 200 + rng() % 3000 : rng() % 300);
        run_settings s{chunks ? widths[rng() % 7] : generated_tabs(rng), round % 3 == 0};
        s.keep_bytes = round % 4 >= 2;
        const std::size_t block = !chunks          ? 1 + rng() % 20
                                  : round % 2 == 0 ? TEXTLIB_BLOCK
                                                   : 129 + rng() % 600;
        ASSERT_EQ(expand_holds(text, s, block), "") << testing::PrintToString(text);
    }
}

TEST(Expand, KeepsItsRulesAcrossFullSizedBlocks) {
    std::mt19937 rng(5);
    for (int round = 0; round < 3; round++) {
        const std::string text = generated_text(rng, 3 * TEXTLIB_BLOCK + rng() % 1000);
        ASSERT_EQ(expand_holds(text, {}, TEXTLIB_BLOCK), "");
    }
}

struct e2e_case {
    std::vector<std::string> args;
    std::string input;
    std::string out;
};

TEST(Expand, TabsBecomeSpacesUpToTheNextStopCountedInRunes) {
    const std::string eight(8, ' ');
    const e2e_case cases[] = {
        {{}, "\tx", eight + "x"},
        {{}, "ab\tx", "ab      x"},
        {{}, "abcdefgh\tx", "abcdefgh" + eight + "x"},
        {{"-t", "1"}, "\t\ta\tb", "  a b"},
        {{"-t", "4"}, "a\tb", "a   b"},
        {{"-t4"}, "a\tb", "a   b"},
        {{"-t", " 4 "}, "a\tb", "a   b"},
        {{"-t", "+4"}, "a\tb", "a   b"},
        {{}, "\xc3\xa9\tx", "\xc3\xa9       x"},
        {{}, "a\r\tx", "a\r      x"},
        {{}, "a\b\tx", "a\b      x"},
        {{}, "a\n\tx", "a\n" + eight + "x"},
        {{}, std::string("\0\t", 2), "\xc0\x80       "},
        {{}, "\xc0\x89x", eight + "x"},
        {{}, "a\xc0\x8a\tb", "a\n" + eight + "b"},
        {{}, "a", "a"},
        {{}, "", ""},
        {{"-t", "4"}, "\x61\x09\xc3\xa9\x09\x62\x0a", "a   \xc3\xa9   b\n"},
        {{"--"}, "\tx", eight + "x"},
        // A malformed byte no longer swallows what follows it.
        {{}, "\xff\tA\n", "\xc2\x80       A\n"},
        {{}, "\xe2\x82\xac\xc2\x80\tz", "\xe2\x82\xac\xc2\x80      z"},
        // A sequence cut by the end of input is kept as one malformed rune.
        {{}, "a\xe2\x82", "a\xc2\x80"},
        {{}, "\xf0\x9f\x98\x80\t.", "\xc2\x80\xc2\x80\xc2\x80\xc2\x80    ."},
        {{}, "\xc0\xb1\xe0\x81\x81", "1A"},
        // Kept: a four-byte sequence is one rune, anything else malformed as many as before.
        {{"--keep-bytes"}, "hi \xf0\x9f\x91\x8b\tx\n", "hi \xf0\x9f\x91\x8b    x\n"},
        {{"--keep-bytes", "--display-width"}, "hi \xf0\x9f\x91\x8b\tx", "hi \xf0\x9f\x91\x8b   x"},
        {{"--keep-bytes"},
         "caf\xe9\t\xf0\x9f\x98\t\xf0\x8f\xbf\xbf\t.",
         "caf\xe9    \xf0\x9f\x98     \xf0\x8f\xbf\xbf    ."},
        {{"--keep-bytes"},
         std::string("\0\xc0\xaf\xe0\x82\x80\xe2\x82", 8),
         "\xc0\x80/\xe0\x82\x80\xe2\x82"},
    };
    for (const e2e_case &c : cases) {
        const run_result r = run_tool("expand", c.args, c.input);
        EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.input);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

// Counts what is written to it and keeps the last byte, so gigabytes of output cost no disk.
struct counted_output {
    std::uint64_t bytes = 0;
    char last = 0;
};

ssize_t count_write(void *cookie, const char *data, std::size_t n) {
    auto *counted = static_cast<counted_output *>(cookie);
    counted->bytes += n;
    if (n > 0) counted->last = data[n - 1];
    return static_cast<ssize_t>(n);
}

TEST(Expand, HugeTabWidthsDoNotOverflowTheColumn) {
    counted_output counted;
    FILE *out = fopencookie(&counted, "w", {nullptr, count_write, nullptr, nullptr});
    FILE *in = stream_of("ab\t\tc");
    frame_tabs("2147483647");
    blocks_through(expand_blocks, in, out);
    frame_tabs("8");
    fclose(in);
    fclose(out);
    EXPECT_EQ(counted.bytes, 2u * 2147483647u + 1u);
    EXPECT_EQ(counted.last, 'c');
}

TEST(Expand, InputsInOrderEachFromColumnZero) {
    const std::string a = temp_file("xy");
    const std::string b = temp_file("\tz\n");
    const std::string eight(8, ' ');

    run_result r = run_tool("expand", {a, b}, "");
    EXPECT_EQ(r.out, "xy" + eight + "z\n");

    r = run_tool("expand", {"-", a, "-"}, "\ts");
    EXPECT_EQ(r.out, eight + "sxy");
    EXPECT_EQ(r.status, 0);

    r = run_tool("expand", {"--", "-"}, "\ts");
    EXPECT_EQ(r.out, eight + "s");
}

} // namespace
