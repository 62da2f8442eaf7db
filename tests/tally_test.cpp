#include "support.h"
#include "tally.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::string_literals;

namespace {

struct count_case {
    std::string input;
    tally_counts counts; // lines, words, runes, broken, bytes
};

TEST(Tally, CountsLinesWordsRunesMalformedSequencesAndBytes) {
    const count_case cases[] = {
        {"", {0, 0, 0, 0, 0}},
        {"hello world\n", {1, 2, 12, 0, 12}},
        {"a", {0, 1, 1, 0, 1}},
        {"\n\n", {2, 0, 2, 0, 2}},
        {" a  b \t c\n", {1, 3, 10, 0, 10}},
        {"one two  three\tfour\nfive six seven eight nine\n", {2, 9, 46, 0, 46}},
        {"\xc3\xa9t\xc3\xa9\n", {1, 1, 4, 0, 6}},
        {"aaaaaaaa\xc3\xa9 bbbbbbbb\n", {1, 2, 19, 0, 20}},
        {"a\r\nb\r\n", {2, 2, 6, 0, 6}},
        {"a\tb\vc\fd", {0, 2, 7, 0, 7}},
        {"\xe3\x80\x80"
         "a b",
         {0, 2, 4, 0, 6}},
        {"\xef\xbb\xbfx", {0, 1, 2, 0, 4}},
        {"\0"s, {0, 1, 1, 0, 1}},
        {"a\0 \0b"s, {0, 2, 5, 0, 5}},
        {"\xed\xa0\x80", {0, 1, 1, 0, 3}},
        // Overlong forms count as their values.
        {"\xc0\x8a", {1, 0, 1, 0, 2}},
        {"\xc0\xa0"
         "a",
         {0, 1, 2, 0, 3}},
        {"a\xc0\x89"
         "b",
         {0, 2, 3, 0, 4}},
        {"x\xe0\x80\xa0y", {0, 2, 3, 0, 5}},
        // A malformed sequence ends at the first byte that cannot continue it, which is
        // counted afresh; it neither makes nor splits a word.
        {"x\xff\xff\xffy", {0, 1, 5, 3, 5}},
        {" \xff\xff\xff ", {0, 0, 5, 3, 5}},
        {"\xc3"
         "ab\n",
         {1, 1, 4, 1, 4}},
        {"a\xff b", {0, 2, 4, 1, 4}},
        {"\xe2\x82"
         "ab",
         {0, 1, 3, 1, 4}},
        // U+0080 is never accepted, in either of its forms.
        {"\xc2\x80\n", {1, 0, 2, 1, 3}},
        {"\xe0\x82\x80\n", {1, 0, 2, 1, 4}},
        {"\xf0\x9f\x98\x80\n", {1, 0, 5, 4, 5}},
        {"\xf0\x9f\x98\x80"
         "ab\n",
         {1, 1, 7, 4, 7}},
        // A sequence cut by the end of input is one malformed sequence.
        {"\xc3", {0, 0, 1, 1, 1}},
        {"\xc3"
         "a",
         {0, 1, 2, 1, 2}},
        {"ab\n\xff", {1, 1, 4, 1, 4}},
        {"\xff\n", {1, 0, 2, 1, 2}},
        {"\xe2\x82", {0, 0, 1, 1, 2}},
        {"word\xe2\x82", {0, 1, 5, 1, 6}},
    };
    for (const count_case &c : cases) {
        const std::string shown = testing::PrintToString(c.input);
        EXPECT_EQ(tally_reference_of(c.input), c.counts) << shown;
        EXPECT_EQ(tally_blocks_of(c.input), c.counts) << shown;
        EXPECT_EQ(tally_blocks_of(c.input, 1), c.counts) << shown;
    }
}

// Each selection of counts has a routine of its own in the kernel, which makes those alone.
TEST(Tally, KeepsItsRulesOnGeneratedTextForEverySelection) {
    std::mt19937 rng(7);
    for (int round = 0; round < 600; round++) {
        const std::string text = generated_text(rng, rng() % 300);
        // Small blocks end inside runes; whole ones let the kernel's chunks run into each other.
        const std::size_t block = rng() % 4 == 0 ? TEXTLIB_BLOCK : 1 + rng() % 20;
        for (unsigned selection = 0; selection <= EVERY_COUNT; selection++)
            ASSERT_EQ(tally_holds(text, block, selection), "") << testing::PrintToString(text);
    }
}

// What print_counts writes to standard output with the given counts selected.
std::string printed(const std::string &flags, const tally_counts &c, const char *name) {
    show_lines = flags.find('l') != std::string::npos;
    show_words = flags.find('w') != std::string::npos;
    show_runes = flags.find('r') != std::string::npos;
    show_broken = flags.find('b') != std::string::npos;
    show_bytes = flags.find('c') != std::string::npos;
    fflush(stdout);
    FILE *capture = tmpfile();
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);
    print_counts(c.lines, c.words, c.runes, c.broken, c.bytes, name);
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string out = contents_of(capture);
    fclose(capture);
    show_lines = show_words = show_runes = show_broken = show_bytes = false;
    return out;
}

TEST(Tally, PrintsSelectedCountsInFixedOrderInFieldsThatWiden) {
    const tally_counts small{1, 2, 3, 4, 5};
    EXPECT_EQ(printed("lwrbc", small, "a.txt"),
              "         1         2         3         4         5 a.txt\n");
    EXPECT_EQ(printed("cl", small, "-"), "         1         5\n");
    EXPECT_EQ(printed("b", small, "--"), "         4 --\n");
    EXPECT_EQ(printed("w", small, ""), "         2 \n");
    EXPECT_EQ(printed("l", {999999999, 0, 0, 0, 0}, "-"), " 999999999\n");
    EXPECT_EQ(printed("lc", {1234567890, 0, 0, 0, 7}, "total"), " 1234567890         7 total\n");
    EXPECT_EQ(printed("r", {0, 0, UINT64_MAX, 0, 0}, "big"), " 18446744073709551615 big\n");
}

struct e2e_case {
    std::vector<std::string> args;
    std::string input;
    std::string out;
};

TEST(Tally, OptionsSelectCountsWhateverTheirOrder) {
    const std::string text = "hello world\n";
    const std::string lwc = "         1         2        12\n";
    const std::string lc = "         1        12\n";
    const e2e_case cases[] = {
        {{}, text, lwc},
        {{"-"}, text, lwc},
        {{"--"}, text, lwc},
        {{"--", "-"}, text, lwc},
        {{"-c", "-l"}, text, lc},
        {{"-l", "-c"}, text, lc},
        {{"-cl"}, text, lc},
        {{"-c", "-l", "-c"}, text, lc},
        {{"-b"}, text, "         0\n"},
        {{"-r"}, text, "        12\n"},
        {{"-lwrbc"}, text, "         1         2        12         0        12\n"},
        {{"-rb"}, "x\xff\xff\xffy\xe2\x82", "         6         4\n"},
        {{}, "", "         0         0         0\n"},
    };
    for (const e2e_case &c : cases) {
        const run_result r = run_tool("tally", c.args, c.input);
        EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.args);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

TEST(Tally, OneLinePerInputAndATotalAfterTwoOrMore) {
    const std::string a = temp_file("x\n");
    const std::string b = temp_file("y z\n");
    const std::string line_a = "         1         1         2 " + a + "\n";
    const std::string line_b = "         1         2         4 " + b + "\n";

    run_result r = run_tool("tally", {a, b});
    EXPECT_EQ(r.out, line_a + line_b + "         2         3         6 total\n");
    EXPECT_EQ(r.status, 0);

    r = run_tool("tally", {a});
    EXPECT_EQ(r.out, line_a);

    // "-" is an operand like any other, and a name given twice counts twice.
    r = run_tool("tally", {a, "-"}, "y z\n");
    EXPECT_EQ(r.out, line_a + "         1         2         4\n" +
                         "         2         3         6 total\n");
    r = run_tool("tally", {a, a});
    EXPECT_EQ(r.out, line_a + line_a + "         2         2         4 total\n");

    // Standard input, once ended, yields nothing more.
    r = run_tool("tally", {"-c", "-", "-"}, "abc");
    EXPECT_EQ(r.out, "         3\n         0\n         3 total\n");
}

// --files0-from takes the names to count from a list, each ended by a zero byte, as
// find -print0 writes them; --total says when the total line comes.
TEST(Tally, NamesFromAListAndTheTotalLine) {
    const std::string scratch = temp_file("");
    const std::string dir = scratch.substr(0, scratch.rfind('/'));
    const std::string a = dir + "/with blank", b = dir + "/with\nnewline";
    std::ofstream(a) << "x\n";
    std::ofstream(b) << "y z\n";
    const std::string line_a = "         1         1         2 " + a + "\n";
    const std::string line_b = "         1         2         4 " + b + "\n";
    const std::string total = "         2         3         6 total\n";
    const std::string list = a + '\0' + b + '\0';
    const std::string missing = dir + "/missing";
    const std::string usage = "usage: tally [-v] [-lwrbc] [--] [file ...]\n";
    const struct {
        std::vector<std::string> args;
        std::string input, out, err;
        int status;
    } cases[] = {
        {{"--files0-from=-"}, list, line_a + line_b + total, "", 0},
        {{"--files0-from=" + temp_file(list)}, "", line_a + line_b + total, "", 0},
        {{"--files0-from=-", "--total=only"}, list, total, "", 0},
        {{"--total=never", "--files0-from=-"}, list, line_a + line_b, "", 0},
        {{"--files0-from=-", "--total=always"},
         a + '\0',
         line_a + line_a.substr(0, 31) + "total\n",
         "",
         0},
        {{"--total=only", a, b}, "", total, "", 0},
        {{"-c", "--total=always", a}, "", "         2 " + a + "\n         2 total\n", "", 0},
        // The last name needs no zero byte after it; an empty list names no input.
        {{"--files0-from=-"}, a + '\0' + b, line_a + line_b + total, "", 0},
        {{"--files0-from=-"}, "", "", "", 0},
        {{"--files0-from=-", "--total=always"},
         "",
         "         0         0         0 total\n",
         "",
         0},
        // A name that cannot be opened ends the count, as on the command line.
        {{"--files0-from=-"},
         a + '\0' + missing + '\0' + b,
         line_a,
         "tally: unable to open " + missing + "\n",
         1},
        {{"--files0-from=" + missing}, "", "", "tally: unable to open " + missing + "\n", 1},
        {{"--files0-from=-"}, a + '\0' + "-", line_a, "tally: unable to open -\n", 1},
        {{"--files0-from=-", a}, list, "", usage, 1},
        {{"--files0-from", "-"}, list, "", usage, 1},
        {{"--total=sometimes", a},
         "",
         "",
         "tally: --total option must be auto, always, never or only\n",
         1},
    };
    for (const auto &c : cases) {
        const run_result r = run_tool("tally", c.args, c.input);
        EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.args);
        EXPECT_EQ(r.err, c.err) << testing::PrintToString(c.args);
        EXPECT_EQ(r.status, c.status) << testing::PrintToString(c.args);
    }
}

// -c alone answers from the size of a regular file, but files under /proc show 0 bytes and those
// under /sys 4096, whatever they hold: those are read, and their text, one byte a rune, gives
// as many runes as bytes.
TEST(Tally, CountsBytesFromTheSizeOnlyWhereItTellsThem) {
    for (const std::string path : {"/proc/version", "/sys/devices/system/cpu/online"}) {
        if (access(path.c_str(), R_OK) != 0) continue;
        const std::string bytes = run_tool("tally", {"-c", path}).out;
        EXPECT_EQ(bytes, run_tool("tally", {"-r", path}).out);
        EXPECT_NE(bytes, "         0 " + path + "\n");
        EXPECT_NE(bytes, "      4096 " + path + "\n");
    }
}

} // namespace
