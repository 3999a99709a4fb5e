// Installs and removals through the real Setup.exe and Uninst.exe touch only
// what is the product's: the user's files come back with their own contents,
// an upgrade's uninstaller removes what every version created, and a version
// installed beside another one leaves it intact when it goes.
#include <gtest/gtest.h>
#include <objbase.h>

#include <map>

#include "FileSystem.h"
#include "WizardDesign.h"
#include "PathUtils.h"
#include "Registry.h"
#include "ShellFolders.h"
#include "ShellLinks.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "WizardDriver.h"

using namespace Wizard;

namespace {

void Write(const std::string& path, const std::string& text)
{
    WriteWholeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<std::string> Ini(const std::string& name, std::vector<std::string> extra)
{
    std::vector<std::string> lines = {"[Setup]", "ProductName=" + name, "RegistryRoot=Software\\SetupTests\\" + name,
                                      "DefaultFolder=SetupTests\\" + name + " %d"};
    lines.insert(lines.end(), extra.begin(), extra.end());
    return lines;
}

const char Completed[] = "Uninstallation successfully completed.";

class Ownership : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        Name = std::string("Own") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        Folder = std::make_unique<TTestFolder>(Name);
        Keys = std::make_unique<TProductKeys>(Name);
        ForgetShared();
    }
    void TearDown() override
    {
        Keys.reset();
        ForgetShared();
        Folder.reset();
        CoUninitialize();
    }
    // One installer of the product at a version, in a folder of its own.
    std::string Installer(const std::string& version, const std::vector<std::string>& ini,
                          std::vector<TPackageItem> items)
    {
        TTestFolder build(Name + "Build" + version);
        std::string program = *Folder / ("Setup " + version + ".exe");
        CopyFileA(BuildTestInstaller(build, Ini(Name, ini), std::move(items), version).c_str(), program.c_str(), FALSE);
        return program;
    }
    // The shared counts of the test's folders, its Documents folder among them.
    void ForgetShared()
    {
        ForgetSharedFiles(Folder->Path());
        ForgetSharedFiles(GetSpecialFolder(sfPersonal) + "\\" + Name + "\\");
    }
    std::string Name;
    std::unique_ptr<TTestFolder> Folder;
    std::unique_ptr<TProductKeys> Keys;
};

}  // namespace

TEST_F(Ownership, TheUsersFilesInTheChosenFolderComeBackWithTheirOwnContents)
{
    std::string mine = *Folder / "Mine\\";
    CreateDirectoryA(mine.c_str(), nullptr);
    Write(mine + "Readme.txt", "my own notes");
    Write(mine + "Letter.doc", "a letter");
    std::map<std::string, std::string> before = FolderListing(mine);
    std::string program = Installer("2.10", {"[Components]", "Main=$ProgramFolder"},
                                    {TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "the product's"),
                                                                   TPackageItem::File("Echo.dll", "dll")})});
    std::string asked = InstallWithTheWizard(program, mine);
    EXPECT_NE(asked.find("already holds files"), std::string::npos) << asked;
    EXPECT_EQ(FolderListing(mine)[mine + "Readme.txt"], "the product's");
    EXPECT_EQ(UninstallWith(mine + "Uninst.exe"), Completed);
    EXPECT_EQ(FolderListing(mine), before);  // the folder was there before: it stays, as it was
}

TEST_F(Ownership, AnUpgradesUninstallerRemovesWhatEveryVersionCreated)
{
    std::string product = *Folder / "Product\\", aax = *Folder / "Aax\\";
    // 2.10 ships a preset and an AAX bundle; 2.30 no longer ships the preset.
    std::vector<std::string> ini = {"[Folders]", "Aax=" + aax, "[Components]", "Main=$ProgramFolder",
                                    "Presets=$ProgramFolder\\Presets", "Bundle=%Aax\\" + Name + ".aaxplugin"};
    auto main = [](const std::string& text) { return TPackageItem::Folder("Main", {TPackageItem::File("Echo.dll", text)}); };
    TPackageItem bundle = TPackageItem::Folder("Bundle", {TPackageItem::Folder("Contents", {TPackageItem::File("x.aaxplugin", "x")})});
    EXPECT_EQ(InstallWithTheWizard(Installer("2.10", ini, {main("2.10"), bundle,
                                                          TPackageItem::Folder("Presets", {TPackageItem::File("Old.preset", "o")})}),
                                   product), "");
    // Installed again, and upgraded, into the same folder.
    EXPECT_EQ(InstallWithTheWizard(Installer("2.10", ini, {main("2.10 again"), bundle}), product), "");
    EXPECT_EQ(InstallWithTheWizard(Installer("2.30", ini, {main("2.30"), bundle}), product), "");
    EXPECT_EQ(FolderListing(product)[product + "Echo.dll"], "2.30");
    EXPECT_EQ(UninstallWith(product + "Uninst.exe"), Completed);
    EXPECT_FALSE(DirectoryExists(product));
    EXPECT_FALSE(DirectoryExists(aax)) << ::testing::PrintToString(FolderListing(aax));
}

TEST_F(Ownership, RemovingOneVersionLeavesTheOtherIntact)
{
    std::string documents = GetSpecialFolder(sfPersonal), presets = documents + "\\" + Name + "\\";
    std::string links = GetSpecialFolder(sfPrograms) + "\\", link = links + Name + " Readme.lnk";
    std::vector<std::string> ini = {"[Components]", "Main=$ProgramFolder", "Presets=$Documents\\" + Name,
                                    "[ComponentsOptions]", "Presets=NoOverwrite", "[Shortcuts]",
                                    "StartMenu=$ProgramFolder\\Readme.txt," + Name + " Readme"};
    auto items = [](const std::string& version) {
        return std::vector<TPackageItem>{
            TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", version)}),
            TPackageItem::Folder("Presets", {TPackageItem::File("Factory.preset", "factory " + version)})};
    };
    std::string old = *Folder / "Echo 2\\", current = *Folder / "Echo 3\\";
    EXPECT_EQ(InstallWithTheWizard(Installer("2.10", ini, items("2.10")), old), "");
    EXPECT_EQ(InstallWithTheWizard(Installer("3.00", ini, items("3.00")), current), "");
    std::map<std::string, std::string> three = FolderListing(current);
    std::string target, arguments;
    ASSERT_TRUE(ReadShellLink(link, target, arguments));
    EXPECT_TRUE(SameTextAscii(target, current + "Readme.txt")) << target;

    EXPECT_EQ(UninstallWith(old + "Uninst.exe"), Completed);
    EXPECT_FALSE(DirectoryExists(old));
    // 3.00 is intact: its shortcut and the preset it relies on too. Only the
    // copy of 2.10's shortcut that 3.00 kept aside went with 2.10.
    three.erase(current + "Replaced Files\\1 " + Name + " Readme.lnk");
    EXPECT_EQ(FolderListing(current), three);
    EXPECT_TRUE(FileExists(link));
    EXPECT_EQ(FolderListing(presets)[presets + "Factory.preset"], "factory 2.10");

    EXPECT_EQ(UninstallWith(current + "Uninst.exe"), Completed);
    EXPECT_FALSE(DirectoryExists(current));
    EXPECT_FALSE(FileExists(link));
    EXPECT_FALSE(DirectoryExists(presets));
}

TEST_F(Ownership, AFolderThatWasThereStaysAndTheUsersOwnPresetIsKeptAndNamed)
{
    std::string empty = *Folder / "Was Empty\\";
    CreateDirectoryA(empty.c_str(), nullptr);
    std::vector<std::string> ini = {"[Components]", "Main=$ProgramFolder", "Presets=$ProgramFolder\\Presets"};
    std::string program = Installer("2.10", ini, {TPackageItem::Folder("Main", {TPackageItem::File("Echo.dll", "d")}),
                                                  TPackageItem::Folder("Presets", {TPackageItem::File("Factory.preset", "f")})});
    EXPECT_EQ(InstallWithTheWizard(program, empty), "");
    Write(empty + "Presets\\Mine.preset", "the user's own preset");
    EXPECT_EQ(UninstallWith(empty + "Uninst.exe"),
              "Uninstallation successfully completed.\r\rYour own files in these folders were kept:\r" + empty +
                  "Presets");
    std::map<std::string, std::string> expected = {{empty + "Presets\\", ""},
                                                   {empty + "Presets\\Mine.preset", "the user's own preset"}};
    EXPECT_EQ(FolderListing(empty), expected);
}
