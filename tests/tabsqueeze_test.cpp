#include "support.h"

#include <gtest/gtest.h>

namespace {

// Text thick with runs of blanks of every shape, mixed with the generic generator's pieces
// (multi-byte, overlong, malformed and cut sequences), so runs meet every kind of neighbour.
std::string blank_heavy_text(std::mt19937 &rng, std::size_t length) {
    static const std::vector<std::string> pieces = {
        " ",   "  ",   "\t", " \t", "\t ",     "       ",  "        ",     "\n",       "\n",
        "\n ", "\t\n", "\r", "x",   "abcdefg", "\xc3\xa9", "\xe2\x82\xac", "\xc0\xa0", "\xc0\x89"};
    std::string text;
    while (text.size() < length) {
        if (rng() % 4 == 0)
            text += generated_text(rng, 1 + rng() % 6);
        else
            text += pieces[rng() % pieces.size()];
    }
    return text;
}

// Lines as in code and prose, long enough for many chunks: indentation of every shape, words with
// single and double spaces and the odd tab, multi-byte runes, and now and then a rune that the
// codec rewrites or that is a blank in disguise.
std::string indented_text(std::mt19937 &rng, std::size_t length) {
    static const std::vector<std::string> indents = {"",
                                                     "",
                                                     "\t",
                                                     "\t\t",
                                                     " ",
                                                     "  ",
                                                     "    ",
                                                     "        ",
                                                     "         ",
                                                     "\t   ",
                                                     "\t        ",
                                                     "  \t",
                                                     "\t\t\t\t\t\t\t\t\t",
                                                     std::string(20, ' ')};
    static const std::vector<std::string> words = {"int",
                                                   "x",
                                                   "return",
                                                   "caf\xc3\xa9",
                                                   "\xe2\x82\xac",
                                                   "\xe4\xb8\xad\xe6\x96\x87",
                                                   "\xd0\xb4\xd0\xb0",
                                                   "\xe1\x80\x80",
                                                   "\xc2\xa0",
                                                   "\xc2\x80",
                                                   "/*",
                                                   "a,"};
    static const std::vector<std::string> gaps = {" ", " ", " ", "  ", "\t", "   \t"};
    static const std::vector<std::string> rare = {
        std::string(1, '\0'), "\xff", "\xc0\x80", "\xe0\x80\xa0", "\xc0\xa0",
        "\xc0\x89",           "\xc3", "\xe2\x82", "\r",           "\xf0\x9f\x98\x80",
        "\xe0\xa4\x85"};
    std::string text;
    while (text.size() < length) {
        text += indents[rng() % indents.size()];
        for (int n = static_cast<int>(rng() % 12); n > 0; n--) {
            text += rng() % 64 == 0 ? rare[rng() % rare.size()] : words[rng() % words.size()];
            if (n > 1 || rng() % 8 == 0) text += gaps[rng() % gaps.size()];
        }
        text += '\n';
    }
    return text;
}

// Short texts read in small blocks, and lines of many chunks, whose starts are looked at a chunk
// at a time, read in blocks of every size.
TEST(Tabsqueeze, KeepsItsRulesOnGeneratedText) {
    std::mt19937 rng(7);
    const std::size_t blocks[] = {16, 100, 1000, 4096, TEXTLIB_BLOCK};
    int squeezed_rounds = 0;
    for (int round = 0; round < 1300; round++) {
        const bool lines = round % 5 == 0;
        const std::string text = lines            ? indented_text(rng, 500 + rng() % 8000)
                                 : round % 2 == 0 ? blank_heavy_text(rng, rng() % 300)
                                                  : generated_text(rng, rng() % 300);
        run_settings s{generated_tabs(rng), round % 3 == 0, rng() % 2 == 0};
        s.keep_bytes = round % 4 >= 2;
        const std::size_t block = lines ? blocks[rng() % 5] : 1 + rng() % 64;
        squeezed_rounds += must_squeeze(text, s);
        ASSERT_EQ(tabsqueeze_holds(text, s, block), "") << testing::PrintToString(text);
    }
    EXPECT_GT(squeezed_rounds, 200);
}

// A run open at the end of one read is closed by the first rune of the next, and the plain text
// after it must still be taken whole.
TEST(Tabsqueeze, ARunThatEndsAReadIsClosedByTheNext) {
    for (const std::size_t block : {std::size_t{16}, std::size_t{4096}}) {
        const std::string text = std::string(block - 2, 'x') + "  abcdefghijklmnop\n  \tz";
        EXPECT_EQ(through_blocks(tabsqueeze_tool, {text}, {"4", false, true}, block),
                  std::string(block - 2, 'x') + (block % 4 == 0 ? "\t" : "  ") +
                      "abcdefghijklmnop\n\tz");
    }
}

TEST(Tabsqueeze, KeepsItsRulesAcrossFullSizedBlocks) {
    std::mt19937 rng(5);
    for (int round = 0; round < 4; round++) {
        const std::string text = blank_heavy_text(rng, 2 * TEXTLIB_BLOCK + rng() % 1000);
        ASSERT_EQ(tabsqueeze_holds(text, {"8", false, round % 2 == 0}, TEXTLIB_BLOCK), "");
    }
}

struct e2e_case {
    std::vector<std::string> args;
    std::string input;
    std::string out;
};

TEST(Tabsqueeze, RunsBecomeTheShortestTabsAndSpaces) {
    const std::string s7(7, ' '), s8(8, ' ');
    const std::vector<std::string> a{"-a"};
    const e2e_case cases[] = {
        {{}, "  a", "  a"},
        {{}, " a", " a"},
        {{}, "\ta", "\ta"},
        {{}, s8 + "a", "\ta"},
        {{}, s8 + " a", "\t a"},
        {{}, " \ta", "\ta"},
        {{}, "\t \tx", "\t\tx"},
        {{}, "\t\tx  y", "\t\tx  y"},
        {{}, "a  b", "a  b"},
        {{}, "a" + s8 + "b", "a" + s8 + "b"},
        {a, "a" + s8 + "b", "a\t b"},
        {a, "a b", "a b"},
        {a, "a  b", "a  b"},
        {a, "abcdef  b", "abcdef\tb"},
        {a, "abcdefg  b", "abcdefg\t b"},
        {a, "abcdefg\tx", "abcdefg x"},
        {a, "abcdefg \tx", "abcdefg\t\tx"},
        {a, "x\t y", "x\t y"},
        {a, "a b" + s7 + "c", "a b\t  c"},
        {a, "abc     \n", "abc\t\n"},
        {{}, "abc     \n", "abc     \n"},
        {a, "\xc3\xa9" + s7 + "x", "\xc3\xa9\tx"},
        {{}, "\r" + s8 + "x", "\r" + s8 + "x"},
        {{}, "    \n", "    \n"},
        {{}, s8 + "\n", "\t\n"},
        {{}, s8, "\t"},
        {{}, "x\n" + s8 + "y\n", "x\n\ty\n"},
        {{"-t", "4"}, "    x", "\tx"},
        {{"-t", "4"}, "   x", "   x"},
        {{"-t", "4"}, "  \t x", "\t x"},
        {{"-t", "1"}, "  x", "\t\tx"},
        {{"-t", "1"}, "\tx", " x"},
        {{}, std::string(1, '\0'), "\xc0\x80"},
        {{}, "", ""},
        // A malformed byte is one rune and keeps the bytes after it; a cut sequence is one too.
        {{}, "\xff\xfe\xfdx", "\xc2\x80\xc2\x80\xc2\x80x"},
        {{}, "\xc3", "\xc2\x80"},
        {{}, "\xff        x", "\xc2\x80        x"},
        {a, "\xff" + s7 + "x", "\xc2\x80\tx"},
        // Kept: a four-byte sequence is one rune, of its display width with --display-width.
        {{"-a", "--keep-bytes"}, "\xff\xf0\x9f\x91\x8b      x", "\xff\xf0\x9f\x91\x8b\tx"},
        {{"-a", "--keep-bytes", "--display-width"},
         "\xf0\x9f\x91\x8b" + s7 + "x",
         "\xf0\x9f\x91\x8b\t x"},
        // Without -a, blanks after the first other rune of a line are copied as they stand.
        {{}, " \t x  \t y", "\t x  \t y"},
        {{}, "a\xc0\x89" + s8 + "b", "a\t" + s8 + "b"},
        // Overlong blanks and newlines act as what they stand for.
        {{}, "\xc0\x89\xc0\xa0x", "\t x"},
        {{}, "a\xc0\x8a" + s8 + "b", "a\n\tb"},
        // One-column runs stay one space; no newline is added at the end.
        {{"-a", "-t", "2"}, "a\tb", "a b"},
        {a, "ab   ", "ab   "},
        {a, "abcdef  ", "abcdef\t"},
        {{"-at4"}, "ab  x", "ab\tx"},
        {{"-a", "--"}, "ab      x", "ab\tx"},
        // Columns past the int range: two stops of the widest width in one run.
        {{"-a", "-t", "2147483647"}, "a\t\tb", "a\t\tb"},
        {{"-t", "2147483647"}, "\t\t  x", "\t\t  x"},
        {{"-t", "2147483647"},
         "x\n\t\t" + s8 + "y, long enough for words\n",
         "x\n\t\t" + s8 + "y, long enough for words\n"},
    };
    for (const e2e_case &c : cases) {
        const run_result r = run_tool("tabsqueeze", c.args, c.input);
        EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.args)
                                << testing::PrintToString(c.input);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

TEST(Tabsqueeze, EachInputStartsAtColumnZero) {
    const std::string a = temp_file("ab");
    const std::string b = temp_file("        c\n");

    run_result r = run_tool("tabsqueeze", {a, b});
    EXPECT_EQ(r.out, "ab\tc\n");

    r = run_tool("tabsqueeze", {"-", a, "-"}, "  \tx");
    EXPECT_EQ(r.out, "\txab");
    EXPECT_EQ(r.status, 0);
}

} // namespace
