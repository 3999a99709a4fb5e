#include "LanguageDialog.h"

#include <windows.h>

#include "DialogFont.h"
#include "Languages.h"
#include "Messages.h"

namespace {

struct TDialogState {
    bool Done = false;
    bool Accepted = false;
};

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<TDialogState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
        return 0;
    case WM_COMMAND:
        if (state && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            state->Accepted = LOWORD(wParam) == IDOK;
            state->Done = true;
        }
        return 0;
    case WM_CLOSE:
        if (state) state->Done = true;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

std::string AskForLanguage(const std::vector<std::string>& tags, const std::string& proposed, bool rightToLeft)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterWindowClass(LanguageDialogClass, DialogProc, COLOR_BTNFACE, true);

    int dpi = ScreenDpi();
    auto scale = [dpi](int value) { return MulDiv(value, dpi, 96); };
    HFONT font = CreateDialogFont(dpi, false);
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, scale(300), scale(112)};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    TDialogState state;
    HWND dialog = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | (rightToLeft ? WS_EX_LAYOUTRTL : 0),
                                  LanguageDialogClass, LoadMessage(Msg::LanguageDialogCaption).c_str(), style,
                                  (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr,
                                  instance, &state);
    auto child = [&](const char* kind, const std::string& text, DWORD extra, int id, int x, int y, int w, int h) {
        HWND control = CreateWindowExA(0, kind, text.c_str(), WS_CHILD | WS_VISIBLE | extra, scale(x), scale(y),
                                       scale(w), scale(h), dialog, reinterpret_cast<HMENU>(intptr_t(id)), instance,
                                       nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };
    child("STATIC", LoadMessage(Msg::LanguageDialogPrompt), SS_LEFT, -1, 12, 10, 276, 30);
    HWND list = child("COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, LanguageListId, 12, 44, 276, 200);
    for (const std::string& tag : tags) {
        const TLanguage* language = FindLanguage(tag);
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(language ? language->OwnName : tag.c_str()));
        if (tag == proposed) SendMessageA(list, CB_SETCURSEL, WPARAM(&tag - tags.data()), 0);
    }
    child("BUTTON", LoadMessage(Msg::OkButton), WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, 132, 80, 75, 23);
    child("BUTTON", LoadMessage(Msg::CancelButton), WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, 213, 80, 75, 23);
    ShowWindow(dialog, SW_SHOW);
    SetFocus(list);
    MSG message;
    while (!state.Done && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    LRESULT chosen = SendMessageA(list, CB_GETCURSEL, 0, 0);
    DestroyWindow(dialog);
    DeleteObject(font);
    if (!state.Accepted || chosen < 0 || size_t(chosen) >= tags.size()) return std::string();
    return tags[size_t(chosen)];
}
