// The block path's growing byte buffer; the reference's units grow the same way (unit_string in
// linefill.h, units_append).
#ifndef LINEFILL_BUFFERS_H
#define LINEFILL_BUFFERS_H

#include <cstddef>
#include <cstring>

// Bytes that grow by doubling, so appending is linear over a whole input.
struct byte_buffer {
    char *bytes;
    std::size_t length;
    std::size_t capacity;
};

// A buffer that holds any bytes has room for at least this many, so that a few may be copied
// from it at this fixed size.
constexpr std::size_t BUFFER_LEAST = 16;

// Gives the buffer room for need bytes in all.
void byte_buffer_grow(byte_buffer *buffer, std::size_t need);
void byte_buffer_release(byte_buffer *buffer);

inline void byte_buffer_append(byte_buffer *buffer, const char *bytes, std::size_t n) {
    // An empty buffer may have no storage yet, and memcpy takes none.
    if (n == 0) return;
    if (buffer->capacity - buffer->length < n) byte_buffer_grow(buffer, buffer->length + n);
    std::memcpy(buffer->bytes + buffer->length, bytes, n);
    buffer->length += n;
}

#endif
