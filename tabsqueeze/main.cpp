#include "tabsqueeze.h"

int main(int argc, char **argv) {
    diag_progname = "tabsqueeze";
    for (int opt; (opt = frame_getopt(argc, argv, "vat:")) != -1;) {
        switch (opt) {
        case 'v': frame_identify("@(#)tabsqueeze\t1.6");
        case 'a': all_blanks = true; break;
        case 't':
            tab_width = frame_positive(
                optarg, "-t option must specify a decimal integer greater than zero");
            break;
        default: frame_usage("tabsqueeze [-v] [-a] [-t tabs] [--] [file ...]");
        }
    }
    frame_run(argc, argv, tabsqueeze_file);
    frame_exit();
}
