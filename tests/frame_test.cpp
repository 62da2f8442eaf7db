// The command frame as all four tools show it: --help and --version where an option may stand,
// on standard output, and no other long option.
#include "support.h"

#include <gtest/gtest.h>

namespace {

struct frame_case {
    std::string tool;
    std::vector<std::string> args;
    std::string out, err;
    int status;
};

const std::string EXPAND_USAGE = "usage: expand [-v] [-t tabs] [--] [file ...]\n";
const std::string TABSQUEEZE_USAGE = "usage: tabsqueeze [-v] [-a] [-t tabs] [--] [file ...]\n";
const std::string TALLY_USAGE = "usage: tally [-v] [-lwrbc] [--] [file ...]\n";
const std::string LINEFILL_USAGE = "usage: linefill [-v] [-l length] [--] [file ...]\n";

const std::string V = "  -v         show the identification on standard error\n";
const std::string T = "  -t tabs    tab stops every tabs columns (default 8)\n";
const std::string LONG = "  --help     show this help\n"
                         "  --version  show the identification on standard output\n";
const std::string EXPAND_HELP = EXPAND_USAGE + V + T + LONG;
const std::string TABSQUEEZE_HELP =
    TABSQUEEZE_USAGE + V + "  -a         convert every run of blanks, not only leading ones\n" + T +
    LONG;
const std::string TALLY_HELP = TALLY_USAGE + V +
                               "  -l         count lines\n"
                               "  -w         count words\n"
                               "  -r         count runes\n"
                               "  -b         count malformed sequences\n"
                               "  -c         count bytes\n" +
                               LONG;
const std::string LINEFILL_HELP =
    LINEFILL_USAGE + V +
    "  -l length  fill lines to at most length columns (default 70)\n"
    "  -t tabs    tab stops every tabs columns, for indentation (default 8)\n" +
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
    };
    // clang-format on
    for (const frame_case &c : cases) {
        const run_result r = run_tool(c.tool, c.args);
        const std::string shown = c.tool + " " + testing::PrintToString(c.args);
        EXPECT_EQ(r.out, c.out) << shown;
        EXPECT_EQ(r.err, c.err) << shown;
        EXPECT_EQ(r.status, c.status) << shown;
    }
}

} // namespace
