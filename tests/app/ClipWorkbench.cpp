#include "ClipWorkbench.h"

#include "devices/ACMWaveOut.h"
#include "sound/ACMConvertor.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

namespace {
constexpr int Row = 10;  // the mouse's row over the view: the selection reads only columns
}

ClipTest::ClipTest()
{
    Form().Form3 = &gam;
    gam.ClosePlayer = [this] { Form().Player->Close(); };
    Control<QCheckBox>("AutoPlay")->setChecked(false);
}

void ClipTest::Convert(const QString& path)
{
    OpenFiles(QStringList{path});
    ClickItem(WaveList()->count() - 1);
    QTest::mouseClick(Control<QPushButton>("BtnConvert"), Qt::LeftButton);
}

void ClipTest::ConvertTaunt(const QByteArray& samples)
{
    Convert(MakeTaunt(QStringLiteral("taunt%1.wav").arg(WaveList()->count()), samples));
    ASSERT_EQ(Form().Workbench.ConvertedSize, uint32_t(samples.size()));
}

TPaintBox* ClipTest::View()
{
    return Control<TPaintBox>("PaintBox");
}

void ClipTest::Press(Qt::MouseButton button, int x, Qt::KeyboardModifiers keys)
{
    QTest::mousePress(View(), button, keys, QPoint(x, Row));
}

void ClipTest::DoubleClickPress(Qt::MouseButton button, int x, Qt::KeyboardModifiers keys)
{
    QTest::mouseDClick(View(), button, keys, QPoint(x, Row));
}

void ClipTest::Move(int x, Qt::MouseButtons held, Qt::KeyboardModifiers keys)
{
    const QPointF at(x, Row);
    QMouseEvent move(QEvent::MouseMove, at, View()->mapToGlobal(at), Qt::NoButton, held, keys);
    QCoreApplication::sendEvent(View(), &move);
}

void ClipTest::Release(Qt::MouseButton button, int x, Qt::KeyboardModifiers keys)
{
    QTest::mouseRelease(View(), button, keys, QPoint(x, Row));
}

void ClipTest::Click(Qt::MouseButton button, int x, Qt::KeyboardModifiers keys)
{
    Press(button, x, keys);
    Release(button, x, keys);
}

QString ClipTest::SizeLabel()
{
    return Control<QLabel>("LbSize")->text();
}

bool ClipTest::PlayEnabled()
{
    return Form().findChild<QAction*>("PlaySound")->isEnabled();
}

bool ClipTest::MoveCursor()
{
    return View()->cursor().shape() == Qt::SizeAllCursor;
}

QByteArray ClipTest::Converted()
{
    return QByteArray(reinterpret_cast<const char*>(Form().Workbench.Convertor->OutputBuffer),
                      Form().Workbench.ConvertedSize);
}

int ClipTest::Plays() const
{
    int plays = 0;
    for (const auto& call : driver.Calls)
        plays += call.Name == "waveOutWrite";
    return plays;
}

QByteArray ClipTest::LastPlayed() const
{
    for (auto it = driver.Devices.rbegin(); it != driver.Devices.rend(); ++it)
        if ((*it)->Direction == TWaveDirection::Output)
            return (*it)->Written;
    return {};
}

QImage ClipTest::Grab()
{
    return View()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

QRgb ClipTest::Face()
{
    return View()->palette().color(QPalette::Window).rgba();
}
