#include "support.h"
#include "textlib.h"

#include <cerrno>
#include <climits>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

constexpr int CALLERS_ERRNO = 12345;

struct parse_case {
    const char *text;
    int value;
    int error; // errno after the call; CALLERS_ERRNO when it must be left alone
};

TEST(Parse, ClampNarrowsToIntAndKeepsTheCallersErrno) {
    const parse_case cases[] = {
        {"12", 12, CALLERS_ERRNO},
        {"abc", 0, CALLERS_ERRNO},
        {"", 0, CALLERS_ERRNO},
        {"2147483648", INT_MAX, ERANGE},
        {"-2147483649", INT_MIN, ERANGE},
        {"2147483647", INT_MAX, CALLERS_ERRNO},
        {"-2147483648", INT_MIN, CALLERS_ERRNO},
        {"99999999999999999999999", INT_MAX, ERANGE},
        {" +7x", 7, CALLERS_ERRNO},
    };
    for (const parse_case &c : cases) {
        errno = CALLERS_ERRNO;
        char *end = nullptr;
        EXPECT_EQ(int_clamp_parse(c.text, &end, 10), c.value) << c.text;
        EXPECT_EQ(errno, c.error) << c.text;
    }
    char *end = nullptr;
    const char *text = "42abc";
    int_clamp_parse(text, &end, 10);
    EXPECT_EQ(end, text + 2);
    EXPECT_EQ(int_clamp_parse("12", nullptr, 10), 12);
}

TEST(Parse, StrictAllowsOnlyWhiteSpaceAfterTheNumber) {
    const parse_case cases[] = {
        {"12\n", 12, CALLERS_ERRNO},
        {" 4 ", 4, CALLERS_ERRNO},
        {"12 x", 0, EDOM},
        {"99999999999x", 0, EDOM},
        {"99999999999 ", INT_MAX, ERANGE},
        {"4x", 0, EDOM},
        {"0x10", 0, EDOM},
        {"", 0, CALLERS_ERRNO},
        {" ", 0, CALLERS_ERRNO},
        {"abc", 0, EDOM},
        {"4\xa0", 0, EDOM},
        {"4\x85", 0, EDOM},
        {"-3\t\v\f\r", -3, CALLERS_ERRNO},
    };
    for (const parse_case &c : cases) {
        errno = CALLERS_ERRNO;
        EXPECT_EQ(int_strict_parse(c.text, 10), c.value) << c.text;
        EXPECT_EQ(errno, c.error) << c.text;
    }
}

TEST(Diagnostics, LinesCarryTheToolNameOnceItIsSet) {
    diag_progname = nullptr;
    EXPECT_EXIT(diag_fatal("no %s", "name"), testing::ExitedWithCode(1), "^no name\n$");
    diag_progname = "expand";
    EXPECT_EXIT(diag_fatal("unable to open %s", "notes"), testing::ExitedWithCode(1),
                "^expand: unable to open notes\n$");
    EXPECT_EXIT((diag_warn("careful %d", 3), exit(0)), testing::ExitedWithCode(0),
                "^expand: careful 3\n$");
    diag_progname = nullptr;
}

// Errors that only the frame's last checks can see: a write that failed earlier while nothing is
// left to flush at exit, and a stdio read that failed on an input the tool read through stdio.
TEST(Frame, ReportsErrorsThatOnlyItsLastChecksSee) {
    diag_progname = "tool";
    EXPECT_EXIT(
        {
            if (freopen("/dev/full", "w", stdout) == nullptr) exit(2);
            setvbuf(stdout, nullptr, _IONBF, 0);
            putchar('x');
            frame_exit();
        },
        testing::ExitedWithCode(1), "^tool: write error\n$");
    EXPECT_EXIT(
        {
            FILE *directory = fopen(std::filesystem::temp_directory_path().c_str(), "r");
            if (directory == nullptr || getc(directory) != EOF) exit(2);
            input_close(directory, "tmpdir");
        },
        testing::ExitedWithCode(1), "^tool: unable to read tmpdir\n$");
    diag_progname = nullptr;
}

// Every way out of the block writer: a full buffer flushed, a piece larger than the buffer,
// and borrowed bytes.
TEST(Frame, BlockWritesToAFullDeviceEndTheProgram) {
    diag_progname = "tool";
    static textlib_output out;
    EXPECT_EXIT(
        {
            textlib_output_start(&out, fopen("/dev/full", "w"));
            for (std::size_t i = 0; i <= TEXTLIB_OUTPUT_SIZE; i++)
                textlib_output_rune(&out, 'a');
            exit(0);
        },
        testing::ExitedWithCode(1), "^tool: write error\n$");
    EXPECT_EXIT(
        {
            textlib_output_start(&out, fopen("/dev/full", "w"));
            const std::string piece(TEXTLIB_OUTPUT_SIZE + 1, 'a');
            textlib_output_bytes(&out, piece.data(), piece.size());
            exit(0);
        },
        testing::ExitedWithCode(1), "^tool: write error\n$");
    EXPECT_EXIT(
        {
            textlib_output_start(&out, fopen("/dev/full", "w"));
            textlib_output_borrow(&out, "abc", 3);
            textlib_output_flush(&out);
            exit(0);
        },
        testing::ExitedWithCode(1), "^tool: write error\n$");
    diag_progname = nullptr;
}

// Input that stdio has already read to its end (standard input named twice, a terminal after
// its end-of-file key) gives nothing more to the block reader, even if the file has grown.
TEST(Frame, AStreamAtItsEndGivesTheBlockReaderNothing) {
    FILE *stream = stream_of("abc");
    while (getc(stream) != EOF) {
    }
    ASSERT_EQ(pwrite(fileno(stream), "def", 3, 3), 3);
    static textlib_input in;
    textlib_input_start(&in, stream, nullptr);
    EXPECT_FALSE(textlib_input_fill(&in));
    fclose(stream);
}

} // namespace
