#include "search/huge_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tessel {

void AdviseHugePages(const void* Data, std::size_t Bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(Data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + Bytes) & ~(kHugePage - 1);
  if (Data == nullptr || last <= first) return;
  // Declined advice (no such support, a mapping of another kind) leaves the
  // ordinary pages, which serve as well, only slower.
  (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)Data;
  (void)Bytes;
#endif
}

}  // namespace tessel
