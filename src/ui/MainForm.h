#pragma once
// TMainForm: the wizard window, a view of the setup session. A picture on the
// left, eleven pages on the right, Back, Next and Cancel below. It fills the
// pages from the session's proposal, hands it the user's answers page by page
// (the session checks them and asks through the window's message boxes), shows
// the installation run, which works on a thread of its own, on the Copy page,
// and finishes on the Ready page.
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "InstallProgress.h"
#include "WizardDesign.h"
#include "MessageBoxes.h"
#include "ProgramFile.h"
#include "SetupSession.h"
#include "SidePicture.h"

class TMainForm : public IInstallProgress, public TMessageBoxUser {
public:
    explicit TMainForm(const std::string& programPath = ModuleFileName());
    ~TMainForm() override;
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // The command line's choices, shown as the wizard's proposal, and the
    // run's log; before FormCreate.
    void UseSwitches(const TSetupSwitches& switches, TRunLog& log)
    {
        FSwitches = &switches;
        FLog = &log;
    }
    // Creates the window and the setup model and shows the first page; false
    // when the program has to end (the reason has been shown).
    bool FormCreate();
    // 0 installed, 1 failed, 2 cancelled, 3 requirements not met, 4 damaged
    // installer, 5 a switch with a bad value (see ExitCode).
    int ExitCode() const { return FExitCode; }
    // Runs the message loop until the wizard has closed.
    void RunMessageLoop();

    // Arabic, Hebrew and Persian mirror the whole wizard: the picture on the
    // right, Back and Next swapped, the progress filling from the right.
    void Speak(const std::string& tag, bool rightToLeft) override;
    // The product's first dialog when it asks (ShowLanguageDialog=1).
    std::string AskLanguage(const std::vector<std::string>& tags, const std::string& proposed) override;

    HWND Handle() const { return FHandle; }
    int CurrentPage() const { return FPage; }
    int InstallPage() const { return FInstallPage; }
    TSetupInstaller* Model() { return FSession ? &FSession->Model() : nullptr; }

    // Navigation and validation, named as in the window's design.
    int FindShownPage(int from, int step) const;
    void MovePage(int step);
    void ShowPage(int index);
    bool LeavePage(int index);
    bool FormCloseQuery();
    void NextButtonClick();
    void BackButtonClick();
    void CancelButtonClick();
    // The caption its design gives a control, in the language Setup speaks.
    std::string DesignText(Wizard::TControlId id) const;
    std::string ExpandPluginText(const std::string& text) const;
    void FitWindowToPages();
    void SelectButtonClick(bool all);
    void Vst2InstallCheckClick();
    void BrowseButtonClick(Wizard::TControlId input, int promptMessage);

    // The installation run reports here, from its own thread: the window
    // shows it on its thread, and every status stays for half a second.
    void SetProgress(int position) override;
    void SetTimeLeft(int seconds) override;
    void SetStatus(const std::string& text) override;

    // Asked from the installation's thread: the window's thread shows the box.
    bool Retry(const std::string& message) override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void HandleCommand(int id, int code);

    void CreateWindows();
    void CreatePageControls();
    void PreparePages();
    void PrepareDigiPage();
    void PrepareVstPage();
    // The install label on the last page before the copy, and the desktop question in the
    // start-menu one's place when that is not offered.
    void PlaceMovableControls();
    // One handler per page: what its controls answer, over the session's proposal.
    TPageAnswers ReadPage(int page) const;
    void ReadBundlePage(TPageAnswers& answers) const;
    void ReadVstPage(TPageAnswers& answers) const;
    void ReadDigiPage(TPageAnswers& answers) const;
    void ReadPhotoshopPage(TPageAnswers& answers) const;
    void ReadDestPage(TPageAnswers& answers) const;
    void ReadNamePage(TPageAnswers& answers) const;
    void ReadIconPage(TPageAnswers& answers) const;
    void FocusField(TPageField field);
    void RunInstallation();
    void InstallationEnded(bool installed);
    void Finish();
    void Terminate();
    // Everyone without administrator rights: the rest runs in a process that has them.
    void ContinueElevated();
    // The folder fields from the session's proposal, after the Welcome page chose another scope.
    void FillFolderFields();
    // What the content folder field shows while it follows the destination.
    std::string FFollowingContent;

    HWND Control(Wizard::TControlId id) const;
    std::string Text(Wizard::TControlId id) const;
    void SetText(Wizard::TControlId id, const std::string& text);
    bool Checked(Wizard::TControlId id) const;
    void SetChecked(Wizard::TControlId id, bool checked);
    void SetVisible(Wizard::TControlId id, bool visible);
    void SetEnabled(Wizard::TControlId id, bool enabled);
    void MoveToTopOf(Wizard::TControlId id, Wizard::TControlId other);
    void FitToText(Wizard::TControlId id);
    void FocusControl(HWND control);
    void RememberFocus();
    bool RestoreFocus();
    void GrowDown(HWND control, int oldBottom, int newBottom);
    int Scale(int designValue) const;
    void Note(const std::string& text)
    {
        if (FLog) FLog->Line(text);
    }

    std::string FProgramPath;
    std::unique_ptr<TSetupSession> FSession;
    std::thread FRun;
    // The run's latest status, for the window's thread to show.
    std::mutex FStatusLock;
    std::string FStatus;
    std::string FTimeLeft;  // beside the status while files are copied
    HWND FHandle = nullptr;
    HWND FPages[Wizard::PageCount] = {};
    HWND FImage = nullptr;
    std::map<int, HWND> FControls;
    HFONT FFont = nullptr;
    HFONT FBoldFont = nullptr;
    TPicture FPicture;
    int FDpi = 96;
    bool FRightToLeft = false;
    HWND FLastFocus = nullptr;
    int FPage = -1;
    int FInstallPage = Wizard::pgDest;
    bool FTerminating = false;
    int FExitCode = ExitCode::Cancelled;
    const TSetupSwitches* FSwitches = nullptr;
    TRunLog* FLog = nullptr;
    // Without UseSwitches: no switch, and a log that writes nothing.
    TSetupSwitches FNoSwitches;
    TRunLog FNoLog;
    std::string FCaption = "Setup";
};
