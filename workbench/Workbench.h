#pragma once

#include "finish/Finish.h"
#include "sound/ACMConvertor.h"
#include "sound/Wavs_ex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What a mouse position in the waveform view does to the selection.
enum class TSelectionEdit {
    None,  // no edge moves
    Start,  // the start edge goes there, as long as it stays left of the end
    End,  // the end edge goes there, as long as it stays right of the start
    Move,  // the span follows the mouse from where the move began, keeping its width
};

// The workbench's working state: the loaded source file, the convertor that holds the
// converted sound, the clip cut from it and the selection made in the waveform view, in the
// view's columns. Columns map onto the converted sound's bytes in proportion, so every call
// that maps them takes the view's width. The workbench window holds this state, draws from
// it and turns its mouse and commands into the calls below; nothing here knows of windows.
class TWorkbench {
public:
    TWorkbench();

    std::unique_ptr<TACMConvertor> Convertor;
    std::unique_ptr<TWavStream> SourceWave;
    std::unique_ptr<TWavStream> ClipWave;
    // Bytes of converted sound in the convertor's output buffer; 0 while there is none.
    uint32_t ConvertedSize = 0;
    // The selection's edges in view columns (0 until first set), and the byte its start maps to.
    int32_t SelStartX = 0;
    int32_t SelEndX = 0;
    uint32_t SelStartOffset = 0;
    // Where a move of the selection began: the mouse's column and the start edge's.
    int32_t DragAnchorX = 0;
    int32_t DragAnchorStartX = 0;

    // Bytes of converted sound in that many columns of a view `width` columns wide, rounded
    // down; 64 bits wide, since columns times ConvertedSize passes 2^32 for long sounds.
    int64_t ColumnsToBytes(int64_t columns, int width) const;
    // Bytes between the selection's edges.
    int64_t SelectedBytes(int width) const { return ColumnsToBytes(int64_t(SelEndX) - SelStartX, width); }
    bool HasSelection() const { return SelStartX > 0 && SelEndX > 0; }

    // Selects the whole view: column 1 to column width - 1.
    void SelectWholeView(int width);
    // A press at column x that starts moving the selection.
    void BeginMove(int x);
    // Applies a mouse position to the selection, never left of column 1 nor right of column
    // width - 1, then maps the start to SelStartOffset while there is converted sound.
    void EditSelection(TSelectionEdit edit, int x, int width);

    // Loads a sound file as the source; raises when it cannot.
    void LoadSource(const std::string& path);
    // The source's format record with its extra format bytes behind it.
    std::vector<uint8_t> SourceFormatRecord() const;
    // Loads the file as the source and converts it; ConvertedSize counts the result. Raises
    // when that fails; once the convertor has let go of the sound converted before, that
    // sound is gone and ConvertedSize stays 0.
    void ConvertFile(const std::string& path);
    // What a recording does as it starts: the clip is emptied and the converted sound no
    // longer counts.
    void DropConvertedSound();
    // A finished recording, in the convertor's output format, becomes the converted sound.
    void TakeRecording(TWavStream& recording);
    // Cuts the selected bytes of the converted sound into ClipWave, in the convertor's output
    // format. The clip always lies within the converted sound, whatever the selection says.
    void CutClip(int width);
    // Normalizes the whole converted sound in place; raises on silence (NormalizeSamples).
    void Normalize();
    // Finishes the whole converted sound in place through the finishing chain (trimming may
    // shorten it), keeping the sound as it was for UndoFinish; returns what is worth telling.
    // Does nothing before a conversion.
    std::vector<std::string> Finish(const TFinishRecipe& recipe);
    // Gives back the converted sound as it was before the last Finish, which a recording,
    // unlike a file, could not be converted again to get; false when there is nothing to give.
    bool UndoFinish();

private:
    // The converted sound before the last Finish, while it is still the one converted.
    std::vector<uint8_t> FBeforeFinish;
};
