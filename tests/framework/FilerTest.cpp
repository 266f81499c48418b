#include "framework/Component.h"
#include "framework/Filer.h"

#include <gtest/gtest.h>

namespace {

// A component with one property of each kind.
class TSample : public TComponent {
public:
    int64_t Number = 0;
    bool Flag = false;
    std::string Blob;

    void DefineProperties(TFiler& filer) override
    {
        filer.DefineInteger(
            "Number", [this] { return Number; }, [this](int64_t v) { Number = v; }, true);
        filer.DefineBoolean(
            "Flag", [this] { return Flag; }, [this](bool v) { Flag = v; }, Flag);
        filer.DefineBinaryProperty(
            "Blob",
            [this](TStream& s) {
                Blob.resize(size_t(s.Size()));
                s.ReadBuffer(Blob.data(), s.Size());
            },
            [this](TStream& s) { s.WriteBuffer(Blob.data(), int64_t(Blob.size())); }, !Blob.empty());
    }
};

std::string ErrorOf(const std::string& text)
{
    TSample s;
    s.SetName("Sample");
    try {
        ReadComponentProperties(s, text);
    } catch (const EFilerError& e) {
        return e.Message();
    }
    return "no error";
}

TEST(FilerTest, WritesEachPropertyThatHasDataAndReadsItBack)
{
    TSample s;
    s.SetName("Sample");
    s.Number = -42;
    EXPECT_EQ(WriteComponentProperties(s), "object Sample: TSample\n  Number = -42\nend\n");

    s.Flag = true;
    s.Blob = std::string(40, '\x7f');
    std::string line;
    for (int i = 0; i < 32; ++i)
        line += "7F";
    const std::string text = WriteComponentProperties(s);
    EXPECT_EQ(text,
              "object Sample: TSample\n  Number = -42\n  Flag = True\n  Blob = {\n    " + line + "\n    " +
                  line.substr(0, 16) + "}\nend\n");

    TSample read;
    ReadComponentProperties(read, text);
    EXPECT_EQ(read.Number, -42);
    EXPECT_TRUE(read.Flag);
    EXPECT_EQ(read.Blob, s.Blob);
    EXPECT_EQ(read.Name(), "Sample") << "a nameless component takes the stored name";
}

TEST(FilerTest, RefusesTextItCannotTrustBeforeChangingAnything)
{
    EXPECT_EQ(ErrorOf("object Sample: TSample\n  Number = 5\n  Colour = 3\nend\n"),
              "Error reading Sample.Colour: Property Colour does not exist");
    for (const char* number : {"five", "+-5", "99999999999999999999", "5 5"})
        EXPECT_EQ(ErrorOf("object Sample: TSample\n  Number = " + std::string(number) + "\nend\n"),
                  "Error reading Sample.Number: Invalid integer value")
            << number;
    EXPECT_EQ(ErrorOf("object Sample: TSample\n  Flag = yes\nend\n"),
              "Error reading Sample.Flag: Invalid boolean value");
    EXPECT_EQ(ErrorOf("object Sample: TSample\n  Blob = {ABC}\nend\n"),
              "Error reading Sample.Blob: Invalid binary value");
    EXPECT_EQ(ErrorOf("object Sample: TOther\nend\n"), "Invalid stored properties (line 1)");
    EXPECT_EQ(ErrorOf("object Sample: TSample\n  Number = 5\n"), "Invalid stored properties (line 3)")
        << "a text without its end";
    EXPECT_EQ(ErrorOf("object Sample: TSample\n  Blob = {\n    00\n"), "Invalid stored properties (line 4)");
    EXPECT_EQ(ErrorOf(""), "Invalid stored properties (line 1)");

    TSample s;
    s.Number = 9;
    EXPECT_THROW(ReadComponentProperties(s, "object Sample: TSample\n  Number = 5\n  Colour = 3\nend\n"), EFilerError);
    EXPECT_EQ(s.Number, 9) << "an unknown property stops the read before any is set";
}

}
