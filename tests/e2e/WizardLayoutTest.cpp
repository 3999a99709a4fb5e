// Every page of the real wizard, at three resolutions, with a long product name,
// a bundle and the choice of whom for: no text is cut off by its control or
// covered by another one.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "DialogFont.h"
#include "WizardDesign.h"
#include "Registry.h"
#include "TestFiles.h"
#include "TestPackages.h"
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
            faults.push_back(Name(design) + " reaches past the page");
        std::string text = WindowText(control);
        if ((design.Kind != ckLabel && design.Kind != ckCheckBox) || text.empty()) {
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
        DrawTextA(dc, text.c_str(), int(text.size()), &needed,
                  DT_CALCRECT | DT_EXPANDTABS | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
        SelectObject(dc, old);
        DeleteObject(font);
        if (needed.right + box > inside.right || needed.bottom > inside.bottom)
            faults.push_back(Name(design) + " cuts \"" + text + "\": it needs " + std::to_string(needed.right + box) +
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
                faults.push_back(Name(*shown[i].first) + " and " + Name(*shown[j].first) + " cover each other");
        }
    return faults;
}

}  // namespace

TEST(WizardLayout, NoTextIsCutOrCoveredOnAnyPageAtThreeResolutions)
{
    InitDialogFont();
    const std::string product = "Harmonic Exciter Professional";
    for (int dpi : {96, 144, 192}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
        TTestFolder folder("WizardLayout" + std::to_string(dpi));
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
        std::string program = BuildTestInstaller(
            folder, ini,
            {TPackageItem::File("BundleInfo.ini", "Alpha=1.10\r\nBeta=1.20\r\n"),
             TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "r")}),
             TPackageItem::Folder("Vst3 Alpha", {TPackageItem::File("Alpha.vst3", "a")}),
             TPackageItem::Folder("Clap", {TPackageItem::File("H.clap", "c")}),
             TPackageItem::Folder("Library", {TPackageItem::File("Hall.wav", "w")}),
             TPackageItem::Folder("Rtas", {TPackageItem::File("H.dpm", "r")}),
             TPackageItem::Folder("Aax", {TPackageItem::File("H.aaxplugin", "x")})});
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
