#include "app/Startup.h"
#include "app/mainform.h"
#include "forms/Application.h"
#include "forms/FilePaths.h"
#include "forms/FirstPaint.h"
#include "platform/WaveDevices.h"
#include "sound/TauntFormat.h"

#include <QIcon>

#include <cstdio>
#include <cstring>

namespace {

// What --help prints; the manual page jeerbox(1) is made from it.
const char Usage[] = "Usage: jeerbox [OPTION]... [FILE]...\n"
                     "Opens the Orvalis Jeerbox workbench with each sound FILE in its wave list. There a file\n"
                     "is converted to the taunt format (PCM, mono, 22050 Hz, 8-bit unsigned), cut, levelled,\n"
                     "played, saved as a WAV file and written into a game table (.gam); the microphone records\n"
                     "taunts too.\n"
                     "\n"
                     "A FILE is a path or a file: URL of a sound file that libsndfile decodes (WAV, FLAC, Ogg\n"
                     "Vorbis, Opus, MP3, AIFF, CAF, W64, RF64); a name that is no file is left out.\n"
                     "\n"
                     "Options:\n"
                     "  -h, --help     show this help and exit\n"
                     "      --version  show the version and exit\n"
                     "      --         take every argument after it as a FILE\n"
                     "The window toolkit's own options (-platform NAME, -display DISPLAY, ...) are taken too.\n"
                     "\n"
                     "Exit status:\n"
                     "  0      the window was closed\n"
                     "  other  the window could not be shown (no display, no platform plugin); the toolkit\n"
                     "         says why on standard error\n"
                     "\n"
                     "Environment:\n"
                     "  XDG_CONFIG_HOME  the folder of the settings file (~/.config when unset)\n"
                     "\n"
                     "Files:\n"
                     "  $XDG_CONFIG_HOME/Jeerbox/registry.ini\n"
                     "                    the settings: OpenDir, the folder files were last added from;\n"
                     "                    SaveDir, the folder a clip was last saved in; GamFileName, the\n"
                     "                    game table last exported to\n"
                     "\n"
                     "Examples:\n"
                     "  $ jeerbox ~/voices/*.flac\n";

// Answers --help and --version before the toolkit starts, so that neither needs a display.
// Every other argument is left to the toolkit and the wave list, as before.
bool AnsweredQuery(int argc, char** argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Usage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("jeerbox (Orvalis Jeerbox) " JEERBOX_VERSION);
            return true;
        }
    }
    return false;
}

}

int main(int argc, char** argv)
{
    if (AnsweredQuery(argc, argv))
        return 0;
    TApplication application(argc, argv);
    TApplication::SetTitle(QStringLiteral("Orvalis Jeerbox"));
    // The dialogs are made once the workbench window is on screen and painted (below): none
    // of them is seen before the user asks for it, and making them took a quarter of the
    // time the window took to appear.
    TWindows windows(false);
    // The desktop matches the windows to the installed menu entry and its icon (set below).
    QGuiApplication::setDesktopFileName(QStringLiteral("jeerbox"));
    // What is left once the toolkit has taken its own options: the files to list, as a
    // desktop entry passes them (jeerbox FILE...); the first "--" only ends the options.
    QStringList arguments;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        if (!optionsEnded && std::strcmp(argv[i], "--") == 0) {
            optionsEnded = true;
            continue;
        }
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    windows.Form1->AddFiles(LocalFiles(ArgumentLocations(arguments)));
    WhenFirstPainted(*windows.Form1, [&windows] {
        // Once the window is up, the sound output is opened on a thread of its own, so that the
        // first sound played does not wait for the connection to the sound server.
        PrepareWaveOutput(TauntFormat);
        // Drawn from its SVG at several sizes for the desktop, which shows it beside the title.
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/desktop/jeerbox.svg")));
        windows.CreateDialogs();
    });
    windows.Form1->show();
    return application.exec();
}
