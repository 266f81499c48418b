#include "framework/Filer.h"
#include "app/StoredProperties.h"
#include "sound/ACMConvertor.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray BlockBytes(const TWaveFormatBlock& block)
{
    return QByteArray(reinterpret_cast<const char*>(&block), int(sizeof block));
}

// The stored text of a convertor whose ACMFormatIn value is `stored` (hex of L and its bytes).
std::string WithFormatIn(const QByteArray& stored)
{
    return "object Convertor: TACMConvertor\n  ACMFormatIn = {\n    " + stored.toHex().toStdString() + "}\nend\n";
}

QByteArray Le32(uint32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); }

TEST(ACMConvertorStoredTest, WritesBufferSizeAndBothBlocksAs133Bytes)
{
    TACMConvertor c;
    c.SetName("Convertor");
    const QByteArray text = QByteArray::fromStdString(WriteComponentProperties(c));
    EXPECT_FALSE(text.contains("UseRealTime")) << "stored only when true";

    QFile resource(QStringLiteral(JEERBOX_SOURCE_DIR "/resources/TForm1.Convertor.txt"));
    ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
    EXPECT_EQ(text, resource.readAll()) << "the window's stored convertor is what a new one writes";

    const int start = text.indexOf("ACMFormatOut = {") + 16;
    const QByteArray hex = text.mid(start, text.indexOf('}', start) - start).simplified().replace(" ", "");
    const QByteArray stored = QByteArray::fromHex(hex);
    ASSERT_EQ(stored.size(), 133);
    EXPECT_EQ(stored.left(4), Le32(129));
    EXPECT_EQ(stored.mid(4), BlockBytes(c.FormatOut));

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
    const QByteArray before = BlockBytes(c.FormatIn);

    const QByteArray head = QByteArray::fromHex("020002004400000088000000040010002000");
    ReadComponentProperties(c, WithFormatIn(Le32(18) + head));
    EXPECT_EQ(BlockBytes(c.FormatIn), head + before.mid(18)) << "L = 18 replaces 18 bytes";

    QByteArray longer(140, 'x');
    ReadComponentProperties(c, WithFormatIn(Le32(140) + longer));
    EXPECT_EQ(BlockBytes(c.FormatIn), longer.left(129)) << "past 129 bytes the rest is skipped";

    const QByteArray kept = BlockBytes(c.FormatIn);
    EXPECT_THROW(ReadComponentProperties(c, WithFormatIn(Le32(129) + QByteArray(20, 'y'))), EStreamError);
    EXPECT_THROW(ReadComponentProperties(c, WithFormatIn(Le32(300) + QByteArray(200, 'y'))), EStreamError);
    EXPECT_EQ(BlockBytes(c.FormatIn), kept) << "a value shorter than its length changes nothing";
}

TEST(ACMConvertorStoredTest, WindowResourceGivesTheTauntFormatAndBufferSize)
{
    TACMConvertor c;
    c.SetInputBufferSize(1);
    c.FormatIn.Format.nChannels = 2;
    c.FormatOut.Extra[3] = 9;
    LoadStoredProperties(c, MainFormConvertorProperties);
    TACMConvertor fresh;
    EXPECT_EQ(c.InputBufferSize(), 2048u);
    EXPECT_FALSE(c.UseRealTime());
    EXPECT_EQ(BlockBytes(c.FormatIn), BlockBytes(fresh.FormatIn));
    EXPECT_EQ(BlockBytes(c.FormatOut), BlockBytes(fresh.FormatOut));
    EXPECT_EQ(c.Name(), "Convertor");

    EXPECT_THROW(LoadStoredProperties(c, QStringLiteral(":/stored/none")), EStreamError);
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
