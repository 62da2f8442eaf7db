#include "tabsqueeze.h"

#include "columns.h"

namespace {

constexpr frame_option_help TABSQUEEZE_OPTIONS[] = {
    {"-a", "convert every run of blanks, not only leading ones"},
    {"-t N", "tab stops every N columns (default 8)"},
    {"-t LIST", "tab stops at the columns listed, such as 4,8,20"},
    {"--display-width", "count each rune as the columns a terminal shows it in"},
    {"--keep-bytes", "keep malformed bytes and characters above U+FFFF as read"}};

const frame_tool TABSQUEEZE = {
    "@(#)tabsqueeze\t1.6", "tabsqueeze [-v] [-a] [-t tabs] [--] [file ...]", TABSQUEEZE_OPTIONS};

} // namespace

int main(int argc, char **argv) {
    diag_progname = "tabsqueeze";
    for (int opt; (opt = frame_getopt(argc, argv, "vat:", TEXTLIB_COLUMN_OPTIONS)) != -1;) {
        switch (opt) {
        case 'v': frame_identify(TABSQUEEZE);
        case 'a': all_blanks = true; break;
        case 't': frame_tabs(optarg); break;
        case LONG_DISPLAY_WIDTH: display_width = true; break;
        case LONG_KEEP_BYTES: keep_bytes = true; break;
        case LONG_HELP: frame_help(TABSQUEEZE);
        case LONG_VERSION: frame_version(TABSQUEEZE);
        default: frame_usage(TABSQUEEZE);
        }
    }
    frame_run(argc, argv, tabsqueeze_file);
    frame_exit();
}
