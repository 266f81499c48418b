#include "gamtable/GamExport.h"

#include "forms/Application.h"
#include "forms/FilePaths.h"
#include "gam/GamPages.h"
#include "gamtable/frmSaveGam.h"

void ExportSoundPage(const TForm3& form)
{
    TSound page(nullptr, -1, form.GetSoundName());
    page.FileName = form.GetFileName();
    page.Params.Flags = form.GetFlags();
    page.Params.LoopStart = form.GetLoopStart();
    page.Params.LoopEnd = form.GetLoopEnd();
    page.Params.OuterConeVolume = form.GetOuterConeVolume();
    page.Params.InnerConeAngle = form.GetInnerConeAngle();
    page.Params.OuterConeAngle = form.GetOuterConeAngle();
    page.Params.MaxDistance = form.GetMaxDistance();
    page.Params.MinDistance = form.GetMinDistance();
    page.Params.ImportAdjust = form.GetImportAdjust();
    WriteGamFile(LocalPath(form.GetGamFile()), {&page});
}

void ExportToGamFile(TForm3& form)
{
    if (form.exec() != QDialog::Accepted)
        return;
    RunGuarded([&form] { ExportSoundPage(form); });
}
