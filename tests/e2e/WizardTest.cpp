#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "FileSystem.h"
#include "WizardDesign.h"
#include "PathUtils.h"
#include "Registry.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "WizardDriver.h"

using namespace Wizard;

namespace {

std::vector<std::string> Ini(const std::string& name, std::vector<std::string> extra = {})
{
    std::vector<std::string> lines = {"[Setup]", "ProductName=" + name, "RegistryRoot=Software\\SetupTests\\" + name,
                                      "DefaultFolder=SetupTests\\" + name + " %d"};
    lines.insert(lines.end(), extra.begin(), extra.end());
    return lines;
}

const char CancelQuestion[] = " has not been fully installed yet.\rAre you sure you want to cancel ";

}  // namespace

TEST(Wizard, PagesOfAPackageWithoutOptionalPages)
{
    TTestFolder folder("WizardPlain");
    TWizard wizard(BuildTestInstaller(folder, Ini("Plain")));
    ASSERT_TRUE(wizard.Shown());
    EXPECT_EQ(wizard.Text(WelcomeHeadingLabel), "Welcome to Plain Setup");
    EXPECT_EQ(wizard.Text(WelcomeDescriptionLabel), "This program will install Plain 2.23 on your computer.");
    EXPECT_FALSE(wizard.Enabled(BackButton));
    EXPECT_TRUE(wizard.Focused(NextButton));
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgLicense));
    EXPECT_EQ(wizard.Text(NextButton), "&Yes");
    EXPECT_EQ(wizard.Text(CancelButton), "&No");
    EXPECT_EQ(wizard.Text(LicenseMemo), "Licence line one\r\nLicence line two\r\n");
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    EXPECT_EQ(wizard.Text(NextButton), "&Install");
    EXPECT_EQ(wizard.Text(CancelButton), "Cancel");
    EXPECT_TRUE(wizard.Visible(InstallLabel));
    EXPECT_TRUE(wizard.Focused(DestFolderInput));
    wizard.Click(BackButton);
    ASSERT_TRUE(wizard.WaitForPage(pgLicense));
    wizard.Click(BackButton);
    ASSERT_TRUE(wizard.WaitForPage(pgWelcome));
    EXPECT_FALSE(wizard.Enabled(BackButton));

    // "&No" on the licence asks; "&No" there keeps the page.
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgLicense));
    wizard.Click(CancelButton);
    TMessageBoxView question = wizard.Box();
    EXPECT_EQ(question.Title, "Confirm");
    EXPECT_EQ(question.Text, std::string("Plain 2.23") + CancelQuestion + "Plain Setup?");
    EXPECT_EQ(question.Buttons, (std::vector<std::string>{"&Yes", "&No"}));
    wizard.Answer(question, "&No");
    EXPECT_EQ(wizard.Page(), pgLicense);
    // Esc asks too; "&Yes" ends the program.
    wizard.PressEscape();
    question = wizard.Box();
    EXPECT_NE(question.Text.find(CancelQuestion), std::string::npos);
    wizard.Answer(question, "&Yes");
    EXPECT_TRUE(wizard.Ended());
    EXPECT_EQ(wizard.Process().ExitCode(), 2u);  // cancelled
}

TEST(Wizard, EveryPageInOrder)
{
    TTestFolder folder("WizardEvery");
    TProductKeys keys("Every");
    TWizard wizard(BuildTestInstaller(
        folder,
        Ini("Every", {"IsBundle=1", "BundleRegistryRoot=Software\\SetupTests\\Every\\Items",
                      "BundleItemName=$BundleItem Edition", "BundleSelectHeading=Choose Products",
                      "[Pages]", "VstPluginFolder=1", "DigiPluginFolder=1", "PhotoshopPluginFolder=1",
                      "Personalization=1", "[Components]", "Vst3 $BundleItem=$Vst3PluginFolder",
                      "Rtas $BundleItem=$DigiPluginFolder", "Aax=$AaxPluginFolder", "[Shortcuts]",
                      "StartMenu=$ProgramFolder\\Readme.txt"}),
        {TPackageItem::File("BundleInfo.ini", "Alpha=1.10\r\nBeta=1.20\r\nGamma=1.30\r\n"),
         TPackageItem::Folder("Vst3 Alpha", {TPackageItem::File("Alpha.vst3", "a")}),
         TPackageItem::Folder("Vst3 Gamma", {TPackageItem::File("Gamma.vst3", "g")}),
         TPackageItem::Folder("Rtas Beta", {TPackageItem::File("Beta.dpm", "b")}),
         TPackageItem::Folder("Aax", {TPackageItem::File("Every.aaxplugin", "x")})}));
    ASSERT_TRUE(wizard.Shown());
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgBundleItems));
    EXPECT_EQ(wizard.Text(BundleHeadingLabel), "Choose Products");
    wizard.Click(SelectNoneButton);
    wizard.Click(NextButton);
    TMessageBoxView refusal = wizard.Box();
    EXPECT_EQ(refusal.Title, "Warning");
    EXPECT_EQ(refusal.Text, "You need to install at least one item.");
    wizard.Answer(refusal, "OK");
    EXPECT_EQ(wizard.Page(), pgBundleItems);
    wizard.Click(SelectAllButton);
    wizard.Click(NextButton);

    ASSERT_TRUE(wizard.WaitForPage(pgVstPlugins));
    EXPECT_EQ(wizard.Text(VstHeadingLabel), "VST Plug-In Installation");
    EXPECT_EQ(wizard.Text(Vst2InstallCheck), "&Install the VST 2 plug-ins for Every");
    EXPECT_TRUE(wizard.Visible(Vst3ListLabel));
    EXPECT_EQ(wizard.Text(Vst3ListLabel), "(Only for Alpha, Gamma)");
    EXPECT_TRUE(wizard.Focused(Vst2FolderInput));
    wizard.Click(Vst2InstallCheck);  // untick: the folder controls go grey
    EXPECT_FALSE(wizard.Enabled(Vst2FolderInput));
    EXPECT_FALSE(wizard.Enabled(Vst2FolderLabel));
    EXPECT_FALSE(wizard.Enabled(Vst2BrowseButton));
    wizard.Click(Vst2InstallCheck);
    EXPECT_TRUE(wizard.Enabled(Vst2FolderInput));
    // Ticked with no folder: the page asks for one; unticking is the way on without VST 2.
    wizard.SetText(Vst2FolderInput, "");
    wizard.Click(NextButton);
    refusal = wizard.Box();
    EXPECT_EQ(refusal.Text, "Please enter the VST 2 plug-in folder.\rTo install without the VST 2 plug-in, clear its "
                            "check box.");
    wizard.Answer(refusal, "OK");
    EXPECT_EQ(wizard.Page(), pgVstPlugins);
    EXPECT_TRUE(wizard.Focused(Vst2FolderInput));
    wizard.Click(Vst2InstallCheck);
    wizard.Click(NextButton);

    ASSERT_TRUE(wizard.WaitForPage(pgDigiPlugins));
    EXPECT_EQ(wizard.Text(DigiDescriptionLabel),
              "Please select whether to install the RTAS and AAX plug-ins for Every for Pro Tools.");
    EXPECT_TRUE(wizard.Visible(RtasInstallCheck));
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgPhotoshopPlugin));
    EXPECT_TRUE(wizard.Focused(PhotoshopFolderInput) || wizard.Text(PhotoshopFolderInput).empty());
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    EXPECT_EQ(wizard.Text(NextButton), "&Next >");
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgPersonalize));
    wizard.SetText(NameInput, "");
    wizard.Click(NextButton);
    refusal = wizard.Box();
    EXPECT_EQ(refusal.Text, "Please enter your name first.");
    wizard.Answer(refusal, "OK");
    EXPECT_TRUE(wizard.Focused(NameInput));
    wizard.SetText(NameInput, "   ");  // blanks are a name
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgIcon));
    EXPECT_EQ(wizard.Text(NextButton), "&Install");
    EXPECT_FALSE(wizard.Visible(IconDesktopCheck));
    wizard.CloseBox();
    wizard.Answer(wizard.Box(), "&Yes");
    EXPECT_TRUE(wizard.Ended());
}

TEST(Wizard, DestinationFolderChecks)
{
    TTestFolder folder("WizardDest");
    TWizard wizard(BuildTestInstaller(folder, Ini("Dest")));
    ASSERT_TRUE(wizard.Shown());
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    auto refused = [&](const std::string& typed, const std::string& named,
                       const std::string& why = "'.\rPlease specify a valid name.") {
        wizard.SetText(DestFolderInput, typed);
        wizard.Click(NextButton);
        TMessageBoxView box = wizard.Box(5000);
        std::string start = why[1] == '.' ? "Could not create the folder '" : "The folder '";
        bool asExpected = box.Title == "Warning" && box.Text == start + named + why;
        wizard.Answer(box, "OK");
        return asExpected && wizard.Page() == pgDest && wizard.Focused(DestFolderInput);
    };
    EXPECT_TRUE(refused("", "\\"));
    EXPECT_TRUE(refused("C:\\", "C:\\"));
    // Read as Windows reads it: the drive's root again, and the Windows folder.
    EXPECT_TRUE(refused("C:\\windows\\..", "C:\\"));
    const std::string inWindows = "' is inside the Windows folder.\rPlease choose another folder.";
    EXPECT_TRUE(refused("C://windows//.\\ ", "C:\\windows\\", inWindows));
    EXPECT_TRUE(refused("C:\\windows\\Plug-Ins", "C:\\windows\\Plug-Ins\\", inWindows));
    DWORD drives = GetLogicalDrives();
    char missing = 0;
    for (char c = 'Y'; c >= 'M' && !missing; --c)
        if (!(drives & (1u << (c - 'A')))) missing = c;
    ASSERT_NE(missing, 0);
    std::string onMissingDrive = std::string(1, missing) + ":\\Plugins";
    EXPECT_TRUE(refused(onMissingDrive, onMissingDrive + "\\"));
    // A new folder passes and is not left behind.
    std::string fresh = folder / "Fresh\\Deeper";
    wizard.SetText(DestFolderInput, fresh);
    wizard.Click(NextButton);
    // The wizard goes on to Copy and installs at once: wait for Ready.
    ASSERT_TRUE(wizard.WaitForPage(pgReady, 30000));
    EXPECT_TRUE(FileExists(fresh + "\\Uninst.exe"));
    wizard.CloseBox();
    EXPECT_TRUE(wizard.Ended());
    // Its uninstaller takes it away again, with the count it holds on the folder it made above its own.
    EXPECT_TRUE(UninstalledSilently(fresh));
}

TEST(Wizard, UpgradeQuestions)
{
    TTestFolder folder("WizardUpgrade");
    TProductKeys keys("Upgrade");
    std::string old = folder / "Old";
    CreateDirectoryA(old.c_str(), nullptr);
    TRegistry machine;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(machine.OpenKey("\\Software\\SetupTests\\Upgrade\\2.0", true));
    machine.WriteString("Location", old);
    machine.WriteString("VersionString", "2.10");
    machine.CloseKey();
    // Same major version: the old folder is proposed; another folder asks 65239.
    {
        TWizard wizard(BuildTestInstaller(folder, Ini("Upgrade"), {}, "2.23"));
        wizard.Click(NextButton);
        wizard.Click(NextButton);
        ASSERT_TRUE(wizard.WaitForPage(pgDest));
        EXPECT_EQ(wizard.Text(DestFolderInput), old + "\\");
        std::string lower = old;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = char(c + 32);
        wizard.SetText(DestFolderInput, folder / "New");
        wizard.Click(NextButton);
        TMessageBoxView box = wizard.Box();
        EXPECT_EQ(box.Title, "Confirm");
        EXPECT_EQ(box.Text.rfind("It is recommended to install this new version of Upgrade\rinto the same folder", 0), 0u)
            << box.Text;
        wizard.Answer(box, "&No");
        EXPECT_EQ(wizard.Page(), pgDest);
        EXPECT_TRUE(wizard.Focused(DestFolderInput));
        wizard.CloseBox();
        wizard.Answer(wizard.Box(), "&Yes");
        EXPECT_TRUE(wizard.Ended());
    }
    // A new major version: a fresh folder is proposed; the old one asks 65240.
    {
        TWizard wizard(BuildTestInstaller(folder, Ini("Upgrade"), {}, "3.00"));
        wizard.Click(NextButton);
        wizard.Click(NextButton);
        ASSERT_TRUE(wizard.WaitForPage(pgDest));
        EXPECT_NE(wizard.Text(DestFolderInput), old + "\\");
        wizard.SetText(DestFolderInput, old);
        wizard.Click(NextButton);
        TMessageBoxView box = wizard.Box();
        EXPECT_EQ(box.Text.rfind("It is recommended to install this new version of Upgrade\rinto a new folder", 0), 0u)
            << box.Text;
        wizard.Answer(box, "&No");
        EXPECT_EQ(wizard.Page(), pgDest);
        wizard.CloseBox();
        wizard.Answer(wizard.Box(), "&Yes");
        EXPECT_TRUE(wizard.Ended());
    }
}

TEST(Wizard, InstallThroughTheWizardThenFinishThenUninstall)
{
    TTestFolder folder("WizardInstall");
    TProductKeys keys("Installed");
    std::vector<uint8_t> recorder = ReadWholeFile(WindowsPath(SETUP_RECORD_RUN));
    std::string stand = std::string(recorder.begin(), recorder.end());
    TWizard wizard(BuildTestInstaller(
        folder,
        Ini("Installed", {"[Components]", "Main=$ProgramFolder", "[Complete]", "Readme=$ProgramFolder\\Readme.exe",
                          "Product=$ProgramFolder\\Product.exe", "Message=All done with $ProductName."}),
        {TPackageItem::Folder("Main", {TPackageItem::File("Readme.exe", stand), TPackageItem::File("Product.exe", stand),
                                       TPackageItem::File("Notes.txt", "n")})}));
    ASSERT_TRUE(wizard.Shown());
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    std::string target = folder / "Installed";
    wizard.SetText(DestFolderInput, target);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgCopy, 5000) || wizard.Page() == pgReady);
    ASSERT_TRUE(wizard.WaitForPage(pgReady, 30000));
    EXPECT_EQ(wizard.Text(CopyStatusLabel), "Creating settings...");
    EXPECT_EQ(wizard.Text(ReadyDescriptionLabel), "All done with Installed.");
    EXPECT_EQ(wizard.Text(NextButton), "&Finish");
    EXPECT_FALSE(wizard.Visible(BackButton));
    EXPECT_FALSE(wizard.Visible(CancelButton));
    EXPECT_TRUE(wizard.Visible(ReadyStartCheck));
    EXPECT_EQ(wizard.Text(ReadyStartCheck), "&Start Installed");
    EXPECT_TRUE(FileExists(target + "\\Notes.txt"));
    wizard.Click(NextButton);
    EXPECT_TRUE(wizard.Ended());
    EXPECT_EQ(wizard.Process().ExitCode(), 0u);
    // The stand-ins ran: the product in the installation folder, the readme without one.
    ASSERT_TRUE(WaitUntil([&] { return FileExists(target + "\\Product.exe.ran") && FileExists(target + "\\Readme.exe.ran"); }));
    Sleep(300);
    std::vector<uint8_t> productFolder = ReadWholeFile(target + "\\Product.exe.ran");
    EXPECT_TRUE(SameTextAscii(std::string(productFolder.begin(), productFolder.end()), target + "\\") ||
                SameTextAscii(std::string(productFolder.begin(), productFolder.end()), target));
    std::vector<uint8_t> readmeFolder = ReadWholeFile(target + "\\Readme.exe.ran");
    EXPECT_FALSE(SameTextAscii(std::string(readmeFolder.begin(), readmeFolder.end()), target));

    // Uninst.exe takes everything away again.
    DeleteFileA((target + "\\Product.exe.ran").c_str());
    DeleteFileA((target + "\\Readme.exe.ran").c_str());
    TProcess uninstaller(target + "\\Uninst.exe");
    TMessageBoxView question = WaitForMessageBox(uninstaller.Id());
    ASSERT_NE(question.Window, nullptr);
    ClickButton(question.Window, "&Yes");
    Sleep(300);
    TMessageBoxView result = WaitForMessageBox(uninstaller.Id());
    EXPECT_EQ(result.Text, "Uninstallation successfully completed.");
    ClickButton(result.Window, "OK");
    EXPECT_TRUE(uninstaller.WaitForExit(10000));
    EXPECT_TRUE(WaitUntil([&] { return !DirectoryExists(target); }, 20000));
}

TEST(Wizard, AFileThatCannotBeWrittenIsAskedAboutAndCancelEndsTheProgram)
{
    TTestFolder folder("WizardLocked");
    TProductKeys keys("Locked");
    TWizard wizard(BuildTestInstaller(folder, Ini("Locked", {"[Components]", "Main=$ProgramFolder"}),
                                      {TPackageItem::Folder("Main", {TPackageItem::File("Busy.dll", "b")})}));
    ASSERT_TRUE(wizard.Shown());
    std::string target = folder / "Locked";
    CreateDirectoryA(target.c_str(), nullptr);
    HANDLE lock = LockFile(target + "\\Busy.dll");
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    wizard.SetText(DestFolderInput, target);
    wizard.Click(NextButton);
    // The folder holds a file that is not the product's: the wizard asks first.
    TMessageBoxView notEmpty = wizard.Box();
    EXPECT_EQ(notEmpty.Text, "The folder '" + target +
                                 "\\' already holds files.\rFiles there with the names of Locked's files will be "
                                 "replaced, and put back when Locked is removed.\r\rDo you want to install Locked into "
                                 "this folder?");
    wizard.Answer(notEmpty, "&Yes");
    TMessageBoxView question = wizard.Box(30000);
    EXPECT_EQ(question.Title, "Warning");
    EXPECT_EQ(question.Text, "Cannot install the file '" + target +
                                 "\\Busy.dll'.\r\rPlease close all running applications to make sure the file is "
                                 "not in use before retrying.");
    EXPECT_EQ(question.Buttons, (std::vector<std::string>{"&Retry", "Cancel"}));
    wizard.Answer(question, "Cancel");
    TMessageBoxView error = wizard.Box();
    EXPECT_EQ(error.Title, "Locked Setup");
    EXPECT_EQ(error.Text.rfind("Cannot create file", 0), 0u) << error.Text;
    wizard.Answer(error, "OK");
    EXPECT_TRUE(wizard.Ended());
    CloseHandle(lock);
    EXPECT_FALSE(FileExists(target + "\\Uninst.exe"));
}

TEST(Wizard32, A64BitPackageIsRefusedOn32BitWindows)
{
    TTestFolder folder("Wizard64On32");
    TWizard wizard(BuildTestInstaller(folder, Ini("Wide", {"Is64Bit=1"})));
    ASSERT_TRUE(wizard.Shown());
    EXPECT_EQ(WindowText(wizard.Window()), "Wide Setup (64-bit)");
    wizard.Click(NextButton);
    TMessageBoxView box = wizard.Box();
    EXPECT_EQ(box.Title, "Information");
    EXPECT_EQ(box.Text, "You must run a 64-bit edition of Windows to be able to install\rthe 64-bit version of Wide. "
                        "Setup will now close.\r\rPlease download and run the 32-bit installer instead.");
    wizard.Answer(box, "OK");
    EXPECT_TRUE(wizard.Ended());
    EXPECT_EQ(wizard.Process().ExitCode(), 3u);  // requirements not met
}

TEST(Wizard, A64BitPackageOffersOnlyAaxAndSaysSo)
{
    TTestFolder folder("Wizard64");
    TWizard wizard(BuildTestInstaller(folder, Ini("Wide", {"Is64Bit=1", "[Pages]", "VstPluginFolder=1",
                                                           "DigiPluginFolder=1", "[Components]",
                                                           "Aax=$AaxPluginFolder"}),
                                                 {TPackageItem::Folder("Aax", {TPackageItem::File("W.aaxplugin", "w")})}));
    ASSERT_TRUE(wizard.Shown());
    EXPECT_EQ(WindowText(wizard.Window()), "Wide Setup (64-bit)");
    wizard.Click(NextButton);  // 64-bit Windows: no refusal
    ASSERT_TRUE(wizard.WaitForPage(pgLicense));
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgVstPlugins));
    EXPECT_EQ(wizard.Text(VstHeadingLabel), "VST Plug-In Installation (64-bit)");
    EXPECT_EQ(wizard.Text(Vst2FolderLabel), "VST 2 Plug-In &Folder (64-bit):");
    EXPECT_FALSE(wizard.Visible(Vst3InstallCheck));  // the package holds no VST 3 plug-ins
    wizard.Click(Vst2InstallCheck);                   // no VST 2 either
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDigiPlugins));
    EXPECT_FALSE(wizard.Visible(RtasInstallCheck));
    EXPECT_FALSE(wizard.Visible(RtasDescriptionLabel));
    EXPECT_TRUE(wizard.Visible(AaxInstallCheck));
    RECT aax, rtas;
    GetWindowRect(wizard.Control(AaxInstallCheck), &aax);
    GetWindowRect(wizard.Control(RtasInstallCheck), &rtas);
    EXPECT_EQ(aax.top, rtas.top);
    EXPECT_EQ(wizard.Text(DigiDescriptionLabel),
              "Please select whether to install the AAX plug-in version of Wide for Pro Tools.");
    EXPECT_NE(wizard.Text(AaxDescriptionLabel).find("The 64-bit AAX format replaces RTAS and is supported starting "
                                                    "from Pro Tools 11."),
              std::string::npos);
    wizard.PressEscape();
    wizard.Answer(wizard.Box(), "&Yes");
    EXPECT_TRUE(wizard.Ended());
}

TEST(Wizard, EscapeOnReadyClosesAtOnceAndStartsNothing)
{
    TTestFolder folder("WizardEscReady");
    TProductKeys keys("EscReady");
    std::vector<uint8_t> recorder = ReadWholeFile(WindowsPath(SETUP_RECORD_RUN));
    std::string stand(recorder.begin(), recorder.end());
    TWizard wizard(BuildTestInstaller(
        folder,
        Ini("EscReady", {"[Components]", "Main=$ProgramFolder", "[Complete]", "Readme=$ProgramFolder\\Readme.exe",
                         "Product=$ProgramFolder\\Product.exe"}),
        {TPackageItem::Folder("Main", {TPackageItem::File("Readme.exe", stand), TPackageItem::File("Product.exe", stand)})}));
    ASSERT_TRUE(wizard.Shown());
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    std::string target = folder / "EscReady";
    wizard.SetText(DestFolderInput, target);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgReady, 30000));
    wizard.PressEscape();
    EXPECT_TRUE(wizard.Ended(5000));  // no question on the Ready page
    Sleep(1000);
    EXPECT_FALSE(FileExists(target + "\\Product.exe.ran"));
    EXPECT_FALSE(FileExists(target + "\\Readme.exe.ran"));
    TRegistry machine;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    machine.DeleteKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\EscReady 2.23");
}

TEST(Wizard, HigherResolutionsScaleTheWindowAndPickThePicture)
{
    TTestFolder folder("WizardDpi");
    std::vector<uint8_t> doubled = ReadWholeFile(WindowsPath(SETUP_EXAMPLE_DIR) + "\\Setup@2x.jpg");
    std::string withDouble = BuildTestInstaller(
        folder, Ini("Dpi"), {TPackageItem::File("Setup@2x.jpg", std::string(doubled.begin(), doubled.end()))});
    ASSERT_TRUE(CopyFileA(withDouble.c_str(), (folder / "Double.exe").c_str(), FALSE));
    BuildTestInstaller(folder, Ini("Dpi"));  // Setup.exe without the double picture
    auto sizes = [&](const std::string& program, std::string& picture) {
        TWizard wizard(program);
        RECT client{};
        if (wizard.Shown()) {
            GetClientRect(wizard.Window(), &client);
            picture = wizard.Text(Image);
            wizard.CloseBox();
            wizard.Answer(wizard.Box(), "&Yes");
            wizard.Ended();
        }
        return std::make_pair(client.right, client.bottom);
    };
    std::string picture;
    EXPECT_EQ(sizes(folder / "Double.exe", picture), std::make_pair(LONG(512), LONG(370)));
    EXPECT_EQ(picture, "Setup.jpg");

    // The screen's resolution as Wine keeps it for the user.
    TRegistry desktop;
    ASSERT_TRUE(desktop.OpenKey("\\Control Panel\\Desktop", true));
    bool had = desktop.ValueExists("LogPixels");
    int32_t old = had ? desktop.ReadInteger("LogPixels") : 96;
    desktop.WriteInteger("LogPixels", 144);
    std::string picture144;
    auto sizes144 = sizes(folder / "Double.exe", picture144);
    desktop.WriteInteger("LogPixels", 192);
    auto doubleSizes = sizes(folder / "Double.exe", picture);
    std::string doublePicture = picture;
    sizes(folder / "Setup.exe", picture);
    if (had)
        desktop.WriteInteger("LogPixels", old);
    else
        desktop.DeleteValue("LogPixels");
    EXPECT_EQ(sizes144, std::make_pair(LONG(768), LONG(555)));
    EXPECT_EQ(picture144, "Setup.jpg");  // below 192 the normal picture, stretched
    EXPECT_EQ(doubleSizes, std::make_pair(LONG(1024), LONG(740)));
    EXPECT_EQ(doublePicture, "Setup@2x.jpg");
    EXPECT_EQ(picture, "Setup.jpg");  // the fallback
}

TEST(Wizard, BrowseOpensTheFolderBrowserAndCancelKeepsTheText)
{
    TTestFolder folder("WizardBrowse");
    TWizard wizard(BuildTestInstaller(folder, Ini("Browse")));
    ASSERT_TRUE(wizard.Shown());
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    wizard.SetText(DestFolderInput, folder.Path());
    wizard.Click(DestBrowseButton);
    TMessageBoxView browser = wizard.Box();
    ASSERT_NE(browser.Window, nullptr);
    // The prompt stands in the browser; Cancel leaves the typed folder as it was.
    bool prompt = false;
    EnumChildWindows(
        browser.Window,
        [](HWND child, LPARAM found) -> BOOL CALLBACK {
            if (WindowText(child) == "Select the folder in which Browse will be installed:")
                *reinterpret_cast<bool*>(found) = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&prompt));
    EXPECT_TRUE(prompt);
    wizard.Answer(browser, "Cancel");
    EXPECT_EQ(wizard.Text(DestFolderInput), folder.Path());
    wizard.CloseBox();
    wizard.Answer(wizard.Box(), "&Yes");
    EXPECT_TRUE(wizard.Ended());
}

TEST(Wizard, Vst3LineIsHiddenWhenEveryBundleItemCarriesVst3)
{
    TTestFolder folder("WizardVst3All");
    TWizard wizard(BuildTestInstaller(
        folder,
        Ini("AllVst3", {"IsBundle=1", "BundleRegistryRoot=Software\\SetupTests\\AllVst3\\Items", "[Pages]",
                        "VstPluginFolder=1", "[Components]", "Vst3 $BundleItem=$Vst3PluginFolder"}),
        {TPackageItem::File("BundleInfo.ini", "A=1.10\r\nB=1.20\r\n"),
         TPackageItem::Folder("Vst3 A", {TPackageItem::File("A.vst3", "a")}),
         TPackageItem::Folder("Vst3 B", {TPackageItem::File("B.vst3", "b")})}));
    ASSERT_TRUE(wizard.Shown());
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgVstPlugins));
    EXPECT_FALSE(wizard.Visible(Vst3ListLabel));
    EXPECT_TRUE(wizard.Visible(Vst3InstallCheck));
    RECT box, line;
    GetWindowRect(wizard.Control(Vst3InstallCheck), &box);
    GetWindowRect(wizard.Control(Vst3ListLabel), &line);
    EXPECT_EQ(box.top, line.top);  // moved down into the hidden line's place, 16 design pixels
    wizard.CloseBox();
    wizard.Answer(wizard.Box(), "&Yes");
    EXPECT_TRUE(wizard.Ended());
}

TEST(Wizard, EscapeInTheLicenceTextAsksAndTheFocusComesBack)
{
    TTestFolder folder("WizardEscMemo");
    TWizard wizard(BuildTestInstaller(folder, Ini("EscMemo")));
    ASSERT_TRUE(wizard.Shown());
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgLicense));
    wizard.PressKey(VK_TAB);
    wizard.PressKey(VK_TAB);  // Next, Cancel, then the licence text
    ASSERT_TRUE(wizard.Focused(LicenseMemo));
    // The text answers Esc by closing its parent: the window asks, the page stays.
    wizard.PressEscape();
    TMessageBoxView question = wizard.Box(5000);
    EXPECT_NE(question.Text.find(CancelQuestion), std::string::npos);
    wizard.Answer(question, "&No");
    EXPECT_EQ(wizard.Page(), pgLicense);
    EXPECT_TRUE(wizard.Visible(LicenseMemo));
    EXPECT_EQ(wizard.Text(LicenseMemo), "Licence line one\r\nLicence line two\r\n");
    EXPECT_TRUE(WaitUntil([&] { return wizard.Focused(LicenseMemo); }, 3000));
    // Answering No from a button gives the focus back to that button.
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    wizard.PressKey(VK_TAB);  // from the folder box to Browse
    ASSERT_TRUE(wizard.Focused(DestBrowseButton));
    wizard.PressEscape();
    wizard.Answer(wizard.Box(5000), "&No");
    EXPECT_TRUE(WaitUntil([&] { return wizard.Focused(DestBrowseButton); }, 3000));
    wizard.PressEscape();
    wizard.Answer(wizard.Box(5000), "&Yes");
    EXPECT_TRUE(wizard.Ended());
}

TEST(Wizard, TheProToolsPageOffersOnlyTheFormatsThePackageCarries)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> Components;
        bool Shown, Rtas, Aax;
        const char* Formats;
    } cases[] = {
        {"Neither", {}, false, false, false, ""},
        {"OnlyAax", {"Aax=$AaxPluginFolder"}, true, false, true, "AAX"},
        {"OnlyRtas", {"Rtas=$DigiPluginFolder"}, true, true, false, "RTAS"},
        {"Both", {"Rtas=$DigiPluginFolder", "Aax=$AaxPluginFolder"}, true, true, true, "RTAS and AAX"},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TTestFolder folder(std::string("WizardDigi") + test.Name);
        std::vector<std::string> ini = {"[Pages]", "DigiPluginFolder=1", "[Components]"};
        ini.insert(ini.end(), test.Components.begin(), test.Components.end());
        TWizard wizard(BuildTestInstaller(folder, Ini(test.Name, ini),
                                          {TPackageItem::Folder("Rtas", {TPackageItem::File("P.dpm", "r")}),
                                           TPackageItem::Folder("Aax", {TPackageItem::File("P.aaxplugin", "a")})}));
        ASSERT_TRUE(wizard.Shown());
        wizard.Click(NextButton);
        wizard.Click(NextButton);
        ASSERT_TRUE(WaitUntil([&] { return wizard.Page() > pgLicense; }));
        EXPECT_EQ(wizard.Page(), test.Shown ? pgDigiPlugins : pgDest);
        if (test.Shown) {
            EXPECT_EQ(wizard.Visible(RtasInstallCheck), test.Rtas);
            EXPECT_EQ(wizard.Visible(AaxInstallCheck), test.Aax);
            EXPECT_EQ(wizard.Text(DigiDescriptionLabel), std::string("Please select whether to install the ") +
                                                             test.Formats + " plug-in version of " + test.Name +
                                                             " for Pro Tools.");
            RECT first, rtasPlace;
            GetWindowRect(wizard.Control(test.Rtas ? RtasInstallCheck : AaxInstallCheck), &first);
            GetWindowRect(wizard.Control(RtasInstallCheck), &rtasPlace);
            EXPECT_EQ(first.top, rtasPlace.top);  // the first offered format stands at the top
        }
        wizard.CloseBox();
        wizard.Answer(wizard.Box(), "&Yes");
        EXPECT_TRUE(wizard.Ended());
    }
}

TEST(Wizard, TheWindowAnswersAndTheBarMovesWhileALargeFileIsWritten)
{
    TTestFolder folder("WizardLarge");
    TProductKeys keys("Large");
    // 96 MiB in one file: long enough to watch, small in the package.
    std::string large(96u << 20, '\0');
    for (size_t i = 0; i < large.size(); i += 4096) large[i] = char(i >> 12);
    TWizard wizard(BuildTestInstaller(folder, Ini("Large", {"[Components]", "Main=$ProgramFolder"}),
                                      {TPackageItem::Folder("Main", {TPackageItem::File("Samples.bin", large)})}));
    large.clear();
    ASSERT_TRUE(wizard.Shown());
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    std::string target = folder / "Large";
    wizard.SetText(DestFolderInput, target);
    PostMessageA(wizard.Control(NextButton), BM_CLICK, 0, 0);
    // While the files are copied: every position the bar shows, and whether the
    // window answers a message sent to it before the copying is over.
    std::vector<int> positions;
    int answered = 0;
    auto copying = [&] { return wizard.Page() == pgCopy && wizard.Text(CopyStatusLabel) == "Copying files..."; };
    WaitUntil(copying, 20000);
    while (copying()) {
        DWORD_PTR position = 0;
        if (SendMessageTimeoutA(wizard.Control(CopyProgressBar), PBM_GETPOS, 0, 0, SMTO_NORMAL, 1000, &position) &&
            copying()) {
            ++answered;
            if (positions.empty() || positions.back() != int(position)) positions.push_back(int(position));
        }
        Sleep(20);
    }
    ASSERT_TRUE(wizard.WaitForPage(pgReady, 60000));
    EXPECT_GT(answered, 1) << "the window did not answer while the files were copied";
    bool within = false;
    for (int position : positions) within = within || (position > 25 && position < 75);
    EXPECT_TRUE(within) << "the bar stood still during the file";
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    wizard.CloseBox();
    EXPECT_TRUE(wizard.Ended());
    TRegistry machine;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    machine.DeleteKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Large 2.23");
}

