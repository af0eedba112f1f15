#include "platform/Prefault.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace velkor {

namespace {

// The size of a transparent huge page on x86-64 and arm64 (4 KiB base pages).
constexpr std::uintptr_t kHugePageBytes = 2u << 20;

// The whole `unit`-aligned blocks inside a buffer: the blocks at its ends
// may hold other allocations. Empty (start == end) when there are none.
void Inside(const void* buffer, std::size_t bytes, std::uintptr_t unit, std::uintptr_t& start, std::uintptr_t& end) {
    start = (reinterpret_cast<std::uintptr_t>(buffer) + unit - 1) & ~(unit - 1);
    end = (reinterpret_cast<std::uintptr_t>(buffer) + bytes) & ~(unit - 1);
    if (end < start) end = start;
}

}  // namespace

void AdviseHugePages(void* buffer, std::size_t bytes) {
    if (!buffer || bytes < kPrefaultMinBytes) return;
    std::uintptr_t start = 0, end = 0;
    Inside(buffer, bytes, kHugePageBytes, start, end);
    if (end > start) (void)::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

void PrefaultForWrite(void* buffer, std::size_t bytes) {
    if (!buffer || bytes < kPrefaultMinBytes) return;
    AdviseHugePages(buffer, bytes);
    static const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    std::uintptr_t start = 0, end = 0;
    Inside(buffer, bytes, page, start, end);
    // Failure (an old kernel, EINVAL) costs nothing: the writes fault instead.
    if (end > start) (void)::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
}

}  // namespace velkor
