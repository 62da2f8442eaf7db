// The command frame as all four tools show it: --help and --version where an option may stand,
// on standard output, and no other long option.
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <span>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct frame_case {
    std::string tool;
    std::vector<std::string> args;
    std::string out, err;
    int status;
    std::string input = "";
};

void expect_runs(std::span<const frame_case> cases) {
    for (const frame_case &c : cases) {
        const run_result r = run_tool(c.tool, c.args, c.input);
        const std::string shown = c.tool + " " + testing::PrintToString(c.args);
        EXPECT_EQ(r.out, c.out) << shown;
        EXPECT_EQ(r.err, c.err) << shown;
        EXPECT_EQ(r.status, c.status) << shown;
    }
}

const std::string EXPAND_USAGE = "usage: expand [-v] [-t tabs] [--] [file ...]\n";
const std::string TABSQUEEZE_USAGE = "usage: tabsqueeze [-v] [-a] [-t tabs] [--] [file ...]\n";
const std::string TALLY_USAGE = "usage: tally [-v] [-lwrbc] [--] [file ...]\n";
const std::string LINEFILL_USAGE = "usage: linefill [-v] [-l length] [--] [file ...]\n";

// Every option's form in one column, with room for a long option and its value.
const std::string V = "  -v                show the identification on standard error and exit\n"
                      "                    without reading any input\n";
const std::string T = "  -t N              tab stops every N columns (default 8)\n";
const std::string LIST = "  -t LIST           tab stops at the columns listed, such as 4,8,20\n";
const std::string D =
    "  --display-width   count each rune as the columns a terminal shows it in\n"
    "  --keep-bytes      keep malformed bytes and characters above U+FFFF as read\n";
const std::string LONG = "  --help            show this help\n"
                         "  --version         show the identification on standard output\n";
const std::string EXPAND_HELP = EXPAND_USAGE + V + T + LIST + D + LONG;
const std::string TABSQUEEZE_HELP =
    TABSQUEEZE_USAGE + V +
    "  -a                convert every run of blanks, not only leading ones\n" + T + LIST + D +
    LONG;
const std::string TALLY_HELP =
    TALLY_USAGE + V +
    "  -l                count lines\n"
    "  -w                count words\n"
    "  -r                count runes\n"
    "  -b                count malformed sequences\n"
    "  -c                count bytes\n"
    "  --files0-from=F   count the files named in F (- for standard input)\n"
    "  --total=WHEN      the total line: auto, always, never or only\n" +
    LONG;
const std::string LINEFILL_HELP =
    LINEFILL_USAGE + V +
    "  -l N              fill lines to at most N columns (default 70)\n"
    "  -t N              tab stops every N columns, for indentation (default 8)\n" +
    LIST + D +
    "  --prefix          fill lines that begin with a comment or quote marker\n"
    "                    apart, the marker at the start of each line\n"
    "  --prefix=STRING   fill lines that begin with STRING likewise, and\n"
    "                    copy the other lines as they are\n" +
    LONG;

TEST(Frame, HelpAndVersionOnlyWhereAnOptionMayStand) {
    // clang-format off
    const frame_case cases[] = {
        {"expand", {"--help"}, EXPAND_HELP, "", 0},
        {"tabsqueeze", {"--help"}, TABSQUEEZE_HELP, "", 0},
        {"tally", {"--help"}, TALLY_HELP, "", 0},
        {"linefill", {"--help"}, LINEFILL_HELP, "", 0},
        {"expand", {"--version"}, "@(#)expand\t1.6\n", "", 0},
        {"tabsqueeze", {"--version"}, "@(#)tabsqueeze\t1.6\n", "", 0},
        {"tally", {"--version"}, "@(#)tally\t1.6\n", "", 0},
        {"linefill", {"--version"}, "@(#)linefill\t1.6\n", "", 0},
        // After other options, a group included, and acted on in order.
        {"expand", {"-t", "4", "--help", "-Z"}, EXPAND_HELP, "", 0},
        {"tabsqueeze", {"-at4", "--version"}, "@(#)tabsqueeze\t1.6\n", "", 0},
        {"tally", {"-lw", "--help", "-v"}, TALLY_HELP, "", 0},
        {"linefill", {"-t", "4", "--version", "--help"}, "@(#)linefill\t1.6\n", "", 0},
        {"tally", {"-v", "--help"}, "", "@(#)tally\t1.6\n", 0},
        {"expand", {"-v"}, "", "@(#)expand\t1.6\n", 0, "a\tb\n"},
        {"linefill", {"-l", "0", "--help"}, "",
         "linefill: -l option must specify a decimal integer greater than zero\n", 1},
        // An input name after an operand or "--", and an option's value after -t.
        {"expand", {"-", "--help"}, "", "expand: unable to open --help\n", 1},
        {"tally", {"--", "--version"}, "", "tally: unable to open --version\n", 1},
        {"expand", {"-t", "--help"}, "",
         "expand: -t option must specify a decimal integer greater than zero\n", 1},
        // Any other long option, an abbreviation or a longer word is a usage error.
        {"expand", {"--hel"}, "", EXPAND_USAGE, 1},
        {"tabsqueeze", {"-a", "--helpx"}, "", TABSQUEEZE_USAGE, 1},
        {"tally", {"--help=1"}, "", TALLY_USAGE, 1},
        {"linefill", {"--verbose"}, "", LINEFILL_USAGE, 1},
        {"tally", {"--display-width"}, "", TALLY_USAGE, 1},
        {"tally", {"--keep-bytes"}, "", TALLY_USAGE, 1},
    };
    // clang-format on
    expect_runs(cases);
}

// What a pseudo-terminal shows of a tool's output within a while, without blocking.
std::string shown_within(int terminal, int milliseconds) {
    std::string shown;
    for (pollfd ready{terminal, POLLIN, 0}; poll(&ready, 1, milliseconds) > 0;) {
        char bytes[256];
        const ssize_t n = read(terminal, bytes, sizeof bytes);
        if (n <= 0) break;
        shown.append(bytes, static_cast<std::size_t>(n));
        milliseconds = 50;
    }
    return shown;
}

// Typed at a terminal, each line comes out as soon as it is complete, while the input stays open;
// linefill's open output line waits for the next word or the end of the input.
TEST(Frame, OnATerminalEachLineShowsAtOnce) {
    const struct {
        const char *tool;
        const char *option;
        const char *line;
        const char *shown;
        const char *at_end = "";
    } cases[] = {{"expand", nullptr, "a\tb\n", "a       b\r\n"},
                 {"tabsqueeze", nullptr, "        x\n", "\tx\r\n"},
                 {"linefill", nullptr, "one two\n\n", "one two\r\n\r\n"},
                 {"linefill", "-l10", "aaa bbb\nccc\n", "aaa bbb\r\n", "ccc\r\n"}};
    for (const auto &c : cases) {
        const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(terminal, 0);
        ASSERT_EQ(grantpt(terminal), 0);
        ASSERT_EQ(unlockpt(terminal), 0);
        int input[2];
        ASSERT_EQ(pipe(input), 0);
        const std::string program = std::string(TOOL_DIR) + "/" + c.tool;
        const pid_t pid = fork();
        if (pid == 0) {
            const int screen = open(ptsname(terminal), O_WRONLY);
            dup2(input[0], 0);
            dup2(screen, 1);
            close(input[1]);
            execl(program.c_str(), c.tool, c.option, static_cast<char *>(nullptr));
            _exit(127);
        }
        close(input[0]);
        ASSERT_EQ(write(input[1], c.line, std::strlen(c.line)),
                  static_cast<ssize_t>(std::strlen(c.line)));
        EXPECT_EQ(shown_within(terminal, 5000), c.shown) << c.tool;
        close(input[1]);
        EXPECT_EQ(shown_within(terminal, 5000), c.at_end) << c.tool;
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.tool;
        close(terminal);
    }
}

// By display width a wide rune takes two columns and a combining mark none; tally has no columns.
TEST(Frame, DisplayWidthCountsColumnsAsATerminalShowsThem) {
    // Each case: tool, arguments, output, errors, status, then the input.
    const frame_case cases[] = {
        {"expand",
         {"--display-width"},
         "名前    サイズ\nname    size\n",
         "",
         0,
         "名前\tサイズ\nname\tsize\n"},
        {"expand",
         {"-t", "4", "--display-width"},
         "e\xcc\x81   x\xe2\x80\x8b   y\n",
         "",
         0,
         "e\xcc\x81\tx\xe2\x80\x8b\ty\n"},
        {"tabsqueeze", {"-a", "--display-width"}, "名前\tx\n", "", 0, "名前    x\n"},
        {"linefill",
         {"--display-width", "-l", "8"},
         "日本語\nテキスト\nです ね\n",
         "",
         0,
         "日本語 テキスト です ね\n"},
        {"expand", {"--", "--display-width"}, "", "expand: unable to open --display-width\n", 1},
    };
    expect_runs(cases);
}

// -t takes one width, or a list of increasing stops apart by commas or blanks; the last -t wins.
TEST(Frame, TabStopListsAndTheirErrors) {
    const std::string list_error =
        ": -t option must specify increasing tab stops greater than zero\n";
    const std::string width_error =
        ": -t option must specify a decimal integer greater than zero\n";
    // Each case: tool, arguments, output, errors, status, then the input.
    const frame_case cases[] = {
        {"expand", {"-t", "4,6,10"}, "a   b c   d e\n", "", 0, "a\tb\tc\td\te\n"},
        {"expand", {"-t", " 4, 8 "}, "    a   b c", "", 0, "\ta\tb\tc"},
        {"expand", {"-t4 8"}, "    a   b", "", 0, "\ta\tb"},
        {"expand", {"-t", "2,3", "-t", "5"}, "     a", "", 0, "\ta"},
        {"tabsqueeze", {"-t", "4,8"}, "\t\t   x\n", "", 0, "           x\n"},
        {"tabsqueeze", {"-a", "-t", "4,6"}, "ab\t\tc\n", "", 0, "ab    c\n"},
        {"linefill", {"-t", "4,10", "-l", "11"}, "\tab cd\n\tef\n", "", 0, "\tab cd ef\n"},
        {"expand", {"-t", "0,4"}, "", "expand" + list_error, 1},
        {"tabsqueeze", {"-t", "4,4"}, "", "tabsqueeze" + list_error, 1},
        {"linefill", {"-t", "8,4"}, "", "linefill" + list_error, 1},
        {"expand", {"-t", "4,2147483648"}, "", "expand" + list_error, 1},
        {"expand", {"-t", "4,x"}, "", "expand" + width_error, 1},
        {"expand", {"-t", "4,,8"}, "", "expand" + width_error, 1},
        {"expand", {"-t", "4,"}, "", "expand" + width_error, 1},
        {"expand", {"-t", "+4,8"}, "", "expand" + width_error, 1},
        {"expand", {"-t", "2147483647"}, "x", "", 0, "x"},
    };
    expect_runs(cases);
}

const std::string TOOLS[] = {"expand", "tabsqueeze", "tally", "linefill"};
const std::string USAGES[] = {EXPAND_USAGE, TABSQUEEZE_USAGE, TALLY_USAGE, LINEFILL_USAGE};

// -v before anything wrong, a usage error, a bad value, an input that cannot be opened or read:
// nothing on standard output, though there is input to read.
TEST(Frame, IdentificationUsageAndInputsThatFail) {
    const std::string bad_t = ": -t option must specify a decimal integer greater than zero\n";
    const std::string bad_l =
        "linefill: -l option must specify a decimal integer greater than zero\n";
    const std::string bad_prefix =
        "linefill: --prefix option must specify a string that begins with other than a blank\n";
    std::vector<frame_case> cases = {
        {"tally", {"-l", "-v"}, "", "@(#)tally\t1.6\n", 0},
        {"tally", {"-lx"}, "", TALLY_USAGE, 1},
        {"tabsqueeze", {"-a", "-v", "-x"}, "", "@(#)tabsqueeze\t1.6\n", 0},
        {"linefill", {"-a"}, "", LINEFILL_USAGE, 1},
        {"linefill", {"-l"}, "", LINEFILL_USAGE, 1},
        {"linefill", {"-v", "-l", "0"}, "", "@(#)linefill\t1.6\n", 0},
        {"linefill", {"-l", "0", "-t", "0"}, "", bad_l, 1},
        {"linefill", {"-t", "4", "-l", "-5"}, "", bad_l, 1},
        {"linefill", {"-t", "0", "-l", "0"}, "", "linefill" + bad_t, 1},
        {"linefill", {"--prefix="}, "", bad_prefix, 1},
        {"linefill", {"--prefix=\t#"}, "", bad_prefix, 1},
        {"linefill", {"--prefixes"}, "", LINEFILL_USAGE, 1},
    };
    for (const char *const length : {"0", "-5", "abc", "7x", "2147483648", ""})
        cases.push_back({"linefill", {"-l", length}, "", bad_l, 1});
    for (std::size_t i = 0; i < std::size(TOOLS); i++) {
        const std::string &tool = TOOLS[i];
        const std::string identification = "@(#)" + tool + "\t1.6\n";
        cases.push_back({tool, {"-v"}, "", identification, 0});
        cases.push_back({tool, {"-v", "-x"}, "", identification, 0});
        cases.push_back({tool, {"-x", "-v"}, "", USAGES[i], 1});
        cases.push_back({tool, {"nosuch-file"}, "", tool + ": unable to open nosuch-file\n", 1});
        cases.push_back({tool, {"/"}, "", tool + ": unable to read /\n", 1});
        if (tool == "tally") continue;
        cases.push_back({tool, {"-t"}, "", USAGES[i], 1});
        cases.push_back({tool, {"-v", "-t", "0"}, "", identification, 0});
        cases.push_back({tool, {"-t", "0", "-v"}, "", tool + bad_t, 1});
        cases.push_back({tool, {"-t", "8", "-t", "0"}, "", tool + bad_t, 1});
        for (const char *const tabs :
             {"0", "abc", "4x", "0x10", "-3", "2147483648", "", " ", "4\xa0"})
            cases.push_back({tool, {"-t", tabs}, "", tool + bad_t, 1});
    }
    for (frame_case &c : cases)
        c.input = "a\tb  c\n";
    expect_runs(cases);
}

// Operands are read in order up to one that fails, whose output stays written; after an operand
// or "--", what looks like an option is an input name.
TEST(Frame, OperandsInOrderUpToOneThatFails) {
    const std::string a = temp_file("ab");
    std::vector<frame_case> cases;
    for (const std::string &tool : TOOLS) {
        const std::string out =
            tool == "tally" ? "         0         1         2 " + a + "\n" : "ab";
        cases.push_back({tool, {a, "nosuch", a}, out, tool + ": unable to open nosuch\n", 1});
        // To linefill an input that gives no bytes closes the open line, as an empty one does.
        cases.push_back({tool,
                         {a, "/", a},
                         tool == "linefill" ? "ab\n" : out,
                         tool + ": unable to read /\n",
                         1});
        cases.push_back({tool, {a, "-v"}, out, tool + ": unable to open -v\n", 1});
        cases.push_back({tool, {"--", "--"}, "", tool + ": unable to open --\n", 1});
    }
    expect_runs(cases);
}

// What cannot be written is reported, and the exit status says so.
TEST(Frame, AFailedWriteIsReported) {
    const std::string input = temp_file("a\tb  c\n");
    for (const std::string &tool : TOOLS) {
        const std::string err = temp_file("");
        const std::string command =
            std::string(TOOL_DIR) + "/" + tool + " " + input + " >/dev/full 2>" + err;
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << tool;
        EXPECT_EQ(WEXITSTATUS(status), 1) << tool;
        FILE *const written = fopen(err.c_str(), "r");
        ASSERT_NE(written, nullptr);
        EXPECT_EQ(contents_of(written), tool + ": write error\n");
        fclose(written);
    }
}

} // namespace
