#include "app/StoredProperties.h"
#include "framework/Exception.h"
#include "sound/ACMConvertor.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool SameBlock(const TWaveFormatBlock& a, const TWaveFormatBlock& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
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
    EXPECT_TRUE(SameBlock(c.FormatIn, fresh.FormatIn));
    EXPECT_TRUE(SameBlock(c.FormatOut, fresh.FormatOut));
    EXPECT_EQ(c.Name(), "Convertor");

    EXPECT_THROW(LoadStoredProperties(c, QStringLiteral(":/stored/none")), EStreamError);
}

}  // namespace
