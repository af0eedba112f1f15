// PrefaultForWrite: maps the pages of a large buffer about to be written in
// one system call, instead of taking one page fault per 4 KiB page while
// writing it. For an 87 MiB base64 result this saves about a third of the
// time spent in page faults. Buffers under kPrefaultMinBytes are left alone
// (their pages usually come from the heap, already mapped), and kernels
// without MADV_POPULATE_WRITE (before Linux 5.14) simply fault as before.
#pragma once

#include <cstddef>

namespace velkor {

inline constexpr std::size_t kPrefaultMinBytes = 4u << 20;

void PrefaultForWrite(void* buffer, std::size_t bytes);

}  // namespace velkor
