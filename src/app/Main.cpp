// The program's entry: one file is both the installer and the uninstaller; a
// word of its own file header says which.
#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "Exception.h"
#include "DialogFont.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "Messages.h"
#include "ProgramFile.h"
#include "SetupUninstaller.h"
#include "UninstallerCleanUp.h"

namespace {

std::string ApplicationTitle = "Setup";

// Uninstaller mode: no wizard, only the uninstallation dialogue.
void RunUninstaller()
{
    TSetupUninstaller uninstaller;
    ApplicationTitle = uninstaller.ProductName() + " Uninstaller";
    uninstaller.Execute();
}

// Installer mode: the wizard window, until it closes.
void RunInstaller()
{
    TMainForm form;
    if (form.FormCreate()) form.RunMessageLoop();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // A copy of the uninstaller, started to remove it once it has ended.
    std::vector<std::string> arguments = CommandLineArguments();
    if (!arguments.empty() && arguments[0] == CleanUpSwitch)
        return RunUninstallerCleanUp(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    InitDialogFont();
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    try {
        if (IsUninstallerMode())
            RunUninstaller();
        else
            RunInstaller();
    } catch (const std::exception& e) {
        // The last chance: an error nobody else caught (the program file
        // unreadable, a damaged uninstall log) is shown with its text and
        // ends the program.
        ShowErrorBox(e.what(), ApplicationTitle);
        exitCode = 1;
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
}
