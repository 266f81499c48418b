#include "app/mainform.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace {

TEST(MainWindowTest, OpensAs692By375WithTheProgramsTitleAndCannotShrinkBelow600By375)
{
    ScriptedDialogs dialogs;
    TForm1 form;
    form.show();
    EXPECT_TRUE(form.windowTitle().startsWith("Orvalis Jeerbox "));
    EXPECT_GT(form.windowTitle().size(), QStringLiteral("Orvalis Jeerbox ").size()) << "a notice line follows";
    EXPECT_EQ(form.size(), QSize(692, 375));
    EXPECT_EQ(form.minimumSize(), QSize(600, 375));
    form.resize(300, 200);
    EXPECT_EQ(form.size(), QSize(600, 375));
}

}  // namespace
