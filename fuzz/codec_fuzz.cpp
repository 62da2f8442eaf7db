// Any bytes through every reader of the codec and back through the writer, checked against the
// grouping and re-encoding rules spelled out here a byte at a time.
#include "fuzz_support.h"
#include "textlib.h"

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
    FILE *in = memory_input(data, size);
    for (const piece &p : pieces) {
        if (rune_fgetc(in) != p.rune) fuzz_fail("rune_fgetc reads the piece's rune", p.at);
        if (ftell(in) != static_cast<long>(p.at + p.length)) {
            fuzz_fail("rune_fgetc takes exactly the piece's bytes", p.at);
        }
    }
    if (rune_fgetc(in) != -1 || rune_fgetc(in) != -1) fuzz_fail("rune_fgetc ends with -1", size);
    fclose(in);
}

void check_take(const std::uint8_t *data, std::size_t size, const std::vector<piece> &pieces) {
    const char *const bytes = reinterpret_cast<const char *>(data);
    for (const piece &p : pieces) {
        rune16 r;
        const int length = u8_take(&r, bytes + p.at, size - p.at);
        if (r != p.rune || static_cast<std::size_t>(length) != p.length) {
            fuzz_fail("u8_take groups as rune_fgetc", p.at);
        }
    }
}

void check_block_reader(const std::uint8_t *data, std::size_t size,
                        const std::vector<piece> &pieces) {
    // Small blocks put the edges everywhere; a high first byte reads it all at once.
    const std::size_t block = data[0] >= 0x80 ? BLOCK_SIZE : 1 + data[0] % 16u;
    static block_input in;
    block_input_start(&in, file_holding(data, size), block);
    for (const piece &p : pieces) {
        if (block_input_rune(&in) != p.rune) fuzz_fail("block_input_rune reads the piece", p.at);
    }
    if (block_input_rune(&in) != -1) fuzz_fail("block_input_rune ends with -1", size);
    if (in.failed) fuzz_fail("block_input reads without failing", size);
}

void check_writer(const std::uint8_t *data, const std::vector<piece> &pieces) {
    captured out;
    capture_start(&out);
    for (const piece &p : pieces) {
        if (rune_fputc(static_cast<rune16>(p.rune), out.stream) != p.rune) {
            fuzz_fail("rune_fputc returns its rune", p.at);
        }
    }
    if (capture_end(&out) != round_trip_of(data, pieces)) {
        fuzz_fail("the round trip keeps text, marks each fault and loses nothing after it", 0);
    }
}

// Whether the piece is written back byte for byte and takes one column: a byte from `below` to
// 0x7F, or a whole shortest sequence of two or three bytes that is not U+0080.
bool is_verbatim(const piece &p, unsigned below) {
    if (p.rune == RUNE_BAD) return false;
    if (p.length == 1) return static_cast<unsigned>(p.rune) >= below;
    return is_shortest(p);
}

// scan_chunk at a rune boundary with a whole chunk after it. Its plain text must be whole
// verbatim pieces of bytes 0x09 and up; it ends at a piece that needs a closer look (reported as
// a stop), at a sequence that the chunk's end cuts (either way, as the next chunk decides it), or
// early at a lead byte C2 or E0 (reported as a stop), and nowhere else. Its masks are exact.
void check_scan_chunk(const std::uint8_t *data, const std::vector<piece> &pieces,
                      std::size_t first) {
    const std::size_t start = pieces[first].at;
    const std::size_t chunk_end = start + SCAN_CHUNK;
    chunk_scan scan;
    scan_chunk(reinterpret_cast<const char *>(data + start), &scan);
    for (std::size_t b = 0; b < SCAN_CHUNK; b++) {
        const unsigned byte = data[start + b];
        const auto bit = [&](std::uint64_t mask) { return ((mask >> b) & 1) != 0; };
        if (bit(scan.continuation) != continues(byte) || bit(scan.tabs) != (byte == 0x09) ||
            bit(scan.newlines) != (byte == 0x0A) || bit(scan.spaces) != (byte == 0x20)) {
            fuzz_fail("scan_chunk marks each byte's class", start + b);
        }
    }
    const std::size_t at = start + scan.plain;
    std::size_t i = first;
    for (; i < pieces.size() && pieces[i].at < at; i++) {
        if (!is_verbatim(pieces[i], 0x09) || pieces[i].at + pieces[i].length > at) {
            fuzz_fail("scan_chunk passes only whole pieces of plain text", pieces[i].at);
        }
    }
    if (at == chunk_end) {
        if (scan.stopped) fuzz_fail("scan_chunk reports no stop at the chunk's end", start);
        return;
    }
    bool cut = announced(data[at]) > chunk_end - at;
    for (std::size_t b = at + 1; cut && b < chunk_end; b++)
        cut = continues(data[b]);
    if (cut) return;
    if (!scan.stopped) fuzz_fail("scan_chunk reports a stop before the chunk's end", at);
    if (is_verbatim(pieces[i], 0x09) && data[at] != 0xC2 && data[at] != 0xE0) {
        fuzz_fail("scan_chunk passes all plain text inside the chunk", at);
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
    for (std::size_t i = 0; i < pieces.size() && size - pieces[i].at >= SCAN_CHUNK; i++)
        check_scan_chunk(data, pieces, i);
    return 0;
}
