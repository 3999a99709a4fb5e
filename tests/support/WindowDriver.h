#pragma once
// Drives a program's windows from outside, as a person would: starts it, finds
// its windows, reads their texts, presses their buttons, waits for its end.
#include <windows.h>

#include <string>
#include <vector>

class TProcess {
public:
    // Starts `program` with its own folder as the working folder (or
    // `workingFolder`), and the command-line arguments given (as they are
    // written after the program).
    explicit TProcess(const std::string& program, const std::string& arguments = std::string(),
                      const std::string& workingFolder = std::string());
    ~TProcess();
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    DWORD Id() const { return FInfo.dwProcessId; }
    HANDLE Handle() const { return FInfo.hProcess; }
    // Waits for the end; false on time-out.
    bool WaitForExit(DWORD milliseconds);
    DWORD ExitCode() const;

private:
    PROCESS_INFORMATION FInfo{};
};

// A message box ("#32770") of the process, as the user sees it.
struct TMessageBoxView {
    HWND Window = nullptr;
    std::string Title;
    std::string Text;
    std::vector<std::string> Buttons;
};

std::string WindowText(HWND window);
std::string ClassNameOf(HWND window);
// The visible top-level windows of the process with that class name.
std::vector<HWND> TopLevelWindows(DWORD processId, const std::string& className);
// Waits up to `milliseconds` for a message box of the process; Window is null on time-out.
TMessageBoxView WaitForMessageBox(DWORD processId, DWORD milliseconds = 20000);
// Clicks the button with that caption (posted, so the click never blocks the test).
bool ClickButton(HWND dialog, const std::string& caption);
