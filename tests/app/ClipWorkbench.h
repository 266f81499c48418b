#pragma once

#include "Workbench.h"
#include "forms/PaintBox.h"
#include "gamtable/frmSaveGam.h"

#include <QImage>
#include <QRgb>
#include <QTest>

// The pens of the waveform view.
inline constexpr QRgb Blue = 0xff0000ff;
inline constexpr QRgb Red = 0xffff0000;
inline constexpr QRgb Yellow = 0xffffff00;

// The workbench window with a save-to-GAM dialog wired to it, as start-up wires it. AutoPlay
// is off, so that everything the scripted driver plays comes from the converted sound.
class ClipTest : public WorkbenchTest {
protected:
    ClipTest();

    // Lists the file, makes it the current item and clicks Convert.
    void Convert(const QString& path);
    // A taunt file holding these samples, converted: the converted sound is the samples.
    void ConvertTaunt(const QByteArray& samples);

    TPaintBox* View();
    // Mouse actions on the view at column x, as a person makes them. A move carries the
    // buttons held and the keys; presses and releases go through Qt's test driver.
    void Press(Qt::MouseButton button, int x, Qt::KeyboardModifiers keys = Qt::NoModifier);
    void DoubleClickPress(Qt::MouseButton button, int x, Qt::KeyboardModifiers keys = Qt::NoModifier);
    void Move(int x, Qt::MouseButtons held, Qt::KeyboardModifiers keys = Qt::NoModifier);
    void Release(Qt::MouseButton button, int x, Qt::KeyboardModifiers keys = Qt::NoModifier);
    void Click(Qt::MouseButton button, int x, Qt::KeyboardModifiers keys = Qt::NoModifier);

    QString SizeLabel();
    bool PlayEnabled();
    bool MoveCursor();
    // The converted sound as the convertor holds it.
    QByteArray Converted();
    // How many clips have been handed to an output device so far.
    int Plays() const;
    // The bytes of the last clip handed to an output device.
    QByteArray LastPlayed() const;
    // The view as drawn, and the colours it uses.
    QImage Grab();
    QRgb Face();

    TForm3 gam;
};
