#include "expand.h"

#include "columns.h"

namespace {

constexpr frame_option_help EXPAND_OPTIONS[] = {
    {"-t N", "tab stops every N columns (default 8)"},
    {"-t LIST", "tab stops at the columns listed, such as 4,8,20"},
    {"--display-width", "count each rune as the columns a terminal shows it in"},
    {"--keep-bytes", "keep malformed bytes and characters above U+FFFF as read"}};

const frame_tool EXPAND = {"@(#)expand\t1.6", "expand [-v] [-t tabs] [--] [file ...]",
                           EXPAND_OPTIONS};

} // namespace

int main(int argc, char **argv) {
    diag_progname = "expand";
    for (int opt; (opt = frame_getopt(argc, argv, "vt:", TEXTLIB_COLUMN_OPTIONS)) != -1;) {
        switch (opt) {
        case 'v': frame_identify(EXPAND);
        case 't': frame_tabs(optarg); break;
        case LONG_DISPLAY_WIDTH: display_width = true; break;
        case LONG_KEEP_BYTES: keep_bytes = true; break;
        case LONG_HELP: frame_help(EXPAND);
        case LONG_VERSION: frame_version(EXPAND);
        default: frame_usage(EXPAND);
        }
    }
    frame_run(argc, argv, expand_file);
    frame_exit();
}
