#include "linefill.h"

#include "columns.h"

namespace {

// -t is left out of the usage line but has its lines in --help.
constexpr frame_option_help LINEFILL_OPTIONS[] = {
    {"-l N", "fill lines to at most N columns (default 70)"},
    {"-t N", "tab stops every N columns, for indentation (default 8)"},
    {"-t LIST", "tab stops at the columns listed, such as 4,8,20"},
    {"--display-width", "count each rune as the columns a terminal shows it in"},
    {"--keep-bytes", "keep malformed bytes and characters above U+FFFF as read"},
    {"--prefix", "fill lines that begin with a comment or quote marker"},
    {"", "apart, the marker at the start of each line"},
    {"--prefix=STRING", "fill lines that begin with STRING likewise, and"},
    {"", "copy the other lines as they are"}};

constexpr frame_long_option LINEFILL_LONG_OPTIONS[] = {
    TEXTLIB_COLUMN_OPTIONS[0], TEXTLIB_COLUMN_OPTIONS[1], {"prefix", LONG_PREFIX, true, true}};

const frame_tool LINEFILL = {"@(#)linefill\t1.6", "linefill [-v] [-l length] [--] [file ...]",
                             LINEFILL_OPTIONS};

} // namespace

int main(int argc, char **argv) {
    diag_progname = "linefill";
    for (int opt; (opt = frame_getopt(argc, argv, "vl:t:", LINEFILL_LONG_OPTIONS)) != -1;) {
        switch (opt) {
        case 'v': frame_identify(LINEFILL);
        case 'l':
            line_length = frame_positive(
                optarg, "-l option must specify a decimal integer greater than zero");
            break;
        case 't': frame_tabs(optarg); break;
        case LONG_DISPLAY_WIDTH: display_width = true; break;
        case LONG_KEEP_BYTES: keep_bytes = true; break;
        case LONG_PREFIX: prefix_set(optarg); break;
        case LONG_HELP: frame_help(LINEFILL);
        case LONG_VERSION: frame_version(LINEFILL);
        default: frame_usage(LINEFILL);
        }
    }
    whole_lines_only = isatty(STDOUT_FILENO) != 0;
    frame_run(argc, argv, linefill_file);
    frame_exit();
}
