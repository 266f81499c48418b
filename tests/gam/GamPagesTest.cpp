#include "framework/Streams.h"
#include "gam/GamPages.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Written(const TGamBase& page, int times = 1)
{
    TMemoryStream stream;
    for (int i = 0; i < times; ++i)
        page.WriteToStream(&stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

TEST(SoundPageTest, FreshPageWithoutANameIsNewSoundWithZerosAndImportAdjustOne)
{
    const TSound page(nullptr, -1, "");
    EXPECT_EQ(page.PageType, 7);
    EXPECT_EQ(page.PageVersion, 1);
    EXPECT_EQ(page.PageName.ToString(), "New Sound");
    EXPECT_TRUE(page.FileName.IsEmpty());
    const std::string expected = FromHex("07"
                                         "35000000"  // 44 + 9 + 0
                                         "0100"
                                         "4e657720536f756e6400"  // "New Sound", 0
                                         "00"  // empty file name
                                         "00000000000000000000000000000000"
                                         "00000000000000000000000000000000"
                                         "0000803f");  // import adjust 1.0
    EXPECT_EQ(ToHex(Written(page)), ToHex(expected));
}

TEST(SoundPageTest, WorkedExampleOfSixtyThreeBytes)
{
    TSound page(nullptr, 1, "New Sound");
    page.FileName = "taunt.wav";
    page.Params = {128, 0, 22049, 1.0f, 360, 360, 256.0f, 10.0f, 1.0f};
    const std::string bytes = Written(page);
    ASSERT_EQ(bytes.size(), 63u);
    EXPECT_EQ(ToHex(bytes.substr(0, 17)), ToHex(FromHex("073e0000000100") + "New Sound" + std::string(1, '\0')));
    const std::string rest = std::string("taunt.wav") + std::string(1, '\0') +
        FromHex("80000000"
                "00000000"
                "21560000"
                "0000803f"
                "68010000"
                "68010000"
                "00008043"
                "00002041"
                "0000803f");
    EXPECT_EQ(ToHex(bytes.substr(17)), ToHex(rest));

    // Every parameter different, so that each shows in its own place.
    page.Params = {0x1A5, 7, 22049, 0.25f, 45, 300, 512.0f, 3.5f, 0.75f};
    EXPECT_EQ(ToHex(Written(page)),
              ToHex(SoundPage("New Sound", "taunt.wav",
                              FromHex("a5010000"  // flags
                                      "07000000"  // loop start
                                      "21560000"  // loop end
                                      "0000803e"  // outer cone volume 0.25
                                      "2d000000"  // inner cone angle 45
                                      "2c010000"  // outer cone angle 300
                                      "00000044"  // maximum distance 512.0
                                      "00006040"  // minimum distance 3.5
                                      "0000403f"))));  // import adjust 0.75
}

TEST(SoundPageTest, NamesAreCutToThirtyFourCharacters)
{
    std::string forty;
    for (int i = 0; i < 4; ++i)
        forty += "abcdefghij";
    TSound page(nullptr, -1, forty);
    page.FileName = forty;
    EXPECT_EQ(page.PageName.ToString(), forty.substr(0, 34));
    EXPECT_EQ(page.FileName.ToString(), forty.substr(0, 34));
    const std::string bytes = Written(page);
    EXPECT_EQ(bytes.size(), 45u + 34 + 34);
    const std::string cut = forty.substr(0, 34);
    EXPECT_EQ(bytes, SoundPage(cut, cut, std::string(32, '\0') + FromHex("0000803f")));

    const std::string exact = forty.substr(0, 34);
    EXPECT_EQ(TSound(nullptr, -1, exact).PageName.ToString(), exact) << "34 characters stay whole";
}

TEST(SoundPageTest, EmptyFileNameWritesOnlyItsTerminator)
{
    TSound page(nullptr, -1, "Boo");
    const std::string bytes = Written(page);
    EXPECT_EQ(bytes.size(), 45u + 3);
    EXPECT_EQ(bytes.substr(1, 4), Le32(44 + 3));
    EXPECT_EQ(bytes.substr(7, 5), std::string("Boo\0\0", 5));
}

TEST(SoundPageTest, NamesHoldOneByteForEachCharacter)
{
    // Latin-1 letters are kept, each as one byte; what Latin-1 cannot hold and NUL are '?'.
    const std::string name = std::string("Gr\xc3\xbc\xc3\x9f dich \xe2\x82\xac ") + '\0' + "\xf0\x9f\x98\x80.";
    const TShortString text(name);
    EXPECT_EQ(text.Bytes(), "Gr\xfc\xdf dich ? ??.");
    EXPECT_EQ(text.ToString(), "Gr\xc3\xbc\xc3\x9f dich ? ??.");

    // A character outside the basic plane counts once toward the 34; so does a stray byte.
    const std::string wide = std::string(33, 'x') + "\xf0\x9f\x98\x80" + "yz";
    EXPECT_EQ(TShortString(wide).Bytes(), std::string(33, 'x') + "?");
    EXPECT_EQ(TShortString("a\xff\xc3"
                           "b")
                  .Bytes(),
              "a??b");
}

TEST(SoundPageTest, VersionRules)
{
    EXPECT_EQ(Written(TSound(nullptr, -1, "a")), Written(TSound(nullptr, 1, "a"))) << "-1 asks for version 1";
    EXPECT_EQ(TSound(nullptr, -7, "a").PageVersion, 1);

    TGamOwner table;
    try {
        TSound page(&table, 2, "a");
        FAIL() << "version 2 was accepted";
    } catch (const EVersionMissmatch& e) {
        EXPECT_EQ(e.Message(), "Sound version missmatch!");
    }
    EXPECT_THROW(TSound(&table, 0, "a"), EVersionMissmatch);
    EXPECT_THROW(TSound(&table, 0x10001, "a"), EVersionMissmatch) << "the check sees the whole number";
    EXPECT_TRUE(table.Pages().empty()) << "a refused page is registered nowhere";
}

TEST(SoundPageTest, TwoWritesAppendTwoIdenticalPagesAndAnAbsentStreamGetsNothing)
{
    TSound page(nullptr, -1, "Twice");
    page.FileName = "twice.wav";
    page.Params.LoopEnd = -1;
    const std::string once = Written(page);
    EXPECT_EQ(Written(page, 2), once + once);
    EXPECT_EQ(once.substr(17 + 5 + 9, 4), Le32(0xFFFFFFFF)) << "loop end of an empty clip is -1";
    EXPECT_NO_THROW(page.WriteToStream(nullptr));
}

// Takes at most limit bytes in all, as a full disk would.
class TFullStream : public TMemoryStream {
public:
    explicit TFullStream(int64_t limit) : limit(limit) {}
    int64_t Write(const void* buffer, int64_t count) override
    {
        const int64_t n = std::min(count, limit - Size());
        return n > 0 ? TMemoryStream::Write(buffer, n) : 0;
    }
    int64_t limit;
};

TEST(SoundPageTest, ShortWritesRaiseTheStreamError)
{
    const TSound page(nullptr, -1, "Full");
    for (int64_t room : {0, 3, 20}) {
        TFullStream stream(room);
        EXPECT_THROW(page.WriteToStream(&stream), EWriteError) << "room for " << room << " bytes";
    }
}

// A page type of the table that is not a sound: what the base class gives it.
class TPlainPage : public TGamBase {
public:
    using TGamBase::TGamBase;
    void WriteToStream(TStream*) const override {}
};

TEST(GamPageTest, BasePageStoresTheLowSixteenBitsAndNamesAnEmptyPageNewEntry)
{
    const TPlainPage page(nullptr, 0x12345, "");
    EXPECT_EQ(page.PageVersion, 0x2345);
    EXPECT_EQ(page.PageType, 0);
    EXPECT_EQ(page.PageName.ToString(), "New Entry");
}

TEST(GamPageTest, SoundPagesJoinTheirOwnersListAndLeaveItWhenFreed)
{
    TGamOwner table;
    auto first = std::make_unique<TSound>(&table, -1, "one");
    auto second = std::make_unique<TSound>(&table, -1, "two");
    const TPlainPage plain(&table, 3, "plain");
    ASSERT_EQ(table.Pages(), (std::vector<TGamBase*>{first.get(), second.get()}));
    EXPECT_EQ(first->Owner, &table);
    first.reset();
    EXPECT_EQ(table.Pages(), (std::vector<TGamBase*>{second.get()}));

    // A page that outlives its table belongs to nobody.
    auto table2 = std::make_unique<TGamOwner>();
    TSound orphan(table2.get(), -1, "orphan");
    table2.reset();
    EXPECT_EQ(orphan.Owner, nullptr);
}

}  // namespace
