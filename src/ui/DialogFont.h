#pragma once
// The dialog font and the scaling of design values. The wizard is designed at
// 96 DPI in 8-point "MS Sans Serif"; at start the process asks to be DPI-aware
// and picks the font Windows uses for dialogs ("Segoe UI" 9 pt on Vista and
// later, "Tahoma" 8 pt before), when it is installed.
#include <windows.h>

#include <string>
#include <vector>

struct TDialogFont {
    std::string Name = "MS Sans Serif";
    int Size = 8;  // points
};

// DPI awareness, then the dialog font. Called once at start, before any window.
void InitDialogFont();
// For text in a script the dialog font cannot draw (Japanese in "Segoe UI",
// Thai in "MS Sans Serif"), the dialog font becomes the first font Windows
// links to it (FontLink\SystemLink) that draws every character, at the same
// size, as Windows' own dialogs do for that language. Called once the
// language is known, before the first font is created.
void FitDialogFontToText(const std::vector<wchar_t>& text);
const TDialogFont& DialogFont();
// The font for the given screen DPI, normal or bold; the caller deletes it.
HFONT CreateDialogFont(int dpi, bool bold);

// The screen's pixels per inch.
int ScreenDpi();
// A design value (96 DPI, design font) in screen pixels: v × (height of "0" in
// the design font at this DPI) / 13.
int ScaleDesignValue(int value);


// Registers a window class of this program: the arrow cursor, the given
// background colour, and the program's icon where `icon` says so.
void RegisterWindowClass(const char* name, WNDPROC procedure, int background, bool icon);
