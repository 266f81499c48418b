#include "framework/Exception.h"
#include "framework/Streams.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MemoryStreamTest, ReadWriteSeekAndSizeBehaveAsAByteBuffer)
{
    TMemoryStream m;
    EXPECT_EQ(m.Write("abcdef", 6), 6);
    EXPECT_EQ(m.Size(), 6);
    m.Seek(-2, TSeekOrigin::End);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 2) << "fewer bytes near the end";
    EXPECT_EQ(std::string(buf, 2), "ef");
    EXPECT_EQ(m.Read(buf, 8), 0);
    m.Seek(10, TSeekOrigin::Beginning);
    EXPECT_EQ(m.Read(buf, 1), 0) << "a position past the end reads nothing";
    m.Write("Z", 1);
    EXPECT_EQ(m.Size(), 11);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 11), std::string("abcdef\0\0\0\0Z", 11));
    m.SetSize(3);
    EXPECT_EQ(m.Position(), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 3), "abc");
    EXPECT_THROW(m.ReadBuffer(buf, 1), EReadError);

    TMemoryStream copy;
    m.SetPosition(1);
    EXPECT_EQ(copy.CopyFrom(m, 2), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy.Memory()), 2), "bc");
    m.Clear();
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(m.Position(), 0);
}

}  // namespace
