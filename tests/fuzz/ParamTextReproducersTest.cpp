#include "fuzz/Findings.h"
#include "fuzz/FuzzBodies.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace {

TEST(FuzzReproducersTest, EveryParamTextFindingRunsClean)
{
    const QLocale locale;  // the body chooses locales of its own
    EXPECT_GT(ReplayFindings("ParamText", FuzzParamText), 0);
    QLocale::setDefault(locale);
}

}
