#include "forms/Application.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// One application for the whole run, windows drawn offscreen, settings kept in a folder of
// the run's own so that no test reads or writes the user's.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    TApplication application(argc, argv);
    TApplication::SetTitle(QStringLiteral("Orvalis Jeerbox"));
    return RUN_ALL_TESTS();
}
