// The workbench window's About command: the about box, shown modally, and the jingle that
// plays while it is up.

#include "app/mainform.h"

#include "about/Unit2.h"
#include "devices/ACMWaveOut.h"
#include "forms/ResourceStream.h"
#include "sound/TauntFormat.h"

#include <algorithm>

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
        Player->Open(&Workbench.Convertor->FormatOut.Format, sizeof(TWaveFormatBlock));
        // The clip's format record stays: the workbench rebuilds the clip from the selection
        // before it plays or saves it again.
        const int64_t size = std::max<int64_t>(resource.Size() - JingleStart, 0);
        TWavStream& clip = *Workbench.ClipWave;
        clip.SetSize(size);
        resource.SetPosition(JingleStart);
        resource.ReadBuffer(clip.Memory(), size);
    }
    Player->Play(Workbench.ClipWave->Memory(), uint32_t(Workbench.ClipWave->Size()));
}
