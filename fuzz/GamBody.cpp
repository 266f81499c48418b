#include "fuzz/FuzzBodies.h"

#include "framework/Streams.h"
#include "gam/GamReader.h"

#include <cstdlib>
#include <cstring>

void FuzzGamRead(const uint8_t* data, size_t size)
{
    std::vector<TGamPage> pages;
    try {
        pages = ReadGamPages(data, size);
    } catch (const EGamTableError&) {
        return;
    }
    // A table read whole is its pages end to end: the sound pages as their writer writes them
    // again, the others as they stand.
    TMemoryStream again;
    int64_t at = 0;
    for (const TGamPage& page : pages) {
        if (page.Offset != at || page.Size < 5)
            std::abort();
        if (page.Sound)
            page.Sound->WriteToStream(&again);
        else
            again.WriteBuffer(data + page.Offset, page.Size);
        at += page.Size;
    }
    if (again.Size() != int64_t(size) || (size > 0 && std::memcmp(again.Memory(), data, size) != 0))
        std::abort();
}
