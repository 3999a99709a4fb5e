#pragma once
// TSetupSession: one installation from the first page to the last, with a
// window or without. It owns the setup model, the page sequence and every
// page's rule (which pages are shown, what leaving each takes over, checks and
// asks), the switches and the decisions with where each came from, and the
// failure kinds with their exit codes. The wizard shows the page the session
// names and hands it what the user typed and ticked; the unattended run hands
// it the proposal as it stands and answers every question itself.
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "InstallProgress.h"
#include "RunLog.h"
#include "SetupInstaller.h"
#include "SetupPages.h"
#include "SetupSwitches.h"
#include "SetupUser.h"

// How a session ended, or why a page refused: each kind has its exit code.
enum class TFailure { None, Failed, Cancelled, Requirements, Damaged, BadSwitch, Busy, FileInUse };
int ExitCodeOf(TFailure failure);
// The kind of failure an error that ended the run stands for.
TFailure FailureOf(const std::exception& error);

// What the pages show and the user answers, as values: the session's
// proposal before the pages, the user's answers when a page is left.
struct TPageAnswers {
    std::vector<bool> Items;  // bundle items, in order
    bool InstallVst2 = true, InstallVst3 = true, InstallRtas = true, InstallAax = true, InstallPhotoshop = true,
         InstallClap = true;
    std::string Vst2Folder, PhotoshopFolder, DestFolder, ContentFolder, UserName;
    unsigned Shortcuts = 0;  // TShortcutKind
    bool ForCurrentUser = false;  // the Welcome page's "only for me" box
};

// The field a refusal is about: the view gives it the focus, and the
// unattended run names the switch that sets it.
enum class TPageField { None, Items, Vst2Folder, PhotoshopFolder, DestFolder, ContentFolder, UserName };

class TSetupSession {
public:
    // `switches` and `log` outlive the session.
    TSetupSession(const std::string& programPath, const TSetupSwitches& switches, TRunLog& log, ISetupUser& user);

    // Reads the package, finds the folders and applies the switches; false
    // (with Failure and FailureText) when the session has to end before the
    // first page.
    bool Start();
    TSetupInstaller& Model() { return *FModel; }
    const TSetupSwitches& Switches() const { return FSwitches; }

    bool PageShown(int page) const;
    // The next shown page from `from` in direction `step` (+1 or -1).
    int FindShownPage(int from, int step) const;
    // The last page before Copy: its Next reads "&Install".
    int InstallPage() const { return FindShownPage(Wizard::pgCopy, -1); }
    // What the pages propose: the model's values after discovery and switches.
    TPageAnswers Proposal() const;

    // Next on `page`: takes the answers over and checks them. False keeps the
    // page; the user has been told why, Refused names the field, and with
    // Failure set the session is over (requirements not met).
    bool LeavePage(int page, const TPageAnswers& answers);
    TPageField Refused() const { return FRefused; }
    // Leaving the Welcome page for everyone without administrator rights: the
    // run can go on only in a process with them (RunElevated, ElevatedArguments).
    bool WantsElevation() const { return FWantsElevation; }
    // Runs the rest in that process, with this one's command line for
    // everyone, marked as elevated, and the log handed over: its exit code, or
    // -1 when it could not be started (the log is this one's again).
    int ContinueElevated();
    // The process with the rights could not be started (the user said No at
    // Windows' prompt): the requirements message, told; false ends the session.
    bool ElevationRefused();

    // The installation run; false when it failed (rolled back, with Failure
    // and FailureText). May run on any thread; progress goes to `progress`.
    bool Install(IInstallProgress& progress);

    // A user who cancelled.
    void Cancel();
    // What the user should read beside the completion message (the changed
    // files an upgrade kept); empty when nothing.
    const std::string& ResultNote() const { return FResultNote; }
    TFailure Failure() const { return FFailure; }
    const std::string& FailureText() const { return FFailureText; }
    int ExitCode() const { return ExitCodeOf(FFailure); }


private:
    bool Refuse(TPageField field, const std::string& text, TFailure kind = TFailure::BadSwitch);
    bool Ask(const std::string& question);
    // A folder of a page or a switch under the folder rule: false (told) when refused.
    bool CheckFolderOf(TPageField field, const std::string& text, const char* variable, std::string& folder);
    // Every folder the run writes into, with the answers taken over.
    bool CheckRunFolders();
    bool LeaveVstPage(const TPageAnswers& answers);
    bool LeavePhotoshopPage(const TPageAnswers& answers);
    bool LeaveDestPage(const TPageAnswers& answers);
    void NoteAnswer(const std::string& what, const std::string& proposed, const std::string& answered);
    void NoteTick(const std::string& what, bool proposed, bool answered);

    std::string FProgramPath;
    const TSetupSwitches& FSwitches;
    TRunLog& FLog;
    ISetupUser& FUser;
    std::unique_ptr<TSetupInstaller> FModel;
    TPageField FRefused = TPageField::None;
    bool FWantsElevation = false;
    TFailure FFailure = TFailure::None;
    std::string FFailureText;
    std::string FResultNote;
};

// The unattended run (/S): the same session with nobody to ask. Returns the exit code.
int RunSilentInstall(const std::string& programPath, const TSetupSwitches& switches, TRunLog& log);

// The switch that sets a field, for the unattended run's refusals.
const char* SwitchOf(TPageField field);
