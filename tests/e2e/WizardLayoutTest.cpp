// Every page of the real wizard, at three resolutions, with a long product name,
// a bundle and the choice of whom for: no text is cut off by its control or
// covered by another one, in English and in each language.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "DialogFont.h"
#include "IniFile.h"
#include "LanguageDialog.h"
#include "LanguageTables.h"
#include "Languages.h"
#include "Messages.h"
#include "PathUtils.h"
#include "Registry.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "TextUtils.h"
#include "WizardDesign.h"
#include "WizardDriver.h"

using namespace Wizard;

namespace {

// The screen resolution Wine keeps for the user, set for one test and put back.
class TScreenDpi {
public:
    explicit TScreenDpi(int dpi)
    {
        FRegistry.OpenKey("\\Control Panel\\Desktop", true);
        FHad = FRegistry.ValueExists("LogPixels");
        if (FHad) FOld = FRegistry.ReadInteger("LogPixels");
        FRegistry.WriteInteger("LogPixels", dpi);
    }
    ~TScreenDpi()
    {
        if (FHad)
            FRegistry.WriteInteger("LogPixels", FOld);
        else
            FRegistry.DeleteValue("LogPixels");
    }

private:
    TRegistry FRegistry;
    bool FHad = false;
    int32_t FOld = 96;
};

RECT PlaceOf(HWND window)
{
    RECT place;
    GetWindowRect(window, &place);
    return place;
}

std::string Name(const TControlDesign& design) { return "control " + std::to_string(int(design.Id)); }

// What a person would find cut off or covered on the page shown, measured with
// the dialog font at that resolution.
std::vector<std::string> LayoutFaults(const TWizard& wizard, int dpi)
{
    std::vector<std::string> faults;
    int page = wizard.Page();
    RECT pageArea;
    HWND pageWindow = wizard.Control(PageIdBase + page);
    GetClientRect(pageWindow, &pageArea);
    MapWindowPoints(pageWindow, nullptr, reinterpret_cast<POINT*>(&pageArea), 2);
    // A mirrored page maps its left edge to the right on the screen.
    if (pageArea.left > pageArea.right) std::swap(pageArea.left, pageArea.right);
    HDC dc = CreateCompatibleDC(nullptr);
    // Where each control shows something: a label or check box its text, any
    // other control its whole area.
    std::vector<std::pair<const TControlDesign*, RECT>> shown;
    for (const TControlDesign& design : PageControls()) {
        HWND control = wizard.Control(design.Id);
        if (design.Page != page || !IsWindowVisible(control)) continue;
        RECT place = PlaceOf(control), inside;
        if (place.left < pageArea.left || place.top < pageArea.top || place.right > pageArea.right ||
            place.bottom > pageArea.bottom)
            faults.push_back(Name(design) + " reaches past the page: " + std::to_string(place.left) + "," +
                             std::to_string(place.top) + " to " + std::to_string(place.right) + "," +
                             std::to_string(place.bottom) + ", the page " + std::to_string(pageArea.top) + " to " +
                             std::to_string(pageArea.bottom));
        // The text as the control holds it, whatever this process's code page.
        wchar_t text[1024] = {};
        GetWindowTextW(control, text, 1024);
        if ((design.Kind != ckLabel && design.Kind != ckCheckBox) || !text[0]) {
            shown.emplace_back(&design, place);
            continue;
        }
        GetClientRect(control, &inside);
        HFONT font = CreateDialogFont(dpi, (design.Flags & cfBold) != 0);
        HGDIOBJ old = SelectObject(dc, font);
        LONG style = GetWindowLongA(control, GWL_STYLE);
        // A check box's own box and the gap after it come before the text.
        int box = design.Kind == ckCheckBox ? GetSystemMetrics(SM_CXMENUCHECK) + MulDiv(3, dpi, 96) : 0;
        bool wraps = design.Kind == ckCheckBox ? (style & BS_MULTILINE) != 0 : (style & SS_TYPEMASK) == SS_LEFT;
        RECT needed{0, 0, inside.right - box, 0};
        DrawTextW(dc, text, -1, &needed, DT_CALCRECT | DT_EXPANDTABS | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
        SelectObject(dc, old);
        DeleteObject(font);
        if (needed.right + box > inside.right || needed.bottom > inside.bottom)
            faults.push_back(Name(design) + " cuts \"" + WindowText(control) + "\": it needs " + std::to_string(needed.right + box) +
                             " x " + std::to_string(needed.bottom) + ", has " + std::to_string(inside.right) + " x " +
                             std::to_string(inside.bottom));
        // A check box centres its text; a label starts at its top.
        int top = design.Kind == ckCheckBox ? place.top + (inside.bottom - needed.bottom) / 2 : place.top;
        shown.emplace_back(&design, RECT{place.left, top, place.left + std::min(LONG(needed.right + box), inside.right),
                                         top + std::min(needed.bottom, inside.bottom)});
    }
    DeleteDC(dc);
    for (size_t i = 0; i < shown.size(); ++i)
        for (size_t j = i + 1; j < shown.size(); ++j) {
            RECT both;
            if (IntersectRect(&both, &shown[i].second, &shown[j].second))
                faults.push_back(Name(*shown[i].first) + " and " + Name(*shown[j].first) + " cover each other from " +
                                 std::to_string(both.top) + " to " + std::to_string(both.bottom));
        }
    return faults;
}

// A bundle with every page, a long product name and the choice of whom for.
std::string LayoutProduct(const TTestFolder& folder, const std::string& product)
{
    std::vector<std::string> ini = {
        "[Setup]", "ProductName=" + product, "RegistryRoot=Software\\SetupTests\\Layout",
        "DefaultFolder=SetupTests\\Layout", "InstallFor=Either", "IsBundle=1", "BundleRegistryRoot=Software\\SetupTests\\Layout\\Items",
        "BundleSelectHeading=Grand Bundle of Every Harmonic Exciter Professional Edition",
        "BundleSelectDescription=Choose the products of the Grand Bundle you want to install on this computer.",
        "[Pages]", "VstPluginFolder=1", "DigiPluginFolder=1", "PhotoshopPluginFolder=1", "Personalization=1",
        "[Components]", "Main=$ProgramFolder", "Vst3 $BundleItem=$Vst3PluginFolder", "Clap=$ClapPluginFolder", "Library=$ContentFolder", "Rtas=$DigiPluginFolder",
        "Aax=$AaxPluginFolder", "[Shortcuts]", "StartMenu=$ProgramFolder\\Readme.txt",
        "Desktop=$ProgramFolder\\Readme.txt", "[Complete]", "Readme=$ProgramFolder\\Readme.txt",
        "Product=$ProgramFolder\\Product.exe",
        "Message=$ProductName has been installed on your computer. Thank you for choosing $ProductName, and enjoy "
        "the sound of the whole Grand Bundle."};
    return BuildTestInstaller(
        folder, ini,
        {TPackageItem::File("BundleInfo.ini", "Alpha=1.10\r\nBeta=1.20\r\n"),
         TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "r")}),
         TPackageItem::Folder("Vst3 Alpha", {TPackageItem::File("Alpha.vst3", "a")}),
         TPackageItem::Folder("Clap", {TPackageItem::File("H.clap", "c")}),
         TPackageItem::Folder("Library", {TPackageItem::File("Hall.wav", "w")}),
         TPackageItem::Folder("Rtas", {TPackageItem::File("H.dpm", "r")}),
         TPackageItem::Folder("Aax", {TPackageItem::File("H.aaxplugin", "x")})});
}

}  // namespace

TEST(WizardLayout, NoTextIsCutOrCoveredOnAnyPageAtThreeResolutions)
{
    InitDialogFont();
    const std::string product = "Harmonic Exciter Professional";
    for (int dpi : {96, 144, 192}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
        TTestFolder folder("WizardLayout" + std::to_string(dpi));
        std::string program = LayoutProduct(folder, product);
        TScreenDpi screen(dpi);
        TWizard wizard(program);
        ASSERT_TRUE(wizard.Shown());
        // The side picture fills its panel inside the border.
        RECT panel, picture = PlaceOf(wizard.Control(Image));
        GetClientRect(wizard.Control(Panel), &panel);
        EXPECT_EQ(picture.right - picture.left, panel.right);
        EXPECT_EQ(picture.bottom - picture.top, panel.bottom);

        for (int page = pgWelcome; page != pgCopy; page = wizard.Page()) {
            std::vector<std::string> faults = LayoutFaults(wizard, dpi);
            EXPECT_TRUE(faults.empty()) << "page " << page << ": " << ::testing::PrintToString(faults);
            if (page == pgVstPlugins) wizard.SetText(Vst2FolderInput, folder / "Vst2");
            if (page == pgDest) wizard.SetText(DestFolderInput, folder / "Installed");
            if (page == pgPersonalize) wizard.SetText(NameInput, "A Musician");
            wizard.Click(NextButton);
            ASSERT_TRUE(WaitUntil([&] { return wizard.Page() != page; })) << "stuck on page " << page;
        }
        ASSERT_TRUE(wizard.WaitForPage(pgReady, 60000));
        std::vector<std::string> faults = LayoutFaults(wizard, dpi);
        EXPECT_TRUE(faults.empty()) << "Ready page: " << ::testing::PrintToString(faults);
        wizard.CloseBox();
        EXPECT_TRUE(wizard.Ended());
        // Its uninstaller takes the installation away again: its registration,
        // keys, shortcuts and what it put into the shared plug-in folders.
        EXPECT_TRUE(UninstalledSilently(folder / "Installed"));
    }
}

namespace {

// The texts of a language as the installer's own table words them, by message.
// The dialog font the wizard takes for a language: the one that draws its texts.
void FitFontToLanguage(const std::string& tag)
{
    InitDialogFont();
    std::map<int, std::string> table = LanguageTableTexts(tag);
    std::string texts;
    for (int id = Msg::First; id <= Msg::Last; ++id) texts += table.count(id) ? table[id] : LoadStoredMessage(id);
    std::vector<wchar_t> wide(texts.size() + 1);
    wide.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, texts.data(), int(texts.size()), wide.data(), int(wide.size()))));
    FitDialogFontToText(wide);
}

const char* const PageNames[] = {"Welcome", "License",     "BundleItems", "VstPlugins", "DigiPlugins", "PhotoshopPlugin",
                                 "Dest",    "Personalize", "Icon",        "Copy",       "Ready"};

// Presses a message box's button by its id: the buttons' captions are in Wine's language.
void Press(const TMessageBoxView& box, int id) { PostMessageA(GetDlgItem(box.Window, id), BM_CLICK, 0, 0); }

}  // namespace

// The wizard and the uninstaller in the user's display language (CTest runs
// this with it set to German, Japanese, Arabic and Brazilian Portuguese, and
// names it in SETUP_EXPECT_LANGUAGE), or without it in the one /LANG= names:
// every page says its texts in that language, nothing is cut or covered, a
// screenshot of each page and box goes to out/screenshots/TAG/, and the
// right-to-left languages mirror the window.
TEST(LanguageWalk, EveryPageAndBoxSpeaksTheLanguage)
{
    char expected[32] = {};
    bool fromUser = GetEnvironmentVariableA("SETUP_EXPECT_LANGUAGE", expected, sizeof expected) > 0;
    std::string tag = fromUser ? expected : "fr";
    FitFontToLanguage(tag);
    std::map<int, std::string> texts = LanguageTableTexts(tag);
    ASSERT_FALSE(texts.empty()) << tag;
    std::string shots = WindowsPath(SETUP_OUTPUT_ROOT "/screenshots") + "\\";
    CreateDirectoryA(shots.c_str(), nullptr);
    shots += tag + "\\";
    CreateDirectoryA(shots.c_str(), nullptr);
    TTestFolder folder("LanguageWalk");
    std::string program = LayoutProduct(folder, "Harmonic Exciter Professional");
    TWizard wizard(program, fromUser ? "" : "/LANG=" + tag);
    ASSERT_TRUE(wizard.Shown());
    int shot = 0;
    auto photograph = [&](HWND window, const std::string& name) {
        Sleep(300);
        char number[8];
        std::snprintf(number, sizeof number, "%02d-", ++shot);
        EXPECT_TRUE(Photograph(window, shots + number + name + ".bmp")) << name;
    };
    bool mirrored = FindLanguage(tag)->RightToLeft;
    EXPECT_EQ((GetWindowLongA(wizard.Window(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0, mirrored);
    // Mirrored, Back stands right of Next.
    EXPECT_EQ(PlaceOf(wizard.Control(BackButton)).left > PlaceOf(wizard.Control(NextButton)).left, mirrored);
    for (int page = pgWelcome; page != pgCopy; page = wizard.Page()) {
        photograph(wizard.Window(), PageNames[page]);
        std::vector<std::string> faults = LayoutFaults(wizard, 96);
        EXPECT_TRUE(faults.empty()) << PageNames[page] << ": " << ::testing::PrintToString(faults);
        std::string next = wizard.Text(NextButton);
        if (page == pgLicense)
            EXPECT_EQ(next, texts[Msg::YesButton]);
        else
            EXPECT_TRUE(next == texts[Msg::NextButton] || next == texts[Msg::InstallButton]) << PageNames[page] << ": " << next;
        if (page == pgDest) {
            EXPECT_EQ(wizard.Text(DestHeadingLabel), texts[Msg::DestHeadingLabel]);
            wizard.SetText(DestFolderInput, folder / "Installed");
        }
        if (page == pgVstPlugins) wizard.SetText(Vst2FolderInput, folder / "Vst2");
        if (page == pgPersonalize) wizard.SetText(NameInput, "A Musician");
        wizard.Click(NextButton);
        ASSERT_TRUE(WaitUntil([&] { return wizard.Page() != page; })) << "stuck on " << PageNames[page];
    }
    ASSERT_TRUE(wizard.WaitForPage(pgReady, 60000));
    photograph(wizard.Window(), "Ready");
    EXPECT_EQ(wizard.Text(ReadyHeadingLabel), texts[Msg::ReadyHeadingLabel]);
    EXPECT_NE(wizard.Text(ReadyFoldersMemo).find(texts[Msg::FolderProgram] + ": "), std::string::npos);
    wizard.CloseBox();
    EXPECT_TRUE(wizard.Ended());

    // The uninstaller speaks the language the installation was made in.
    TProcess uninstaller(folder / "Installed" + "\\Uninst.exe");
    TMessageBoxView question = WaitForMessageBox(uninstaller.Id());
    ASSERT_TRUE(question.Window);
    photograph(question.Window, "UninstallConfirm");
    std::string asked = texts[Msg::UninstallConfirm];
    EXPECT_NE(question.Text.find(asked.substr(0, asked.find("%s"))), std::string::npos) << question.Text;
    EXPECT_EQ(question.Title, FormatText(texts[Msg::ConfirmCaption], {}));
    Press(question, IDYES);
    Sleep(300);
    TMessageBoxView result = WaitForMessageBox(uninstaller.Id());
    ASSERT_TRUE(result.Window);
    photograph(result.Window, "UninstallResult");
    EXPECT_EQ(result.Text, ReplaceAll(texts[Msg::UninstallCompleted], "\r", "\r\n"));
    Press(result, IDOK);
    EXPECT_TRUE(uninstaller.WaitForExit(20000));
    EXPECT_TRUE(GoneWithin(folder / "Installed", 20000));
}

// Every language's pages up to the one that starts the copy, at each
// resolution: nothing cut or covered. The suite samples (SETUP_LAYOUT_LANGUAGES
// and SETUP_LAYOUT_DPIS name others: "all" and "96 144 192" for the whole sweep).
TEST(LanguageLayout, EveryLanguageFitsEveryPage)
{
    InitDialogFont();
    char wanted[512] = "th hi", dpis[64] = "96";
    GetEnvironmentVariableA("SETUP_LAYOUT_LANGUAGES", wanted, sizeof wanted);
    GetEnvironmentVariableA("SETUP_LAYOUT_DPIS", dpis, sizeof dpis);
    std::vector<std::string> tags;
    for (const TLanguage& language : Languages())
        if (std::string(wanted) == "all" || (" " + std::string(wanted) + " ").find(std::string(" ") + language.Tag + " ") != std::string::npos)
            tags.push_back(language.Tag);
    TTestFolder folder("LanguageLayout");
    std::string program = LayoutProduct(folder, "Harmonic Exciter Professional");
    std::string dpiList = dpis;
    for (size_t start = 0; start < dpiList.size();) {
        size_t end = std::min(dpiList.find(' ', start), dpiList.size());
        int dpi = std::atoi(dpiList.substr(start, end - start).c_str());
        start = end + 1;
        if (dpi <= 0) continue;
        TScreenDpi screen(dpi);
        for (const std::string& tag : tags) {
            FitFontToLanguage(tag);
            TWizard wizard(program, "/LANG=" + tag);
            ASSERT_TRUE(wizard.Shown()) << tag;
            for (int page = pgWelcome;; page = wizard.Page()) {
                std::vector<std::string> faults = LayoutFaults(wizard, dpi);
                EXPECT_TRUE(faults.empty()) << tag << " at " << dpi << " DPI, " << PageNames[page] << ": "
                                            << ::testing::PrintToString(faults);
                if (page == pgIcon) break;
                if (page == pgVstPlugins) wizard.SetText(Vst2FolderInput, folder / "Vst2");
                if (page == pgDest) wizard.SetText(DestFolderInput, folder / "Installed");
                if (page == pgPersonalize) wizard.SetText(NameInput, "A Musician");
                wizard.Click(NextButton);
                ASSERT_TRUE(WaitUntil([&] { return wizard.Page() != page; })) << tag << ": stuck on " << PageNames[page];
            }
            wizard.Click(CancelButton);
            TMessageBoxView question = wizard.Box();
            ASSERT_TRUE(question.Window) << tag;
            Press(question, IDYES);
            EXPECT_TRUE(wizard.Ended()) << tag;
        }
    }
}

// A product that asks first: its languages in their own names, the proposed
// one chosen; the one picked speaks from the first page on; Cancel ends Setup.
TEST(LanguageDialog, TheUserPicksAmongTheProductsLanguages)
{
    TTestFolder folder("LanguageDialog");
    std::string program = BuildTestInstaller(
        folder, {"[Setup]", "ProductName=Polyglot", "RegistryRoot=Software\\SetupTests\\Polyglot",
                 "DefaultFolder=SetupTests\\Polyglot", "ShowLanguageDialog=1", "Languages=de,ja"});
    std::map<int, std::string> german = LanguageTableTexts("de");
    for (bool accept : {true, false}) {
        TProcess setup(program);
        HWND dialog = nullptr;
        ASSERT_TRUE(WaitUntil([&] {
            std::vector<HWND> found = TopLevelWindows(setup.Id(), LanguageDialogClass);
            dialog = found.empty() ? nullptr : found.front();
            return dialog != nullptr;
        }));
        HWND list = GetDlgItem(dialog, LanguageListId);
        EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);  // English, the user's
        wchar_t name[64] = {};
        SendMessageW(list, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(name));
        EXPECT_STREQ(name, L"Deutsch");
        SendMessageA(list, CB_SETCURSEL, 1, 0);
        PostMessageA(dialog, WM_COMMAND, accept ? IDOK : IDCANCEL, 0);
        if (!accept) {
            ASSERT_TRUE(setup.WaitForExit(15000));
            EXPECT_EQ(setup.ExitCode(), 2u);
            continue;
        }
        HWND wizard = nullptr;
        ASSERT_TRUE(WaitUntil([&] {
            std::vector<HWND> found = TopLevelWindows(setup.Id(), WindowClass);
            wizard = found.empty() ? nullptr : found.front();
            return wizard != nullptr;
        }));
        HWND next = GetDlgItem(wizard, NextButton);
        EXPECT_TRUE(WaitUntil([&] { return WindowText(next) == german[Msg::NextButton]; })) << WindowText(next);
        PostMessageA(GetDlgItem(wizard, CancelButton), BM_CLICK, 0, 0);
        TMessageBoxView question = WaitForMessageBox(setup.Id());
        ASSERT_TRUE(question.Window);
        Press(question, IDYES);
        ASSERT_TRUE(setup.WaitForExit(15000));
        EXPECT_EQ(setup.ExitCode(), 2u);
    }
}
