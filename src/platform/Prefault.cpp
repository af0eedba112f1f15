#include "platform/Prefault.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace velkor {

void PrefaultForWrite(void* buffer, std::size_t bytes) {
    if (!buffer || bytes < kPrefaultMinBytes) return;
    static const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    // Only whole pages inside the buffer: the pages at its ends may hold
    // other allocations.
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(buffer) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(buffer) + bytes) & ~(page - 1);
    if (end <= start) return;
    // Failure (an old kernel, EINVAL) costs nothing: the writes fault instead.
    (void)::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
}

}  // namespace velkor
