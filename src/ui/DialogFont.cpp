#include "DialogFont.h"

#include <algorithm>
#include <cctype>

#include "ProcessText.h"
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

// Whether the face has a glyph of its own for every character of `text`
// (controls and the marks of writing direction aside).
bool FaceDrawsAll(const std::string& face, const TWideText& text)
{
    std::vector<wchar_t> drawn;
    for (wchar_t c : text)
        if (c > L' ' && !(c >= 0x200B && c <= 0x200F) && !(c >= 0x202A && c <= 0x202E) &&
            !(c >= 0x2066 && c <= 0x2069) && std::find(drawn.begin(), drawn.end(), c) == drawn.end())
            drawn.push_back(c);
    if (drawn.empty()) return true;
    HDC screen = GetDC(nullptr);
    HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face.c_str());
    HGDIOBJ old = SelectObject(screen, font);
    std::vector<WORD> glyphs(drawn.size());
    bool all = GetGlyphIndicesW(screen, drawn.data(), int(drawn.size()), glyphs.data(),
                                GGI_MARK_NONEXISTING_GLYPHS) == DWORD(drawn.size());
    for (size_t i = 0; all && i < glyphs.size(); ++i) all = glyphs[i] != 0xFFFF;
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    return all;
}

// The families Windows links to a face, in order: the registry's entries are
// "FILE,Family" with optional scaling figures after them.
std::vector<std::string> LinkedFaces(const std::string& face)
{
    std::vector<std::string> faces;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return faces;
    TWideText name = ToWide(face);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name.data(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
        if (RegQueryValueExW(key, name.data(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS) {
            for (const wchar_t* entry = data.data(); *entry; entry += lstrlenW(entry) + 1) {
                std::string fields = FromWide(entry);
                size_t comma = fields.find(',');
                if (comma == std::string::npos) continue;
                std::string family = fields.substr(comma + 1, fields.find(',', comma + 1) - comma - 1);
                family.erase(0, family.find_first_not_of(' '));
                if (!family.empty()) faces.push_back(family);
            }
        }
    }
    RegCloseKey(key);
    return faces;
}

}  // namespace

void FitDialogFontToText(const std::vector<wchar_t>& wide)
{
    if (FaceDrawsAll(TheDialogFont.Name, wide)) return;
    for (const std::string& face : LinkedFaces(TheDialogFont.Name))
        if (FontInstalled(face) && FaceDrawsAll(face, wide)) {
            TheDialogFont.Name = face;
            return;
        }
}

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

void RegisterWindowClass(const char* name, WNDPROC procedure, int background, bool icon)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(intptr_t(background + 1));
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = name;
    windowClass.hIcon = icon ? LoadIconA(instance, MAKEINTRESOURCEA(1)) : nullptr;
    RegisterClassExA(&windowClass);
}
