#include "workbench/Workbench.h"

#include "sound/SoundFile.h"
#include "sound/Normalize.h"

#include <algorithm>
#include <cstring>

TWorkbench::TWorkbench()
    : Convertor(std::make_unique<TACMConvertor>()), SourceWave(std::make_unique<TWavStream>()),
      ClipWave(std::make_unique<TWavStream>())
{
    Convertor->SetName("Convertor");
}

int64_t TWorkbench::ColumnsToBytes(int64_t columns, int width) const
{
    return columns * ConvertedSize / width;
}

void TWorkbench::SelectWholeView(int width)
{
    SelStartX = 1;
    SelEndX = width - 1;
    SelStartOffset = uint32_t(ColumnsToBytes(SelStartX, width));
}

void TWorkbench::BeginMove(int x)
{
    DragAnchorX = x;
    DragAnchorStartX = SelStartX;
}

void TWorkbench::EditSelection(TSelectionEdit edit, int x, int width)
{
    x = std::max(x, 1);
    switch (edit) {
    case TSelectionEdit::Start:
        if (SelEndX == 0)
            SelEndX = width - 1;
        if (x < SelEndX)
            SelStartX = x;
        break;
    case TSelectionEdit::End:
        if (x > SelStartX)
            SelEndX = std::min(x, width - 1);
        break;
    case TSelectionEdit::Move: {
        const int64_t span = int64_t(SelEndX) - SelStartX;
        int64_t start = std::max<int64_t>(1, int64_t(DragAnchorStartX) + x - DragAnchorX);
        int64_t end = start + span;
        if (end >= width) {
            end = width - 1;
            start = end - span;
        }
        SelStartX = int32_t(start);
        SelEndX = int32_t(end);
        break;
    }
    case TSelectionEdit::None: break;
    }
    if (HasSelection() && ConvertedSize > 0)
        SelStartOffset = uint32_t(ColumnsToBytes(SelStartX, width));
}

void TWorkbench::LoadSource(const std::string& path)
{
    SourceWave->Clear();
    LoadSoundFile(*SourceWave, path);
}

std::vector<uint8_t> TWorkbench::SourceFormatRecord() const
{
    const std::vector<uint8_t>& extra = SourceWave->FormatExtra;
    std::vector<uint8_t> record(sizeof(WAVEFORMATEX) + extra.size());
    std::memcpy(record.data(), &SourceWave->Format, sizeof(WAVEFORMATEX));
    std::copy(extra.begin(), extra.end(), record.begin() + sizeof(WAVEFORMATEX));
    return record;
}

void TWorkbench::ConvertFile(const std::string& path)
{
    Convertor->SetActive(false);
    ConvertedSize = 0;
    FBeforeFinish.clear();
    LoadSource(path);
    ConvertedSize = ConvertWave(*Convertor, *SourceWave);
}

void TWorkbench::DropConvertedSound()
{
    ClipWave->Clear();
    ConvertedSize = 0;
    FBeforeFinish.clear();
}

void TWorkbench::TakeRecording(TWavStream& recording)
{
    FBeforeFinish.clear();
    ConvertedSize = ConvertWave(*Convertor, recording);
}

void TWorkbench::CutClip(int width)
{
    const int64_t selected = SelectedBytes(width);
    ClipWave->Clear();
    ClipWave->SetFormat(Convertor->FormatOut.Format);
    const uint32_t offset = std::min(SelStartOffset, ConvertedSize);
    const uint32_t size = uint32_t(std::clamp<int64_t>(selected, 0, ConvertedSize - offset));
    ClipWave->SetSize(size);
    if (size > 0)
        std::memcpy(ClipWave->Memory(), Convertor->OutputBuffer + offset, size);
}

void TWorkbench::Normalize()
{
    if (ConvertedSize > 0)
        NormalizeSamples(Convertor->OutputBuffer, ConvertedSize);
}

std::vector<std::string> TWorkbench::Finish(const TFinishRecipe& recipe)
{
    if (ConvertedSize == 0)
        return {};
    std::vector<uint8_t> sound(Convertor->OutputBuffer, Convertor->OutputBuffer + ConvertedSize);
    const TFinished made = FinishTaunt(sound, recipe);
    // The chain only ever keeps or shortens the sound, so it fits where the sound was.
    FBeforeFinish.assign(Convertor->OutputBuffer, Convertor->OutputBuffer + ConvertedSize);
    std::copy(sound.begin(), sound.end(), Convertor->OutputBuffer);
    ConvertedSize = uint32_t(sound.size());
    return made.Notes;
}

bool TWorkbench::UndoFinish()
{
    if (FBeforeFinish.empty() || FBeforeFinish.size() > Convertor->OutputBufferSize)
        return false;
    std::copy(FBeforeFinish.begin(), FBeforeFinish.end(), Convertor->OutputBuffer);
    ConvertedSize = uint32_t(FBeforeFinish.size());
    FBeforeFinish.clear();
    return true;
}
