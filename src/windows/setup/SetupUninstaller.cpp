#include "SetupUninstaller.h"

#include "InstallScope.h"
#include "Languages.h"
#include "LogLine.h"
#include "Messages.h"
#include "PathUtils.h"
#include "Platform.h"
#include "ProcessText.h"
#include "SetupInstaller.h"
#include "SetupModel.h"
#include "SetupSwitches.h"
#include "TextUtils.h"
#include "UninstallRegistration.h"

TSetupUninstaller::TSetupUninstaller(const std::string& programPath)
    : FUninstaller(std::make_unique<TUninstaller>(programPath)), FProductName(FUninstaller->ProductName())
{
}

std::string TSetupUninstaller::Speak(const std::optional<std::string>& requested, ISetupUser& user)
{
    // The last language line counts, with the texts after it: a log carried
    // forward holds the earlier installation's first.
    std::string language = "en";
    std::map<int, std::string> texts;
    for (const std::string& line : FUninstaller->LogLines()) {
        TLogLine parsed = TLogLine::Parse(line);
        if (parsed.Kind == TLineKind::Language && FindLanguage(parsed.Path())) {
            language = FindLanguage(parsed.Path())->Tag;
            texts.clear();
        } else if (parsed.Kind == TLineKind::Wording) {
            int id = MessageNamed(LineName(parsed.Path()));
            std::string text = TextValue(LineValue(parsed.Path()));
            if (id && !text.empty() && SamePlaceholders(text, LoadStoredMessage(id))) texts[id] = text;
        }
    }
    std::vector<std::string> spoken = {"en"};
    if (language != "en") spoken.push_back(language);
    if (requested) {
        std::string refusal = RefusalToSpeak(*requested, spoken);
        if (!refusal.empty()) return refusal;
    }
    const TLanguage& chosen = *FindLanguage(requested ? *requested : language);
    SetMessageTexts(chosen.Tag == language ? texts : std::map<int, std::string>());
    user.Speak(chosen.Tag, chosen.RightToLeft);
    FLanguage = chosen.Tag;
    return std::string();
}

int TSetupUninstaller::Execute(ISetupUser& user, TRunLog* log)
{
    bool silent = user.Unattended();
    auto note = [&](const std::string& text) {
        if (log) log->Line(text);
    };
    // The version as users saw it in the list of installed programs (a maker's DisplayVersion), else the record's.
    TInstallScope scope = FUninstaller->Scope();
    std::string shown = RegisteredText(scope, FindRegistration(scope, FUninstaller->ProgramPath(), FUninstaller->LogLines()),
                                       RegistrationValue::DisplayVersion);
    std::string name = ProductNameWithVersion(FProductName, FUninstaller->Version(), shown);
    note("removing " + name + " (" + FUninstaller->ProgramPath() + ")");
    // One user's installation is removed with that user's rights; one for
    // everyone asks Windows for administrator rights and goes on with them.
    // (The rights are tried once: the check makes and removes a folder in Program Files.)
    bool rights = scope == TInstallScope::OneUser || AdminRights();
    if (!rights && !Elevated) {
        note("asking Windows for administrator rights, to remove an installation for all users");
        std::vector<std::string> arguments = CommandLineArguments();
        arguments.push_back("/ELEVATED");
        if (log) log->Close();
        int code = RunElevated(arguments);
        if (code >= 0) return code;
        if (log) log->Reopen();
        note("administrator rights were not given");
    }
    if (!rights) {
        std::string message = FormatMessageText(Msg::UninstallNoRights, {FProductName});
        note("requirements not met: " + message);
        user.Warn(message);
        return ExitCode::Requirements;
    }
    // Never at once with a Setup into the same folder, or another uninstaller of it.
    FFolderLock = std::make_unique<TFolderLock>(GetProgramFolder(FUninstaller->ProgramPath()), scope);
    if (!FFolderLock->Acquire(silent ? SilentFolderLockWait : 0)) {
        std::string message =
            FormatMessageText(Msg::FolderInUse, {ExcludeDelimiter(GetProgramFolder(FUninstaller->ProgramPath()))});
        note("refused: " + message);
        user.Warn(message);
        return ExitCode::Busy;
    }
    if (!silent && !user.Confirm(FormatMessageText(Msg::UninstallConfirm, {name}))) {
        note("the user said No");
        return ExitCode::Cancelled;
    }
    if (log) FUninstaller->OnNote = [log](const std::string& text) { log->Line(text); };
    bool removed = FUninstaller->Uninstall();
    // The clean-up waits for this process, so it may start before the last message.
    std::string cleanUp = FUninstaller->StartCleanUp();
    note(cleanUp.empty() ? "the uninstaller and its folders go when Windows next starts"
                         : "the clean-up in " + cleanUp + " removes the uninstaller and its folders");
    std::string result;
    if (!removed) {
        result = FormatMessageText(Msg::UninstallIncomplete, {FProductName});
    } else if (!FUninstaller->KeptFolders().empty()) {
        std::string folders;
        for (const std::string& folder : FUninstaller->KeptFolders()) folders += "\r" + ExcludeDelimiter(folder);
        result = FormatMessageText(Msg::UninstallKeptOwnFiles, {folders.substr(1)});
    } else {
        result = LoadMessage(Msg::UninstallCompleted);
    }
    note("result: " + ReplaceAll(result, "\r", " "));
    user.Inform(result);
    return removed ? ExitCode::Done : ExitCode::Failed;
}
