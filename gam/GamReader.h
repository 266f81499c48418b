#pragma once

#include "framework/Exception.h"
#include "gam/GamPages.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A table that is no sequence of whole pages, or a sound page that its writer could not have
// written; the message names the page, where it begins and what is wrong.
JEERBOX_DECLARE_EXCEPTION(EGamTableError, Exception)

// One page of a game table as read.
struct TGamPage {
    uint8_t PageType = 0;
    // Where its type byte lies in the table, and its size in bytes with the type byte.
    int64_t Offset = 0;
    int64_t Size = 0;
    // A sound page's contents, equal to the page its writer was given; none for other types,
    // which are passed over by their length and kept as they are.
    std::unique_ptr<TSound> Sound;
};

// Reads every page of a table held in memory, in their order. Every page a TSound writes
// reads back equal. Raises EGamTableError for a length that is negative, too small for its
// page or runs past the end, and for a sound page of another version than 1, with a name
// or file name that has no terminator or is longer than 34 characters, or whose parameters
// do not take exactly the rest of the page. Never reads outside the bytes given.
std::vector<TGamPage> ReadGamPages(const uint8_t* bytes, size_t size);

// Reads the table file. Raises the file's errors and EGamTableError.
std::vector<TGamPage> ReadGamFile(const std::string& fileName);
