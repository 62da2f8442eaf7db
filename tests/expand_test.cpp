#include "expand.h"
#include "support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

std::string expand_with(void (*routine)(FILE *, FILE *), const std::string &text,
                        const std::string &tabs) {
    use_tabs(tabs);
    FILE *in = stream_of(text);
    FILE *out = tmpfile();
    routine(in, out);
    std::string result = contents_of(out);
    fclose(in);
    fclose(out);
    use_tabs("8");
    return result;
}

std::size_t block_size_for_test = TEXTLIB_BLOCK;

void expand_by_blocks(FILE *in, FILE *out) {
    run_blocks(expand_blocks, in, out, block_size_for_test);
}

TEST(Expand, BlockPathWritesWhatTheRuneRulesWrite) {
    std::mt19937 rng(3);
    for (int round = 0; round < 400; round++) {
        const std::string text = generated_text(rng, rng() % 300);
        const std::string width = generated_tabs(rng);
        display_width = round % 3 == 0;
        keep_bytes = round % 4 >= 2;
        block_size_for_test = 1 + rng() % 20;
        ASSERT_EQ(expand_with(expand_by_blocks, text, width),
                  expand_with(expand_plain, text, width))
            << testing::PrintToString(text) << " -t " << width << " block " << block_size_for_test
            << (display_width ? " --display-width" : "") << (keep_bytes ? " --keep-bytes" : "");
    }
    display_width = keep_bytes = false;
    block_size_for_test = TEXTLIB_BLOCK;
}

// Long enough for whole chunks to be expanded at once, so that every way out of them (a tab
// wider than eight spaces, a rune that needs the codec, a buffer end) is taken.
TEST(Expand, BlockPathAgreesWhereWholeChunksAreExpanded) {
    std::mt19937 rng(9);
    const char *const widths[] = {"1", "3", "8", "9", "13", "40", "5,9,40,41,60,100"};
    for (int round = 0; round < 300; round++) {
        const std::string text = generated_text(rng, 200 + rng() % 3000);
        const std::string width = widths[rng() % 7];
        block_size_for_test = round % 2 == 0 ? TEXTLIB_BLOCK : 129 + rng() % 600;
        keep_bytes = round % 3 == 0;
        ASSERT_EQ(expand_with(expand_by_blocks, text, width),
                  expand_with(expand_plain, text, width))
            << testing::PrintToString(text) << " -t " << width << " block " << block_size_for_test
            << (keep_bytes ? " --keep-bytes" : "");
    }
    keep_bytes = false;
    block_size_for_test = TEXTLIB_BLOCK;
}

TEST(Expand, BlockPathAgreesAcrossFullSizedBlocks) {
    std::mt19937 rng(5);
    for (int round = 0; round < 3; round++) {
        const std::string text = generated_text(rng, 3 * TEXTLIB_BLOCK + rng() % 1000);
        ASSERT_EQ(expand_with(expand_by_blocks, text, "8"), expand_with(expand_plain, text, "8"));
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
    tab_width = 2147483647;
    run_blocks(expand_blocks, in, out);
    tab_width = 8;
    fclose(in);
    fclose(out);
    EXPECT_EQ(counted.bytes, 2u * 2147483647u + 1u);
    EXPECT_EQ(counted.last, 'c');
}

struct failure_case {
    std::vector<std::string> args;
    std::string err;
    int status;
};

TEST(Expand, OptionsIdentificationAndUsage) {
    const std::string usage = "usage: expand [-v] [-t tabs] [--] [file ...]\n";
    const std::string bad_t =
        "expand: -t option must specify a decimal integer greater than zero\n";
    const failure_case cases[] = {
        {{"-v"}, "@(#)expand\t1.6\n", 0},
        {{"-v", "-x"}, "@(#)expand\t1.6\n", 0},
        {{"-v", "-t", "0"}, "@(#)expand\t1.6\n", 0},
        {{"-x", "-v"}, usage, 1},
        {{"-t"}, usage, 1},
        {{"-t", "0", "-v"}, bad_t, 1},
        {{"-t", "abc"}, bad_t, 1},
        {{"-t", "4x"}, bad_t, 1},
        {{"-t", "0x10"}, bad_t, 1},
        {{"-t", "-3"}, bad_t, 1},
        {{"-t", "2147483648"}, bad_t, 1},
        {{"-t", ""}, bad_t, 1},
        {{"-t", " "}, bad_t, 1},
        {{"-t", "4\xa0"}, bad_t, 1},
        {{"-t", "8", "-t", "0"}, bad_t, 1},
        {{"nosuch-file"}, "expand: unable to open nosuch-file\n", 1},
        {{"/"}, "expand: unable to read /\n", 1},
    };
    for (const failure_case &c : cases) {
        const run_result r = run_tool("expand", c.args, "\tx\n");
        EXPECT_EQ(r.out, "") << testing::PrintToString(c.args);
        EXPECT_EQ(r.err, c.err) << testing::PrintToString(c.args);
        EXPECT_EQ(r.status, c.status) << testing::PrintToString(c.args);
    }
    EXPECT_EQ(run_tool("expand", {"-t", "2147483647"}, "x").status, 0);
}

TEST(Expand, InputsInOrderEachFromColumnZero) {
    const std::string a = temp_file("xy");
    const std::string b = temp_file("\tz\n");
    const std::string eight(8, ' ');

    run_result r = run_tool("expand", {a, b}, "");
    EXPECT_EQ(r.out, "xy" + eight + "z\n");

    // Operands end the options: "-t" and "4" after a file are input names.
    r = run_tool("expand", {a, "-t", "4"}, "");
    EXPECT_EQ(r.out, "xy");
    EXPECT_EQ(r.err, "expand: unable to open -t\n");
    EXPECT_EQ(r.status, 1);

    r = run_tool("expand", {a, "nosuch", b}, "");
    EXPECT_EQ(r.out, "xy");
    EXPECT_EQ(r.err, "expand: unable to open nosuch\n");
    EXPECT_EQ(r.status, 1);

    r = run_tool("expand", {"-", a, "-"}, "\ts");
    EXPECT_EQ(r.out, eight + "sxy");
    EXPECT_EQ(r.status, 0);

    r = run_tool("expand", {"--", "-"}, "\ts");
    EXPECT_EQ(r.out, eight + "s");

    // After the options, "--" is an input name like any other.
    r = run_tool("expand", {"--", "--"}, "");
    EXPECT_EQ(r.err, "expand: unable to open --\n");
}

TEST(Expand, AFailedWriteIsReported) {
    const std::string path = temp_file("a\tb\n");
    const std::string command =
        std::string(TOOL_DIR) + "/expand " + path + " >/dev/full 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

} // namespace
