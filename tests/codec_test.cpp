#include "runes.h"
#include "support.h"

#include <csignal>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <thread>

namespace {

struct encode_case {
    rune16 rune;
    std::string bytes;
};

TEST(Codec, EncodeWritesShortestFormAndRuneZeroAsTwoBytes) {
    const encode_case cases[] = {
        {0, "\xc0\x80"},          {0x41, "A"},
        {0x7F, "\x7f"},           {0x80, "\xc2\x80"},
        {0x7FF, "\xdf\xbf"},      {0x800, "\xe0\xa0\x80"},
        {0xD800, "\xed\xa0\x80"}, {0xFFFF, "\xef\xbf\xbf"},
    };
    for (const encode_case &c : cases) {
        char buffer[U8_MAXBYTES];
        const int n = u8_encode(buffer, &c.rune);
        EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n)), c.bytes) << c.rune;
        EXPECT_EQ(u8_runewidth(c.rune), n) << c.rune;
    }
}

TEST(Codec, EncodingWithoutBranchesWritesWhatEncodeWrites) {
    for (unsigned r = 0; r <= 0xFFFF; r++) {
        const rune16 rune = static_cast<rune16>(r);
        char want[U8_MAXBYTES], got[U8_MAXBYTES];
        const int n = u8_encode(want, &rune);
        ASSERT_EQ(textlib_encode3(got, r), n) << r;
        ASSERT_EQ(std::string(got, static_cast<std::size_t>(n)),
                  std::string(want, static_cast<std::size_t>(n)))
            << r;
    }
}

TEST(Codec, RuneWidthOfValuesOutsideTheRuneRange) {
    EXPECT_EQ(u8_runewidth(-1), 2);
    EXPECT_EQ(u8_runewidth(INT64_MIN), 2);
    EXPECT_EQ(u8_runewidth(1), 1);
    EXPECT_EQ(u8_runewidth(0x10000), 3);
    EXPECT_EQ(u8_runewidth(INT64_MAX), 3);
}

struct decode_case {
    std::string bytes; // followed by a zero byte
    rune16 rune;
    int width;
};

TEST(Codec, DecodeAcceptsOverlongAndSurrogatesAndRejectsTheRest) {
    const decode_case cases[] = {
        {"\xc0\x80", 0, 2},
        {"\xe0\x80\x80", 0, 3},
        {"\xc2\x80", 0x80, 2},
        {"\xed\xa0\x80", 0xD800, 3},
        {"\xc3\x41", RUNE_BAD, 1},
        {"\xe2\x82", RUNE_BAD, 1},
        {"\xf0\x9f\x98\x80", RUNE_BAD, 1},
        {"\x80", RUNE_BAD, 1},
        {"\xc1\xbf", 0x7F, 2},
        {"\xe0\x81\x81", 0x41, 3},
        {"\xe0\x9f\xbf", 0x7FF, 3},
        {"", 0, 1},
        {"\xe2\x82\xac", 0x20AC, 3},
        {"\xe2\x41\x80", RUNE_BAD, 1},
    };
    for (const decode_case &c : cases) {
        rune16 r = 0x1234;
        EXPECT_EQ(u8_decode(&r, c.bytes.c_str()), c.width) << testing::PrintToString(c.bytes);
        EXPECT_EQ(r, c.rune) << testing::PrintToString(c.bytes);
    }
    rune16 r = 0;
    EXPECT_EQ(u8_decode(&r, nullptr), 1);
    EXPECT_EQ(r, RUNE_BAD);
}

struct full_case {
    std::string bytes;
    int n;
    int full;
};

TEST(Codec, IsFullAcceptsExactlyOneWholeSequenceButNeverU0080) {
    const full_case cases[] = {
        {"A", 1, 1},
        {"A", 2, 0},
        {"\xc3\xa9", 1, 0},
        {"\xc3\xa9", 2, 1},
        {"\xc3\xa9x", 3, 0},
        {"\xc2\x80", 2, 0},
        {"\xe0\x82\x80", 3, 0},
        {"\xc0\x80", 2, 1},
        {"\xe0\x80\x80", 3, 1},
        {"\xe2\x82\xac", 3, 1},
        {"\xe2\x82\xac", 2, 0},
        {"A", 0, 0},
        {"\xe2\x82\xac", 4, 0},
        {"\x80", 1, 0},
        {"\xff", 1, 0},
        {"\xc3\x41", 2, 0},
        {"A", -1, 0},
    };
    for (const full_case &c : cases) {
        EXPECT_EQ(u8_isfull(c.bytes.c_str(), c.n), c.full)
            << testing::PrintToString(c.bytes) << " n=" << c.n;
    }
    EXPECT_EQ(u8_isfull(nullptr, 1), 0);
}

std::vector<int> read_all(const std::string &bytes) {
    FILE *stream = stream_of(bytes);
    std::vector<int> runes;
    for (int r; (r = rune_fgetc(stream)) != -1;)
        runes.push_back(r);
    runes.push_back(-1);
    fclose(stream);
    return runes;
}

struct stream_case {
    std::string bytes;
    std::vector<int> runes;
};

TEST(RuneStream, MalformedSequencesEndBeforeTheByteThatCannotContinueThem) {
    const int bad = RUNE_BAD;
    const stream_case cases[] = {
        {"A\xff\n"
         "B\n",
         {0x41, bad, 0x0A, 0x42, 0x0A, -1}},
        {"\xc2\x80"
         "AB",
         {bad, 0x41, 0x42, -1}},
        {"\xf0\x9f\x98\x80"
         "abc",
         {bad, bad, bad, bad, 'a', 'b', 'c', -1}},
        {"a\xe2\x82", {'a', bad, -1}},
        {"a\xff\n", {'a', bad, '\n', -1}},
        {"\xe2\x82\n", {bad, '\n', -1}},
        {"\xc3"
         "a",
         {bad, 'a', -1}},
        {"\xe0\x82\x80"
         "x",
         {bad, 'x', -1}},
        {std::string(1, '\0'), {0, -1}},
        {"\xc0\x80\xe0\x80\x80", {0, 0, -1}},
        {"\xc0\x89\xc0\x8a", {'\t', '\n', -1}},
        {"\xe2\x82\xac\xed\xa0\x80", {0x20AC, 0xD800, -1}},
        {"\xc3", {bad, -1}},
        {"", {-1}},
    };
    for (const stream_case &c : cases) {
        EXPECT_EQ(read_all(c.bytes), c.runes) << testing::PrintToString(c.bytes);
    }
}

TEST(RuneStream, TakeOverMemoryGroupsExactlyAsTheStreamReader) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; round++) {
        const std::string text = generated_text(rng, 1 + rng() % 64);
        std::vector<int> runes;
        for (std::size_t at = 0; at < text.size();) {
            rune16 r;
            at += static_cast<std::size_t>(
                textlib_take(&r, text.data() + at, text.size() - at, true));
            runes.push_back(r);
        }
        runes.push_back(-1);
        ASSERT_EQ(runes, read_all(text)) << testing::PrintToString(text);
    }
}

// Kept, a four-byte sequence of U+10000 to U+10FFFF is one unit: not one that is overlong (F0 8F),
// above U+10FFFF (F4 90, F5) or cut short. Every unit holds the bytes it was read from.
TEST(RuneStream, UnitsKeepTheirBytesAndFourByteSequencesWhole) {
    const std::string text = "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf\xf0\x8f\xbf\xbf\xf4\x90\x80\x80"
                             "\xf5\x80\x80\x80\xf0\x9f\x98\xe2\x82"
                             "a\xf0\x9f";
    for (const bool keep : {false, true}) {
        keep_bytes = keep;
        FILE *in = stream_of(text);
        textlib_unit_reader reader = {in, 0, {}};
        textlib_unit unit;
        std::string widths, bytes;
        for (int r; (r = textlib_unit_fgetc(&reader, &unit)) != -1;
             bytes.append(unit.bytes, unit.n))
            widths += static_cast<char>(r == unit.rune ? '0' + unit.n : '?');
        fclose(in);
        EXPECT_EQ(widths, keep ? "441111111111111112111" : "111111111111111111111112111");
        EXPECT_EQ(bytes, text);
    }
    keep_bytes = false;
}

TEST(RuneStream, WritingReencodesAndStopsAtAFailedWrite) {
    FILE *out = tmpfile();
    EXPECT_EQ(rune_fputc(0, out), 0);
    EXPECT_EQ(rune_fputc(RUNE_BAD, out), RUNE_BAD);
    EXPECT_EQ(rune_fputc(0x20AC, out), 0x20AC);
    EXPECT_EQ(contents_of(out), std::string("\xc0\x80\xc2\x80\xe2\x82\xac", 7));
    fclose(out);

    FILE *full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_EQ(rune_fputc('A', full), -1);
    fclose(full);
}

// Runes written a block at a time, across several full blocks, come out as rune_fputc writes them.
TEST(RuneStream, BlockWriterWritesWhatTheStreamWriterWrites) {
    const rune16 runes[] = {'a', 0, RUNE_BAD, 0xE9, 0x20AC, 0xFFFF, '\n'};
    FILE *by_blocks = tmpfile();
    FILE *by_runes = tmpfile();
    static textlib_output out;
    textlib_output_start(&out, by_blocks);
    // Borrowed bytes must stay put until the flush.
    static const std::string borrowed(3 * TEXTLIB_BORROW_MIN, 'b');
    for (std::size_t i = 0; i < 3 * TEXTLIB_OUTPUT_SIZE / 2; i++) {
        const rune16 r = runes[i % 7];
        textlib_output_rune(&out, r);
        rune_fputc(r, by_runes);
        if (i % 1000 == 0) {
            const std::string piece(i % 3 == 0 ? TEXTLIB_OUTPUT_SIZE : 100, 'x');
            textlib_output_bytes(&out, piece.data(), piece.size());
            fwrite(piece.data(), 1, piece.size(), by_runes);
            const std::size_t lent = i % 5 == 0 ? borrowed.size() : i % 700;
            textlib_output_span(&out, borrowed.data(), lent);
            fwrite(borrowed.data(), 1, lent, by_runes);
        }
    }
    textlib_output_flush(&out);
    EXPECT_TRUE(contents_of(by_blocks) == contents_of(by_runes));
    fclose(by_blocks);
    fclose(by_runes);
}

// The runes of a block reader's input, taken as each read's bytes allow.
std::vector<int> runes_by_blocks(textlib_input *in) {
    std::vector<int> runes;
    while (textlib_input_fill(in)) {
        for (int width = 1; in->begin < in->end && width != 0;
             in->begin += static_cast<std::size_t>(width)) {
            rune16 r;
            width = textlib_take(&r, in->data + in->begin, in->end - in->begin, in->at_eof);
            if (width != 0) runes.push_back(r);
        }
    }
    EXPECT_FALSE(in->failed);
    return runes;
}

volatile std::sig_atomic_t signals_caught = 0;

void count_signal(int) {
    signals_caught = signals_caught + 1;
}

// Whether the kernel shows thread tid waiting in read(2) on fd.
bool waits_in_read(pid_t tid, int fd) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    long number = -1;
    std::string first_argument;
    in >> number >> first_argument;
    return number == SYS_read && !first_argument.empty() &&
           std::stol(first_argument, nullptr, 16) == fd;
}

// Polls done() for about ten seconds at most, so that a test fails instead of hanging.
bool eventually(const std::function<bool()> &done) {
    for (int tries = 0; tries < 10000 && !done(); tries++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// A read interrupted by a signal is tried again: neither the end of the input nor a failure.
TEST(RuneStream, BlockReaderRetriesAnInterruptedRead) {
    if (UNDER_EMULATOR)
        GTEST_SKIP() << "/proc shows the emulator's own system calls, not the emulated program's";
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    struct sigaction action {};
    action.sa_handler = count_signal; // no SA_RESTART, so the waiting read fails with EINTR
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &before), 0);
    signals_caught = 0;

    // The signal goes to the reader only once it waits in read, and the bytes follow only once
    // the handler has run: the read that gets them is the one retried.
    const pid_t reader_tid = static_cast<pid_t>(syscall(SYS_gettid));
    const pthread_t reader = pthread_self();
    bool signalled_in_read = false;
    std::thread writer([&] {
        signalled_in_read = eventually([&] { return waits_in_read(reader_tid, pipe_ends[0]); });
        pthread_kill(reader, SIGUSR1);
        eventually([] { return signals_caught != 0; });
        EXPECT_EQ(write(pipe_ends[1], "abc", 3), 3);
        close(pipe_ends[1]);
    });

    FILE *stream = fdopen(pipe_ends[0], "r");
    static textlib_input in;
    textlib_input_start(&in, stream, nullptr);
    std::string runes;
    for (const int r : runes_by_blocks(&in))
        runes.push_back(static_cast<char>(r));
    writer.join();
    EXPECT_TRUE(signalled_in_read);
    EXPECT_EQ(signals_caught, 1);
    EXPECT_EQ(runes, "abc");
    EXPECT_FALSE(in.failed);
    fclose(stream);
    sigaction(SIGUSR1, &before, nullptr);
}

TEST(RuneStream, BlockReaderGivesTheStreamReadersRunesAcrossBlockEdges) {
    std::mt19937 rng(11);
    static textlib_input in;
    for (int round = 0; round < 200; round++) {
        const std::string text = generated_text(rng, rng() % 200);
        FILE *stream = stream_of(text);
        textlib_input_start(&in, stream, nullptr, 1 + rng() % 7);
        std::vector<int> runes = runes_by_blocks(&in);
        runes.push_back(-1);
        fclose(stream);
        ASSERT_EQ(runes, read_all(text)) << testing::PrintToString(text);
    }
}

} // namespace
