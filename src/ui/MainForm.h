#pragma once
// TMainForm: the wizard window. A picture on the left, eleven pages on the
// right, Back, Next and Cancel below. It owns the setup model, fills the pages
// from it, takes the user's answers back page by page, runs the installation
// on the Copy page (as its progress sink) and finishes on the Ready page.
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "InstallProgress.h"
#include "MainFormDesign.h"
#include "ProgramFile.h"
#include "SetupInstaller.h"
#include "SidePicture.h"

// Which page shows when: the optional pages follow the setup model's switches.
bool PageShown(const TSetupModel& model, int page);
// The exit code of a run that ended in this error: a damaged installer, or a failure.
int FailureExitCode(const std::exception& error);

class TMainForm : public IInstallProgress {
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

    HWND Handle() const { return FHandle; }
    int CurrentPage() const { return FPage; }
    int InstallPage() const { return FInstallPage; }
    TSetupInstaller* Model() { return FModel.get(); }

    // Navigation and validation, named as in the window's design.
    int FindShownPage(int from, int step) const;
    void MovePage(int step);
    void ShowPage(int index);
    bool LeavePage(int index);
    bool FormCloseQuery();
    void NextButtonClick();
    void BackButtonClick();
    void CancelButtonClick();
    std::string ExpandPluginText(const std::string& text) const;
    bool CheckFolderCreatable(const std::string& folder);
    bool ConfirmDestFolder(const std::string& folder);
    void SelectButtonClick(bool all);
    void Vst2InstallCheckClick();
    void BrowseButtonClick(Wizard::TControlId input, int promptMessage);
    bool CheckRequirements();

    // The installation run reports here.
    void SetProgress(int position) override;
    void SetStatus(const std::string& text) override;
    void Working() override;

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
    void PlaceInstallLabel();
    void RunInstallation();
    void Finish();
    void Terminate();

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
    void ProcessMessages();
    void GrowDown(HWND control, int oldBottom, int newBottom);
    int Scale(int designValue) const;
    void Note(const std::string& text)
    {
        if (FLog) FLog->Line(text);
    }

    std::string FProgramPath;
    std::unique_ptr<TSetupInstaller> FModel;
    HWND FHandle = nullptr;
    HWND FPages[Wizard::PageCount] = {};
    HWND FImage = nullptr;
    std::map<int, HWND> FControls;
    HFONT FFont = nullptr;
    HFONT FBoldFont = nullptr;
    TPicture FPicture;
    int FDpi = 96;
    HWND FLastFocus = nullptr;
    int FPage = -1;
    int FInstallPage = Wizard::pgDest;
    bool FTerminating = false;
    int FExitCode = ExitCode::Cancelled;
    const TSetupSwitches* FSwitches = nullptr;
    TRunLog* FLog = nullptr;
    std::string FCaption = "Setup";
};
