#include "SilentSetup.h"

#include "MainForm.h"
#include "Messages.h"
#include "PathUtils.h"
#include "SetupInstaller.h"
#include "TextUtils.h"
#include "WizardIds.h"

using namespace Wizard;

namespace {

// Reports the run to the log only.
class TLogProgress : public IInstallProgress {
public:
    explicit TLogProgress(TRunLog& log) : FLog(log) {}
    void SetProgress(int) override {}
    void SetStatus(const std::string& text) override { FLog.Line("status: " + text); }

private:
    TRunLog& FLog;
};

// A plug-in folder the wizard's page would have asked for: without one the
// format is left out (a switch can name one); one that cannot be made is
// refused when a switch named it.
bool CheckPluginFolder(TSetupInstaller& model, bool& install, std::string& folder, bool named, const char* format,
                       TRunLog& log, std::string& problem)
{
    if (!install) return true;
    if (Trim(folder).empty()) {
        install = false;
        log.Line(std::string(format) + ": no folder was found, so it is not installed (name one with a switch)");
        return true;
    }
    if (model.CanCreateFolder(folder)) return true;
    if (named) {
        problem = std::string(format) + " folder " + folder + " cannot be created";
        return false;
    }
    install = false;
    log.Line(std::string(format) + ": the folder " + folder + " cannot be created, so it is not installed");
    return true;
}

}  // namespace

int RunSilentInstall(const std::string& programPath, const TSetupSwitches& switches, TRunLog& log)
{
    std::unique_ptr<TSetupInstaller> model;
    try {
        model = std::make_unique<TSetupInstaller>(programPath);
    } catch (const std::exception& e) {
        log.Line("error: " + std::string(e.what()));
        return ExitCode::Damaged;
    }
    log.Phase("reading the package and finding the folders");
    std::string problem = model->ApplySwitches(switches);
    if (!problem.empty()) {
        log.Line("refused: " + problem);
        return ExitCode::BadSwitch;
    }
    if (int message = model->RequirementsMessage()) {
        log.Line("requirements not met: " + model->ExpandText(LoadMessage(message)));
        return ExitCode::Requirements;
    }
    // The pages' own rules, as the wizard applies them when they are shown.
    bool folders =
        (!PageShown(*model, pgVstPlugins) || CheckPluginFolder(*model, model->InstallVst2, model->Vst2Folder,
                                                               bool(switches.Vst2Dir), "VST 2", log, problem)) &&
        (!PageShown(*model, pgPhotoshopPlugin) || CheckPluginFolder(*model, model->InstallPhotoshop,
                                                                    model->PhotoshopFolder, bool(switches.PsDir),
                                                                    "Photoshop", log, problem));
    if (!folders) {
        log.Line("refused: " + problem);
        return ExitCode::BadSwitch;
    }
    if (PageShown(*model, pgPersonalize) && model->UserName.empty()) {
        log.Line("refused: /NAME: no user name was found on this machine; name one");
        return ExitCode::BadSwitch;
    }
    if (PageShown(*model, pgIcon) && !switches.NoShortcuts) model->ShortcutChoice = skStartMenu | skDesktop;
    model->LogDecisions(switches, log);

    std::string folder = NormalizeFolder(model->InstallFolder);
    TDestinationCheck check = model->CheckDestination(folder, [&](const std::string& question) {
        // Kept where it is: the earlier installation, the files already in the folder.
        log.Line("question: " + question + " | answer: Yes (unattended)");
        return true;
    });
    if (!check.Ok) {
        log.Line("refused: " + check.Warning);
        return switches.Dir && check.FolderRefused ? ExitCode::BadSwitch : ExitCode::Failed;
    }
    model->SetInstallFolder(folder);
    log.Phase("checks");

    // A file held by a running program fails the run (and rolls it back): nobody is there to close it.
    model->OnFileQuestion = [&](const std::string& message) {
        log.Line("question: " + message + " | answer: Cancel (unattended)");
        return false;
    };
    model->OnNote = [&](const std::string& text) { log.Line(text); };
    // Nobody is there to try again later: another run in the folder is waited for, a while.
    model->FolderLockWait = SilentFolderLockWait;
    TLogProgress progress(log);
    try {
        model->Install(progress);
    } catch (const std::exception& e) {
        log.Line("error: " + std::string(e.what()));
        log.Phase("installation (failed, rolled back)");
        return FailureExitCode(e);
    }
    log.Phase("installation");
    log.Line("installed");
    return ExitCode::Done;
}
