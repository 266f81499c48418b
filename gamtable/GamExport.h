#pragma once

class TForm3;

// Writes the table file named in the dialog anew, holding exactly one sound page made from
// the dialog's pending settings. The file as it was stays untouched unless the whole page
// was written. Raises the stream errors.
void ExportSoundPage(const TForm3& form);

// The "Export to GAM file" command: shows the dialog modally and, when the user confirms,
// exports the page; an error reaches the default error display.
void ExportToGamFile(TForm3& form);
