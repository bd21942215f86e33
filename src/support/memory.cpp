// AdviseHugePages on Linux; nothing elsewhere.
#include "support/memory.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace tavjit {

void AdviseHugePages(void* p, size_t n) {
#ifdef __linux__
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  if (!p || n < 2 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(kHuge - 1);
  // Only advice: where the kernel has none to give, the buffer works as before.
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

}  // namespace tavjit
