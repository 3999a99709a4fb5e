#include "MainForm.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <shellapi.h>

#include "DialogFont.h"
#include "Exception.h"
#include "FolderBrowser.h"
#include "LanguageDialog.h"
#include "Languages.h"
#include "MessageBoxes.h"
#include "Messages.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "TextUtils.h"

using namespace Wizard;

namespace {

constexpr UINT WM_APP_TERMINATE = WM_APP + 1;
// From the installation's thread: a new bar position (wParam), a new status,
// a question (lParam: its text; the answer is the result), the end (wParam: installed).
constexpr UINT WM_APP_PROGRESS = WM_APP + 2;
constexpr UINT WM_APP_STATUS = WM_APP + 3;
constexpr UINT WM_APP_RETRY = WM_APP + 4;
constexpr UINT WM_APP_INSTALLED = WM_APP + 5;

// The control that gets the focus when a page is entered (none for Copy).
TControlId FocusOnEntry(int page)
{
    switch (page) {
    case pgVstPlugins: return Vst2FolderInput;
    case pgPhotoshopPlugin: return PhotoshopFolderInput;
    case pgDest: return DestFolderInput;
    case pgPersonalize: return NameInput;
    case pgCopy: return TControlId(0);
    default: return NextButton;
    }
}

void RegisterClasses(WNDPROC main, WNDPROC page, WNDPROC image)
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterWindowClass(WindowClass, main, COLOR_BTNFACE, true);
    RegisterWindowClass(PageClass, page, COLOR_BTNFACE, false);
    RegisterWindowClass(ImageClass, image, COLOR_WINDOW, false);
}

}  // namespace

TMainForm::TMainForm(const std::string& programPath) : FProgramPath(programPath) {}

TMainForm::~TMainForm()
{
    if (FRun.joinable()) FRun.join();
    if (FHandle) DestroyWindow(FHandle);
    if (FFont) DeleteObject(FFont);
    if (FBoldFont) DeleteObject(FBoldFont);
}

int TMainForm::Scale(int designValue) const { return MulDiv(designValue, FDpi, 96); }

void TMainForm::Speak(const std::string& tag, bool rightToLeft)
{
    TMessageBoxUser::Speak(tag, rightToLeft);
    FRightToLeft = rightToLeft;
    std::string texts;
    for (int id = Msg::First; id <= Msg::Last; ++id) texts += LoadMessage(id);
    FitDialogFontToText(ToWide(texts));
    // The folder browser and every other window of the program read mirrored too.
    if (rightToLeft) SetProcessDefaultLayout(LAYOUT_RTL);
}

std::string TMainForm::AskLanguage(const std::vector<std::string>& tags, const std::string& proposed)
{
    const TLanguage* language = FindLanguage(proposed);
    return AskForLanguage(tags, proposed, language && language->RightToLeft);
}

bool TMainForm::FormCreate()
{
    if (!FSwitches) FSwitches = &FNoSwitches;
    if (!FLog) FLog = &FNoLog;
    FSession = std::make_unique<TSetupSession>(FProgramPath, *FSwitches, *FLog, *this);
    if (!FSession->Start()) {
        // A user who cancelled the language dialog has nothing to read.
        if (!FSession->FailureText().empty()) ShowErrorBox(FSession->FailureText(), LoadMessage(Msg::ErrorCaption));
        FExitCode = FSession->ExitCode();
        return false;
    }
    TSetupInstaller& model = FSession->Model();
    FDpi = ScreenDpi();
    FFont = CreateDialogFont(FDpi, false);
    FBoldFont = CreateDialogFont(FDpi, true);
    FCaption = model.ExpandText(LoadMessage(Msg::SetupCaption));
    CreateWindows();
    try {
        FPicture = LoadSidePicture(
            [&model](const std::string& name, const std::string& alternative, std::string* opened) {
                return model.OpenPackageFile(name, alternative, opened);
            },
            FDpi);
        SetWindowTextA(FImage, FPicture.Source.c_str());
    } catch (const std::exception& e) {
        ShowErrorBox(e.what(), FCaption);
    }
    PreparePages();
    ShowWindow(FHandle, SW_SHOW);
    ShowPage(pgWelcome);
    return !FTerminating;
}

void TMainForm::CreateWindows()
{
    RegisterClasses(WindowProc, PageProc, ImageProc);
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame{0, 0, Scale(ClientWidth), Scale(ClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    DWORD exStyle = WS_EX_CONTROLPARENT | (FRightToLeft ? WS_EX_LAYOUTRTL : 0);
    FHandle = CreateWindowExA(exStyle, WindowClass, FCaption.c_str(), style, left, top, width, height, nullptr, nullptr,
                              instance, this);

    HWND panel = CreateWindowExA(WS_EX_CLIENTEDGE, PageClass, "", WS_CHILD | WS_VISIBLE, Scale(PanelLeft),
                                 Scale(PanelTop), Scale(PanelWidth), Scale(PanelHeight), FHandle,
                                 reinterpret_cast<HMENU>(intptr_t(Panel)), instance, nullptr);
    // The picture fills the panel inside its border: the border keeps its width
    // at every resolution while the panel scales.
    RECT inside;
    GetClientRect(panel, &inside);
    FImage = CreateWindowExA(0, ImageClass, "", WS_CHILD | WS_VISIBLE, 0, 0, inside.right, inside.bottom, panel,
                             reinterpret_cast<HMENU>(intptr_t(Image)), instance, this);
    HWND notebook = CreateWindowExA(WS_EX_CONTROLPARENT, PageClass, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                    Scale(NotebookLeft), Scale(NotebookTop), Scale(NotebookWidth),
                                    Scale(NotebookHeight), FHandle, reinterpret_cast<HMENU>(intptr_t(Notebook)),
                                    instance, nullptr);
    for (int page = 0; page < PageCount; ++page)
        FPages[page] = CreateWindowExA(WS_EX_CONTROLPARENT, PageClass, "", WS_CHILD, 0, 0, Scale(NotebookWidth),
                                       Scale(NotebookHeight), notebook,
                                       reinterpret_cast<HMENU>(intptr_t(PageIdBase + page)), instance, nullptr);
    CreatePageControls();

    const struct {
        TControlId Id;
        int Left;
        int Text;
        DWORD Style;
    } buttons[] = {{BackButton, BackLeft, Msg::BackButton, BS_PUSHBUTTON},
                   {NextButton, NextLeft, Msg::NextButton, BS_DEFPUSHBUTTON},
                   {CancelButton, CancelLeft, Msg::CancelButton, BS_PUSHBUTTON}};
    for (const auto& button : buttons) {
        HWND control = CreateWindowExA(0, "BUTTON", LoadMessage(button.Text).c_str(),
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP | button.Style, Scale(button.Left),
                                       Scale(ButtonTop), Scale(ButtonWidth), Scale(ButtonHeight), FHandle,
                                       reinterpret_cast<HMENU>(intptr_t(button.Id)), instance, nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
        FControls[button.Id] = control;
    }
}

void TMainForm::CreatePageControls()
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (const TControlDesign& design : PageControls()) {
        const char* windowClass = "STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE, exStyle = 0;
        switch (design.Kind) {
        case ckLabel: style |= (design.Flags & cfWordWrap) ? SS_LEFT : SS_LEFTNOWORDWRAP; break;
        case ckMemo:
            windowClass = "EDIT";
            style |= WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ckCheckList:
            windowClass = WC_LISTVIEWA;
            style |= WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ckButton:
            windowClass = "BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        case ckEdit:
            windowClass = "EDIT";
            style |= WS_TABSTOP | ES_AUTOHSCROLL;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ckCheckBox:
            windowClass = "BUTTON";
            style |= WS_TABSTOP | BS_AUTOCHECKBOX;
            break;
        case ckProgressBar: windowClass = PROGRESS_CLASSA; break;
        }
        HWND control =
            CreateWindowExA(exStyle, windowClass, DesignText(design.Id).c_str(), style, Scale(design.Left),
                            Scale(design.Top), Scale(design.Width), Scale(design.Height), FPages[design.Page],
                            reinterpret_cast<HMENU>(intptr_t(design.Id)), instance, nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>((design.Flags & cfBold) ? FBoldFont : FFont), FALSE);
        // A folder reads left to right in a mirrored window too: its box stays
        // where the mirror puts it, its text is not turned round.
        if (FRightToLeft && (design.Kind == ckEdit || design.Id == ReadyFoldersMemo) && design.Id != NameInput)
            SetWindowLongA(control, GWL_EXSTYLE, GetWindowLongA(control, GWL_EXSTYLE) & ~WS_EX_LAYOUTRTL);
        if (design.Flags & cfTicked) SendMessageA(control, BM_SETCHECK, BST_CHECKED, 0);
        FControls[design.Id] = control;
    }
    // Only once every control stands: a caption that grows moves those below it.
    for (const TControlDesign& design : PageControls()) FitToText(design.Id);
    HWND list = Control(BundleList);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH;
    column.cx = Scale(DesignOf(BundleList).Width) - GetSystemMetrics(SM_CXVSCROLL) - 4;
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    SendMessageA(Control(CopyProgressBar), PBM_SETRANGE32, 0, 100);
}

std::string TMainForm::DesignText(TControlId id) const
{
    int text = DesignOf(id).Text;
    return text ? LoadMessage(text) : std::string();
}

std::string TMainForm::ExpandPluginText(const std::string& text) const
{
    const TSetupInstaller& model = FSession->Model();
    std::string result =
        ReplaceAll(text, "$PluginDescription",
                   LoadMessage(model.Facts().IsBundle ? Msg::PluginDescriptionBundle : Msg::PluginDescriptionSingle));
    int formats = !model.Facts().HasRtas ? Msg::ProToolsFormatsAax
                  : model.Facts().HasAax ? Msg::ProToolsFormatsRtasAax
                                         : Msg::ProToolsFormatsRtas;
    result = ReplaceAll(result, "$ProToolsFormats", LoadMessage(formats));
    result = ReplaceAll(result, "$AaxInfo", LoadMessage(model.Facts().Is64Bit ? Msg::AaxInfo64 : Msg::AaxInfo32));
    result = ReplaceAll(result, "$EveryoneOnlyFormats", model.EveryoneOnlyFormats());
    return model.ExpandText(result);
}

void TMainForm::PreparePages()
{
    TSetupInstaller& model = FSession->Model();
    TPageAnswers proposal = FSession->Proposal();
    auto expand = [&](TControlId id) { SetText(id, model.ExpandText(DesignText(id))); };
    auto expandPlugin = [&](TControlId id) { SetText(id, ExpandPluginText(DesignText(id))); };

    expand(WelcomeHeadingLabel);
    expand(WelcomeDescriptionLabel);
    if (!model.Facts().WelcomeNote.empty())
        SetText(WelcomeStepLabel, model.Facts().WelcomeNote + "\r\n\r\n" + DesignText(WelcomeStepLabel));
    // The choice of whom for, when the product leaves it to the user and no switch has made it.
    const TSetupSwitches& switches = FSession->Switches();
    bool choice = model.Facts().InstallFor == TInstallFor::Either && !switches.AllUsers && !switches.CurrentUser;
    SetVisible(WelcomeForMeCheck, choice);
    SetChecked(WelcomeForMeCheck, proposal.ForCurrentUser);
    SetText(WelcomeForMeLabel, ExpandPluginText(DesignText(WelcomeForMeLabel)));
    SetVisible(WelcomeForMeLabel, (choice || model.Choices.ForCurrentUser) && !model.EveryoneOnlyFormats().empty());

    std::string licence = model.LicenseText();
    SetText(LicenseMemo, licence);

    expand(BundleHeadingLabel);
    expand(BundleDescriptionLabel);
    HWND list = Control(BundleList);
    for (size_t i = 0; i < model.Facts().BundleItems.size(); ++i) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = int(i);
        std::string name = model.Facts().BundleItems[i].DisplayName;
        item.pszText = &name[0];
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        ListView_SetCheckState(list, int(i), proposal.Items[i]);
    }

    PrepareDigiPage();
    PrepareVstPage();

    expandPlugin(PhotoshopInfoLabel);
    expandPlugin(PhotoshopInstallCheck);
    SetChecked(PhotoshopInstallCheck, proposal.InstallPhotoshop);

    expand(DestDescriptionLabel);
    FillFolderFields();
    expand(NameInfoLabel);
    SetText(NameInput, proposal.UserName);

    expand(IconStartMenuLabel);
    expand(IconDesktopLabel);
    // Only the boxes of locations that [Shortcuts] names: a box that would do nothing is not offered.
    bool startMenu = (model.Facts().ShortcutKinds & skStartMenu) != 0,
         desktop = (model.Facts().ShortcutKinds & skDesktop) != 0;
    SetVisible(IconStartMenuLabel, startMenu);
    SetVisible(IconStartMenuCheck, startMenu);
    SetVisible(IconDesktopLabel, desktop);
    SetVisible(IconDesktopCheck, desktop);
    SetChecked(IconStartMenuCheck, (proposal.Shortcuts & skStartMenu) != 0);
    SetChecked(IconDesktopCheck, (proposal.Shortcuts & skDesktop) != 0);

    FInstallPage = FSession->InstallPage();
    PlaceMovableControls();

    SetText(ReadyDescriptionLabel, model.CompleteMessage());
    expand(ReadyStartLabel);
    expand(ReadyStartCheck);
    bool product = !model.ProductPath().empty();
    SetVisible(ReadyStartLabel, product);
    SetVisible(ReadyStartCheck, product);
    FitWindowToPages();
}

void TMainForm::FillFolderFields()
{
    TPageAnswers proposal = FSession->Proposal();
    SetText(Vst2FolderInput, proposal.Vst2Folder);
    SetText(PhotoshopFolderInput, proposal.PhotoshopFolder);
    SetText(DestFolderInput, proposal.DestFolder);
    SetText(ContentFolderInput, proposal.ContentFolder);
    FFollowingContent = proposal.ContentFolder;
    bool content = FSession->Model().Facts().HasContent;
    for (TControlId id : {ContentFolderLabel, ContentFolderInput, ContentBrowseButton}) SetVisible(id, content);
}

void TMainForm::PrepareDigiPage()
{
    TSetupInstaller& model = FSession->Model();
    SetText(DigiDescriptionLabel, ExpandPluginText(DesignText(DigiDescriptionLabel)));
    // Only the formats the package carries are offered (never RTAS for 64-bit
    // plug-ins); a hidden box stays unticked.
    if (model.Facts().HasRtas) {
        SetText(RtasInstallCheck, ExpandPluginText(DesignText(RtasInstallCheck)));
        SetChecked(RtasInstallCheck, model.Choices.InstallRtas);
        SetText(RtasDescriptionLabel, ExpandPluginText(DesignText(RtasDescriptionLabel)));
    } else {
        // The AAX choice takes the RTAS place.
        SetVisible(RtasInstallCheck, false);
        SetVisible(RtasDescriptionLabel, false);
        MoveToTopOf(AaxInstallCheck, RtasInstallCheck);
        MoveToTopOf(AaxDescriptionLabel, RtasDescriptionLabel);
    }
    SetText(AaxInstallCheck, ExpandPluginText(DesignText(AaxInstallCheck)));
    SetChecked(AaxInstallCheck, model.Facts().HasAax && model.Choices.InstallAax);
    SetText(AaxDescriptionLabel, ExpandPluginText(DesignText(AaxDescriptionLabel)));
    SetVisible(AaxInstallCheck, model.Facts().HasAax);
    SetVisible(AaxDescriptionLabel, model.Facts().HasAax);
}

void TMainForm::PrepareVstPage()
{
    TSetupInstaller& model = FSession->Model();
    for (TControlId id : {VstHeadingLabel, Vst2DescriptionLabel, Vst2InstallCheck, Vst2FolderLabel,
                          Vst3DescriptionLabel, Vst3InstallCheck, ClapInstallCheck})
        SetText(id, ExpandPluginText(DesignText(id)));
    SetChecked(Vst2InstallCheck, model.Choices.InstallVst2);
    Vst2InstallCheckClick();
    SetVisible(Vst3DescriptionLabel, model.Facts().HasVst3);
    SetChecked(Vst3InstallCheck, model.Choices.InstallVst3);
    SetVisible(Vst3InstallCheck, model.Facts().HasVst3);
    bool list = model.Facts().HasVst3 && !model.Facts().Vst3ItemList.empty();
    SetVisible(Vst3ListLabel, list);
    SetText(Vst3ListLabel, ReplaceFirst(DesignText(Vst3ListLabel), "$List", model.Facts().Vst3ItemList));
    if (!list) MoveToTopOf(Vst3InstallCheck, Vst3ListLabel);
    // CLAP beside VST 3, or in its place.
    SetChecked(ClapInstallCheck, model.Choices.InstallClap);
    SetVisible(ClapInstallCheck, model.Facts().HasClap);
    if (!model.Facts().HasVst3) MoveToTopOf(ClapInstallCheck, Vst3InstallCheck);
}

void TMainForm::PlaceMovableControls()
{
    HWND label = Control(InstallLabel);
    if (FInstallPage == pgDest) {
        SetParent(label, FPages[pgDest]);
        // Below the content folder's row when there is one.
        SetWindowPos(label, nullptr, Scale(DesignOf(InstallLabel).Left),
                     ScaleDesignValue(FSession->Model().Facts().HasContent ? 268 : 220), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
    } else if (FInstallPage == pgIcon && (FSession->Model().Facts().ShortcutKinds & skDesktop) == 0) {
        MoveToTopOf(InstallLabel, IconDesktopLabel);
    }
    if ((FSession->Model().Facts().ShortcutKinds & skStartMenu) == 0) {
        // The desktop question takes the place of the start-menu one.
        if (FInstallPage == pgIcon) MoveToTopOf(InstallLabel, IconDesktopLabel);
        MoveToTopOf(IconDesktopLabel, IconStartMenuLabel);
        MoveToTopOf(IconDesktopCheck, IconStartMenuCheck);
    }
}

int TMainForm::FindShownPage(int from, int step) const
{
    return FSession->FindShownPage(from, step);
}

void TMainForm::MovePage(int step) { ShowPage(FindShownPage(FPage, step)); }

void TMainForm::ShowPage(int index)
{
    if (index < 0 || index >= PageCount) return;
    for (int page = 0; page < PageCount; ++page) ShowWindow(FPages[page], page == index ? SW_SHOW : SW_HIDE);
    FPage = index;
    SetEnabled(BackButton, index > 0);
    SetEnabled(CancelButton, index != pgCopy);
    SetVisible(BackButton, index < pgCopy);
    SetVisible(NextButton, index != pgCopy);
    SetVisible(CancelButton, index < pgReady);
    int next = index == pgLicense      ? Msg::YesButton
               : index == pgReady      ? Msg::FinishButton
               : index == FInstallPage ? Msg::InstallButton
                                       : Msg::NextButton;
    SetText(NextButton, LoadMessage(next));
    SetText(CancelButton, LoadMessage(index == pgLicense ? Msg::NoButton : Msg::CancelButton));
    if (index == pgCopy) {
        RunInstallation();
        return;
    }
    TControlId focus = FocusOnEntry(index);
    if (focus) FocusControl(Control(focus));
}

void TMainForm::RunInstallation()
{
    UpdateWindow(FHandle);
    // The run works on a thread of its own; the window keeps answering on
    // this one and hears of the end through WM_APP_INSTALLED.
    FRun = std::thread([this] {
        HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        bool installed = FSession->Install(*this);
        if (SUCCEEDED(com)) CoUninitialize();
        PostMessageA(FHandle, WM_APP_INSTALLED, installed, 0);
    });
}

void TMainForm::InstallationEnded(bool installed)
{
    if (FRun.joinable()) FRun.join();
    if (!installed) {
        ShowErrorBox(FSession->FailureText(), FCaption);
        FExitCode = FSession->ExitCode();
        Terminate();
        return;
    }
    FExitCode = ExitCode::Done;
    std::string folders;
    for (const auto& [part, folder] : FSession->Model().InstalledFolders()) {
        // The formats keep their names; the program's and the content's folders are named in the user's language.
        std::string shown = part == "Program"   ? LoadMessage(Msg::FolderProgram)
                            : part == "Content" ? LoadMessage(Msg::FolderContent)
                                                : part;
        folders += (folders.empty() ? "" : "\r\n") + shown + ": " + folder;
    }
    SetText(ReadyFoldersMemo, folders);
    if (!FSession->ResultNote().empty())
        SetText(ReadyDescriptionLabel,
                FSession->Model().CompleteMessage() + "\r\n\r\n" + ReplaceAll(FSession->ResultNote(), "\r", "\r\n"));
    FitWindowToPages();
    ShowPage(pgReady);
}

TPageAnswers TMainForm::ReadPage(int page) const
{
    TPageAnswers answers = FSession->Proposal();
    switch (page) {
    case pgWelcome:
        if (IsWindowVisible(Control(WelcomeForMeCheck))) answers.ForCurrentUser = Checked(WelcomeForMeCheck);
        break;
    case pgBundleItems: ReadBundlePage(answers); break;
    case pgVstPlugins: ReadVstPage(answers); break;
    case pgDigiPlugins: ReadDigiPage(answers); break;
    case pgPhotoshopPlugin: ReadPhotoshopPage(answers); break;
    case pgDest: ReadDestPage(answers); break;
    case pgPersonalize: ReadNamePage(answers); break;
    case pgIcon: ReadIconPage(answers); break;
    default: break;
    }
    return answers;
}

void TMainForm::ReadBundlePage(TPageAnswers& answers) const
{
    HWND list = Control(BundleList);
    for (size_t i = 0; i < answers.Items.size(); ++i) answers.Items[i] = ListView_GetCheckState(list, int(i)) != 0;
}

void TMainForm::ReadVstPage(TPageAnswers& answers) const
{
    answers.InstallVst2 = Checked(Vst2InstallCheck);
    answers.Vst2Folder = Text(Vst2FolderInput);
    answers.InstallVst3 = Checked(Vst3InstallCheck);
    answers.InstallClap = Checked(ClapInstallCheck);
}

void TMainForm::ReadDigiPage(TPageAnswers& answers) const
{
    answers.InstallRtas = Checked(RtasInstallCheck);
    answers.InstallAax = Checked(AaxInstallCheck);
}

void TMainForm::ReadPhotoshopPage(TPageAnswers& answers) const
{
    answers.InstallPhotoshop = Checked(PhotoshopInstallCheck);
    answers.PhotoshopFolder = Text(PhotoshopFolderInput);
}

void TMainForm::ReadDestPage(TPageAnswers& answers) const
{
    answers.DestFolder = Text(DestFolderInput);
    answers.ContentFolder = Text(ContentFolderInput);
}

void TMainForm::ReadNamePage(TPageAnswers& answers) const { answers.UserName = Text(NameInput); }

void TMainForm::ReadIconPage(TPageAnswers& answers) const
{
    // A hidden desktop box counts with its state, which starts ticked.
    answers.Shortcuts = (Checked(IconStartMenuCheck) ? skStartMenu : 0u) | (Checked(IconDesktopCheck) ? skDesktop : 0u);
}

void TMainForm::FocusField(TPageField field)
{
    switch (field) {
    case TPageField::Vst2Folder: FocusControl(Control(Vst2FolderInput)); break;
    case TPageField::PhotoshopFolder: FocusControl(Control(PhotoshopFolderInput)); break;
    case TPageField::DestFolder: FocusControl(Control(DestFolderInput)); break;
    case TPageField::ContentFolder: FocusControl(Control(ContentFolderInput)); break;
    case TPageField::UserName: FocusControl(Control(NameInput)); break;
    case TPageField::Items:
    case TPageField::None: break;
    }
}

bool TMainForm::LeavePage(int index)
{
    if (index == pgReady) {
        Finish();
        return false;
    }
    bool oneUser = FSession->Model().Choices.ForCurrentUser;
    if (FSession->LeavePage(index, ReadPage(index))) {
        if (FSession->Model().Choices.ForCurrentUser != oneUser) FillFolderFields();
        return true;
    }
    if (FSession->WantsElevation()) {
        ContinueElevated();
        return false;
    }
    if (FSession->Failure() != TFailure::None) {
        // Setup cannot go on (the requirements): the user has been told.
        FExitCode = FSession->ExitCode();
        Terminate();
        return false;
    }
    FocusField(FSession->Refused());
    return false;
}

void TMainForm::ContinueElevated()
{
    // The window goes while the other process runs, and this one ends with its exit code.
    ShowWindow(FHandle, SW_HIDE);
    int code = FSession->ContinueElevated();
    if (code >= 0) {
        FExitCode = code;
        Terminate();
        return;
    }
    ShowWindow(FHandle, SW_SHOW);
    if (FSession->ElevationRefused()) return;
    FExitCode = FSession->ExitCode();
    Terminate();
}

bool TMainForm::Retry(const std::string& message)
{
    // Before the window is made (a volume missing at the start) the box stands alone.
    if (!FHandle) return AskRetry(message);
    return SendMessageA(FHandle, WM_APP_RETRY, 0, reinterpret_cast<LPARAM>(&message)) != 0;
}

void TMainForm::Finish()
{
    const TSetupInstaller& model = FSession->Model();
    if (Checked(ReadyReadmeCheck)) {
        Note("user: Finish, opening the readme " + model.ReadmePath());
        ShellExecuteA(FHandle, nullptr, model.ReadmePath().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    if (IsWindowVisible(Control(ReadyStartCheck)) && Checked(ReadyStartCheck)) {
        Note("user: Finish, starting " + model.ProductPath());
        ShellExecuteA(FHandle, nullptr, model.ProductPath().c_str(), nullptr, model.Choices.InstallFolder.c_str(),
                      SW_SHOWNORMAL);
    }
    SendMessageA(FHandle, WM_CLOSE, 0, 0);
}

bool TMainForm::FormCloseQuery()
{
    if (FPage == pgCopy) return false;
    if (FPage == pgReady) return true;
    std::string question = FSession->Model().ExpandText(LoadMessage(Msg::ConfirmCancel));
    bool cancel = AskConfirmation(question);
    Note("question: " + ReplaceAll(question, "\r", " ") + " | answer: " + (cancel ? "Yes" : "No"));
    if (cancel) FSession->Cancel();
    return cancel;
}

void TMainForm::NextButtonClick()
{
    if (LeavePage(FPage)) MovePage(+1);
}

void TMainForm::BackButtonClick() { MovePage(-1); }

void TMainForm::CancelButtonClick() { SendMessageA(FHandle, WM_CLOSE, 0, 0); }

void TMainForm::SelectButtonClick(bool all)
{
    HWND list = Control(BundleList);
    int count = int(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) ListView_SetCheckState(list, i, all);
}

void TMainForm::Vst2InstallCheckClick()
{
    bool install = Checked(Vst2InstallCheck);
    for (TControlId id : {Vst2FolderLabel, Vst2FolderInput, Vst2BrowseButton}) SetEnabled(id, install);
}

void TMainForm::BrowseButtonClick(TControlId input, int promptMessage)
{
    std::string prompt = LoadMessage(promptMessage);
    if (promptMessage == Msg::BrowseInstallFolder || promptMessage == Msg::BrowseContentFolder)
        prompt = FSession->Model().ExpandText(prompt);
    SetText(input, BrowseForFolder(FHandle, prompt, Text(input)));
}

void TMainForm::SetProgress(int position) { PostMessageA(FHandle, WM_APP_PROGRESS, WPARAM(position), 0); }

void TMainForm::SetStatus(const std::string& text)
{
    {
        std::lock_guard<std::mutex> hold(FStatusLock);
        FStatus = text;
        FTimeLeft.clear();  // a new phase: its time is not known yet
    }
    PostMessageA(FHandle, WM_APP_STATUS, 0, 0);
    // Every status stays readable for at least half a second; the window keeps
    // answering meanwhile, on its own thread.
    Sleep(500);
}

void TMainForm::SetTimeLeft(int seconds)
{
    {
        std::lock_guard<std::mutex> hold(FStatusLock);
        FTimeLeft = TimeLeftText(seconds);
    }
    PostMessageA(FHandle, WM_APP_STATUS, 0, 0);
}

void TMainForm::Terminate()
{
    FTerminating = true;
    PostMessageA(FHandle, WM_APP_TERMINATE, 0, 0);
}

void TMainForm::RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!FHandle || !IsDialogMessageA(FHandle, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        RememberFocus();
    }
}

void TMainForm::HandleCommand(int id, int code)
{
    if (code == EN_CHANGE && id == DestFolderInput) {
        // A content folder that follows the destination follows it as it is typed.
        const TSetupInstaller& model = FSession->Model();
        if (model.Facts().HasContent && !model.Choices.ContentFolderChosen &&
            Text(ContentFolderInput) == FFollowingContent) {
            FFollowingContent = model.ContentFolderFollowing(Text(DestFolderInput));
            SetText(ContentFolderInput, FFollowingContent);
        }
        return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
    case NextButton: NextButtonClick(); break;
    case BackButton: BackButtonClick(); break;
    case CancelButton:
    case IDCANCEL: CancelButtonClick(); break;
    case IDOK:
        if (IsWindowVisible(Control(NextButton)) && IsWindowEnabled(Control(NextButton))) NextButtonClick();
        break;
    case SelectAllButton: SelectButtonClick(true); break;
    case SelectNoneButton: SelectButtonClick(false); break;
    case Vst2InstallCheck: Vst2InstallCheckClick(); break;
    case DestBrowseButton: BrowseButtonClick(DestFolderInput, Msg::BrowseInstallFolder); break;
    case ContentBrowseButton: BrowseButtonClick(ContentFolderInput, Msg::BrowseContentFolder); break;
    case Vst2BrowseButton: BrowseButtonClick(Vst2FolderInput, Msg::BrowseVstFolder); break;
    case PhotoshopBrowseButton: BrowseButtonClick(PhotoshopFolderInput, Msg::BrowsePhotoshopFolder); break;
    default: break;
    }
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: HandleCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
    case DM_GETDEFID: return MAKELRESULT(NextButton, DC_HASDEFID);
    case WM_CLOSE:
        if (FTerminating || FormCloseQuery()) DestroyWindow(FHandle);
        return 0;
    case WM_APP_TERMINATE: DestroyWindow(FHandle); return 0;
    case WM_APP_PROGRESS: SendMessageA(Control(CopyProgressBar), PBM_SETPOS, wParam, 0); return 0;
    case WM_APP_STATUS: {
        std::string text;
        {
            std::lock_guard<std::mutex> hold(FStatusLock);
            text = FTimeLeft.empty() ? FStatus : FormatMessageText(Msg::StatusTimeLeft, {FStatus, FTimeLeft});
        }
        SetWindowTextA(Control(CopyStatusLabel), text.c_str());
        return 0;
    }
    case WM_APP_RETRY: return TMessageBoxUser::Retry(*reinterpret_cast<const std::string*>(lParam)) ? 1 : 0;
    case WM_APP_INSTALLED: InstallationEnded(wParam != 0); return 0;
    case WM_ACTIVATE:
        // Back from a message box: the control that had the focus (or the one
        // a refusal named) gets it again, not the window itself.
        if (LOWORD(wParam) != WA_INACTIVE && RestoreFocus()) return 0;
        break;
    case WM_SETFOCUS:
        if (RestoreFocus()) return 0;
        break;
    case WM_DESTROY:
        FHandle = nullptr;
        PostQuitMessage(0);
        return 0;
    default: break;
    }
    return DefWindowProcA(FHandle, message, wParam, lParam);
}

LRESULT CALLBACK TMainForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* form = static_cast<TMainForm*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        form->FHandle = window;
    }
    auto* form = reinterpret_cast<TMainForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!form || form->FHandle != window) return DefWindowProcA(window, message, wParam, lParam);
    return form->HandleMessage(message, wParam, lParam);
}

// Pages and the panel pass their controls' notifications on to the window.
LRESULT CALLBACK TMainForm::PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A multi-line edit answers Esc with WM_CLOSE to its parent: closing is the
    // window's decision (it asks first), never the page's.
    if (message == WM_COMMAND || message == WM_NOTIFY || message == WM_CLOSE)
        return SendMessageA(GetAncestor(window, GA_ROOT), message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

// The side picture, stretched over the whole control.
LRESULT CALLBACK TMainForm::ImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    if (message == WM_PAINT) {
        auto* form = reinterpret_cast<TMainForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        // In a mirrored wizard the picture moves to the right, but is not turned round.
        if (form && form->FRightToLeft) SetLayout(dc, LAYOUT_RTL | LAYOUT_BITMAPORIENTATIONPRESERVED);
        if (form && form->FPicture.Width > 0) {
            const TPicture& picture = form->FPicture;
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof info.bmiHeader;
            info.bmiHeader.biWidth = picture.Width;
            info.bmiHeader.biHeight = -picture.Height;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 24;
            info.bmiHeader.biCompression = BI_RGB;
            SetStretchBltMode(dc, HALFTONE);
            StretchDIBits(dc, 0, 0, area.right, area.bottom, 0, 0, picture.Width, picture.Height,
                          picture.Pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
        } else {
            FillRect(dc, &area, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
        }
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND TMainForm::Control(TControlId id) const
{
    auto found = FControls.find(id);
    return found == FControls.end() ? nullptr : found->second;
}

std::string TMainForm::Text(TControlId id) const
{
    HWND control = Control(id);
    // The wide form: the ANSI one miscounts multi-byte text on some systems.
    int length = GetWindowTextLengthW(control);
    TWideText text(size_t(length) + 1, L'\0');
    int got = GetWindowTextW(control, text.data(), length + 1);
    return FromWide(text.data(), got);
}

void TMainForm::SetText(TControlId id, const std::string& text)
{
    SetWindowTextA(Control(id), text.c_str());
    FitToText(id);
}

// Captions grow to what their text needs in the dialog font, which may be wider
// or taller than the design font: one-line captions in width as far as the page
// allows, then (like word-wrapped labels) in height, moving what stands below
// them down.
void TMainForm::FitToText(TControlId id)
{
    const TControlDesign* design = nullptr;
    for (const TControlDesign& candidate : PageControls())
        if (candidate.Id == id) design = &candidate;
    if (!design || (design->Kind != ckCheckBox && design->Kind != ckLabel)) return;
    HWND control = Control(id);
    bool wrap = design->Kind == ckLabel && (design->Flags & cfWordWrap);
    // The room a check box's own box and a label's edge take beside the text.
    int beside = design->Kind == ckCheckBox ? GetSystemMetrics(SM_CXMENUCHECK) + Scale(8) : Scale(2);
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    int width = place.right - place.left, height = place.bottom - place.top;
    std::string text = Text(id);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    auto measure = [&](int textWidth, UINT flags) {
        RECT area{0, 0, textWidth, 0};
        DrawTextA(dc, text.c_str(), int(text.size()), &area, flags | DT_CALCRECT | DT_EXPANDTABS);
        return area;
    };
    // A line of a language's font may be taller than the design's line.
    int needed = text.empty() ? 0 : int(measure(0, DT_SINGLELINE).bottom);
    if (!wrap) {
        int wide = int(measure(0, DT_SINGLELINE).right) + beside;
        int room = Scale(NotebookWidth) - place.left - Scale(4);
        width = std::min(std::max(width, wide), room);
        if (wide > room) {
            // Too long for one line on this page: it wraps instead of being cut.
            wrap = true;
            LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
            style = design->Kind == ckCheckBox ? (style | BS_MULTILINE) : ((style & ~LONG_PTR(SS_TYPEMASK)) | SS_LEFT);
            SetWindowLongPtrA(control, GWL_STYLE, style);
        }
    }
    if (wrap && !text.empty()) needed = int(measure(width - beside + Scale(2), DT_WORDBREAK).bottom);
    // No caption is taller than a page, whatever a measurement says.
    needed = std::min(needed, Scale(NotebookHeight));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    // The design lets the control below touch a caption by a pixel or two:
    // text that fills the caption keeps clear of it.
    int below = place.bottom;
    int ownTop = design->Top;
    for (const TControlDesign& other : PageControls()) {
        if (other.Page != design->Page || other.Top <= ownTop) continue;
        RECT otherPlace;
        GetWindowRect(Control(other.Id), &otherPlace);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&otherPlace), 2);
        if (otherPlace.left < place.right && otherPlace.right > place.left && otherPlace.top >= place.top)
            below = std::min(below, int(otherPlace.top));
    }
    if (place.top + needed > below) GrowDown(control, place.bottom, place.top + needed + (place.bottom - below));
    SetWindowPos(control, nullptr, 0, 0, width, std::max(height, needed), SWP_NOMOVE | SWP_NOZORDER);
}

// A language whose texts need more lines than the design gives them makes the
// window taller, by what the fullest page lacks: the pages, the picture and
// the buttons move with it, and nothing is cut.
void TMainForm::FitWindowToPages()
{
    int lowest = 0;
    for (HWND page : FPages)
        // Hidden ones too: a row the page shows later (the content folder's) needs its room then.
        for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT place;
            GetWindowRect(child, &place);
            MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&place), 2);
            lowest = std::max(lowest, int(place.bottom));
        }
    HWND notebookWindow = GetDlgItem(FHandle, Notebook), panel = GetDlgItem(FHandle, Panel);
    RECT notebook;
    GetClientRect(notebookWindow, &notebook);
    int more = lowest + Scale(4) - notebook.bottom;
    if (more <= 0) return;
    auto grow = [&](HWND window, int height, int down) {
        RECT place;
        GetWindowRect(window, &place);
        MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&place), 2);
        SetWindowPos(window, nullptr, std::min(place.left, place.right), place.top + down,
                     std::abs(place.right - place.left), place.bottom - place.top + height, SWP_NOZORDER);
    };
    grow(notebookWindow, more, 0);
    for (HWND page : FPages) grow(page, more, 0);
    grow(panel, more, 0);
    grow(FImage, more, 0);
    for (TControlId button : {BackButton, NextButton, CancelButton}) grow(Control(button), 0, more);
    RECT frame;
    GetWindowRect(FHandle, &frame);
    SetWindowPos(FHandle, nullptr, frame.left, frame.top - more / 2, frame.right - frame.left,
                 frame.bottom - frame.top + more, SWP_NOZORDER);
}

// Makes room for a control whose bottom moved from `oldBottom` to `newBottom`:
// what stands below it on its page moves down as far as it must, keeping up to
// a few pixels of the design's gap, and pushes on what stands below that.
// "Below" is as designed, so that two controls never push each other.
void TMainForm::GrowDown(HWND control, int oldBottom, int newBottom)
{
    HWND parent = GetParent(control);
    auto designTop = [](HWND window) {
        for (const TControlDesign& design : PageControls())
            if (design.Id == GetDlgCtrlID(window)) return design.Top;
        return -1;
    };
    int ownTop = designTop(control);
    for (HWND other = GetWindow(parent, GW_CHILD); other; other = GetWindow(other, GW_HWNDNEXT)) {
        if (other == control || designTop(other) <= ownTop) continue;
        RECT place;
        GetWindowRect(other, &place);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
        // The design lets a few controls touch the one above by a pixel or two.
        if (place.top < oldBottom - Scale(2)) continue;
        int gap = std::max(0, std::min(int(place.top) - oldBottom, Scale(4)));
        int top = newBottom + gap;
        if (top <= place.top) continue;
        SetWindowPos(other, nullptr, place.left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        GrowDown(other, place.bottom, place.bottom + (top - place.top));
    }
}

bool TMainForm::Checked(TControlId id) const { return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TMainForm::SetChecked(TControlId id, bool checked)
{
    SendMessageA(Control(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TMainForm::SetVisible(TControlId id, bool visible) { ShowWindow(Control(id), visible ? SW_SHOW : SW_HIDE); }

void TMainForm::SetEnabled(TControlId id, bool enabled) { EnableWindow(Control(id), enabled); }

void TMainForm::MoveToTopOf(TControlId id, TControlId other)
{
    RECT place;
    GetWindowRect(Control(other), &place);
    MapWindowPoints(nullptr, GetParent(Control(other)), reinterpret_cast<POINT*>(&place), 2);
    RECT own;
    GetWindowRect(Control(id), &own);
    MapWindowPoints(nullptr, GetParent(Control(id)), reinterpret_cast<POINT*>(&own), 2);
    SetWindowPos(Control(id), nullptr, own.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void TMainForm::FocusControl(HWND control)
{
    if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) return;
    FLastFocus = control;
    SetFocus(control);
}

void TMainForm::RememberFocus()
{
    HWND focus = GetFocus();
    if (focus && FHandle && focus != FHandle && IsChild(FHandle, focus)) FLastFocus = focus;
}

bool TMainForm::RestoreFocus()
{
    HWND control = FLastFocus;
    if (!control || !IsWindow(control) || !IsChild(FHandle, control) || !IsWindowVisible(control) ||
        !IsWindowEnabled(control))
        return false;
    SetFocus(control);
    return true;
}
