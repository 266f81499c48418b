#include "framework/Streams.h"
#include "gam/GamReader.h"
#include "support/Files.h"

#include <gtest/gtest.h>

namespace {

std::string Written(const TSound& page)
{
    TMemoryStream stream;
    page.WriteToStream(&stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

TEST(GamReaderTest, EverySoundPageReadsBackAsWrittenAndOtherPagesArePassedOver)
{
    TSound named(nullptr, -1, std::string(34, 'n'));
    named.FileName = "f\xC3\xA9te.wav";  // one 8-bit character in the table
    named.Params = {0x1FF, -5, 2147483647, -0.5f, 360, -1, 256.0f, 1e-30f, 3.5f};
    TSound plain(nullptr, 1, "");
    const std::string table =
        Written(named) + GamPage(9, std::string("\0\x07\xFF", 3)) + Written(plain) + GamPage(0, "");

    const std::vector<TGamPage> pages = ReadGamPages(reinterpret_cast<const uint8_t*>(table.data()), table.size());
    ASSERT_EQ(pages.size(), 4u);
    std::string again;
    for (const TGamPage& page : pages) {
        EXPECT_EQ(page.Offset, int64_t(again.size()));
        again += page.Sound ? Written(*page.Sound) : table.substr(size_t(page.Offset), size_t(page.Size));
    }
    EXPECT_EQ(ToHex(again), ToHex(table));
}

TEST(GamReaderTest, RefusesWhatNoWriterWritesWithoutReadingPastTheEnd)
{
    const std::string params(36, '\0');
    const std::string v1("\x01\x00", 2);
    const std::string names("a\0b\0", 4);
    const struct {
        std::string Table;
        std::string Message;
    } cases[] = {
        {GamPage(7, v1 + names + params).substr(0, 3), "page 1 at byte 0: the table ends within its type and length"},
        {GamPage(9, "abc", 8), "page 1 at byte 0: length 8 runs past the end of the table (8 bytes)"},
        {GamPage(9, "") + '\x09' + Le32(uint32_t(-5)), "page 2 at byte 5: length -5 is too small"},
        {GamPage(9, "", 3), "length 3 is too small"},
        {GamPage(7, v1 + std::string(2, '\0') + params.substr(1)), "a sound page's length is at least 44, not 43"},
        {GamPage(7, std::string("\x02\x00", 2) + names + params), "sound page version 2, not 1"},
        {GamPage(7, v1 + std::string(40, 'x')), "its name has no terminator"},
        {GamPage(7, v1 + "a" + std::string(1, '\0') + std::string(40, 'x')), "its file name has no terminator"},
        {GamPage(7, v1 + std::string(35, 'n') + '\0' + '\0' + params), "its name is longer than 34 characters"},
        {GamPage(7, v1 + '\0' + std::string(35, 'f') + '\0' + params), "its file name is longer than 34 characters"},
        {GamPage(7, v1 + names + params + "x"), "its parameters take 36 bytes, but 37 follow its names"},
    };
    for (const auto& c : cases) {
        // Bytes of their own, so that a sanitizer sees any read past them.
        const std::vector<uint8_t> bytes(c.Table.begin(), c.Table.end());
        try {
            ReadGamPages(bytes.data(), bytes.size());
            ADD_FAILURE() << "read: " << c.Message;
        } catch (const EGamTableError& e) {
            EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
        }
    }
}

}
