#include "textlib.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr frame_long_option COMMON_LONG_OPTIONS[] = {{"help", LONG_HELP},
                                                     {"version", LONG_VERSION}};

// The column of --help's option forms: room for a long option with a value, such as
// "--display-width" or "--name=VALUE", so that every tool's lines up alike.
constexpr int HELP_FORM_WIDTH = 16;
constexpr frame_option_help IDENTIFY_HELP[] = {
    {"-v", "show the identification on standard error and exit"},
    {"", "without reading any input"}};
constexpr frame_option_help COMMON_HELP[] = {
    {"--help", "show this help"}, {"--version", "show the identification on standard output"}};

// Set while getopt is inside a group of letters such as "-at4": it takes its next letter from
// the argument it holds, so argv[optind] is not the next argument.
bool inside_group = false;

// The code of the long option written as text, "name" or "name=value"; optarg then points to
// the value, or is null when none is written.
int long_option_code(const char *text, std::span<const frame_long_option> tool_long_options) {
    const char *const equals = strchr(text, '=');
    const std::size_t length =
        equals != nullptr ? static_cast<std::size_t>(equals - text) : strlen(text);
    for (const std::span<const frame_long_option> table :
         {std::span<const frame_long_option>(COMMON_LONG_OPTIONS), tool_long_options}) {
        for (const frame_long_option &option : table) {
            if (strncmp(text, option.name, length) != 0 || option.name[length] != '\0') continue;
            const bool valued = equals != nullptr;
            if (valued ? !option.takes_value : option.takes_value && !option.value_optional)
                return '?';
            optarg = valued ? const_cast<char *>(equals + 1) : nullptr;
            return option.code;
        }
    }
    return '?';
}

} // namespace

int frame_getopt(int argc, char **argv, const char *options,
                 std::span<const frame_long_option> tool_long_options) {
    // A leading '+' keeps glibc from moving operands ahead of options: parsing stops at the
    // first operand, so "expand a -t 4" names three inputs.
    static char posix_options[64];
    if (posix_options[0] == '\0') {
        posix_options[0] = '+';
        strncpy(posix_options + 1, options, sizeof posix_options - 2);
        opterr = 0;
    }
    if (!inside_group && optind < argc) {
        const char *const argument = argv[optind];
        // "--" alone ends the options; getopt knows it.
        if (strncmp(argument, "--", 2) == 0 && argument[2] != '\0') {
            optind++;
            return long_option_code(argument + 2, tool_long_options);
        }
    }
    const int before = optind;
    const int opt = getopt(argc, argv, posix_options);
    // getopt moves optind on only once it has used up an argument.
    inside_group = opt != -1 && optind == before;
    return opt;
}

void frame_identify(const frame_tool &tool) {
    fprintf(stderr, "%s\n", tool.identification);
    exit(0);
}

void frame_version(const frame_tool &tool) {
    printf("%s\n", tool.identification);
    frame_exit();
}

void frame_help(const frame_tool &tool) {
    printf("usage: %s\n", tool.usage);
    for (const std::span<const frame_option_help> lines :
         {std::span<const frame_option_help>(IDENTIFY_HELP), tool.options,
          std::span<const frame_option_help>(COMMON_HELP)}) {
        for (const frame_option_help &line : lines)
            printf("  %-*s  %s\n", HELP_FORM_WIDTH, line.form, line.text);
    }
    frame_exit();
}

void frame_usage(const frame_tool &tool) {
    fprintf(stderr, "usage: %s\n", tool.usage);
    exit(1);
}

int frame_positive(const char *text, const char *message) {
    errno = 0;
    const int value = int_strict_parse(text, 10);
    if (errno == ERANGE || errno == EDOM || value <= 0) diag_fatal("%s", message);
    return value;
}

int frame_run(int argc, char **argv, void (*per_file)(const char *name)) {
    if (optind >= argc) {
        per_file("-");
        return 0;
    }
    for (int i = optind; i < argc; i++)
        per_file(argv[i]);
    return argc - optind;
}

void frame_exit() {
    if (fflush(stdout) != 0 || ferror(stdout)) diag_fatal("write error");
    exit(0);
}

FILE *input_open(const char *name) {
    if (strcmp(name, "-") == 0) return stdin;
    FILE *stream = fopen(name, "r");
    if (stream == nullptr) diag_fatal("unable to open %s", name);
    return stream;
}

void input_close(FILE *stream, const char *name) {
    if (ferror(stream)) diag_fatal("unable to read %s", name);
    if (stream != stdin) fclose(stream);
}
