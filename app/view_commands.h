#pragma once

namespace qlm {

// The View and Edit commands that change how the program-wide frame is shown, or rewrite it for
// viewing. Each works on the program-wide buffers and flags and refreshes the display.
void mirrorCommand();                // "&Mirror Image" (wait cursor)
void flipCommand();                  // "Flip Image" (wait cursor)
void fitToWindowCommand();           // "&Fit to window" toggle; ignored while photometry runs
void centreImageCommand();           // "&Centre Image" toggle; ignored while photometry runs
void falseColourCommand();           // "False Colour P&alette" toggle
void autoContrastCommand();          // "&Auto contrast stretch image" toggle
void setMaxPaletteCommand(bool on);  // "Use Max Palette Stretch" / "Dont use Max Palette Stretch"
void maxPaletteDialogCommand();      // "Max Palette Stretch": the "Stretch Display" dialog
void labelCommand();                 // "&Label": the "Label Current Image" dialog, then the label
void undoCommand();                  // "&Undo Last Filter"
void saveUnexpandedBinnedCommand();  // Ctrl+W: there is never an unexpanded binned image to save

}  // namespace qlm
