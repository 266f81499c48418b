#pragma once

#include <cstddef>

// Asks the kernel to back a large, not yet touched block with huge pages. Filling hundreds
// of megabytes of fresh memory otherwise costs one page fault per 4 KiB, which is more than
// the work done on the bytes. Small blocks and refusals are ignored: it is only advice.
void AdviseHugePages(void* block, size_t size);

// Maps every page of a fresh block that is about to be written from start to end, in one
// call instead of one fault per page (about a third cheaper). Small blocks are left alone,
// and a kernel that cannot do it leaves the pages to be faulted in as they are written.
void PrefaultPages(void* block, size_t size);
