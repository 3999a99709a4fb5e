// The program's entry: one file is both the installer and the uninstaller; a
// word of its own file header says which.
#include <objbase.h>
#include <windows.h>

#include <string>

#include "Exception.h"
#include "DialogFont.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "Messages.h"
#include "ProgramFile.h"
#include "SetupUninstaller.h"

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
