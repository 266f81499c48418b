#include "framework/SharedLibrary.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(SharedLibraryTest, ALibraryOrAFunctionThatIsMissingSaysWhich)
{
    TSharedLibrary math("libm.so.6");
    double (*cosine)(double) = nullptr;
    math.Bind(cosine, "cos");
    ASSERT_TRUE(math.Ok()) << math.Error();
    EXPECT_EQ(cosine(0.0), 1.0);
    void (*none)() = nullptr;
    math.Bind(none, "no_such_function");
    EXPECT_FALSE(math.Ok());
    EXPECT_NE(math.Error().find("libm.so.6"), std::string::npos) << math.Error();

    TSharedLibrary missing("libjeerbox-missing.so.0");
    missing.Bind(cosine, "cos");
    EXPECT_FALSE(missing.Ok());
    EXPECT_EQ(cosine, nullptr);
    EXPECT_NE(missing.Error().find("libjeerbox-missing.so.0 cannot be loaded"), std::string::npos) << missing.Error();
}
