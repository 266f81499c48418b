#include "ClipWorkbench.h"

#include "forms/FilePaths.h"
#include "support/Files.h"
#include "support/Signal.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <sndfile.h>

namespace {

using SoundFilesTest = ClipTest;

// FLAC, Ogg and MP3 files of one signal are described as 16-bit sound at their own rate and
// converted to the taunt that the same signal stored as a 16-bit WAV file converts to.
TEST_F(SoundFilesTest, FlacOggAndMp3ConvertLikeTheSameSignalAsWav)
{
    const std::vector<int16_t> tones = TwoTones();
    const QString wav = dir.filePath("tones.wav");
    WriteWithSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, tones);
    Convert(wav);
    const QByteArray reference = Converted();
    ASSERT_EQ(reference.size(), 17640);

    for (const SoundFileKind& kind : FlacOggMp3) {
        const QString path = dir.filePath(QStringLiteral("tones.") + QLatin1String(kind.Extension));
        WriteWithSndfile(path, kind.Format, 44100, 2, tones, 0.0);
        Convert(path);
        EXPECT_EQ(InfoLines(),
                  (QStringList{path, "Channels: 2", "Samples per sec: 44100", "Average Bytes/sec: 176400",
                               "Bits per sample: 16"}))
            << kind.Extension;
        EXPECT_EQ(StatusText(), "") << kind.Extension;
        const QByteArray taunt = Converted();
        if (!kind.Lossy) {
            EXPECT_EQ(taunt, reference) << kind.Extension;
            continue;
        }
        // Lossy codecs may delay the sound and pad its ends; the first and last 10 ms are theirs.
        const TauntAlignment aligned = AlignTaunts(reference, taunt, 2000, 220);
        EXPECT_LE(aligned.MaxStep, 1) << kind.Extension << " shifted by " << aligned.Shift;
    }
}

TEST_F(SoundFilesTest, AFileThatDecodesNeitherWayIsNoValidWavFile)
{
    const QString fake = dir.filePath("fake.flac");
    WriteFile(fake, "fLaC and then nothing of the sort");
    OpenFiles(QStringList{fake});
    ClickItem(0);
    EXPECT_EQ(InfoLines(), QStringList{"Not a valid WAV file."});
    EXPECT_EQ(StatusText(), "Error opening " + fake);
}

// Sends a drag from a file manager over the list and drops it there.
bool Drop(QWidget* list, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    QWidget* target = static_cast<QAbstractScrollArea*>(list)->viewport();
    EXPECT_TRUE(target->acceptDrops()) << "a file manager offers its drag only to a widget that takes drops";
    const QPointF at(10, 10);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at.toPoint(), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

TEST_F(SoundFilesTest, ADroppedSetIsListedAsOpenWouldListIt)
{
    QDir(dir.path()).mkdir("folder");
    QDir(dir.path()).mkdir("other");
    const QString first = MakeTaunt("first.wav");
    const QString song = dir.filePath("other/song.flac");
    WriteWithSndfile(song, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 1, Sine16(440, 0.5, 22050, 0.1, 1));
    const QString taunt = MakeTaunt("taunt.wav");
    OpenFiles(QStringList{first});
    ClickItem(0);
    ASSERT_TRUE(Control<QPushButton>("BtnConvert")->isEnabled());

    const bool dropped = Drop(WaveList(),
                              {QUrl::fromLocalFile(song), QUrl::fromLocalFile(dir.filePath("folder")),
                               QUrl(QStringLiteral("https://example.org/taunt.wav")), QUrl::fromLocalFile(first),
                               QUrl::fromLocalFile(taunt), QUrl::fromLocalFile(dir.filePath("gone.wav"))});
    EXPECT_TRUE(dropped);
    EXPECT_EQ(ListedPaths(), (QStringList{first, song, first, taunt})) << "in order, the duplicate kept";
    EXPECT_EQ(WaveList()->currentRow(), 0) << "the current item stays";
    EXPECT_EQ(WaveList()->selectedItems().size(), 1);
    EXPECT_FALSE(Control<QPushButton>("BtnConvert")->isEnabled());
    EXPECT_EQ(StoredSetting("OpenDir"), dir.path() + "/other/") << "the folder of the first file";
    EXPECT_EQ(Form().OpenWave.InitialDir, dir.path() + "/other/");

    // Nothing but folders and remote files: the drag is refused and nothing changes.
    EXPECT_FALSE(Drop(
        WaveList(), {QUrl::fromLocalFile(dir.filePath("folder")), QUrl(QStringLiteral("https://example.org/a.wav"))}));
    EXPECT_EQ(ListedPaths().size(), 4);
}

TEST_F(SoundFilesTest, FilesOnTheCommandLineAreListedAsGiven)
{
    const QString a = MakeTaunt("a.wav");
    QDir(dir.path()).mkdir("sub");
    const QString b = MakeTaunt("sub/b.wav");
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path() + "/sub");
    const QStringList files = LocalFiles(
        ArgumentLocations({"b.wav", "../a.wav", QUrl::fromLocalFile(a).toString(), ".", "missing.wav", "./b.wav"}));
    QDir::setCurrent(old);
    EXPECT_EQ(files, (QStringList{b, a, a, b}));

    Form().AddFiles(files);
    EXPECT_EQ(ListedPaths(), files);
    EXPECT_EQ(StoredSetting("OpenDir"), dir.path() + "/sub/");
    Form().AddFiles({});
    EXPECT_EQ(StoredSetting("OpenDir"), dir.path() + "/sub/") << "an empty command line changes nothing";
}

}

namespace {

// Pictures for the documentation, taken only when JEERBOX_SCREENSHOTS names a folder:
// the window after a mixed set of files was dropped and one of them clicked, and the
// save-to-GAM dialog.
TEST_F(SoundFilesTest, Screenshots)
{
    const QString folder = qEnvironmentVariable("JEERBOX_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "set JEERBOX_SCREENSHOTS to a folder to take them";
    QDir(dir.path()).mkdir("taunts");
    const std::vector<int16_t> tones = TwoTones();
    QList<QUrl> urls{QUrl::fromLocalFile(dir.filePath("taunts"))};
    for (const char* name : {"greeting.wav", "laugh.flac", "insult.ogg", "victory.mp3"}) {
        const QString path = dir.filePath(QLatin1String(name));
        const QString ending = QFileInfo(path).suffix();
        int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        for (const SoundFileKind& kind : FlacOggMp3)
            if (ending == QLatin1String(kind.Extension))
                format = kind.Format;
        WriteWithSndfile(path, format, 44100, 2, tones);
        urls << QUrl::fromLocalFile(path);
    }
    urls << QUrl::fromLocalFile(dir.filePath("greeting.wav"));
    ASSERT_TRUE(Drop(WaveList(), urls));
    ClickItem(3);
    QTest::mouseClick(Control<QPushButton>("BtnConvert"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(Form().grab().save(folder + "/dropped.png"));

    gam.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&gam));
    EXPECT_TRUE(gam.grab().save(folder + "/savegam.png"));
    gam.hide();
}

}
