#include "DialogFont.h"

#include <algorithm>
#include <cctype>

#include "SystemCalls.h"

namespace {

TDialogFont TheDialogFont;
int DesignTextHeight = 0;

void RequestDpiAwareness()
{
    HMODULE user32 = LoadLibraryA("user32.dll");
    if (!user32) return;
    using TSetProcessDPIAware = BOOL(WINAPI*)();
    auto setAware =
        reinterpret_cast<TSetProcessDPIAware>(reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware")));
    if (setAware) setAware();
    FreeLibrary(user32);
}

int CALLBACK FindFace(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM wanted)
{
    return lstrcmpiA(font->lfFaceName, reinterpret_cast<const char*>(wanted)) == 0 ? 0 : 1;
}

bool FontInstalled(const std::string& name)
{
    HDC screen = GetDC(nullptr);
    LOGFONTA query{};
    query.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(query.lfFaceName, name.c_str(), LF_FACESIZE);
    // The enumeration stops (returns 0) when the face is found.
    bool found = EnumFontFamiliesExA(screen, &query, FindFace, reinterpret_cast<LPARAM>(name.c_str()), 0) == 0;
    ReleaseDC(nullptr, screen);
    return found;
}

DWORD WindowsMajorVersion()
{
    // GetVersion reports the version the program is manifested for; the major
    // number is enough to tell XP and older from Vista and later.
    return DWORD(LOBYTE(LOWORD(GetVersion())));
}

// The height of "0" in the design font, measured once in a hidden window.
int MeasureDesignTextHeight()
{
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    HDC dc = window ? GetDC(window) : nullptr;
    int height = 0;
    if (dc) {
        HFONT font = CreateFontA(-MulDiv(11, ScreenDpi(), 96), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                 0, 0, "MS Sans Serif");
        HGDIOBJ old = SelectObject(dc, font);
        SIZE size{};
        if (GetTextExtentPoint32A(dc, "0", 1, &size)) height = size.cy;
        SelectObject(dc, old);
        DeleteObject(font);
        ReleaseDC(window, dc);
    }
    if (window) DestroyWindow(window);
    return height;
}

}  // namespace

void InitDialogFont()
{
    RequestDpiAwareness();
    TheDialogFont = TDialogFont();
    TDialogFont candidate = WindowsMajorVersion() < 6 ? TDialogFont{"Tahoma", 8} : TDialogFont{"Segoe UI", 9};
    if (FontInstalled(candidate.Name)) TheDialogFont = candidate;
}

const TDialogFont& DialogFont() { return TheDialogFont; }

HFONT CreateDialogFont(int dpi, bool bold)
{
    return CreateFontA(-MulDiv(TheDialogFont.Size, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, TheDialogFont.Name.c_str());
}

int ScreenDpi() { return SystemCalls().ScreenDpi(); }

int ScaleDesignValue(int value)
{
    if (DesignTextHeight == 0) DesignTextHeight = MeasureDesignTextHeight();
    return value * DesignTextHeight / 13;
}
