#include "support.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

std::string temp_directory() {
    static std::string dir;
    if (dir.empty()) {
        char pattern[] = "/tmp/textfilters-test-XXXXXX";
        dir = mkdtemp(pattern);
        std::atexit([] { std::system(("rm -rf " + dir).c_str()); });
    }
    return dir;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

} // namespace

std::string temp_file(const std::string &contents) {
    static int count = 0;
    const std::string path = temp_directory() + "/f" + std::to_string(count++);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

run_result run_tool(const std::string &tool, const std::vector<std::string> &args,
                    const std::string &input) {
    const std::string in_path = temp_file(input);
    const std::string out_path = temp_file("");
    const std::string err_path = temp_file("");
    const std::string program = std::string(TOOL_DIR) + "/" + tool;

    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_TRUNC, 0);
    pid_t pid;
    run_result result{"", "", -1};
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}

std::string generated_text(std::mt19937 &rng, std::size_t length) {
    static const std::vector<std::string> pieces = {"a",
                                                    "word",
                                                    "x",
                                                    " ",
                                                    "  ",
                                                    "\t",
                                                    "\n",
                                                    "\r",
                                                    "\xc3\xa9",
                                                    "\xe2\x82\xac",
                                                    "\xe3\x80\x80",
                                                    "\xc2\x80",
                                                    "\xe0\x82\x80",
                                                    "\xc0\x80",
                                                    "\xc0\x89",
                                                    "\xc0\x8a",
                                                    "\xe0\x80\x80",
                                                    "\xed\xa0\x80",
                                                    "\xff",
                                                    "\x80",
                                                    "\xc3",
                                                    "\xe2\x82",
                                                    "\xf0\x9f\x98\x80",
                                                    "\xf4\x8f\xbf\xbf",
                                                    "\xf0\x90\x80\x80",
                                                    "\xf3\xa0\x80\x81",
                                                    "\xf0\xa0\x80\x80",
                                                    "\xf0\x8f\xbf\xbf",
                                                    "\xf4\x90\x80\x80",
                                                    "\xf0\x9f\x98",
                                                    std::string(1, '\0'),
                                                    "\xef\xbb\xbf",
                                                    "\x08",
                                                    "        ",
                                                    "abcdefghij",
                                                    "\xc0\xa0",
                                                    "\xc1\xbf",
                                                    "\xe0\x9f\xbf",
                                                    "\xe0\xa0\x80",
                                                    "\xc2\xa0",
                                                    "\xef\xbf\xbf",
                                                    " \xc0",
                                                    "\n\xe0",
                                                    std::string("w\0o\0r\0d\0 \0", 10),
                                                    "\xfe\x80\xff\xc3\xa9\xe2\x82"};
    // Plain text: what the fast paths pass over whole, between rare pieces above.
    static const std::vector<std::string> plain = {"the ",
                                                   "quick ",
                                                   "brown fox ",
                                                   "jumps\n",
                                                   "\t",
                                                   "  ",
                                                   "\xc3\xa9t\xc3\xa9 ",
                                                   "\xe4\xb8\x80\xe4\xba\x8c ",
                                                   "abcdefghijklmnopqrstuvwxyz",
                                                   "\n",
                                                   "        ",
                                                   " \t"};
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> any_byte(0, 255);
    // Half the texts are dense with what needs a closer look, half mostly plain.
    const std::size_t spacing = rng() % 2 == 0 ? 0 : 1 + rng() % 200;
    std::string text;
    while (text.size() < length) {
        if (spacing != 0 && rng() % spacing != 0)
            text += plain[rng() % plain.size()];
        else if (rng() % 8 == 0)
            text.push_back(static_cast<char>(any_byte(rng)));
        else
            text += pieces[pick(rng)];
    }
    text.resize(length);
    return text;
}

std::string generated_tabs(std::mt19937 &rng) {
    static const char *const widths[] = {"1", "2", "3", "4", "5", "8", "13"};
    if (rng() % 4 != 0) return widths[rng() % std::size(widths)];
    std::string list;
    std::uint64_t stop = 0;
    for (auto stops = 2 + rng() % 5; stops > 0; stops--) {
        stop += 1 + rng() % 12;
        if (!list.empty()) list += ',';
        list += std::to_string(stop);
    }
    return list;
}
