#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdlib>
#include <set>

#include "FileSystem.h"
#include "PathUtils.h"
#include "Registry.h"
#include "SetupInstaller.h"
#include "SetupRun.h"
#include "ShellFolders.h"
#include "TestFiles.h"
#include "WindowDriver.h"
#include "WizardDriver.h"

namespace {

class TSilentProgress : public IInstallProgress {
public:
    void SetProgress(int) override {}
    void SetStatus(const std::string&) override {}
};

// What an installation can leave behind: files below a folder, and the names
// of the registry keys the product touches.
std::set<std::string> ListFiles(const std::string& folder)
{
    std::set<std::string> files;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        files.insert(folder + "\\" + name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            for (const std::string& inner : ListFiles(folder + "\\" + name)) files.insert(inner);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return files;
}

std::set<std::string> ListKeys(HKEY root, const std::string& key)
{
    TRegistry registry(KEY_READ);
    registry.RootKey = root;
    if (!registry.OpenKey(key, false)) return {};
    std::vector<std::string> names = registry.GetKeyNames();
    return std::set<std::string>(names.begin(), names.end());
}

struct TSnapshot {
    std::set<std::string> Files, StartMenu, MachineSoftware, UserSoftware, Registrations;
    bool operator==(const TSnapshot& o) const
    {
        return Files == o.Files && StartMenu == o.StartMenu && MachineSoftware == o.MachineSoftware &&
               UserSoftware == o.UserSoftware && Registrations == o.Registrations;
    }
};

TSnapshot Take(const std::string& folder)
{
    return {ListFiles(ExcludeDelimiter(folder)), ListFiles(GetSpecialFolder(sfPrograms)),
            ListKeys(HKEY_LOCAL_MACHINE, "\\Software"), ListKeys(HKEY_CURRENT_USER, "\\Software"),
            ListKeys(HKEY_LOCAL_MACHINE, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall")};
}

// The example product installed with the engine into the test's folder.
class ExampleUninstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* built = std::getenv("SETUP_EXAMPLE_INSTALLER");
        if (!built) GTEST_SKIP() << "SETUP_EXAMPLE_INSTALLER is not set (CTest sets it)";
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        Folder = std::make_unique<TTestFolder>(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ForgetSharedFiles(Folder->Path());  // what an interrupted run may have left
        Before = Take(Folder->Path());
        ASSERT_TRUE(CopyFileA(WindowsPath(built).c_str(), (*Folder / "Setup.exe").c_str(), FALSE));
        {
            // The model holds its installer while it lives.
            TSetupInstaller model(*Folder / "Setup.exe");
            model.SetInstallFolder(*Folder / "Example Echo");
            model.Choices.Vst2Folder = *Folder / "VstPlugins";
            model.Choices.Vst3Folder = *Folder / "VST3";
            model.Choices.AaxFolder = *Folder / "AAX";
            model.Choices.ShortcutChoice = skStartMenu;
            TSilentProgress progress;
            RunInstallation(model, progress);
            Uninstaller = model.Choices.InstallFolder + "Uninst.exe";
        }
        DeleteFileA((*Folder / "Setup.exe").c_str());
    }
    void TearDown() override
    {
        if (!Folder) return;  // skipped: nothing was set up
        ForgetExampleEcho();
        ForgetSharedFiles(Folder->Path());
        Folder.reset();
        CoUninitialize();
    }

    std::unique_ptr<TTestFolder> Folder;
    TSnapshot Before;
    std::string Uninstaller;
};

}  // namespace

TEST_F(ExampleUninstall, YesRemovesEverythingTheInstallationLeft)
{
    ASSERT_TRUE(FileExists(Uninstaller));
    EXPECT_FALSE(Take(Folder->Path()) == Before);
    // Where the clean-up script once lived, anybody can write: what is there
    // now is never run.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string script = std::string(temp) + "Uninstall.bat", marker = *Folder / "ran.txt";
    const std::string lines = "echo ran > \"" + marker + "\"\r\n";
    WriteWholeFile(script, std::vector<uint8_t>(lines.begin(), lines.end()));
    TProcess process(Uninstaller);
    TMessageBoxView question = WaitForMessageBox(process.Id());
    ASSERT_NE(question.Window, nullptr);
    EXPECT_EQ(question.Title, "Confirm");
    EXPECT_EQ(question.Text, "Are you sure you want to completely remove Example Echo 1.20\rand all of its components?");
    EXPECT_EQ(question.Buttons, (std::vector<std::string>{"&Yes", "&No"}));
    ClickButton(question.Window, "&Yes");
    Sleep(300);
    TMessageBoxView result = WaitForMessageBox(process.Id());
    ASSERT_NE(result.Window, nullptr);
    EXPECT_EQ(result.Title, "Information");
    EXPECT_EQ(result.Text, "Uninstallation successfully completed.");
    ClickButton(result.Window, "OK");
    ASSERT_TRUE(process.WaitForExit(10000));
    EXPECT_EQ(process.ExitCode(), 0u);
    // The clean-up deletes Uninst.exe and its folder once the uninstaller has
    // ended, and then goes itself.
    EXPECT_TRUE(GoneWithin(Uninstaller, 20000));
    EXPECT_TRUE(GoneWithin(*Folder / "Example Echo", 20000));
    EXPECT_TRUE(CleanUpFoldersGoneWithin(20000));
    EXPECT_FALSE(FileExists(marker));
    EXPECT_EQ(ReadWholeFile(script), std::vector<uint8_t>(lines.begin(), lines.end()));
    DeleteFileA(script.c_str());
    TSnapshot after = Take(Folder->Path());
    EXPECT_EQ(after.Files, Before.Files);
    EXPECT_EQ(after.StartMenu, Before.StartMenu);
    EXPECT_EQ(after.Registrations, Before.Registrations);
    // The product keys are gone from both hives, and with them the maker's
    // and product's keys the installation created above them.
    EXPECT_EQ(after.MachineSoftware, Before.MachineSoftware);
    EXPECT_EQ(after.UserSoftware, Before.UserSoftware);
}

TEST_F(ExampleUninstall, NoLeavesEveryItemAndStartsNoCleanUp)
{
    TSnapshot installed = Take(Folder->Path());
    ASSERT_TRUE(CleanUpFolders().empty());
    TProcess process(Uninstaller);
    TMessageBoxView question = WaitForMessageBox(process.Id());
    ASSERT_NE(question.Window, nullptr);
    ClickButton(question.Window, "&No");
    ASSERT_TRUE(process.WaitForExit(10000));
    EXPECT_EQ(process.ExitCode(), 2u);  // the user said No
    EXPECT_TRUE(Take(Folder->Path()) == installed);
    EXPECT_TRUE(CleanUpFolders().empty());
}

TEST_F(ExampleUninstall, AFileDeletedBeforehandNamesTheProductInTheResult)
{
    ASSERT_TRUE(DeleteFileA((*Folder / "Example Echo\\Readme.txt").c_str()));
    TProcess process(Uninstaller);
    TMessageBoxView question = WaitForMessageBox(process.Id());
    ASSERT_NE(question.Window, nullptr);
    ClickButton(question.Window, "&Yes");
    Sleep(300);
    TMessageBoxView result = WaitForMessageBox(process.Id());
    ASSERT_NE(result.Window, nullptr);
    EXPECT_EQ(result.Text, "Uninstallation successfully completed.\r\rSome items could not be removed. You should "
                           "manually \rremove items related to Example Echo.");
    ClickButton(result.Window, "OK");
    ASSERT_TRUE(process.WaitForExit(10000));
    EXPECT_TRUE(GoneWithin(Uninstaller, 20000));
}

TEST(Uninstallers, ThreeAtOnceLeaveNothing)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TTestFolder folder("ThreeUninstallers");
    ForgetSharedFiles(folder.Path());
    std::vector<std::unique_ptr<TProductKeys>> keys;
    std::vector<std::string> products;
    for (int i = 1; i <= 3; ++i) {
        std::string name = "Concurrent" + std::to_string(i);
        keys.push_back(std::make_unique<TProductKeys>(name));
        TTestFolder build(name + "Build");
        std::string program = BuildTestInstaller(
            build,
            {"[Setup]", "ProductName=" + name, "RegistryRoot=Software\\SetupTests\\" + name,
             "DefaultFolder=SetupTests\\" + name, "[Components]", "Main=$ProgramFolder"},
            {TPackageItem::Folder("Main", {TPackageItem::File("Echo.dll", name)})});
        TSetupInstaller model(program);
        model.SetInstallFolder(folder / name);
        TSilentProgress progress;
        RunInstallation(model, progress);
        products.push_back(model.Choices.InstallFolder);
        ASSERT_TRUE(FileExists(products.back() + "Uninst.exe"));
    }

    std::vector<std::unique_ptr<TProcess>> running;
    for (const std::string& product : products) running.push_back(std::make_unique<TProcess>(product + "Uninst.exe"));
    for (auto& process : running) {
        TMessageBoxView question = WaitForMessageBox(process->Id());
        ASSERT_NE(question.Window, nullptr);
        ClickButton(question.Window, "&Yes");
    }
    for (auto& process : running) {
        TMessageBoxView result = WaitForMessageBox(process->Id());
        ASSERT_NE(result.Window, nullptr);
        EXPECT_EQ(result.Text, "Uninstallation successfully completed.");
        ClickButton(result.Window, "OK");
    }
    for (auto& process : running) EXPECT_TRUE(process->WaitForExit(15000));
    for (const std::string& product : products) EXPECT_TRUE(GoneWithin(product, 20000)) << "left " << product;
    EXPECT_TRUE(CleanUpFoldersGoneWithin(20000));
    ForgetSharedFiles(folder.Path());
    CoUninitialize();
}
