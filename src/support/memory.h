// Advice to the operating system about large buffers.
#pragma once

#include <cstddef>

namespace tavjit {

// Asks for huge pages over the whole 2 MiB pages inside [p, p + n), before
// anything is written there: a buffer of many megabytes is then touched with
// a few hundred page faults instead of tens of thousands. Linux only; a no-op
// elsewhere, and for small buffers.
void AdviseHugePages(void* p, size_t n);

}  // namespace tavjit
