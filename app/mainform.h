#pragma once

#include "forms/Dialogs.h"
#include "forms/PaintBox.h"
#include "platform/Messages.h"
#include "workbench/Workbench.h"

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <optional>

class QLabel;
class QPainter;
class TAboutBox;
class TACMWaveOut;
class TForm3;
class TFinishDlg;
class QAction;
class TOKRightDlg;
class TImageList;

namespace Ui {
class TForm1;
}

// The workbench window's private message: play the jingle (both parameters 0).
constexpr UINT WM_PLAYJINGLE = WM_USER + 1;

// The workbench window: the program's main window. It holds the workbench's working state
// (the source file in memory, the convertor with the converted sound, the current clip and the
// selection in the waveform view), draws it and turns its mouse and commands into calls on it.
// The dialogs reach that state only through the calls this window makes on them.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Loads the layout, then reads the remembered folders into the file dialogs.
    explicit TForm1(QWidget* parent = nullptr);
    // Runs FormDestroy.
    ~TForm1() override;

    // "Orvalis Jeerbox" followed by the notice line.
    static QString WindowTitle();

    // The layout's controls, by their layout names.
    std::unique_ptr<Ui::TForm1> ui;
    // The non-visual components of the layout.
    TImageList* ImageList1 = nullptr;
    QLabel* StatusPanel0 = nullptr;  // the status bar's only panel
    TACMWaveOut* Player = nullptr;
    TFileDialog OpenWave{TFileDialogKind::Open};
    TFileDialog SaveWave{TFileDialogKind::Save};

    // The save-to-GAM dialog, which this window presets and shows; set at start-up.
    TForm3* Form3 = nullptr;
    // The about box, which this window shows; set at start-up.
    TAboutBox* AboutBox = nullptr;
    // The recording dialog, which the Record command shows; set at start-up.
    TOKRightDlg* OKRightDlg = nullptr;

    // The window's working state: the convertor, the sounds and the selection.
    TWorkbench Workbench;

    void FormDestroy(QObject* Sender);
    void ToolButton1Click(QObject* Sender);
    // Files dropped on the wave list are added as Open files adds the files it chose.
    void WaveListDragDrop(QObject* Sender, const QStringList& Paths);
    void ToolButton2Click(QObject* Sender);
    void WaveListClick(QObject* Sender);
    void AutoPlayClick(QObject* Sender);
    void ToolButton9Click(QObject* Sender);
    // Record: stops the player, starts the capture and the pass-through output, and shows
    // the recording dialog, which puts the recording in place of the converted sound.
    void ToolButton5Click(QObject* Sender);

    // Appends paths to the wave list as Open files does: in their order, duplicates kept,
    // Convert disabled, and the folder of the first one remembered as OpenDir. Nothing
    // happens for an empty list. The files given on the command line arrive here too.
    void AddFiles(const QStringList& Paths);

    // Rewrites the info panel: the title line, then the format's fields when there is a format.
    void ShowWaveInfo(const QString& Title, const std::optional<WAVEFORMATEX>& Format);

    // The converted sound, its view and selection, the clip (mainform_clip.cpp).
    void BtnConvertClick(QObject* Sender);
    void PaintBoxPaint(QObject* Sender, QPainter& Canvas);
    void PaintBoxMouseDown(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PaintBoxMouseMove(QObject* Sender, TShiftState Shift, int X, int Y);
    void PaintBoxMouseUp(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PlaySoundExecute(QObject* Sender);
    void ToolButton7Click(QObject* Sender);
    // Finish (the Finish button and Ctrl+F): asks the Finish dialog for the finishing chain's
    // stages and runs them on the whole converted sound, then redraws and plays as Normalize
    // does. Ctrl+Z gives back the sound before the last Finish (UndoFinishExecute).
    void FinishExecute(QObject* Sender);
    void UndoFinishExecute(QObject* Sender);
    // The Finish dialog; made with the window.
    TFinishDlg* FinishDlg = nullptr;
    QAction* FinishSound = nullptr;
    QAction* UndoFinish = nullptr;
    void BtnSaveClick(QObject* Sender);
    void ToolButton12Click(QObject* Sender);

    // The about box and its jingle (mainform_about.cpp).
    void ToolButton11Click(QObject* Sender);
    void PlayJingle();
    // Applies a mouse position to the selection, then shows the selection's size and redraws.
    void UpdateSelection(TShiftState Shift, int X);
    // Runs the Play command if its action is enabled; does nothing otherwise.
    void ExecutePlaySound();
    // Shows a sound that has just landed in the convertor (ConvertedSize counts it): Play
    // enabled when there is something to play, Convert disabled, the size, the whole view
    // selected and drawn. It does not play.
    void ShowConvertedSound();

protected:
    // Window messages: the player's device reports each finished buffer here (MM_WOM_DONE), and
    // the About command asks for the jingle (WM_PLAYJINGLE).
    bool event(QEvent* event) override;
    // Enter presses the default button, Btn_Play, wherever the focus is, unless the focused
    // control takes Enter itself.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The parts of the layout that a .ui file cannot hold: images, the action binding, the
    // status panel, the file dialogs' settings, and the handlers.
    void LoadLayout();
    // The remembered folders, read once the layout exists.
    void Loaded();
    void ConnectHandlers();

    void ConnectClipHandlers();
    // The waveform view's width in columns.
    int ViewWidth() const;
    // The view's cursor says whether a press began moving the selection.
    bool MovingSelection() const;
    // After the convertor has released the converted sound: shown as nothing converted.
    void ForgetConvertedSound();
    // Shows the converted sound after Finish or its undoing changed it: a sound of a new
    // length gets its size shown and is selected whole; then it is redrawn and played.
    void ShowChangedSound(uint32_t sizeBefore);
};
