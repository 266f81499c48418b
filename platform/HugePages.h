#pragma once

#include <cstddef>

// Asks the kernel to back a large, not yet touched block with huge pages. Filling hundreds
// of megabytes of fresh memory otherwise costs one page fault per 4 KiB, which is more than
// the work done on the bytes. Small blocks and refusals are ignored: it is only advice.
void AdviseHugePages(void* block, size_t size);
