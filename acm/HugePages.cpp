#include "acm/HugePages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

void AdviseHugePages(void* block, size_t size)
{
    constexpr size_t Worthwhile = size_t(4) << 20;
    if (!block || size < Worthwhile)
        return;
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (uintptr_t(block) + page - 1) & ~(page - 1);
    const uintptr_t end = (uintptr_t(block) + size) & ~(page - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void PrefaultPages(void* block, size_t size)
{
#ifdef MADV_POPULATE_WRITE
    constexpr size_t Worthwhile = size_t(64) << 10;
    if (!block || size < Worthwhile)
        return;
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = uintptr_t(block) & ~(page - 1);
    madvise(reinterpret_cast<void*>(begin), uintptr_t(block) + size - begin, MADV_POPULATE_WRITE);
#else
    (void)block;
    (void)size;
#endif
}
