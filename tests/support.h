// Helpers of the tests alone: running a built tool, files, generated inputs. The runs of the
// tools' routines and the rules they keep are the check kit's.
#ifndef TESTS_SUPPORT_H
#define TESTS_SUPPORT_H

#include "check_kit.h"

#include <random>
#include <string>
#include <vector>

struct run_result {
    std::string out;
    std::string err;
    int status; // exit status, or -1 when the tool did not exit normally
};

// Runs the built tool (expand, tally, ...) with args and the bytes of input on standard input.
run_result run_tool(const std::string &tool, const std::vector<std::string> &args,
                    const std::string &input = "");

// A file in a fresh temporary directory, removed when the test program ends.
std::string temp_file(const std::string &contents);

// Bytes from a generator biased toward what text filters must get right: blanks, tabs,
// newlines, carriage returns, multi-byte, overlong, malformed and cut sequences, zero bytes.
std::string generated_text(std::mt19937 &rng, std::size_t length);

// Tab stops for the generated comparisons: mostly one width, now and then a list.
std::string generated_tabs(std::mt19937 &rng);

#endif
