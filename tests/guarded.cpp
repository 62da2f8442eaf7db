#include "guarded.h"

#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::size_t page_size() {
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Pages: guard, slot 0, guard, slot 1, guard.
char *slot_page(int slot) {
    static char *base = nullptr;
    const std::size_t page = page_size();
    if (base == nullptr) {
        void *const mapped = mmap(nullptr, page * (2 * GUARDED_SLOTS + 1), PROT_NONE,
                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) std::abort();
        base = static_cast<char *>(mapped);
        for (int i = 0; i < GUARDED_SLOTS; i++) {
            if (mprotect(base + page * static_cast<std::size_t>(2 * i + 1), page,
                         PROT_READ | PROT_WRITE) != 0) {
                std::abort();
            }
        }
    }
    return base + page * static_cast<std::size_t>(2 * slot + 1);
}

} // namespace

char *guarded_end(int slot, const std::string &bytes) {
    char *const start = slot_page(slot) + page_size() - bytes.size();
    std::memcpy(start, bytes.data(), bytes.size());
    return start;
}

char *guarded_start(int slot, const std::string &bytes) {
    char *const start = slot_page(slot);
    std::memcpy(start, bytes.data(), bytes.size());
    return start;
}
