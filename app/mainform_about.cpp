// The workbench window's About command: the about box, shown modally, and the jingle that
// plays while it is up.

#include "app/mainform.h"

#include "about/Unit2.h"
#include "devices/ACMWaveOut.h"
#include "forms/ResourceStream.h"
#include "sound/ACMConvertor.h"

#include <algorithm>

namespace {
// The jingle is a WAV file in the taunt format; its 44-byte header and the silence after it
// are not played.
constexpr int64_t JingleStart = 100;
}

void TForm1::ToolButton11Click(QObject*)
{
    // Posted, not handled now: the box's own message loop starts the jingle once the box is up.
    PostMessage(this, WM_PLAYJINGLE, 0, 0);
    AboutBox->exec();
}

void TForm1::PlayJingle()
{
    {
        TResourceStream resource(QStringLiteral("piano"), QStringLiteral("RT_RCDATA"));
        Player->Close();
        Player->Open(&Convertor->FormatOut.Format, sizeof(TWaveFormatBlock));
        // The clip's format record stays: the workbench rebuilds the clip from the selection
        // before it plays or saves it again.
        const int64_t size = std::max<int64_t>(resource.Size() - JingleStart, 0);
        ClipWave->SetSize(size);
        resource.SetPosition(JingleStart);
        resource.ReadBuffer(ClipWave->Memory(), size);
    }
    Player->Play(ClipWave->Memory(), uint32_t(ClipWave->Size()));
}
