#include "framework/Filer.h"
#include "sound/ACMConvertor.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string BlockBytes(const TWaveFormatBlock& block)
{
    return std::string(reinterpret_cast<const char*>(&block), sizeof block);
}

// The stored text of a convertor whose ACMFormatIn value is `stored` (hex of L and its bytes).
std::string WithFormatIn(const std::string& stored)
{
    return "object Convertor: TACMConvertor\n  ACMFormatIn = {\n    " + ToHex(stored) + "}\nend\n";
}

TEST(ACMConvertorStoredTest, WritesBufferSizeAndBothBlocksAs133Bytes)
{
    TACMConvertor c;
    c.SetName("Convertor");
    const std::string text = WriteComponentProperties(c);
    EXPECT_EQ(text.find("UseRealTime"), std::string::npos) << "stored only when true";
    EXPECT_EQ(text, ReadFile(JEERBOX_SOURCE_DIR "/resources/TForm1.Convertor.txt"))
        << "the window's stored convertor is what a new one writes";

    const size_t start = text.find("ACMFormatOut = {") + 16;
    const std::string stored = FromHex(text.substr(start, text.find('}', start) - start));
    ASSERT_EQ(stored.size(), 133u);
    EXPECT_EQ(stored.substr(0, 4), Le32(129));
    EXPECT_EQ(stored.substr(4), BlockBytes(c.FormatOut));

    c.SetUseRealTime(true);
    EXPECT_NE(WriteComponentProperties(c).find("  UseRealTime = True\n"), std::string::npos);
}

TEST(ACMConvertorStoredTest, ReadsBackWhatItWrote)
{
    TACMConvertor written;
    written.SetInputBufferSize(77777);
    written.SetUseRealTime(true);
    written.FormatIn.Format.nSamplesPerSec = 44100;
    written.FormatIn.Extra[110] = 0x5A;
    written.FormatOut.Format.wBitsPerSample = 16;

    TACMConvertor read;
    ReadComponentProperties(read, WriteComponentProperties(written));
    EXPECT_EQ(read.InputBufferSize(), 77777u);
    EXPECT_TRUE(read.UseRealTime());
    EXPECT_EQ(BlockBytes(read.FormatIn), BlockBytes(written.FormatIn));
    EXPECT_EQ(BlockBytes(read.FormatOut), BlockBytes(written.FormatOut));
}

TEST(ACMConvertorStoredTest, StoredLengthDecidesHowMuchOfTheBlockIsReplaced)
{
    TACMConvertor c;
    const std::string before = BlockBytes(c.FormatIn);

    const std::string head = FromHex("020002004400000088000000040010002000");
    ReadComponentProperties(c, WithFormatIn(Le32(18) + head));
    EXPECT_EQ(BlockBytes(c.FormatIn), head + before.substr(18)) << "L = 18 replaces 18 bytes";

    const std::string longer(140, 'x');
    ReadComponentProperties(c, WithFormatIn(Le32(140) + longer));
    EXPECT_EQ(BlockBytes(c.FormatIn), longer.substr(0, 129)) << "past 129 bytes the rest is skipped";

    const std::string kept = BlockBytes(c.FormatIn);
    EXPECT_THROW(ReadComponentProperties(c, WithFormatIn(Le32(129) + std::string(20, 'y'))), EStreamError);
    EXPECT_THROW(ReadComponentProperties(c, WithFormatIn(Le32(300) + std::string(200, 'y'))), EStreamError);
    EXPECT_EQ(BlockBytes(c.FormatIn), kept) << "a value shorter than its length changes nothing";
}

TEST(ACMConvertorStoredTest, ReadingRespectsTheActiveRule)
{
    TACMConvertor c;
    c.SetActive(true);
    try {
        ReadComponentProperties(c, "object Convertor: TACMConvertor\n  InputBufferSize = 10\nend\n");
        ADD_FAILURE() << "no error";
    } catch (const EACMConvertor& e) {
        EXPECT_EQ(e.Message(), "You cannot change the buffer size while active.");
    }
    EXPECT_EQ(c.InputBufferSize(), 2048u);
    EXPECT_THROW(ReadComponentProperties(c, "object Convertor: TACMConvertor\n  InputBufferSize = -1\nend\n"),
                 EFilerError);
}

}
