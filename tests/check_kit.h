// The check kit that the tests and the fuzz targets share: streams over bytes, each tool run
// through its rune-by-rune reference and through its block path, and the rules their outputs
// keep. Free of GoogleTest, which the fuzz build lacks: a check returns the rule that broke, or ""
// when all held, for a test to assert empty and a fuzz target to report.
#ifndef TESTS_CHECK_KIT_H
#define TESTS_CHECK_KIT_H

#include "blocks.h"
#include "kernel_check.h"
#include "tally.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// A new stream holding bytes, with a descriptor as the block reader needs; fclose it when done.
FILE *stream_of(std::string_view bytes);
// One file refilled with bytes and rewound on each call, never to be closed: runs that come by
// the thousand make no file each.
FILE *file_holding(std::string_view bytes);
// One file for output, emptied on each call.
FILE *empty_output();
// Everything written to a stream with a descriptor, from its start.
std::string contents_of(FILE *stream);

// The settings of a run, as the options give them.
struct run_settings {
    std::string tabs = "8";     // -t: a width or a list of stops
    bool display_width = false; // --display-width
    bool all_blanks = false;    // tabsqueeze's -a
    int line_length = 70;       // linefill's -l
    bool prefixed = false;      // linefill's --prefix: the markers, or with a string that string
    std::string prefix{};
    bool keep_bytes = false; // --keep-bytes
};
std::string shown(const run_settings &s);

// A filter's rune-by-rune reference and its block path.
struct filter_tool {
    void (*plain)(FILE *in, FILE *out);
    void (*blocks)(textlib_input *in, textlib_output *out);
};
extern const filter_tool expand_tool, tabsqueeze_tool, linefill_tool;

// The inputs one run reads in a row, as the files named to it.
using input_list = std::vector<std::string_view>;

// What the reference writes for the inputs, the settings in force and the defaults after.
std::string through_reference(const filter_tool &tool, const input_list &in,
                              const run_settings &s = {});
// What the block path writes, `block` bytes a read, each input at the next kernel level.
std::string through_blocks(const filter_tool &tool, const input_list &in,
                           const run_settings &s = {}, std::size_t block = TEXTLIB_BLOCK);
// One input from in to out through a block routine, with the settings in force now.
void blocks_through(void (*routine)(textlib_input *, textlib_output *), FILE *in, FILE *out,
                    std::size_t block = TEXTLIB_BLOCK);

// tally's counts by its byte-by-byte reference, and by its block path for a selection of them
// (the bytes always), at the next kernel level.
constexpr unsigned EVERY_COUNT = 31;
tally_counts tally_reference_of(std::string_view text);
tally_counts tally_blocks_of(std::string_view text, std::size_t block = TEXTLIB_BLOCK,
                             unsigned selection = EVERY_COUNT);
// The counts of the runes that rune_fgetc reads, which tally's must be.
tally_counts rune_stream_counts(std::string_view text);
// The counts that selection names, and the bytes, which the block path always counts.
tally_counts selected(const tally_counts &c, unsigned selection);
bool operator==(const tally_counts &a, const tally_counts &b);
std::ostream &operator<<(std::ostream &os, const tally_counts &c);

// expand: the block path writes what the reference writes, no tab, and the same once expanded
// again.
std::string expand_holds(std::string_view text, const run_settings &s, std::size_t block);
// Whether a line opens with the first stop's worth of spaces, which tabsqueeze must shorten.
bool must_squeeze(std::string_view text, const run_settings &s);
// tabsqueeze: the block path writes what the reference writes; once expanded the output is the
// input expanded; a line that must be squeezed loses blanks; squeezing again changes nothing.
std::string tabsqueeze_holds(std::string_view text, const run_settings &s, std::size_t block);
// Whether some input holds a word of rune 0 alone, which a fill drops but not its separator: a
// second fill may then still change the first fill's output.
bool has_word_of_rune_0_only(const input_list &in);
// linefill: the block path writes what the reference writes; the words in order and each input's
// blank lines come out; a line of two words or more fits the length; filling one input's output
// again changes nothing where no word is of rune 0 alone, and the second fill's output always.
std::string linefill_holds(const input_list &in, const run_settings &s, std::size_t block);
// tally: the reference counts the runes rune_fgetc reads, and the block path the selected ones.
std::string tally_holds(std::string_view text, std::size_t block, unsigned selection);

#endif
