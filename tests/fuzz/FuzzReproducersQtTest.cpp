#include "fuzz/Findings.h"
#include "fuzz/FuzzBodies.h"

#include <QLocale>
#include <gtest/gtest.h>

// The findings of the fuzz targets whose bodies run on the toolkit's side.
namespace {

TEST(FuzzReproducersTest, EveryParamTextFindingRunsClean)
{
    const QLocale locale;  // the body chooses locales of its own
    EXPECT_GT(ReplayFindings("ParamText", FuzzParamText), 0);
    QLocale::setDefault(locale);
}

TEST(FuzzReproducersTest, EveryWaveMapperFindingRunsClean)
{
    EXPECT_GT(ReplayFindings("WaveMapper", FuzzWaveMapper), 0);
}

}
