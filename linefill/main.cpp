#include "linefill.h"

int main(int argc, char **argv) {
    diag_progname = "linefill";
    for (int opt; (opt = frame_getopt(argc, argv, "vl:t:")) != -1;) {
        switch (opt) {
        case 'v': frame_identify("@(#)linefill\t1.6");
        case 'l':
            line_length = frame_positive(
                optarg, "-l option must specify a decimal integer greater than zero");
            break;
        case 't':
            tab_width = frame_positive(
                optarg, "-t option must specify a decimal integer greater than zero");
            break;
        default: frame_usage("linefill [-v] [-l length] [--] [file ...]");
        }
    }
    frame_run(argc, argv, linefill_file);
    frame_exit();
}
