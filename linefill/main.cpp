#include "linefill.h"

#include "columns.h"

namespace {

// -t is left out of the usage line but has its line in --help.
const frame_tool LINEFILL = {
    "@(#)linefill\t1.6", "linefill [-v] [-l length] [--] [file ...]",
    "  -v         show the identification on standard error\n"
    "  -l length  fill lines to at most length columns (default 70)\n"
    "  -t tabs    tab stops every tabs columns, for indentation (default 8)\n"
    "  --display-width  count each rune as the columns a terminal shows it in\n"};

} // namespace

int main(int argc, char **argv) {
    diag_progname = "linefill";
    for (int opt; (opt = frame_getopt(argc, argv, "vl:t:", TEXTLIB_COLUMN_OPTIONS)) != -1;) {
        switch (opt) {
        case 'v': frame_identify(LINEFILL);
        case 'l':
            line_length = frame_positive(
                optarg, "-l option must specify a decimal integer greater than zero");
            break;
        case 't': frame_tabs(optarg); break;
        case LONG_DISPLAY_WIDTH: display_width = true; break;
        case LONG_HELP: frame_help(LINEFILL);
        case LONG_VERSION: frame_version(LINEFILL);
        default: frame_usage(LINEFILL);
        }
    }
    frame_run(argc, argv, linefill_file);
    frame_exit();
}
