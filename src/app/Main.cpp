// The program's entry: one file is both the installer and the uninstaller; a
// word of its own file header says which.
#include <objbase.h>
#include <windows.h>

#include <string>

#include "Exception.h"
#include "Installer.h"
#include "MessageBoxes.h"
#include "Messages.h"
#include "ProgramFile.h"
#include "SetupUninstaller.h"

namespace {

const char InstallerTitle[] = "Setup";

// The manifest declares DPI awareness from process start; older systems
// without the manifest entry learn it here.
void RequestDpiAwareness()
{
    HMODULE user32 = LoadLibraryA("user32.dll");
    if (!user32) return;
    using SetProcessDPIAwareProc = BOOL(WINAPI*)();
    auto setAware = reinterpret_cast<SetProcessDPIAwareProc>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware")));
    if (setAware) setAware();
    FreeLibrary(user32);
}

std::string ApplicationTitle = "Setup";

// Uninstaller mode: no wizard, only the uninstallation dialogue.
void RunUninstaller()
{
    TSetupUninstaller uninstaller;
    ApplicationTitle = uninstaller.ProductName() + " Uninstaller";
    uninstaller.Execute();
}

void RunInstaller()
{
    try {
        TInstaller installer;
        ShowInformationBox(FormatMessageText(Msg::PackageVersionInfo, {installer.PackageVersion().AsText()}),
                           InstallerTitle);
    } catch (const Exception& e) {
        ShowErrorBox(e.Message(), InstallerTitle);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RequestDpiAwareness();
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    try {
        if (IsUninstallerMode())
            RunUninstaller();
        else
            RunInstaller();
    } catch (const std::exception& e) {
        // The last chance: an error nobody else caught (the program file
        // unreadable, say) is shown with its text and ends the program.
        ShowErrorBox(e.what(), ApplicationTitle);
        exitCode = 1;
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
}
