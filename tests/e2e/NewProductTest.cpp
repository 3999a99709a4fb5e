// A maker on Windows starts from `mksetup.exe new`: the folder it makes builds
// into an installer whose wizard shows its side picture and which installs
// and uninstalls. And what the Setup.ini reference promises is what
// mksetup.exe and Setup.exe do.
#include <gtest/gtest.h>
#include <objbase.h>

#include <functional>

#include "FileSystem.h"
#include "WizardDesign.h"
#include "PathUtils.h"
#include "Platform.h"
#include "Registry.h"
#include "ShellFolders.h"
#include "TestFiles.h"
#include "WizardDriver.h"

namespace {

DWORD RunToEnd(const std::string& program, const std::string& arguments)
{
    TProcess process(program, arguments);
    if (!process.WaitForExit(60000)) return ~0u;
    return process.ExitCode();
}

}  // namespace

TEST(NewProduct, MadeBuiltShownInstalledAndRemovedOnWindows)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TTestFolder folder("NewProduct");
    TProductKeys keys("NewEcho");
    ForgetSharedFiles(folder.Path());
    std::string mksetup = WindowsPath(SETUP_MKSETUP), product = folder / "NewEcho";
    ASSERT_EQ(RunToEnd(mksetup, "new \"" + product + "\" --product NewEcho --maker SetupTests"), 0u);
    // Its plug-in folders start empty, and the build refuses it so.
    EXPECT_EQ(RunToEnd(mksetup, "build \"" + product + "\" --version 1.00 -o \"" + folder / "Setup.exe\""), 1u);
    EXPECT_FALSE(FileExists(folder / "Setup.exe"));
    // The head of a 64-bit program stands in for each plug-in.
    std::vector<uint8_t> plugin(0x60, 0);
    plugin[0] = 'M', plugin[1] = 'Z', plugin[0x3C] = 0x40, plugin[0x40] = 'P', plugin[0x41] = 'E';
    plugin[0x44] = 0x64, plugin[0x45] = 0x86;
    for (const char* name : {"\\VstX\\NewEcho.dll", "\\Vst3\\NewEcho.vst3", "\\Clap\\NewEcho.clap", "\\Aax\\NewEcho.aaxplugin"})
        WriteWholeFile(product + name, plugin);
    // What a folder copied from a Mac or a repository brings along: none of it reaches the machine.
    const char* junk[] = {"\\VstX\\._NewEcho.dll", "\\VstX\\.DS_Store", "\\Main\\Thumbs.db", "\\Main\\Readme.txt~",
                          "\\Main\\.git\\HEAD", "\\Main\\__MACOSX\\._Readme.txt"};
    for (const char* name : junk) {
        CreateDirectoryA(ExcludeDelimiter(ExtractFilePath(product + name)).c_str(), nullptr);
        WriteWholeFile(product + name, std::vector<uint8_t>{'j'});
    }
    ASSERT_EQ(RunToEnd(mksetup, "build \"" + product + "\" --version 1.00 -o \"" + folder / "Setup.exe\""), 0u);

    // The side picture the tool drew is one the wizard can show: no box says otherwise.
    {
        TWizard wizard(folder / "Setup.exe");
        ASSERT_TRUE(wizard.Shown());
        EXPECT_EQ(wizard.Page(), Wizard::pgWelcome);
        EXPECT_TRUE(TopLevelWindows(wizard.Process().Id(), "#32770").empty());
        wizard.Click(Wizard::CancelButton);
        wizard.Answer(wizard.Box(), "&Yes");
        EXPECT_TRUE(wizard.Ended());
    }
    std::string install = folder / "Install";
    EXPECT_EQ(RunToEnd(folder / "Setup.exe", "/S /DIR=\"" + install + "\" /VST2DIR=\"" + folder / "Vst\""), 0u);
    EXPECT_TRUE(FileExists(install + "\\Readme.txt"));
    EXPECT_TRUE(FileExists(folder / "Vst\\NewEcho.dll"));
    for (const char* name : {"Vst\\._NewEcho.dll", "Vst\\.DS_Store", "Install\\Thumbs.db", "Install\\Readme.txt~",
                             "Install\\.git", "Install\\__MACOSX"})
        EXPECT_FALSE(FileExists(folder / name) || DirectoryExists(folder / name)) << name;
    const std::string clap = GetProgramFiles64Folder(sfCommonFiles) + "\\CLAP\\NewEcho.clap";
    EXPECT_TRUE(FileExists(clap)) << clap;
    EXPECT_EQ(RunToEnd(install + "\\Uninst.exe", "/S"), 0u);
    EXPECT_TRUE(GoneWithin(install, 20000));
    EXPECT_FALSE(FileExists(folder / "Vst\\NewEcho.dll"));
    EXPECT_FALSE(FileExists(clap));
    ForgetSharedFiles(folder.Path());
    CoUninitialize();
}

namespace {

// A product folder of the test's own, built by mksetup.exe: what varies per row
// is DefaultFolder and the other keys of [Setup], the VST 2 component line and
// the lines after them.
struct TDocumented {
    const char* Says;  // what docs/setup-ini.md says
    std::string SetupKeys, VstLine;
    std::vector<std::string> Lines;
    std::string Installed;  // the folder it lands in, below Program Files
    bool ThroughTheWizard;  // else installed with /S before Shows looks
    std::function<void(const std::string& setup, const std::string& install, const std::string& vst)> Shows;
    std::string Removing = "removing DocEcho 1.00";  // what the uninstaller's log says it removes
};

void WriteProduct(const std::string& product, const TDocumented& row)
{
    std::string ini = "[Setup]\r\nProductName=DocEcho\r\nRegistryRoot=Software\\SetupTests\\DocEcho\r\n" + row.SetupKeys +
                      "\r\n[Components]\r\nMain=$ProgramFolder\r\n" + row.VstLine + "\r\n";
    for (const std::string& line : row.Lines) ini += line + "\r\n";
    CreateDirectoryA(product.c_str(), nullptr);
    WriteWholeFile(product + "\\Setup.ini", std::vector<uint8_t>(ini.begin(), ini.end()));
    WriteWholeFile(product + "\\Setup.lic", {'L'});
    WriteWholeFile(product + "\\Setup.jpg", ReadWholeFile(WindowsPath(SETUP_EXAMPLE_DIR "/Setup.jpg")));
    for (const char* folder : {"\\Main", "\\VstX"}) CreateDirectoryA((product + folder).c_str(), nullptr);
    WriteWholeFile(product + "\\Main\\Readme.txt", {'r'});
    std::vector<uint8_t> plugin(0x60, 0);  // the head of a 32-bit program
    plugin[0] = 'M', plugin[1] = 'Z', plugin[0x3C] = 0x40, plugin[0x40] = 'P', plugin[0x41] = 'E', plugin[0x44] = 0x4C,
    plugin[0x45] = 0x01;
    WriteWholeFile(product + "\\VstX\\Echo.dll", plugin);
}

std::string ReadSetting(HKEY root, const std::string& key, const std::string& name)
{
    TRegistry registry;
    registry.RootKey = root;
    return registry.OpenKey(key, false) ? registry.ReadString(name) : "(no key)";
}

}  // namespace

// Each row is something the Setup.ini reference promises, built by mksetup.exe
// and installed by Setup.exe as a maker's customer would run them.
TEST(NewProduct, EachDocumentedBehaviourIsWhatTheProgramsDo)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string settings = "\\Software\\SetupTests\\DocEcho\\1.0\\Settings";
    const TDocumented rows[] = {
        {"%.2d pads the major version with zeros", "DefaultFolder=SetupTests\\Verbiage %.2d", "VstX=$VstPluginFolder", {},
         "SetupTests\\Verbiage 01", false, nullptr},
        {"a width pads it with blanks, %02d too", "DefaultFolder=SetupTests\\Verbiage %02d", "VstX=$VstPluginFolder", {},
         "SetupTests\\Verbiage  1", false, nullptr},
        {"settings expand folder variables and keep text variables as written", "DefaultFolder=SetupTests\\DocEcho",
         "VstX=$VstPluginFolder", {"[RegistrySettings]", "Settings\\Name=$ProductName", "Settings\\Path=$ProgramFolder"},
         "SetupTests\\DocEcho", false,
         [&](const std::string&, const std::string& install, const std::string&) {
             EXPECT_EQ(ReadSetting(HKEY_CURRENT_USER, settings, "Name"), "$ProductName");
             EXPECT_EQ(ReadSetting(HKEY_CURRENT_USER, settings, "Path"), ExcludeDelimiter(install));
         }},
        {"DLLSuffix puts a blank and the suffix before a DLL's extension", "DefaultFolder=SetupTests\\DocEcho",
         "VstX=$VstPluginFolder,DLLSuffix: (Mono)", {}, "SetupTests\\DocEcho", false,
         [](const std::string&, const std::string&, const std::string& vst) {
             EXPECT_TRUE(FileExists(vst + "\\Echo (Mono).dll"));
             EXPECT_FALSE(FileExists(vst + "\\Echo.dll"));
         }},
        {"the shortcuts page offers only the boxes of locations [Shortcuts] names", "DefaultFolder=SetupTests\\DocEcho",
         "VstX=$VstPluginFolder", {"[Shortcuts]", "Desktop=$ProgramFolder\\Readme.txt,DocEcho Readme"},
         "SetupTests\\DocEcho", true,
         [](const std::string& setup, const std::string& install, const std::string& vst) {
             TWizard wizard(setup);
             ASSERT_TRUE(wizard.Shown());
             for (int page = wizard.Page(); page != Wizard::pgIcon; page = wizard.Page()) {
                 if (page == Wizard::pgVstPlugins) wizard.SetText(Wizard::Vst2FolderInput, vst);
                 if (page == Wizard::pgDest) wizard.SetText(Wizard::DestFolderInput, install);
                 wizard.Click(Wizard::NextButton);
                 ASSERT_TRUE(WaitUntil([&] { return wizard.Page() != page; })) << "stuck on page " << page;
             }
             EXPECT_FALSE(wizard.Visible(Wizard::IconStartMenuCheck));
             EXPECT_FALSE(wizard.Visible(Wizard::IconStartMenuLabel));
             EXPECT_TRUE(wizard.Visible(Wizard::IconDesktopCheck));
             RECT desktop, startMenu;  // in the start-menu box's place
             GetWindowRect(wizard.Control(Wizard::IconDesktopCheck), &desktop);
             GetWindowRect(wizard.Control(Wizard::IconStartMenuCheck), &startMenu);
             EXPECT_EQ(desktop.top, startMenu.top);
             wizard.Click(Wizard::NextButton);
             ASSERT_TRUE(wizard.WaitForPage(Wizard::pgReady, 60000));
             wizard.CloseBox();
             EXPECT_TRUE(wizard.Ended());
             EXPECT_TRUE(FileExists(GetSpecialFolder(sfDesktop) + "\\DocEcho Readme.lnk"));
         }},
        {"DisplayVersion is the version the list of installed programs shows; the key keeps the record's",
         "DefaultFolder=SetupTests\\DocEcho\r\nDisplayVersion=1.0.10", "VstX=$VstPluginFolder", {}, "SetupTests\\DocEcho",
         false, [](const std::string&, const std::string&, const std::string&) {
             const std::string key = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DocEcho 1.00";
             EXPECT_EQ(ReadSetting(HKEY_LOCAL_MACHINE, key, "DisplayVersion"), "1.0.10");
             EXPECT_EQ(ReadSetting(HKEY_LOCAL_MACHINE, key, "DisplayName"), "DocEcho 1.0.10");
         },
         "removing DocEcho 1.0.10"},
    };
    for (const TDocumented& row : rows) {
        SCOPED_TRACE(row.Says);
        TTestFolder folder("Documented");
        TProductKeys keys("DocEcho");
        ForgetSharedFiles(folder.Path());
        std::string product = folder / "DocEcho", setup = folder / "Setup.exe", vst = folder / "Vst";
        WriteProduct(product, row);
        ASSERT_EQ(RunToEnd(WindowsPath(SETUP_MKSETUP), "build \"" + product + "\" --version 1.00 -o \"" + setup + "\""), 0u);
        std::string install = GetSpecialFolder(sfProgramFiles) + "\\" + row.Installed;
        if (row.ThroughTheWizard) {
            row.Shows(setup, install, vst);
        } else {
            ASSERT_EQ(RunToEnd(setup, "/S /VST2DIR=\"" + vst + "\""), 0u);
            EXPECT_TRUE(FileExists(install + "\\Readme.txt")) << install;
            if (row.Shows) row.Shows(setup, install, vst);
        }
        std::string removal = folder / "uninstall.log";
        EXPECT_EQ(RunToEnd(install + "\\Uninst.exe", "/S /LOG=\"" + removal + "\""), 0u);
        std::vector<uint8_t> said = ReadWholeFile(removal);
        EXPECT_NE(std::string(said.begin(), said.end()).find(row.Removing), std::string::npos) << row.Removing;
        EXPECT_TRUE(GoneWithin(install, 20000));
        ForgetSharedFiles(folder.Path());
    }
    CoUninitialize();
}
