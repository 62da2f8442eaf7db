#include "tally.h"

#include <cstring>

namespace {

constexpr frame_option_help TALLY_OPTIONS[] = {
    {"-l", "count lines"},
    {"-w", "count words"},
    {"-r", "count runes"},
    {"-b", "count malformed sequences"},
    {"-c", "count bytes"},
    {"--files0-from=F", "count the files named in F (- for standard input)"},
    {"--total=WHEN", "the total line: auto, always, never or only"}};

const frame_tool TALLY = {"@(#)tally\t1.6", "tally [-v] [-lwrbc] [--] [file ...]", TALLY_OPTIONS};

constexpr frame_long_option TALLY_LONG_OPTIONS[] = {{"files0-from", LONG_FILES0_FROM, true},
                                                    {"total", LONG_TOTAL, true}};

tally_total total_named(const char *when) {
    const struct {
        const char *name;
        tally_total total;
    } named[] = {{"auto", TOTAL_AUTO},
                 {"always", TOTAL_ALWAYS},
                 {"never", TOTAL_NEVER},
                 {"only", TOTAL_ONLY}};
    for (const auto &n : named) {
        if (std::strcmp(when, n.name) == 0) return n.total;
    }
    diag_fatal("--total option must be auto, always, never or only");
}

} // namespace

int main(int argc, char **argv) {
    diag_progname = "tally";
    const char *names_from = nullptr;
    for (int opt; (opt = frame_getopt(argc, argv, "vlwrbc", TALLY_LONG_OPTIONS)) != -1;) {
        switch (opt) {
        case 'v': frame_identify(TALLY);
        case 'l': show_lines = true; break;
        case 'w': show_words = true; break;
        case 'r': show_runes = true; break;
        case 'b': show_broken = true; break;
        case 'c': show_bytes = true; break;
        case LONG_FILES0_FROM: names_from = optarg; break;
        case LONG_TOTAL: total_when = total_named(optarg); break;
        case LONG_HELP: frame_help(TALLY);
        case LONG_VERSION: frame_version(TALLY);
        default: frame_usage(TALLY);
        }
    }
    if (!show_lines && !show_words && !show_runes && !show_broken && !show_bytes) {
        show_lines = show_words = show_bytes = true;
    }
    // The inputs come from the command line or from the list, never from both.
    if (names_from != nullptr && optind < argc) frame_usage(TALLY);
    print_total(names_from != nullptr ? tally_names_from(names_from)
                                      : frame_run(argc, argv, tally_file));
    frame_exit();
}
