#include "SetupSession.h"

#include "Exception.h"
#include "InstallScope.h"
#include "Languages.h"
#include "Messages.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "SetupRun.h"
#include "TextUtils.h"

using namespace Wizard;

int ExitCodeOf(TFailure failure)
{
    switch (failure) {
    case TFailure::None: return ExitCode::Done;
    case TFailure::Failed: break;
    case TFailure::Cancelled: return ExitCode::Cancelled;
    case TFailure::Requirements: return ExitCode::Requirements;
    case TFailure::Damaged: return ExitCode::Damaged;
    case TFailure::BadSwitch: return ExitCode::BadSwitch;
    case TFailure::Busy: return ExitCode::Busy;
    case TFailure::FileInUse: return ExitCode::FileInUse;
    }
    return ExitCode::Failed;
}

TFailure FailureOf(const std::exception& error)
{
    if (dynamic_cast<const EFolderInUse*>(&error)) return TFailure::Busy;
    if (dynamic_cast<const EPackageDamaged*>(&error)) return TFailure::Damaged;
    if (dynamic_cast<const EFileInUse*>(&error)) return TFailure::FileInUse;
    return TFailure::Failed;
}

const char* SwitchOf(TPageField field)
{
    switch (field) {
    case TPageField::Items: return "/ITEMS";
    case TPageField::Vst2Folder: return "/VST2DIR";
    case TPageField::PhotoshopFolder: return "/PSDIR";
    case TPageField::DestFolder: return "/DIR";
    case TPageField::ContentFolder: return "/CONTENTDIR";
    case TPageField::UserName: return "/NAME";
    case TPageField::None: break;
    }
    return "";
}

TSetupSession::TSetupSession(const std::string& programPath, const TSetupSwitches& switches, TRunLog& log,
                             ISetupUser& user)
    : FProgramPath(programPath), FSwitches(switches), FLog(log), FUser(user)
{
}

bool TSetupSession::Start()
{
    try {
        for (;;) {
            try {
                FModel = std::make_unique<TSetupInstaller>(FProgramPath);
                break;
            } catch (const EVolumeMissing& e) {
                // Asked for with the folder it belongs in; nobody to ask: exit code 4.
                FLog.Line("missing: " + ReplaceAll(e.Message(), "\r", " "));
                if (FUser.Unattended() || !FUser.Retry(e.Message())) throw;
                FLog.Line("user: retry");
            }
        }
    } catch (const std::exception& e) {
        // Whatever stops the package from being read (its checksum, an entry
        // Windows cannot hold, a Setup.ini it cannot use) ends Setup before the first page.
        FLog.Line("error: " + std::string(e.what()));
        FFailure = TFailure::Damaged;
        FFailureText = e.what();
        return false;
    }
    FLog.Phase("reading the package and finding the folders");
    // The language first: the maker's texts in it take the place of the
    // program's own before anything is said, the refusal of a switch included.
    std::string problem = FModel->ChooseLanguage(FSwitches);
    SetMessageTexts(FModel->MessageTexts());
    // The product may let the user pick, in the language proposed so far.
    std::vector<std::string> spoken = FModel->Facts().SpokenLanguages();
    bool asked = problem.empty() && !FSwitches.Language && FModel->Facts().ShowLanguageDialog && spoken.size() > 1 &&
                 !FUser.Unattended();
    if (asked) {
        std::string chosen = FUser.AskLanguage(spoken, FModel->Choices.Language);
        if (chosen.empty()) {
            FLog.Line("the user cancelled in the language dialog");
            FFailure = TFailure::Cancelled;
            return false;
        }
        FModel->Choices.Language = chosen;
    }
    std::vector<std::string> refused;
    SetMessageTexts(FModel->MessageTexts(&refused));
    const TLanguage& language = *FindLanguage(FModel->Choices.Language);
    FUser.Speak(language.Tag, language.RightToLeft);
    if (problem.empty())
        FLog.Decision("language", std::string(language.Name) + " (" + language.Tag + ")",
                      FSwitches.Language ? "switch /LANG"
                      : asked            ? "the user, in the language dialog"
                                         : "the user's preferred languages");
    for (const std::string& text : refused) FLog.Line("text not taken: " + text);
    if (problem.empty()) problem = FModel->ApplySwitches(FSwitches);
    if (!problem.empty()) {
        FLog.Line("refused: " + problem);
        FFailure = TFailure::BadSwitch;
        FFailureText = problem;
        return false;
    }
    // The proposal of the Icon page: both boxes ticked, unless a switch said none.
    FModel->Choices.ShortcutChoice = FSwitches.NoShortcuts ? 0u : unsigned(skStartMenu | skDesktop);
    FModel->OnFileQuestion = [this](const std::string& message) {
        bool retry = FUser.Retry(message);
        FLog.Line("question: " + message + " | answer: " + (retry ? "Retry" : "Cancel") +
                  (FUser.Unattended() ? " (unattended)" : ""));
        return retry;
    };
    FModel->OnNote = [this](const std::string& text) { FLog.Line(text); };
    // Nobody is there to try again later: another run in the folder is waited for, a while.
    FModel->FolderLockWait = FUser.Unattended() ? SilentFolderLockWait : 0;
    FModel->LogDecisions(FSwitches, FLog);
    return true;
}

bool TSetupSession::PageShown(int page) const
{
    const TSetupModel& model = *FModel;
    switch (page) {
        case pgBundleItems:
            return model.Facts().IsBundle;
        case pgVstPlugins:
            return (model.Facts().PageFlags & pfVstPluginFolder) != 0;
        // Pro Tools and Photoshop look for plug-ins only in the folders for everyone.
        case pgDigiPlugins:
            return (model.Facts().PageFlags & pfDigiPluginFolder) != 0 &&
                   (model.Facts().HasRtas || model.Facts().HasAax) && !model.Choices.ForCurrentUser;
        case pgPhotoshopPlugin:
            return (model.Facts().PageFlags & pfPhotoshopPluginFolder) != 0 && !model.Choices.ForCurrentUser;
        case pgPersonalize:
            return (model.Facts().PageFlags & pfPersonalization) != 0;
        case pgIcon:
            return (model.Facts().ShortcutKinds & (skStartMenu | skDesktop)) != 0;
        default:
            return true;
    }
}

int TSetupSession::FindShownPage(int from, int step) const
{
    int page = from + step;
    while (page >= 0 && page < PageCount && !PageShown(page)) page += step;
    return page;
}

TPageAnswers TSetupSession::Proposal() const
{
    const TSetupModel& model = *FModel;
    TPageAnswers answers;
    answers.Items = model.Choices.Items;
    answers.InstallVst2 = model.Choices.InstallVst2;
    answers.InstallVst3 = model.Choices.InstallVst3;
    answers.InstallClap = model.Choices.InstallClap;
    // A 64-bit package offers no RTAS: its box stays unticked.
    answers.InstallRtas = model.Facts().HasRtas && model.Choices.InstallRtas;
    answers.InstallAax = model.Facts().HasAax && model.Choices.InstallAax;
    answers.InstallPhotoshop = model.Choices.InstallPhotoshop;
    answers.Vst2Folder = model.Choices.Vst2Folder;
    answers.PhotoshopFolder = model.Choices.PhotoshopFolder;
    answers.DestFolder = model.Choices.InstallFolder;
    answers.ContentFolder = model.Choices.ContentFolder;
    answers.UserName = model.Choices.UserName;
    answers.Shortcuts = model.Choices.ShortcutChoice;
    answers.ForCurrentUser = model.Choices.ForCurrentUser;
    return answers;
}

bool TSetupSession::Refuse(TPageField field, const std::string& text, TFailure kind)
{
    FRefused = field;
    if (FUser.Unattended()) {
        // Nobody can answer the page: the run ends, naming the switch that would have answered it.
        std::string name = SwitchOf(field);
        FFailure = field == TPageField::None ? TFailure::Failed : kind;
        FFailureText = (name[0] ? name + std::string(": ") : std::string()) + ReplaceAll(text, "\r", " ");
        FLog.Line("refused: " + FFailureText);
    } else {
        FLog.Line("refused: " + ReplaceAll(text, "\r", " "));
        FUser.Warn(text);
    }
    return false;
}

bool TSetupSession::Ask(const std::string& question)
{
    bool yes = FUser.Confirm(question);
    FLog.Line("question: " + ReplaceAll(question, "\r", " ") + " | answer: " + (yes ? "Yes" : "No") +
              (FUser.Unattended() ? " (unattended)" : ""));
    return yes;
}

void TSetupSession::NoteAnswer(const std::string& what, const std::string& proposed, const std::string& answered)
{
    if (!FUser.Unattended() && answered != proposed) FLog.Line("user: " + what + " typed: " + answered);
}

void TSetupSession::NoteTick(const std::string& what, bool proposed, bool answered)
{
    if (!FUser.Unattended() && answered != proposed)
        FLog.Line("user: " + what + (answered ? " ticked" : " cleared"));
}

bool TSetupSession::CheckFolderOf(TPageField field, const std::string& text, const char* variable,
                                  std::string& folder)
{
    TSetupInstaller& model = *FModel;
    TFolderVerdict verdict = model.CheckFolderOf(variable, text);
    if (!verdict.Ok()) return Refuse(field, model.FolderRefusal(verdict));
    if (!model.CanCreateFolder(verdict.Folder))
        return Refuse(field, FormatMessageText(Msg::CannotCreateFolder, {text}));
    folder = verdict.Folder;
    return true;
}

bool TSetupSession::LeaveVstPage(const TPageAnswers& answers)
{
    TSetupInstaller& model = *FModel;
    NoteTick("VST 2 box", model.Choices.InstallVst2, answers.InstallVst2);
    NoteAnswer("VST 2 folder", model.Choices.Vst2Folder, answers.Vst2Folder);
    model.Choices.InstallVst2 = answers.InstallVst2;
    if (model.Choices.InstallVst2) {
        if (Trim(answers.Vst2Folder).empty()) {
            // Unticking the box is the way to go on without VST 2; unattended,
            // a package without VST 2 plug-ins needs no folder for them.
            if (!FUser.Unattended()) return Refuse(TPageField::Vst2Folder, LoadMessage(Msg::ChooseVst2Folder));
            if (model.Facts().HasVst2) return Refuse(TPageField::Vst2Folder, LoadMessage(Msg::NoVst2FolderKnown));
            model.Choices.InstallVst2 = false;
            FLog.Line("VST 2: the package holds no VST 2 plug-in, and no folder is known: not installed");
        } else if (!CheckFolderOf(TPageField::Vst2Folder, answers.Vst2Folder, "$VstPluginFolder", model.Choices.Vst2Folder)) {
            return false;
        }
    }
    NoteTick("VST 3 box", model.Choices.InstallVst3, answers.InstallVst3);
    model.Choices.InstallVst3 = answers.InstallVst3;
    NoteTick("CLAP box", model.Choices.InstallClap, answers.InstallClap);
    model.Choices.InstallClap = answers.InstallClap;
    return true;
}

bool TSetupSession::LeavePhotoshopPage(const TPageAnswers& answers)
{
    TSetupInstaller& model = *FModel;
    NoteTick("Photoshop box", model.Choices.InstallPhotoshop, answers.InstallPhotoshop);
    NoteAnswer("Photoshop folder", model.Choices.PhotoshopFolder, answers.PhotoshopFolder);
    model.Choices.InstallPhotoshop = answers.InstallPhotoshop;
    if (!model.Choices.InstallPhotoshop) return true;
    if (Trim(answers.PhotoshopFolder).empty()) {
        // With a window, an empty folder leaves the plug-in out; unattended, a
        // package that holds one is not installed without it.
        if (FUser.Unattended() && model.Facts().HasPhotoshop)
            return Refuse(TPageField::PhotoshopFolder, LoadMessage(Msg::NoPhotoshopFolderKnown));
        model.Choices.InstallPhotoshop = false;
        FLog.Line("Photoshop: no folder: not installed");
        return true;
    }
    return CheckFolderOf(TPageField::PhotoshopFolder, answers.PhotoshopFolder, "$PhotoshopPluginFolder",
                         model.Choices.PhotoshopFolder);
}

bool TSetupSession::LeaveDestPage(const TPageAnswers& answers)
{
    TSetupInstaller& model = *FModel;
    NoteAnswer("destination", model.Choices.InstallFolder, answers.DestFolder);
    TFolderVerdict verdict = TSetupInstaller::CheckFolder(answers.DestFolder, true, model.DeepestBelowProductFolder());
    if (!verdict.Ok()) return Refuse(TPageField::DestFolder, model.FolderRefusal(verdict));
    std::string folder = verdict.Folder;
    // The content folder, when the package has content: as typed, or, left as
    // proposed, following the destination until it was chosen. Both are
    // checked as they would be and taken over only once they pass.
    TDestination to = model.DestinationAt(folder);
    bool contentTyped = false;
    if (model.Facts().HasContent &&
        !SameTextAscii(IncludeDelimiter(Trim(answers.ContentFolder)), model.Choices.ContentFolder)) {
        NoteAnswer("content folder", model.Choices.ContentFolder, answers.ContentFolder);
        std::string typed;
        if (!CheckFolderOf(TPageField::ContentFolder, answers.ContentFolder, "$ContentFolder", typed)) return false;
        to.ContentFolder = IncludeDelimiter(typed);
        contentTyped = true;
    }
    // Every folder a Setup.ini line writes into, now that the product's folder is known.
    std::string refused = model.RefusedComponentFolder(to);
    if (!refused.empty()) return Refuse(TPageField::None, refused);
    // The user can choose another folder here rather than learn of a problem
    // when the copying starts.
    TDestinationCheck check = model.CheckDestination(to, [this](const std::string& question) { return Ask(question); });
    if (!check.Ok) {
        FRefused = TPageField::DestFolder;
        if (check.Warning.empty()) {
            // A question answered No: unattended, that cannot happen; with a window, the user chooses again.
            return false;
        }
        return Refuse(TPageField::DestFolder, check.Warning, check.FolderRefused ? TFailure::BadSwitch : TFailure::Failed);
    }
    if (contentTyped) model.SetContentFolder(to.ContentFolder);
    model.SetInstallFolder(folder);
    return true;
}

bool TSetupSession::LeavePage(int page, const TPageAnswers& answers)
{
    TSetupInstaller& model = *FModel;
    FRefused = TPageField::None;
    switch (page) {
    case pgWelcome:
        FWantsElevation = false;
        if (model.Facts().InstallFor == TInstallFor::Either && answers.ForCurrentUser != model.Choices.ForCurrentUser) {
            NoteTick("only-for-me box", model.Choices.ForCurrentUser, answers.ForCurrentUser);
            // Every folder is found anew for the other scope; the switches' folders still hold.
            model.ChooseScope(answers.ForCurrentUser);
            std::string problem = model.ApplySwitches(FSwitches);
            if (!problem.empty()) return Refuse(TPageField::None, problem);
        }
        if (int message = model.RequirementsMessage()) {
            if (message == Msg::NoAdminRights && !FSwitches.Elevated) {
                // Windows asks for the rights; the run goes on in the process that has them.
                FLog.Line("asking Windows for administrator rights, to install for all users");
                FWantsElevation = true;
                return false;
            }
            std::string text = model.ExpandText(LoadMessage(message));
            FLog.Line("requirements not met: " + ReplaceAll(text, "\r", " "));
            FFailure = TFailure::Requirements;
            FFailureText = text;
            if (!FUser.Unattended()) FUser.Inform(text);
            return false;
        }
        return true;
    case pgBundleItems: {
        bool any = false;
        for (size_t i = 0; i < model.Facts().BundleItems.size() && i < answers.Items.size(); ++i) {
            NoteTick("bundle item " + model.Facts().BundleItems[i].DisplayName, model.Choices.Items.at(i),
                     answers.Items[i]);
            model.Choices.Items.at(i) = answers.Items[i];
            any = any || answers.Items[i];
        }
        return any || Refuse(TPageField::Items, LoadMessage(Msg::NothingSelected));
    }
    case pgVstPlugins: return LeaveVstPage(answers);
    case pgDigiPlugins:
        NoteTick("RTAS box", model.Choices.InstallRtas && model.Facts().HasRtas, answers.InstallRtas);
        NoteTick("AAX box", model.Choices.InstallAax && model.Facts().HasAax, answers.InstallAax);
        model.Choices.InstallRtas = answers.InstallRtas;
        model.Choices.InstallAax = answers.InstallAax;
        return true;
    case pgPhotoshopPlugin: return LeavePhotoshopPage(answers);
    case pgDest: return LeaveDestPage(answers);
    case pgPersonalize:
        if (answers.UserName.empty()) {
            return Refuse(TPageField::UserName, FUser.Unattended()
                                                    ? std::string("no user name was found on this machine; name one")
                                                    : LoadMessage(Msg::EnterNameFirst));
        }
        NoteAnswer("user name", model.Choices.UserName, answers.UserName);
        model.Choices.UserName = answers.UserName;
        return true;
    case pgIcon:
        NoteTick("start-menu shortcut box", (model.Choices.ShortcutChoice & skStartMenu) != 0,
                 (answers.Shortcuts & skStartMenu) != 0);
        NoteTick("desktop shortcut box", (model.Choices.ShortcutChoice & skDesktop) != 0, (answers.Shortcuts & skDesktop) != 0);
        model.Choices.ShortcutChoice = answers.Shortcuts;
        return true;
    default: return true;
    }
}

int TSetupSession::ContinueElevated()
{
    std::vector<std::string> arguments = CommandLineArguments();
    arguments.push_back("/ALLUSERS");
    arguments.push_back("/ELEVATED");
    FLog.Line("the run goes on with administrator rights, in a new process");
    FLog.Close();
    // The other process checks the package itself: this one reads nothing meanwhile.
    FModel->Installer().StopPackageCheck();
    int code = RunElevated(arguments);
    if (code < 0) {
        FLog.Reopen();
        FModel->Installer().ResumePackageCheck();
    }
    return code;
}

bool TSetupSession::ElevationRefused()
{
    FWantsElevation = false;
    std::string text = FModel->ExpandText(LoadMessage(Msg::NoAdminRights));
    FLog.Line("requirements not met: administrator rights were not given: " + ReplaceAll(text, "\r", " "));
    FFailureText = text;
    if (!FUser.Unattended()) FUser.Inform(text);
    // A product that may go to the user alone stays on the page: the box is the way on.
    if (!FUser.Unattended() && FModel->Facts().InstallFor == TInstallFor::Either) return true;
    FFailure = TFailure::Requirements;
    return false;
}

bool TSetupSession::Install(IInstallProgress& progress)
{
    FLog.Phase("checks");
    try {
        RunInstallation(*FModel, progress);
    } catch (const std::exception& e) {
        FLog.Line("error: " + std::string(e.what()));
        FLog.Phase("installation (failed, rolled back)");
        FFailure = FailureOf(e);
        FFailureText = e.what();
        return false;
    }
    FLog.Phase("installation");
    FLog.Line("installed");
    for (const auto& [part, folder] : FModel->InstalledFolders()) FLog.Line("installed into: " + part + ": " + folder);
    const TInstaller& installer = FModel->Installer();
    if (!installer.KeptChanged().empty()) {
        std::string files;
        for (const std::string& file : installer.KeptChanged()) files += "\r" + file;
        FResultNote = FormatText(FModel->ExpandText(LoadMessage(Msg::ChangedFilesKept)),
                                 {ExcludeDelimiter(installer.BackupFolder), files.substr(1)});
        FLog.Line("result: " + ReplaceAll(FResultNote, "\r", " "));
    }
    return true;
}

void TSetupSession::Cancel()
{
    FLog.Line("user: cancelled");
    FFailure = TFailure::Cancelled;
}

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

}  // namespace

int RunSilentInstall(const std::string& programPath, const TSetupSwitches& switches, TRunLog& log)
{
    TUnattendedUser nobody;
    TSetupSession session(programPath, switches, log, nobody);
    if (!session.Start()) return session.ExitCode();
    // Every page the wizard would show, left with what it proposes.
    TPageAnswers answers = session.Proposal();
    for (int page = pgWelcome; page < pgCopy; page = session.FindShownPage(page, +1)) {
        if (session.LeavePage(page, answers)) continue;
        if (!session.WantsElevation()) return session.ExitCode();
        int code = session.ContinueElevated();
        if (code >= 0) return code;
        session.ElevationRefused();
        return session.ExitCode();
    }
    TLogProgress progress(log);
    session.Install(progress);
    return session.ExitCode();
}
