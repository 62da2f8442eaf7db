// Helpers shared by the tests: running a built tool, streams over strings, generated inputs.
#ifndef TESTS_SUPPORT_H
#define TESTS_SUPPORT_H

#include "columns.h"
#include "step.h"
#include "kernel_check.h"

#include <cstdio>
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

// A readable stream (with a file descriptor) holding bytes, and everything a stream wrote.
FILE *stream_of(const std::string &bytes);
std::string contents_of(FILE *stream);

// Bytes from a generator biased toward what text filters must get right: blanks, tabs,
// newlines, carriage returns, multi-byte, overlong, malformed and cut sequences, zero bytes.
std::string generated_text(std::mt19937 &rng, std::size_t length);

// Sets the tab stops as -t does: "8", "4,6,10".
void use_tabs(const std::string &tabs);
// Tab stops for the generated comparisons: mostly one width, now and then a list.
std::string generated_tabs(std::mt19937 &rng);

// Runs a tool's block routine from in to out, `block` bytes a read, at the next kernel level.
void run_blocks(void (*routine)(textlib_input *, textlib_output *), FILE *in, FILE *out,
                std::size_t block = TEXTLIB_BLOCK);

#endif
