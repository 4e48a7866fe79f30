// Buffers of tens of megabytes written all over (the raster of samples, a
// decoded photo) on the machine's large pages where it has them: a fault and a
// TLB entry for each 2 MiB instead of each 4 KiB. What the buffers hold is not
// changed, only how the system backs them.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace anamorfosi {

// Asks that [data, data + bytes), not yet written, be backed by large pages
// when it is: the whole large pages within it only; nothing where the system
// has no such request.
inline void AdviseLargePages(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kLarge = std::uintptr_t{1} << 21;
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t begin = (at + kLarge - 1) & ~(kLarge - 1), end = (at + bytes) & ~(kLarge - 1);
  // Advice only: where the system declines, the buffer keeps its small pages.
  if (end > begin) (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

// Makes room in v for n elements before any is written, on large pages.
template <class Vector>
void ReserveOnLargePages(Vector& v, std::size_t n) {
  if (v.capacity() >= n) return;
  v.reserve(n);
  AdviseLargePages(v.data(), n * sizeof(typename Vector::value_type));
}

}  // namespace anamorfosi
