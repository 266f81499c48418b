// What the workbench does with a converted sound, timed for short and long sounds: Convert
// (read, convert, draw, play), one drawing of the waveform view, one step of a selection
// move (the selection moved, the clip cut afresh and handed to the player) and Normalize.
// The view draws one sample per column, so its figure should not grow with the sound; a
// move step copies the selected bytes twice (into the clip, and into the player's buffer),
// so its figure grows with the selection.
// Each Play closes and reopens the output device, so the figures are taken twice: through
// the sound system (SDL's dummy driver unless SDL_AUDIODRIVER says otherwise), and through a
// device that takes the bytes and does nothing, which leaves the window's own share.
// Runs offscreen.
#include "app/mainform.h"
#include "devices/ACMWaveOut.h"
#include "forms/Application.h"
#include "forms/FilePaths.h"
#include "forms/PaintBox.h"
#include "gamtable/frmSaveGam.h"
#include "platform/WaveDriver.h"
#include "sound/Wavs_ex.h"

#include <QListWidget>
#include <QWindow>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Median milliseconds of `runs` runs.
double Median(int runs, const std::function<void()>& run)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[size_t(runs / 2)];
}

// A CD-quality stereo tone of the given length, written as a WAV file.
QString WriteSource(const QTemporaryDir& dir, double seconds)
{
    TWavStream wave;
    wave.SetFormat(WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0});
    const int64_t frames = int64_t(seconds * 44100);
    wave.SetSize(frames * 4);
    auto* samples = reinterpret_cast<int16_t*>(wave.Memory());
    for (int64_t i = 0; i < frames; ++i)
        samples[2 * i] = samples[2 * i + 1] = int16_t(8000 * std::sin(i * 0.0427));
    const QString path = dir.filePath(QStringLiteral("%1.wav").arg(seconds));
    wave.SaveToFile(LocalPath(path));
    return path;
}

// An output device that takes every buffer and plays nothing; the wave calls return what
// it holds when it is reset or closed.
class TSilentDevice : public IWaveDevice {
public:
    MMRESULT Queue(WAVEHDR*) override { return MMSYSERR_NOERROR; }
    MMRESULT Reset() override { return MMSYSERR_NOERROR; }
    MMRESULT Close() override { return MMSYSERR_NOERROR; }
};

class TSilentDriver : public IWaveDriver {
public:
    UINT DeviceCount(TWaveDirection) override { return 1; }
    MMRESULT Open(TWaveDirection, UINT, const WAVEFORMATEX&, DWORD, IWaveDone&,
                  std::unique_ptr<IWaveDevice>& device) override
    {
        device = std::make_unique<TSilentDevice>();
        return MMSYSERR_NOERROR;
    }
};

void Measure(TForm1& form, const QString& source, const char* device)
{
    auto* list = form.findChild<QListWidget*>(QStringLiteral("WaveList"));
    auto* view = form.findChild<TPaintBox*>(QStringLiteral("PaintBox"));
    list->addItem(source);
    list->setCurrentRow(list->count() - 1);
    const double convert = Median(3, [&] { form.BtnConvertClick(list); });
    const double draw = Median(21, [&] { view->repaint(); });
    // A move with the middle button, to and fro, of a selection half the view wide.
    form.PaintBoxMouseDown(view, TMouseButton::mbLeft, ssLeft, 60, 10);
    form.PaintBoxMouseDown(view, TMouseButton::mbRight, ssRight, 200, 10);
    form.PaintBoxMouseDown(view, TMouseButton::mbMiddle, ssMiddle, 100, 10);
    int x = 100;
    const double move = Median(21, [&] { form.PaintBoxMouseMove(view, ssMiddle, x += (x < 150 ? 1 : -50), 10); });
    form.PaintBoxMouseUp(view, TMouseButton::mbMiddle, {}, x, 10);
    const double normalize = Median(3, [&] { form.ToolButton7Click(view); });
    std::printf("%-14s %9.0fs %12u %12.2f %12.3f %14.3f %12.2f\n", device, form.ConvertedSize / 22050.0,
                form.ConvertedSize, convert, draw, move, normalize);
    // The finished buffers' notices.
    QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    TApplication application(argc, argv);
    TApplication::SetTitle(QStringLiteral("Orvalis Jeerbox"));

    TForm1 form;
    TForm3 gam(&form);
    form.Form3 = &gam;
    form.show();
    while (!form.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const QString sources[] = {WriteSource(dir, 1), WriteSource(dir, 60), WriteSource(dir, 600)};
    TSilentDriver silent;

    std::printf("%-14s %10s %12s %12s %12s %14s %12s\n", "device", "sound", "bytes", "convert ms", "draw ms",
                "move step ms", "normalize ms");
    for (const bool sdl : {true, false}) {
        form.Player->Close();
        SetWaveDriver(sdl ? nullptr : &silent);
        for (const QString& source : sources)
            Measure(form, source, sdl ? "sound system" : "silent");
    }
    form.Player->Close();
    QCoreApplication::sendPostedEvents();
    SetWaveDriver(nullptr);
    return 0;
}
