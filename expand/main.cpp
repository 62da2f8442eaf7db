#include "expand.h"

#include "columns.h"

namespace {

const frame_tool EXPAND = {
    "@(#)expand\t1.6", "expand [-v] [-t tabs] [--] [file ...]",
    "  -v         show the identification on standard error\n"
    "  -t tabs    tab stops every tabs columns (default 8)\n"
    "  --display-width  count each rune as the columns a terminal shows it in\n"};

} // namespace

int main(int argc, char **argv) {
    diag_progname = "expand";
    for (int opt; (opt = frame_getopt(argc, argv, "vt:", TEXTLIB_COLUMN_OPTIONS)) != -1;) {
        switch (opt) {
        case 'v': frame_identify(EXPAND);
        case 't': frame_tabs(optarg); break;
        case LONG_DISPLAY_WIDTH: display_width = true; break;
        case LONG_HELP: frame_help(EXPAND);
        case LONG_VERSION: frame_version(EXPAND);
        default: frame_usage(EXPAND);
        }
    }
    frame_run(argc, argv, expand_file);
    frame_exit();
}
