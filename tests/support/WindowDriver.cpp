#include "WindowDriver.h"

#include <stdexcept>

#include "TestFiles.h"

TProcess::TProcess(const std::string& program, const std::string& arguments, const std::string& workingFolder)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::string folder = workingFolder.empty() ? program.substr(0, program.find_last_of('\\')) : workingFolder;
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &FInfo))
        throw std::runtime_error("cannot start " + program);
}

TProcess::~TProcess()
{
    if (!FInfo.hProcess) return;
    if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(FInfo.hProcess, 255);
        WaitForSingleObject(FInfo.hProcess, 5000);
    }
    CloseHandle(FInfo.hThread);
    CloseHandle(FInfo.hProcess);
}

bool TProcess::WaitForExit(DWORD milliseconds) { return WaitForSingleObject(FInfo.hProcess, milliseconds) == WAIT_OBJECT_0; }

DWORD TProcess::ExitCode() const
{
    DWORD code = 0;
    GetExitCodeProcess(FInfo.hProcess, &code);
    return code;
}

std::string WindowText(HWND window)
{
    wchar_t buffer[4096] = {};
    // WM_GETTEXT works across processes; GetWindowText would not read another
    // process's controls. The wide form: the text as the window holds it,
    // whatever the code pages of the two programs.
    LRESULT length = SendMessageW(window, WM_GETTEXT, sizeof buffer / sizeof buffer[0], reinterpret_cast<LPARAM>(buffer));
    std::string text(size_t(WideCharToMultiByte(CP_UTF8, 0, buffer, int(length), nullptr, 0, nullptr, nullptr)), '\0');
    if (!text.empty()) WideCharToMultiByte(CP_UTF8, 0, buffer, int(length), &text[0], int(text.size()), nullptr, nullptr);
    return text;
}

std::string ClassNameOf(HWND window)
{
    char buffer[256] = {};
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

namespace {

struct TSearch {
    DWORD ProcessId;
    std::string ClassName;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<TSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->ProcessId && IsWindowVisible(window) && ClassNameOf(window) == search->ClassName)
        search->Found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM context)
{
    auto* buttons = reinterpret_cast<std::vector<HWND>*>(context);
    if (ClassNameOf(child) == "Button" && IsWindowVisible(child)) buttons->push_back(child);
    return TRUE;
}

std::vector<HWND> Buttons(HWND dialog)
{
    std::vector<HWND> buttons;
    EnumChildWindows(dialog, CollectButton, reinterpret_cast<LPARAM>(&buttons));
    return buttons;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD processId, const std::string& className)
{
    TSearch search{processId, className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

TMessageBoxView WaitForMessageBox(DWORD processId, DWORD milliseconds)
{
    TMessageBoxView view;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        std::vector<HWND> boxes = TopLevelWindows(processId, "#32770");
        if (!boxes.empty()) {
            view.Window = boxes.front();
            view.Title = WindowText(view.Window);
            // The message box's text is the static control with id 0xFFFF.
            HWND text = GetDlgItem(view.Window, 0xFFFF);
            view.Text = text ? WindowText(text) : std::string();
            for (HWND button : Buttons(view.Window)) view.Buttons.push_back(WindowText(button));
            return view;
        }
        Sleep(50);
    }
    return view;
}

bool ClickButton(HWND dialog, const std::string& caption)
{
    for (HWND button : Buttons(dialog)) {
        if (WindowText(button) == caption) {
            PostMessageA(button, BM_CLICK, 0, 0);
            return true;
        }
    }
    return false;
}
