#pragma once
// Drives the real Setup.exe's wizard from outside, as a person would: finds
// its window and controls by the ids the window carries, reads what it shows,
// types, ticks and clicks, and answers its message boxes.
#include <windows.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "PackageWriter.h"
#include "TestFiles.h"
#include "WindowDriver.h"

// An installer of a test product: Setup.ini lines, the licence, the example's
// pictures and any further package items, in a folder of the test's own.
std::string BuildTestInstaller(const TTestFolder& folder, const std::vector<std::string>& ini,
                               std::vector<TPackageItem> items = {}, const std::string& version = "2.23");

class TWizard {
public:
    explicit TWizard(const std::string& program, const std::string& arguments = std::string());

    bool Shown() const { return FWindow != nullptr; }
    HWND Window() const { return FWindow; }
    TProcess& Process() { return *FProcess; }

    // The visible page's index, -1 when none is.
    int Page() const;
    HWND Control(int id) const;
    std::string Text(int id) const;
    bool Visible(int id) const;
    bool Enabled(int id) const;
    bool Checked(int id) const;
    bool Focused(int id) const;
    void SetText(int id, const std::string& text);
    // Clicks and waits until the wizard has handled it.
    void Click(int id);
    // A key pressed and released where the wizard has its focus.
    void PressKey(int key);
    void PressEscape() { PressKey(VK_ESCAPE); }
    void CloseBox();
    // Waits for the wizard to show that page; false on time-out.
    bool WaitForPage(int page, DWORD milliseconds = 15000);
    // The next message box, answered by the caller.
    TMessageBoxView Box(DWORD milliseconds = 15000);
    void Answer(const TMessageBoxView& box, const std::string& button);
    bool Ended(DWORD milliseconds = 15000) { return FProcess->WaitForExit(milliseconds); }

private:
    void Settle();
    std::unique_ptr<TProcess> FProcess;
    HWND FWindow = nullptr;
};

// Waits until the condition holds; false on time-out.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds = 15000);

// Whether the clean-up folders of uninstallers (CleanUpFolders) are gone
// within the time (an uninstaller's clean-up ends a moment after the uninstaller).
bool CleanUpFoldersGoneWithin(DWORD milliseconds);

// Walks the wizard to the end, installing into `folder`; the question about a
// folder that holds other files is answered Yes; `onDestinationPage` sees the
// destination page as the wizard first shows it; `limit` is how long the
// pages after it and the copy may take. Returns what it asked.
std::string InstallWithTheWizard(const std::string& program, const std::string& folder,
                                 const std::function<void(TWizard&)>& onDestinationPage = nullptr,
                                 DWORD limit = 60000);
// Runs an Uninst.exe to its end (Yes, then OK) and waits for its clean-up;
// returns the result it reported.
std::string UninstallWith(const std::string& uninstaller);
// Runs the Uninst.exe in `folder` with /S; whether it ended well and its
// clean-up took the folder.
bool UninstalledSilently(const std::string& folder);

// Saves the window's area of the screen as a 24-bit BMP file.
bool Photograph(HWND window, const std::string& file);

// Removes the example product's keys, registration and Start Menu shortcuts.
void ForgetExampleEcho();

// Removes a test product's registry keys (below \Software\SetupTests, and its
// uninstall registrations) when made and when gone.
class TProductKeys {
public:
    explicit TProductKeys(const std::string& name) : FName(name) { Clean(); }
    ~TProductKeys() { Clean(); }
    TProductKeys(const TProductKeys&) = delete;
    TProductKeys& operator=(const TProductKeys&) = delete;

private:
    void Clean();
    std::string FName;
};
