// A maker on Windows starts from `mksetup.exe new`: the folder it makes builds
// into an installer whose wizard shows its side picture and which installs
// and uninstalls.
#include <gtest/gtest.h>
#include <objbase.h>

#include "FileSystem.h"
#include "MainFormDesign.h"
#include "PathUtils.h"
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
    for (const char* name : {"\\VstX\\NewEcho.dll", "\\Vst3\\NewEcho.vst3", "\\Aax\\NewEcho.aaxplugin"})
        WriteWholeFile(product + name, plugin);
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
    EXPECT_EQ(RunToEnd(install + "\\Uninst.exe", "/S"), 0u);
    EXPECT_TRUE(GoneWithin(install, 20000));
    EXPECT_FALSE(FileExists(folder / "Vst\\NewEcho.dll"));
    ForgetSharedFiles(folder.Path());
    CoUninitialize();
}
