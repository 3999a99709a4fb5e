// The program's entry: one file is both the installer and the uninstaller; a
// word of its own file header says which. The command line can make either
// run unattended (/S) and keep a log (/LOG=); see SetupSwitches.h.
#include <objbase.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "DialogFont.h"
#include "Exception.h"
#include "Languages.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "Messages.h"
#include "ProcessText.h"
#include "ProgramFile.h"
#include "RunLog.h"
#include "SetupSwitches.h"
#include "SetupUninstaller.h"
#include "SetupSession.h"
#include "UninstallerCleanUp.h"

// An exception nobody catches ends the program, as it would anyway, without
// the library's verbose handler: that one prints the exception's type name
// to a console the program does not have, and brings the whole C++ name
// demangler (46 KB) into every installer.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

std::string ApplicationTitle = "Setup";

// Uninstaller mode: no wizard, only the uninstallation dialogue.
int RunUninstaller(const TSetupSwitches& switches, TRunLog& log)
{
    std::unique_ptr<TSetupUninstaller> uninstaller;
    try {
        uninstaller = std::make_unique<TSetupUninstaller>();
    } catch (const std::exception& e) {
        // The log appended to the program is damaged.
        log.Line("error: " + std::string(e.what()));
        if (!switches.Silent) ShowErrorBox(e.what(), ApplicationTitle);
        return ExitCode::Damaged;
    }
    TUnattendedUser nobody;
    TMessageBoxUser person;
    ISetupUser* user = switches.Silent ? static_cast<ISetupUser*>(&nobody) : &person;
    std::string refusal = uninstaller->Speak(switches.Language, *user);
    ApplicationTitle = FormatMessageText(Msg::UninstallerCaption, {uninstaller->ProductName()});
    if (!refusal.empty()) {
        log.Line("refused: " + refusal);
        if (!switches.Silent) ShowErrorBox(refusal, ApplicationTitle);
        return ExitCode::BadSwitch;
    }
    log.Decision("language",
                 std::string(FindLanguage(uninstaller->Language())->Name) + " (" + uninstaller->Language() + ")",
                 switches.Language ? "switch /LANG" : "the installation's");
    uninstaller->Elevated = switches.Elevated;
    return uninstaller->Execute(*user, &log);
}

// Installer mode: the wizard window until it closes, or with /S no window at all.
int RunInstaller(const TSetupSwitches& switches, TRunLog& log)
{
    if (switches.Silent) return RunSilentInstall(ModuleFileName(), switches, log);
    TMainForm form;
    form.UseSwitches(switches, log);
    if (form.FormCreate()) form.RunMessageLoop();
    return form.ExitCode();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::vector<std::string> arguments = CommandLineArguments();
    // A copy of the uninstaller, started to remove it once it has ended.
    if (!arguments.empty() && arguments[0] == CleanUpSwitch)
        return RunUninstallerCleanUp(std::vector<std::string>(arguments.begin() + 1, arguments.end()));

    TSetupSwitches switches = ParseSetupSwitches(arguments);
    TRunLog log;
    if (switches.Log && !switches.Log->empty() && !log.Open(*switches.Log, switches.Elevated) && switches.BadSwitch.empty()) {
        switches.BadSwitch = "/LOG";
        switches.BadReason = "the file " + *switches.Log + " cannot be written";
    }
    log.Facts("Plug-in Setup " + ModuleFileName() + (switches.Silent ? ", unattended" : ""));
    InitDialogFont();
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = ExitCode::Failed;
    bool uninstaller = false;
    try {
        uninstaller = IsUninstallerMode();
        if (!switches.BadSwitch.empty()) {
            std::string problem = switches.BadSwitch + ": " + switches.BadReason;
            log.Line("refused: " + problem);
            if (!switches.Silent) ShowErrorBox(problem, ApplicationTitle);
            exitCode = ExitCode::BadSwitch;
        } else {
            exitCode = uninstaller ? RunUninstaller(switches, log) : RunInstaller(switches, log);
        }
    } catch (const std::exception& e) {
        // The last chance: an error nobody else caught (the program file
        // unreadable) is shown with its text and ends the program.
        log.Line("error: " + std::string(e.what()));
        if (!switches.Silent) ShowErrorBox(e.what(), ApplicationTitle);
        exitCode = ExitCodeOf(FailureOf(e));
    }
    log.Line("exit code " + std::to_string(exitCode));
    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
}
