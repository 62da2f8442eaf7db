// Memory whose edges fault: bytes placed against a guard page make any access past them crash
// the test in every build, not only under the sanitizers.
#ifndef TESTS_GUARDED_H
#define TESTS_GUARDED_H

#include <string>

// Two independent slots, 0 and 1, each one page between two guard pages. A slot holds one
// placement at a time; the next placement in the same slot replaces it.
constexpr int GUARDED_SLOTS = 2;

// Copies bytes so that the last of them is the last byte before a guard page.
char *guarded_end(int slot, const std::string &bytes);
// Copies bytes so that the first of them is the first byte after a guard page.
char *guarded_start(int slot, const std::string &bytes);

#endif
