#include "framework/SharedLibrary.h"

#include <gtest/gtest.h>

TEST(SharedLibraryTest, ALibraryOrAFunctionThatIsMissingSaysWhich)
{
    void (*call)() = nullptr;
    TSharedLibrary math("libm.so.6");
    math.Bind(call, "no_such_function");
    TSharedLibrary missing("libjeerbox-missing.so.0");
    missing.Bind(call, "cos");
    for (const auto& [library, name] :
         {std::pair{&math, "libm.so.6"}, std::pair{&missing, "libjeerbox-missing.so.0"}}) {
        EXPECT_FALSE(library->Ok()) << name;
        EXPECT_NE(library->Error().find(name), std::string::npos) << library->Error();
    }
    EXPECT_EQ(call, nullptr);
}
