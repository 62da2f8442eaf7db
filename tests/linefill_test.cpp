#include "support.h"

#include <gtest/gtest.h>

namespace {

// Cuts text into one to three inputs at random places.
input_list split_randomly(std::mt19937 &rng, std::string_view text) {
    input_list pieces;
    std::size_t at = 0;
    for (auto cuts = rng() % 3; cuts > 0; cuts--) {
        const std::size_t to = at + rng() % (text.size() - at + 1);
        pieces.push_back(text.substr(at, to - at));
        at = to;
    }
    pieces.push_back(text.substr(at));
    return pieces;
}

// Lines that begin after their indentation with a marker, something like one, or text, each
// followed by generated text or nothing; half of them begin as the line before, and half of their
// last words end them.
std::string marked_text(std::mt19937 &rng) {
    static const char *const indents[] = {"", "", " ", "  ", "\t", " \t"};
    static const char *const starts[] = {
        "",    "> ",  ">",         "> >\t",    ">>",        "// ",       "//",    "/",
        "///", "# ",  "#x",        "--",       "-- ",       "--x",       "; ",    ";;",
        ";;;", "% ",  "! ",        "*",        "*/",        "\t* ",      "XY",    "XY ",
        "X",   "XYZ", "\xc3\xa9>", "\xc3\xa9", "\xc0\xbe ", "#\xc0\x80", ">  > ", ";; \t"};
    std::string text;
    const char *indent = "", *start = "";
    for (auto lines = 1 + rng() % 10; lines > 0; lines--) {
        if (rng() % 2 == 0) {
            indent = indents[rng() % std::size(indents)];
            start = starts[rng() % std::size(starts)];
        }
        text += std::string(indent) + start;
        for (auto words = rng() % 6; words > 0; words--) {
            const char *const after = words == 1 && rng() % 2 == 0 ? ""
                                      : rng() % 4 == 0             ? "\t"
                                                                   : " ";
            text += std::string(1 + rng() % 4, 'w') + after;
        }
        if (rng() % 4 == 0) text += generated_text(rng, rng() % 20);
        text += rng() % 8 == 0 ? "\n\n" : "\n";
    }
    return text;
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

// Text as UTF-16 read as UTF-8 shows it: each byte followed by 00, as ASCII characters are.
std::string with_zero_after_each_byte(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

// Texts cut into inputs read in a row, and paragraphs whose indentation changes at random, filled
// with every setting, read in blocks of every size.
TEST(Linefill, KeepsItsRulesOnGeneratedText) {
    std::mt19937 rng(7);
    const int lengths[] = {1, 2, 3, 5, 8, 12, 20, 70};
    int refilled_unchanged = 0;
    for (int round = 0; round < 3600; round++) {
        // A third of the rounds with --prefix, of either form, mostly over marked lines.
        const bool prefixed = round % 3 == 2;
        const std::string text =
            prefixed && rng() % 4 != 0 ? marked_text(rng)
            : round % 8 == 1
                ? with_zero_after_each_byte(rng() % 2 == 0 ? marked_text(rng) : indented_text(rng))
            : round % 4 < 2 ? indented_text(rng)
                            : generated_text(rng, rng() % 400);
        const input_list inputs = round % 2 == 0 ? input_list{text} : split_randomly(rng, text);
        const char *const prefixes[] = {"", "XY", "\xc3\xa9>", "> "};
        run_settings s{generated_tabs(rng),
                       round % 4 == 0,
                       false,
                       round % 5 == 0 ? 1 + static_cast<int>(rng() % 40) : lengths[rng() % 8],
                       prefixed,
                       prefixes[rng() % 4]};
        s.keep_bytes = round % 7 >= 4;
        const std::size_t block = round % 3 == 1 ? TEXTLIB_BLOCK : 1 + rng() % 20;
        refilled_unchanged += !prefixed && !has_word_of_rune_0_only(inputs);
        ASSERT_EQ(linefill_holds(inputs, s, block), "") << testing::PrintToString(inputs);
    }
    EXPECT_GT(refilled_unchanged, 1000);
}

TEST(Linefill, KeepsItsRulesOnWordsLongerThanABlock) {
    std::mt19937 rng(11);
    const std::string long_word(TEXTLIB_BLOCK + 1000, 'w');
    for (const int length : {5, 70, 2 * static_cast<int>(TEXTLIB_BLOCK)}) {
        const std::string text = generated_text(rng, 2 * TEXTLIB_BLOCK) + " " + long_word + " x\n" +
                                 "\xe4\xb8\x80" + long_word + " y " + long_word;
        ASSERT_EQ(linefill_holds({text, " z"}, {"8", false, false, length}, TEXTLIB_BLOCK), "");
    }
}

TEST(Linefill, AWordOfRune0AloneLeavesItsSeparatorForOneFill) {
    const std::string once = through_reference(linefill_tool, {"a \xc0\x80 b\n"});
    EXPECT_EQ(once, "a  b\n");
    EXPECT_EQ(through_reference(linefill_tool, {once}), "a b\n");
}

// By display width a word of no columns still opens its line: the next word takes a separator,
// and the next input line's indentation is not written before it.
TEST(Linefill, AWordOfNoColumnsKeepsItsSeparator) {
    const run_settings by_display_width{"8", true};
    EXPECT_EQ(through_reference(linefill_tool, {"\xef\xbb\xbf a\n"}, by_display_width),
              "\xef\xbb\xbf a\n");
    EXPECT_EQ(through_reference(linefill_tool, {"\xef\xbb\xbf\n  b\n"}, by_display_width),
              "\xef\xbb\xbf b\n");
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

TEST(Linefill, PrefixedLinesAreFilledApartWithTheirMarker) {
    const std::string p = "--prefix";
    const e2e_case cases[] = {
        {{"-l", "40", p},
         "    // This is a comment that\n    // needs to be refilled to a narrower width now.\n"
         "    int x = 1;\n",
         "    // This is a comment that needs to\n    // be refilled to a narrower width\n"
         "    // now.\n    int x = 1;\n"},
        {{"-l", "30", p},
         "> Quoted text from the first\n> message, which goes on.\n>> An older quote that\n"
         ">> also goes on and on for a while.\n> Back to level one.\n",
         "> Quoted text from the first\n> message, which goes on.\n>> An older quote that also\n"
         ">> goes on and on for a while.\n> Back to level one.\n"},
        {{"-l", "40", p},
         "/*\n * This is a block comment that needs to be refilled to a narrower width.\n"
         " * Second line.\n */\n",
         "/*\n * This is a block comment that needs to\n * be refilled to a narrower width.\n"
         " * Second line.\n */\n"},
        // A marker alone ends the paragraph; so do other indentations and markers.
        {{p}, "# a\n#  \n# b\n", "# a\n#  \n# b\n"},
        {{p}, "  // a\n    // b\n; c\n;; d\n", "  // a\n    // b\n; c\n;; d\n"},
        // Quote levels count the '>', and the first line's lead is every line's.
        {{p}, "> > a\n>>b\n>>> c\n", "> > a b\n>>> c\n"},
        {{p}, "#include <x>\n#include <y>\n--x */\n", "#include <x> #include <y> --x */\n"},
        {{p}, "aaa\nbbb\n# ccc\n# ddd\neee\n", "aaa bbb\n# ccc ddd\neee\n"},
        // The lead counts in the line, a tab in it to its stop.
        {{"-l", "10", p}, "// abcdefghij klm\n", "// abcdefghij\n// klm\n"},
        {{"-l", "12", p}, "#\taa bb cc\n", "#\taa\n#\tbb\n#\tcc\n"},
        {{"-l", "6", "--display-width", p},
         "# \xe6\x97\xa5\xe6\x9c\xac \xe8\xaa\x9e\n",
         "# \xe6\x97\xa5\xe6\x9c\xac\n# \xe8\xaa\x9e\n"},
        // A string: other lines go out as they came, a newline added at the end.
        {{"--prefix=%%"}, "%% a\n%%  b\nx  y\t\n%%c\n%%d\nz", "%% a b\nx  y\t\n%%c d\nz\n"},
        {{"--prefix=> ", "-l", "5"}, ">> a\n> b c d\n", ">> a\n> b c\n> d\n"},
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
        // Kept, rune 0 stays in its word after a malformed rune of fewer than four bytes, so that
        // the bytes around it do not join, as into U+2080.
        {{"--keep-bytes"},
         std::string("\xe2\0\x82\x80 \xe2\x82\0\x80 a\0b \xf0\x9f\x91\x8b\0x\n", 21),
         "\xe2\xc0\x80\x82\x80 \xe2\x82\xc0\x80\x80 ab \xf0\x9f\x91\x8bx\n"},
        // Kept, a marker is matched by its bytes: a four-byte character's whole, not another
        // malformed byte.
        {{"--keep-bytes", "--prefix=\xf0\x9f\x91\x89"},
         "\xf0\x9f\x91\x89 a\n\xf0\x9f\x91\x89 b\n\xff c\n",
         "\xf0\x9f\x91\x89 a b\n\xff c\n"},
        {{"--keep-bytes", "--prefix=\xff"}, "\xff a\n\xff b\n\xfe c\n", "\xff a b\n\xfe c\n"},
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
