#include "buffers.h"

#include "linefill.h"

#include <cstdlib>

namespace {

// Returns data with room for need elements of size bytes, doubling *capacity as needed; a size
// past what memory can hold fails as realloc does.
void *grown(void *data, std::size_t *capacity, std::size_t need, std::size_t size) {
    if (need <= *capacity) return data;
    constexpr std::size_t most = ~std::size_t{0};
    std::size_t enlarged = *capacity < BUFFER_LEAST ? BUFFER_LEAST : *capacity;
    while (enlarged < need)
        enlarged = enlarged > most / 2 ? need : 2 * enlarged;
    if (enlarged > most / size) diag_fatal("realloc() failed");
    void *const moved = realloc(data, enlarged * size);
    if (moved == nullptr) diag_fatal("realloc() failed");
    *capacity = enlarged;
    return moved;
}

} // namespace

void units_append(unit_string *string, const textlib_unit &unit) {
    string->units = static_cast<textlib_unit *>(
        grown(string->units, &string->capacity, string->length + 1, sizeof(textlib_unit)));
    string->units[string->length++] = unit;
}

void byte_buffer_grow(byte_buffer *buffer, std::size_t need) {
    buffer->bytes = static_cast<char *>(grown(buffer->bytes, &buffer->capacity, need, 1));
}

void byte_buffer_release(byte_buffer *buffer) {
    std::free(buffer->bytes);
    *buffer = {nullptr, 0, 0};
}
