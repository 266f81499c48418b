#include "Workbench.h"

#include "forms/Settings.h"
#include "platform/Registry.h"
#include "support/QtFiles.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QTest>

WorkbenchTest::WorkbenchTest()
{
    QFile::remove(TRegistry::StorePath());
}

WorkbenchTest::~WorkbenchTest() = default;

TForm1& WorkbenchTest::Form()
{
    if (!form) {
        form = std::make_unique<TForm1>();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    return *form;
}

QString WorkbenchTest::MakeWave(const QString& name, uint16_t channels, uint32_t rate, uint32_t avgBytes, uint16_t bits,
                                const QByteArray& samples)
{
    const QString path = dir.filePath(name);
    const uint16_t blockAlign = uint16_t(channels * ((bits + 7) / 8));
    WriteFile(path,
              ToQt(RiffWave(Chunk("fmt ", FmtPayload(1, channels, rate, avgBytes, blockAlign, bits)) +
                            Chunk("data", ToStd(samples)))));
    return path;
}

QString WorkbenchTest::MakeTaunt(const QString& name, const QByteArray& samples)
{
    return MakeWave(name, 1, 22050, 22050, 8, samples);
}

void WorkbenchTest::OpenFiles(const std::optional<QStringList>& paths)
{
    dialogs.PlanFiles(paths);
    ClickTool("ToolButton1");
}

void WorkbenchTest::ClickTool(const char* name)
{
    QTest::mouseClick(Control<QAbstractButton>(name), Qt::LeftButton);
}

void WorkbenchTest::ClickItem(int row, Qt::KeyboardModifiers modifiers)
{
    QListWidget* list = WaveList();
    const QRect rect = list->visualItemRect(list->item(row));
    ASSERT_FALSE(rect.isEmpty()) << "row " << row << " is not on screen";
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
}

void WorkbenchTest::PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(WaveList(), key, modifiers);
}

QStringList WorkbenchTest::InfoLines()
{
    QStringList lines;
    QListWidget* info = Control<QListWidget>("WaveInfo");
    for (int i = 0; i < info->count(); ++i)
        lines << info->item(i)->text();
    return lines;
}

QString WorkbenchTest::StatusText()
{
    return Control<QLabel>("StatusPanel0")->text();
}

QStringList WorkbenchTest::ListedPaths()
{
    QStringList paths;
    for (int i = 0; i < WaveList()->count(); ++i)
        paths << WaveList()->item(i)->text();
    return paths;
}

QString WorkbenchTest::StoredSetting(const QString& name)
{
    TRegistry registry;
    if (!registry.OpenKey(SettingsKey, false))
        return QStringLiteral("<no key>");
    return registry.ReadString(name);
}

bool WorkbenchTest::SettingsKeyExists()
{
    TRegistry registry;
    return registry.OpenKey(SettingsKey, false);
}
