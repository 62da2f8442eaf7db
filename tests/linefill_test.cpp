#include "linefill.h"
#include "support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::size_t block_size_for_test = TEXTLIB_BLOCK;

void fill_by_blocks(FILE *in, FILE *out) {
    run_blocks(linefill_blocks, in, out, block_size_for_test);
}

// One run of the tool over several inputs in a row, with the given settings.
std::string fill_with(void (*routine)(FILE *, FILE *), const std::vector<std::string> &inputs,
                      int length, const std::string &tabs) {
    line_length = length;
    use_tabs(tabs);
    out_column = 0;
    FILE *out = tmpfile();
    for (const std::string &text : inputs) {
        FILE *in = stream_of(text);
        routine(in, out);
        fclose(in);
    }
    std::string result = contents_of(out);
    fclose(out);
    line_length = 70;
    use_tabs("8");
    return result;
}

// Cuts text into one to three inputs at random places.
std::vector<std::string> split_randomly(std::mt19937 &rng, const std::string &text) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    for (auto cuts = rng() % 3; cuts > 0; cuts--) {
        const std::size_t to = at + rng() % (text.size() - at + 1);
        pieces.push_back(text.substr(at, to - at));
        at = to;
    }
    pieces.push_back(text.substr(at));
    return pieces;
}

TEST(Linefill, BlockPathWritesWhatTheRuneRulesWrite) {
    std::mt19937 rng(7);
    const int lengths[] = {1, 2, 3, 5, 8, 12, 20, 70};
    for (int round = 0; round < 600; round++) {
        const std::vector<std::string> inputs =
            split_randomly(rng, generated_text(rng, rng() % 300));
        const int length = lengths[rng() % 8];
        const std::string tab = generated_tabs(rng);
        display_width = round % 3 == 0;
        keep_bytes = round % 4 >= 2;
        block_size_for_test = 1 + rng() % 20;
        ASSERT_EQ(fill_with(fill_by_blocks, inputs, length, tab),
                  fill_with(linefill_plain, inputs, length, tab))
            << testing::PrintToString(inputs) << " -l " << length << " -t " << tab << " block "
            << block_size_for_test << (keep_bytes ? " --keep-bytes" : "");
    }
    display_width = keep_bytes = false;
    block_size_for_test = TEXTLIB_BLOCK;
}

TEST(Linefill, BlockPathAgreesOnWordsLongerThanABlock) {
    std::mt19937 rng(11);
    const std::string long_word(TEXTLIB_BLOCK + 1000, 'w');
    for (const int length : {5, 70, 2 * static_cast<int>(TEXTLIB_BLOCK)}) {
        const std::string text = generated_text(rng, 2 * TEXTLIB_BLOCK) + " " + long_word + " x\n" +
                                 "\xe4\xb8\x80" + long_word + " y " + long_word;
        ASSERT_EQ(fill_with(fill_by_blocks, {text, " z"}, length, "8"),
                  fill_with(linefill_plain, {text, " z"}, length, "8"))
            << " -l " << length;
    }
}

// The runes of text as the tool reads them.
std::vector<int> runes_of(const std::string &text) {
    FILE *in = stream_of(text);
    std::vector<int> runes;
    for (int r; (r = rune_fgetc(in)) != -1;)
        runes.push_back(r);
    fclose(in);
    return runes;
}

std::vector<std::vector<int>> lines_of(const std::vector<int> &runes) {
    std::vector<std::vector<int>> lines(1);
    for (const int r : runes) {
        if (r == TEXTLIB_NEWLINE)
            lines.emplace_back();
        else
            lines.back().push_back(r);
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

// The words in order, rune 0 left out as the tool leaves it out.
std::vector<std::vector<int>> words_of(const std::vector<int> &runes) {
    std::vector<std::vector<int>> words(1);
    for (const int r : runes) {
        if (textlib_is_blank(r) || r == TEXTLIB_NEWLINE) {
            if (!words.back().empty()) words.emplace_back();
        } else if (r != 0) {
            words.back().push_back(r);
        }
    }
    if (words.back().empty()) words.pop_back();
    return words;
}

std::vector<std::vector<int>> blank_lines_of(const std::vector<int> &runes) {
    std::vector<std::vector<int>> blank;
    for (const std::vector<int> &line : lines_of(runes)) {
        if (std::all_of(line.begin(), line.end(), textlib_is_blank)) blank.push_back(line);
    }
    return blank;
}

std::int64_t width_of(const std::vector<int> &line, int tab) {
    std::int64_t column = 0;
    for (const int r : line)
        column = r == '\t' ? (column / tab + 1) * tab : column + 1;
    return column;
}

TEST(Linefill, KeepsWordsAndBlankLinesAndTheBoundOfSharedLines) {
    std::mt19937 rng(13);
    for (int round = 0; round < 300; round++) {
        const std::string text = generated_text(rng, rng() % 400);
        const int length = 1 + static_cast<int>(rng() % 30);
        const int tab = 1 + static_cast<int>(rng() % 9);
        const std::vector<int> in = runes_of(text);
        const std::vector<int> out =
            runes_of(fill_with(linefill_plain, {text}, length, std::to_string(tab)));
        const std::string shown = testing::PrintToString(text) + " -l " + std::to_string(length);
        ASSERT_EQ(words_of(out), words_of(in)) << shown;
        ASSERT_EQ(blank_lines_of(out), blank_lines_of(in)) << shown;
        for (const std::vector<int> &line : lines_of(out)) {
            if (words_of(line).size() >= 2) {
                ASSERT_LE(width_of(line, tab), length) << shown;
            }
        }
    }
}

// Whether some word is made of rune 0 alone (bytes 00, C0 80 or E0 80 80). Such a word is
// dropped but keeps its separator, so the first fill can leave two blanks where a second fill
// leaves one, or a blank at the end of a line.
bool has_word_of_rune_0_only(const std::vector<int> &runes) {
    bool in_word = false;
    bool only_0 = false;
    for (const int r : runes) {
        if (textlib_is_blank(r) || r == TEXTLIB_NEWLINE) {
            if (in_word && only_0) return true;
            in_word = false;
        } else {
            only_0 = in_word ? only_0 && r == 0 : r == 0;
            in_word = true;
        }
    }
    return in_word && only_0;
}

// Paragraphs whose lines change their indentation at random, with blank and blank-only lines.
std::string indented_text(std::mt19937 &rng) {
    static const char *const indents[] = {"", "", " ", "  ", "\t", " \t ", "        ", "\t\t"};
    std::string text;
    for (auto lines = rng() % 12; lines > 0; lines--) {
        text += indents[rng() % 8];
        if (rng() % 6 != 0) text += generated_text(rng, rng() % 40);
        text += '\n';
    }
    return text;
}

// Filling the output again with the same settings changes nothing, indentation changes inside
// a paragraph included; only words of rune 0 alone spoil it, and the first fill removes those.
TEST(Linefill, FillingItsOwnOutputAgainChangesNothing) {
    std::mt19937 rng(21);
    int fixed_at_once = 0;
    for (int round = 0; round < 3000; round++) {
        const std::string text =
            round % 2 == 0 ? indented_text(rng) : generated_text(rng, rng() % 300);
        const int length = 1 + static_cast<int>(rng() % 40);
        const int tab = 1 + static_cast<int>(rng() % 9);
        const std::string once = fill_with(fill_by_blocks, {text}, length, std::to_string(tab));
        const std::string twice = fill_with(fill_by_blocks, {once}, length, std::to_string(tab));
        const std::string shown = testing::PrintToString(text) + " -l " + std::to_string(length) +
                                  " -t " + std::to_string(tab);
        if (!has_word_of_rune_0_only(runes_of(text))) {
            ASSERT_EQ(twice, once) << shown;
            fixed_at_once++;
        }
        ASSERT_EQ(fill_with(fill_by_blocks, {twice}, length, std::to_string(tab)), twice) << shown;
    }
    EXPECT_GT(fixed_at_once, 1500);
}

TEST(Linefill, AWordOfRune0AloneLeavesItsSeparatorForOneFill) {
    const std::string once = fill_with(linefill_plain, {std::string("a \xc0\x80 b\n")}, 70, "8");
    EXPECT_EQ(once, "a  b\n");
    EXPECT_EQ(fill_with(linefill_plain, {once}, 70, "8"), "a b\n");
}

struct e2e_case {
    std::vector<std::string> args;
    std::string input;
    std::string out;
};

void expect_runs(const e2e_case &c) {
    const run_result r = run_tool("linefill", c.args, c.input);
    EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.args) << testing::PrintToString(c.input);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(Linefill, RefillsParagraphsKeepingIndentation) {
    const std::string zero(1, '\0');
    const e2e_case cases[] = {
        {{"-l", "7"}, "aaa bbb ccc\n", "aaa bbb\nccc\n"},
        {{"-l", "7"}, "aaa bbbb\n", "aaa\nbbbb\n"},
        {{"-l", "7"}, "abcdefghij klm\n", "abcdefghij\nklm\n"},
        {{"-l", "7"}, "x abcdefghij\n", "x\nabcdefghij\n"},
        {{"-l", "3"}, "a b c d e f g\n", "a b\nc d\ne f\ng\n"},
        {{"-l", "5"}, "\xc3\xa9\xc3\xa9 \xc3\xa9\xc3\xa9\n", "\xc3\xa9\xc3\xa9 \xc3\xa9\xc3\xa9\n"},
        {{"-l", "4"},
         "\xc3\xa9\xc3\xa9 \xc3\xa9\xc3\xa9\n",
         "\xc3\xa9\xc3\xa9\n\xc3\xa9\xc3\xa9\n"},
        {{"-l", "20"},
         "    The quick brown fox\n    jumps over the lazy dog.\n",
         "    The quick brown\n    fox jumps over\n    the lazy dog.\n"},
        {{"-l", "12"}, "\tab cd ef\n", "\tab\n\tcd\n\tef\n"},
        {{"-l", "12", "-t", "4"}, "  \tab cd\n", "  \tab cd\n"},
        {{"-l12", "-t4"}, "  \tab cd\n", "  \tab cd\n"},
        {{"-l", "12"}, " \t a bb\n", " \t a\n \t bb\n"},
        {{"-l", "4"}, "        ab cd\n", "        ab\n        cd\n"},
        {{"-l", "12"},
         "  one two\n    three four five\n",
         "  one two\n    three\n    four\n    five\n"},
        {{}, "  aaa\n\tbbb\n", "  aaa bbb\n"},
        {{}, "aaa\nbbb\n\nccc\n", "aaa bbb\n\nccc\n"},
        {{}, "aaa\n   \nbbb\n", "aaa\n   \nbbb\n"},
        {{}, "a\n\n\nb\n", "a\n\n\nb\n"},
        {{}, "\n\naaa\n", "\n\naaa\n"},
        {{}, "aaa   \t bbb   \n", "aaa bbb\n"},
        {{}, "", ""},
        {{}, "\n", "\n"},
        {{}, "aaa bbb   ", "aaa bbb"},
        {{"-l", "7"}, "aaa bbb ccc", "aaa bbb\nccc"},
        {{}, "aaa\n  ", "aaa\n  \n"},
        {{}, "   ", "   \n"},
        {{}, "aaa\r\nbbb\r\n", "aaa\r bbb\r\n"},
        {{}, "a" + zero + "b c\n", "ab c\n"},
        {{}, "a " + zero + " b\n", "a  b\n"},
        // A word of rune 0 alone still needs its separator, and may close the line for it.
        {{"-l", "3"}, "abc " + zero + " d\n", "abc\nd\n"},
        {{}, "  " + zero + " b\n", "  b\n"},
        {{"-l", " 7 "}, "aaa bbb ccc\n", "aaa bbb\nccc\n"},
        {{"--", "-"}, "a\nb", "a b"},
    };
    for (const e2e_case &c : cases)
        expect_runs(c);
}

TEST(Linefill, MalformedAndOverlongInputIsReadLikeAnyRune) {
    const std::string bad = "\xc2\x80";
    const e2e_case cases[] = {
        {{}, "a \xff b\n", "a " + bad + " b\n"},
        {{}, "a\xff\n", "a" + bad + "\n"},
        {{}, "\xe2\x82 x\n", bad + " x\n"},
        {{}, "a\xe2\x82", "a" + bad},
        {{"-l", "5"}, "a \xf0\x9f\x98\x80\n", "a\n" + bad + bad + bad + bad + "\n"},
        {{"-l", "3"}, "ab \xff\xfe\n", "ab\n" + bad + bad + "\n"},
        {{"-l", "4"}, "ab \xc2\x80\xc2\x80", "ab\n" + bad + bad},
        // Overlong forms are the runes they stand for: a blank, a newline, rune 0, a letter.
        {{},
         "a\xc0\xa0\xc0\xa0"
         "b\n",
         "a b\n"},
        {{},
         "a\xc0\x8a\xc0\x8a"
         "b\n",
         "a\n\nb\n"},
        {{},
         "\xc0\x89"
         "a\n",
         "\ta\n"},
        {{},
         "a\xc0\x80"
         "b\xe0\x80\x80"
         "c\n",
         "abc\n"},
        {{}, "\xc1\x81\xe0\x81\x81\n", "AA\n"},
        // Kept: a four-byte sequence is one rune, of its display width with --display-width.
        {{"--keep-bytes", "-l", "5"},
         "\xf0\x9f\x91\x8b\xf0\x9f\x91\x8b ab \xff\n",
         "\xf0\x9f\x91\x8b\xf0\x9f\x91\x8b ab\n\xff\n"},
        {{"--keep-bytes", "--display-width", "-l", "5"},
         "\xf0\x9f\x91\x8b\xf0\x9f\x91\x8b ab \xff\n",
         "\xf0\x9f\x91\x8b\xf0\x9f\x91\x8b\nab \xff\n"},
        {{"-l", "5"},
         "\xe4\xb8\x80\xe4\xb8\x80 \xe0\xa0\x80\xe0\xa0\x80\xe0\xa0\x80\n",
         "\xe4\xb8\x80\xe4\xb8\x80\n\xe0\xa0\x80\xe0\xa0\x80\xe0\xa0\x80\n"},
    };
    for (const e2e_case &c : cases)
        expect_runs(c);
}

TEST(Linefill, LongWordsAndHugeSettingsStayExact) {
    const std::string xs(300000, 'x');
    const e2e_case cases[] = {
        {{}, "a " + xs + " b\n", "a\n" + xs + "\nb\n"},
        {{"-l", "2147483647"}, "a " + xs + " b\n", "a " + xs + " b\n"},
        {{"-l", "300002"}, "a " + xs + " b\n", "a " + xs + "\nb\n"},
        {{"-l", "300001"}, "  a " + xs + "\n", "  a\n  " + xs + "\n"},
        // Columns past INT_MAX: two tabs at the largest stop distance.
        {{"-t", "2147483647", "-l", "2147483647"}, "\t\tab cd\n", "\t\tab\n\t\tcd\n"},
        {{"-t", "2147483640", "-l", "2147483647"}, "\tab cd\n", "\tab cd\n"},
    };
    for (const e2e_case &c : cases)
        expect_runs(c);
}

TEST(Linefill, AnOpenLineGoesOnInTheNextInput) {
    const struct {
        std::vector<std::string> files;
        std::vector<std::string> options;
        std::string out;
    } cases[] = {
        {{"aaa", "bbb\n"}, {}, "aaa bbb\n"},
        {{"aaa\n", "bbb\n"}, {}, "aaa\nbbb\n"},
        {{"a", ""}, {}, "a\n"},
        {{"a   ", "b"}, {}, "a b"},
        {{"a", "\n", "b"}, {}, "a\n\nb"},
        {{"a", "  \n"}, {}, "a\n  \n"},
        {{"aaa", "  bbb"}, {"-l", "6"}, "aaa\n  bbb"},
        {{"aaa", "  bb"}, {"-l", "6"}, "aaa bb"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = c.options;
        for (const std::string &contents : c.files)
            args.push_back(temp_file(contents));
        expect_runs({args, "", c.out});
    }
    // Standard input named twice gives nothing the second time, which closes the open line.
    expect_runs({{"-", "-"}, "a", "a\n"});
    expect_runs({{temp_file("x"), "-"}, "y", "x y"});
}

struct failure_case {
    std::vector<std::string> args;
    std::string err;
    int status;
};

TEST(Linefill, OptionsIdentificationAndUsage) {
    const std::string usage = "usage: linefill [-v] [-l length] [--] [file ...]\n";
    const std::string bad_l =
        "linefill: -l option must specify a decimal integer greater than zero\n";
    const std::string bad_t =
        "linefill: -t option must specify a decimal integer greater than zero\n";
    const failure_case cases[] = {
        {{"-v"}, "@(#)linefill\t1.6\n", 0},
        {{"-v", "-x"}, "@(#)linefill\t1.6\n", 0},
        {{"-v", "-l", "0"}, "@(#)linefill\t1.6\n", 0},
        {{"-x", "-v"}, usage, 1},
        {{"-a"}, usage, 1},
        {{"-l"}, usage, 1},
        {{"-t"}, usage, 1},
        {{"-l", "0"}, bad_l, 1},
        {{"-l", "-5"}, bad_l, 1},
        {{"-l", "0", "-t", "0"}, bad_l, 1},
        {{"-t", "4", "-l", "-5"}, bad_l, 1},
        {{"-l", "abc"}, bad_l, 1},
        {{"-l", "7x"}, bad_l, 1},
        {{"-l", "2147483648"}, bad_l, 1},
        {{"-l", ""}, bad_l, 1},
        {{"-t", "0"}, bad_t, 1},
        {{"-t", "0", "-l", "0"}, bad_t, 1},
        {{"-t", " "}, bad_t, 1},
        {{"nosuch-file"}, "linefill: unable to open nosuch-file\n", 1},
        {{"/"}, "linefill: unable to read /\n", 1},
    };
    for (const failure_case &c : cases) {
        const run_result r = run_tool("linefill", c.args, "a b\n");
        EXPECT_EQ(r.out, "") << testing::PrintToString(c.args);
        EXPECT_EQ(r.err, c.err) << testing::PrintToString(c.args);
        EXPECT_EQ(r.status, c.status) << testing::PrintToString(c.args);
    }

    // Output for the inputs before one that cannot be opened stays written, its line still open.
    const run_result r = run_tool("linefill", {temp_file("a b"), "nosuch", temp_file("c")});
    EXPECT_EQ(r.out, "a b");
    EXPECT_EQ(r.err, "linefill: unable to open nosuch\n");
    EXPECT_EQ(r.status, 1);
}

TEST(Linefill, AFailedWriteIsReported) {
    const std::string path = temp_file("a b\n");
    const std::string command =
        std::string(TOOL_DIR) + "/linefill " + path + " >/dev/full 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool built_with_address_sanitizer = true;
#else
constexpr bool built_with_address_sanitizer = false;
#endif
#elif defined(__SANITIZE_ADDRESS__)
constexpr bool built_with_address_sanitizer = true;
#else
constexpr bool built_with_address_sanitizer = false;
#endif

// Blanks are held as runs, not one by one: a line of 64 MiB of them, alone or before a word,
// fits in 32 MiB of address space with the program itself, and comes out whole.
TEST(Linefill, LongRunsOfBlanksTakeLittleMemory) {
    if (built_with_address_sanitizer)
        GTEST_SKIP() << "the sanitizer's shadow memory does not fit a bounded address space";
    if (UNDER_EMULATOR)
        GTEST_SKIP() << "the emulator's own code buffer does not fit a bounded address space";
    const std::size_t blanks = 64 << 20;
    const struct {
        std::string text;
        std::size_t written;
    } cases[] = {
        {std::string(blanks, ' '), blanks + 1},
        {std::string(blanks / 2, '\t') + std::string(blanks / 2, ' ') + "word\n", blanks + 5}};
    for (const auto &c : cases) {
        const std::string command = "(ulimit -v 32768 && exec " + std::string(TOOL_DIR) +
                                    "/linefill " + temp_file(c.text) + ") | wc -c";
        FILE *const counted = popen(command.c_str(), "r");
        std::size_t written = 0;
        EXPECT_EQ(fscanf(counted, "%zu", &written), 1);
        pclose(counted);
        EXPECT_EQ(written, c.written);
    }
}

} // namespace
