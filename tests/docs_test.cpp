// The manual pages against the built tools: each page's synopsis opens with the tool's usage line,
// its diagnostics are messages the tool prints, its examples print what they show, and groff
// renders it without a warning.
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

struct tool_page {
    const char *tool;
    // Option values that each provoke one of the tool's messages.
    std::vector<std::vector<std::string>> bad_values;
};

const tool_page PAGES[] = {
    {"expand", {{"-t", "0"}}},
    {"tabsqueeze", {{"-t", "0"}}},
    {"tally", {{"--total=sometimes"}}},
    {"linefill", {{"-l", "0"}, {"-t", "0"}, {"--prefix="}}},
};

void PrintTo(const tool_page &page, std::ostream *out) {
    *out << page.tool;
}

std::string tool_path(const std::string &tool) {
    return std::string(TOOL_DIR) + "/" + tool;
}

std::string page_path(const std::string &tool) {
    return std::string(SOURCE_DIR) + "/man/" + tool + ".1";
}

std::string read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// What a shell command writes on standard output and standard error.
std::string shell_output(const std::string &command) {
    FILE *pipe = popen(command.c_str(), "r");
    std::string out;
    char block[4096];
    for (std::size_t n; (n = fread(block, 1, sizeof block, pipe)) > 0;)
        out.append(block, n);
    pclose(pipe);
    return out;
}

std::string scratch_directory() {
    return fs::path(temp_file("")).parent_path().string();
}

// ---- Just enough roff to read the pages: font macros, quoted arguments, a few escapes ----

void append_utf8(std::string &text, unsigned c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The text of a run of roff in one font. An italic run stands for a name the user supplies;
// with a placeholder it reads as that placeholder instead.
std::string run_text(const std::string &roff, bool italic, const char *placeholder) {
    if (italic && placeholder != nullptr) return placeholder;
    const std::map<std::string, std::string> named = {
        {"aq", "'"}, {"ga", "`"}, {"lq", "\u201c"}, {"rq", "\u201d"}};
    std::string text;
    for (std::size_t i = 0; i < roff.size(); i++) {
        if (roff[i] != '\\') {
            text += roff[i];
            continue;
        }
        const char c = i + 1 < roff.size() ? roff[++i] : '\0';
        if (c == '-' || c == ' ') {
            text += c;
        } else if (c == 'e') {
            text += '\\';
        } else if (c == '&') {
        } else if (c == '(' && named.count(roff.substr(i + 1, 2)) != 0) {
            text += named.at(roff.substr(i + 1, 2));
            i += 2;
        } else if (c == '[' && roff.compare(i + 1, 1, "u") == 0 &&
                   roff.find(']', i) != std::string::npos) {
            const std::size_t close = roff.find(']', i);
            append_utf8(text, static_cast<unsigned>(
                                  std::stoul(roff.substr(i + 2, close - i - 2), nullptr, 16)));
            i = close;
        } else {
            ADD_FAILURE() << "escape this reader does not know in: " << roff;
        }
    }
    return text;
}

// The arguments of a request line, quotes removed, escapes kept.
std::vector<std::string> arguments(const std::string &line) {
    std::vector<std::string> args;
    std::size_t i = line.find(' ');
    while (i != std::string::npos && i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            i++;
        if (i == line.size()) break;
        std::string arg;
        if (line[i] == '"') {
            for (i++; i < line.size() && line[i] != '"'; i++)
                arg += line[i];
            i++;
        } else {
            for (; i < line.size() && line[i] != ' '; i++) {
                if (line[i] == '\\' && i + 1 < line.size()) arg += line[i++];
                arg += line[i];
            }
        }
        args.push_back(arg);
    }
    return args;
}

// The text one line of a page prints: a text line, or a font macro (.B, .I, .BR, .RI, ...).
std::string line_text(const std::string &line, const char *placeholder = nullptr) {
    if (line.empty() || line[0] != '.') return run_text(line, false, placeholder);
    const std::string macro = line.substr(1, line.find(' ') - 1);
    const std::vector<std::string> args = arguments(line);
    std::string text;
    if (macro == "B" || macro == "I") {
        for (std::size_t i = 0; i < args.size(); i++) {
            if (i > 0) text += ' ';
            text += run_text(args[i], macro == "I", placeholder);
        }
        return text;
    }
    if (macro.size() != 2 || macro.find_first_not_of("BIR") != std::string::npos) {
        ADD_FAILURE() << "request this reader does not know: " << line;
        return text;
    }
    for (std::size_t i = 0; i < args.size(); i++)
        text += run_text(args[i], macro[i % 2] == 'I', placeholder);
    return text;
}

using sections = std::map<std::string, std::vector<std::string>>;

sections sections_of(const std::string &page) {
    sections by_name;
    std::istringstream lines(read_file(page));
    std::string name;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(".SH ", 0) == 0)
            name = line.substr(4);
        else if (!name.empty())
            by_name[name].push_back(line);
    }
    return by_name;
}

// The page's messages as the tool prints them, each name it fills in written %s.
std::vector<std::string> diagnostics(const sections &page) {
    std::vector<std::string> messages;
    const std::vector<std::string> &lines = page.at("DIAGNOSTICS");
    for (std::size_t i = 0; i + 1 < lines.size(); i++) {
        if (lines[i] == ".TP") messages.push_back(line_text(lines[i + 1], "%s"));
    }
    return messages;
}

struct example {
    std::string command;
    std::string output;
};

// The commands of the examples shown with a "$ " prompt, each with the output shown below it.
std::vector<example> examples(const sections &page) {
    std::vector<example> found;
    bool shown = false;
    std::size_t block_start = 0;
    for (const std::string &line : page.at("EXAMPLES")) {
        if (line == ".EX" || line == ".EE") {
            shown = line == ".EX";
            block_start = found.size();
        } else if (shown) {
            const std::string text = line_text(line);
            if (text.rfind("$ ", 0) == 0)
                found.push_back({text.substr(2), ""});
            else if (found.size() > block_start)
                found.back().output += text + "\n";
        }
    }
    return found;
}

class ManualPage : public testing::TestWithParam<tool_page> {
  protected:
    void SetUp() override {
        page = sections_of(page_path(GetParam().tool));
        ASSERT_EQ(page.count("SYNOPSIS") + page.count("DIAGNOSTICS") + page.count("EXAMPLES"), 3u)
            << page_path(GetParam().tool);
    }
    bool built() const { return fs::exists(tool_path(GetParam().tool)); }
    sections page;
};

TEST_P(ManualPage, RendersWithoutWarnings) {
    if (std::system("command -v groff >/dev/null 2>&1") != 0) GTEST_SKIP() << "no groff";
    EXPECT_EQ(shell_output("groff -man -Tutf8 -ww -z '" + page_path(GetParam().tool) + "' 2>&1"),
              "");
}

TEST_P(ManualPage, SynopsisAndVersionAreTheToolsOwn) {
    if (!built()) GTEST_SKIP() << GetParam().tool << " is not built here";
    const std::string tool = GetParam().tool;
    std::string synopsis;
    for (const std::string &line : page.at("SYNOPSIS")) {
        if (line == ".br") break; // the forms after the usage line: --help and --version
        if (!synopsis.empty()) synopsis += ' ';
        synopsis += line_text(line);
    }
    const run_result usage = run_tool(tool, {"-Z"});
    EXPECT_EQ("usage: " + synopsis + "\n", usage.err);

    // The title line names the version that -v identifies.
    const std::string contents = read_file(page_path(tool));
    const std::string title = contents.substr(0, contents.find('\n'));
    const std::string identity = run_tool(tool, {"-v"}).err;
    const std::size_t tab = identity.find('\t');
    ASSERT_NE(tab, std::string::npos) << identity;
    const std::string version = identity.substr(tab + 1, identity.size() - tab - 2);
    EXPECT_NE(title.find("\"textfilters " + version + "\""), std::string::npos)
        << title << " against " << identity;
}

TEST_P(ManualPage, DiagnosticsAreWhatTheToolPrints) {
    if (!built()) GTEST_SKIP() << GetParam().tool << " is not built here";
    const std::string tool = GetParam().tool;
    const std::vector<std::string> listed = diagnostics(page);
    std::vector<std::string> printed;

    // Run the tool into every condition it reports that a test can bring about.
    const std::string missing = scratch_directory() + "/no-such-input";
    const std::string directory = scratch_directory();
    std::vector<std::vector<std::string>> refusals = {{"-Z"}, {missing}, {directory}};
    refusals.insert(refusals.end(), GetParam().bad_values.begin(), GetParam().bad_values.end());
    for (const std::vector<std::string> &args : refusals) {
        const run_result r = run_tool(tool, args, "a b\n");
        EXPECT_EQ(r.status, 1) << testing::PrintToString(args);
        std::string line = r.err;
        for (const std::string &name : {missing, directory}) {
            if (line.size() > name.size() + 1 &&
                line.compare(line.size() - name.size() - 1, name.size(), name) == 0)
                line.replace(line.size() - name.size() - 1, name.size(), "%s");
        }
        printed.push_back(line);
    }
    const std::string input = temp_file("a\tb c\n");
    const std::string err = temp_file("");
    const int status =
        std::system((tool_path(tool) + " " + input + " >/dev/full 2>" + err).c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "writing to /dev/full";
    printed.push_back(read_file(err));

    for (const std::string &line : printed) {
        ASSERT_TRUE(!line.empty() && line.find('\n') == line.size() - 1) << line;
        EXPECT_NE(std::find(listed.begin(), listed.end(), line.substr(0, line.size() - 1)),
                  listed.end())
            << "the page does not list: " << line;
    }

    // A listed message no test can bring about must at least be one the sources print.
    std::string sources;
    for (const char *dir : {tool.c_str(), "textlib"}) {
        const fs::path path = fs::path(SOURCE_DIR) / dir;
        if (!fs::is_directory(path)) continue;
        for (const fs::directory_entry &f : fs::recursive_directory_iterator(path)) {
            if (f.is_regular_file()) sources += read_file(f.path());
        }
    }
    const std::string prefix = tool + ": ";
    for (const std::string &message : listed) {
        if (std::find(printed.begin(), printed.end(), message + "\n") != printed.end()) continue;
        ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
        EXPECT_NE(sources.find('"' + message.substr(prefix.size()) + '"'), std::string::npos)
            << "no source prints: " << message;
    }
}

TEST_P(ManualPage, ExamplesPrintWhatTheyShow) {
    if (!built()) GTEST_SKIP() << GetParam().tool << " is not built here";
    const std::vector<example> shown = examples(page);
    EXPECT_FALSE(shown.empty());
    const std::string dir = scratch_directory();
    for (const example &e : shown) {
        const std::string script = temp_file(e.command + "\n");
        EXPECT_EQ(shell_output("cd '" + dir + "' && PATH='" + TOOL_DIR + "':\"$PATH\" sh '" +
                               script + "' 2>&1"),
                  e.output)
            << e.command;
    }
}

std::string tool_name(const testing::TestParamInfo<tool_page> &param) {
    return param.param.tool;
}

INSTANTIATE_TEST_SUITE_P(Tools, ManualPage, testing::ValuesIn(PAGES), tool_name);

} // namespace
