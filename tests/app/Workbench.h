#pragma once

#include "app/mainform.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedWaveDriver.h"

#include <QListWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// A workbench window driven as a person drives it: real clicks on its controls, answers
// from scripted dialogs, a scripted sound device, settings in the run's own configuration folder (emptied for every
// test, so that each one starts as a first start), and WAV files made by the test.
class WorkbenchTest : public ::testing::Test {
protected:
    WorkbenchTest();
    ~WorkbenchTest() override;

    // The window, created and shown on first use, so that a test can prepare settings first.
    TForm1& Form();
    template <typename T>
    T* Control(const char* name)
    {
        T* control = Form().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    QListWidget* WaveList() { return Control<QListWidget>("WaveList"); }

    // Writes a RIFF WAVE file with the given format fields and sample bytes.
    QString MakeWave(const QString& name, uint16_t channels, uint32_t rate, uint32_t avgBytes, uint16_t bits,
                     const QByteArray& samples = QByteArray(64, '\x80'));
    QString MakeTaunt(const QString& name, const QByteArray& samples = QByteArray(64, '\x80'));

    // "Open files" with the dialog answering these paths (or Cancel).
    void OpenFiles(const std::optional<QStringList>& paths);
    void ClickTool(const char* name);
    void ClickItem(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    QStringList InfoLines();
    QString StatusText();
    QStringList ListedPaths();
    static QString StoredSetting(const QString& name);
    static bool SettingsKeyExists();

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    ScriptedWaveDriver driver;
    std::unique_ptr<TForm1> form;
};
