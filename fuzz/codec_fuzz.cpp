// Any bytes through every reader of the codec and back through the writer, checked against the
// grouping and re-encoding rules spelled out here a byte at a time.
#include "fuzz_support.h"
#include "runes.h"

#include <vector>

namespace {

// One rune as the readers must group it: the bytes data[at..at + length).
struct piece {
    std::size_t at;
    std::size_t length;
    int rune;
};

bool continues(unsigned b) {
    return (b & 0xC0) == 0x80;
}

// The bytes of a sequence that starts with b, counting b; 0 for a byte that starts none.
std::size_t announced(unsigned b) {
    if (b < 0x80) return 1;
    if (b >= 0xC0 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    return 0;
}

unsigned value_of(const std::uint8_t *p, std::size_t length) {
    if (length == 1) return p[0];
    if (length == 2) return (p[0] & 0x1Fu) << 6 | (p[1] & 0x3Fu);
    return (p[0] & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
}

// A piece ends where its lead's sequence is whole or before the first byte that cannot continue
// it, the end of the input included; anything short of a whole sequence, and U+0080 in any form,
// is malformed.
piece piece_at(const std::uint8_t *data, std::size_t size, std::size_t at) {
    const std::size_t want = announced(data[at]);
    std::size_t length = 1;
    while (length < want && at + length < size && continues(data[at + length]))
        length++;
    int rune = RUNE_BAD;
    if (want != 0 && length == want) rune = static_cast<int>(value_of(data + at, length));
    if (rune == 0x80) rune = RUNE_BAD;
    return {at, length, rune};
}

std::vector<piece> pieces_of(const std::uint8_t *data, std::size_t size) {
    std::vector<piece> pieces;
    for (std::size_t at = 0; at < size; at += pieces.back().length)
        pieces.push_back(piece_at(data, size, at));
    return pieces;
}

// The shortest form of a value, written here rather than by the codec, with 0 as C0 80.
void append_shortest(std::string &out, unsigned v) {
    if (v != 0 && v < 0x80) {
        out += static_cast<char>(v);
    } else if (v < 0x800) {
        out += static_cast<char>(0xC0 | v >> 6);
        out += static_cast<char>(0x80 | (v & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | v >> 12);
        out += static_cast<char>(0x80 | (v >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (v & 0x3F));
    }
}

bool is_shortest(const piece &p) {
    const unsigned v = static_cast<unsigned>(p.rune);
    return p.length == (v >= 0x800 ? 3u : v >= 0x80 ? 2u : 1u);
}

// What the round trip must write for the whole input: well-formed shortest text other than the
// zero byte comes back byte for byte, each malformed piece as C2 80, the rest in shortest form.
std::string round_trip_of(const std::uint8_t *data, const std::vector<piece> &pieces) {
    std::string out;
    for (const piece &p : pieces) {
        if (p.rune == RUNE_BAD) {
            out += "\xC2\x80";
        } else if (p.rune != 0 && is_shortest(p)) {
            out.append(reinterpret_cast<const char *>(data + p.at), p.length);
        } else {
            append_shortest(out, static_cast<unsigned>(p.rune));
        }
    }
    return out;
}

void check_stream_reader(const std::uint8_t *data, std::size_t size,
                         const std::vector<piece> &pieces) {
    FILE *const in = file_holding({reinterpret_cast<const char *>(data), size});
    for (const piece &p : pieces) {
        if (rune_fgetc(in) != p.rune) fuzz_fail("rune_fgetc reads the piece's rune", p.at);
        if (ftell(in) != static_cast<long>(p.at + p.length)) {
            fuzz_fail("rune_fgetc takes exactly the piece's bytes", p.at);
        }
    }
    if (rune_fgetc(in) != -1 || rune_fgetc(in) != -1) fuzz_fail("rune_fgetc ends with -1", size);
}

void check_take(const std::uint8_t *data, std::size_t size, const std::vector<piece> &pieces) {
    const char *const bytes = reinterpret_cast<const char *>(data);
    for (const piece &p : pieces) {
        rune16 r;
        const int length = textlib_take(&r, bytes + p.at, size - p.at, true);
        if (r != p.rune || static_cast<std::size_t>(length) != p.length) {
            fuzz_fail("textlib_take groups as rune_fgetc", p.at);
        }
    }
}

void check_block_reader(const std::uint8_t *data, std::size_t size,
                        const std::vector<piece> &pieces) {
    // Small blocks put the edges everywhere; a high first byte reads it all at once.
    const std::size_t block = data[0] >= 0x80 ? TEXTLIB_BLOCK : 1 + data[0] % 16u;
    static textlib_input in;
    textlib_input_start(&in, file_holding({reinterpret_cast<const char *>(data), size}), nullptr,
                        block);
    std::size_t next = 0;
    while (textlib_input_fill(&in)) {
        for (int width = 1; in.begin < in.end && width != 0;
             in.begin += static_cast<std::size_t>(width)) {
            rune16 r;
            width = textlib_take(&r, in.data + in.begin, in.end - in.begin, in.at_eof);
            if (width == 0) continue;
            if (next == pieces.size() || r != pieces[next].rune)
                fuzz_fail("the block reader reads the piece", next);
            next++;
        }
    }
    if (next != pieces.size()) fuzz_fail("the block reader reads every piece", size);
    if (in.failed) fuzz_fail("the block reader reads without failing", size);
}

void check_writer(const std::uint8_t *data, const std::vector<piece> &pieces) {
    FILE *const out = empty_output();
    for (const piece &p : pieces) {
        if (rune_fputc(static_cast<rune16>(p.rune), out) != p.rune) {
            fuzz_fail("rune_fputc returns its rune", p.at);
        }
    }
    if (contents_of(out) != round_trip_of(data, pieces)) {
        fuzz_fail("the round trip keeps text, marks each fault and loses nothing after it", 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::vector<piece> pieces = pieces_of(data, size);
    check_stream_reader(data, size, pieces);
    check_writer(data, pieces);
    if (size == 0) return 0;
    check_take(data, size, pieces);
    check_block_reader(data, size, pieces);
    return 0;
}
