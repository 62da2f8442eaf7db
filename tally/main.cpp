#include "tally.h"

int main(int argc, char **argv) {
    diag_progname = "tally";
    for (int opt; (opt = frame_getopt(argc, argv, "vlwrbc")) != -1;) {
        switch (opt) {
        case 'v': frame_identify("@(#)tally\t1.6");
        case 'l': show_lines = true; break;
        case 'w': show_words = true; break;
        case 'r': show_runes = true; break;
        case 'b': show_broken = true; break;
        case 'c': show_bytes = true; break;
        default: frame_usage("tally [-v] [-lwrbc] [--] [file ...]");
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
