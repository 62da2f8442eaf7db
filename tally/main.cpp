#include "tally.h"

namespace {

constexpr frame_option_help TALLY_OPTIONS[] = {{"-l", "count lines"},
                                               {"-w", "count words"},
                                               {"-r", "count runes"},
                                               {"-b", "count malformed sequences"},
                                               {"-c", "count bytes"}};

const frame_tool TALLY = {"@(#)tally\t1.6", "tally [-v] [-lwrbc] [--] [file ...]", TALLY_OPTIONS};

} // namespace

int main(int argc, char **argv) {
    diag_progname = "tally";
    for (int opt; (opt = frame_getopt(argc, argv, "vlwrbc")) != -1;) {
        switch (opt) {
        case 'v': frame_identify(TALLY);
        case 'l': show_lines = true; break;
        case 'w': show_words = true; break;
        case 'r': show_runes = true; break;
        case 'b': show_broken = true; break;
        case 'c': show_bytes = true; break;
        case LONG_HELP: frame_help(TALLY);
        case LONG_VERSION: frame_version(TALLY);
        default: frame_usage(TALLY);
        }
    }
    if (!show_lines && !show_words && !show_runes && !show_broken && !show_bytes) {
        show_lines = show_words = show_bytes = true;
    }
    if (frame_run(argc, argv, tally_file) >= 2) {
        print_counts(total_lines, total_words, total_runes, total_broken, total_bytes, "total");
    }
    frame_exit();
}
