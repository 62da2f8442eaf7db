#include "expand.h"

int main(int argc, char **argv) {
    diag_progname = "expand";
    for (int opt; (opt = frame_getopt(argc, argv, "vt:")) != -1;) {
        switch (opt) {
        case 'v': frame_identify("@(#)expand\t1.6");
        case 't':
            tab_width = frame_positive(
                optarg, "-t option must specify a decimal integer greater than zero");
            break;
        default: frame_usage("expand [-v] [-t tabs] [--] [file ...]");
        }
    }
    frame_run(argc, argv, expand_file);
    frame_exit();
}
