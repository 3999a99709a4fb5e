// A Setup.exe ended half-way (a crash, Task Manager, a power cut) leaves an
// Uninst.exe, registered from the first write on, that removes everything the
// run did: afterwards the machine is as it was.
#include <gtest/gtest.h>

#include <map>

#include "FileSystem.h"
#include "WizardDesign.h"
#include "PathUtils.h"
#include "Registry.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "WizardDriver.h"

using namespace Wizard;

namespace {

bool KeyExists(HKEY root, const std::string& key)
{
    TRegistry registry(KEY_READ);
    registry.RootKey = root;
    return registry.KeyExists(key);
}

}  // namespace

TEST(Recovery, ARunEndedHalfWayIsRemovedByItsUninstaller)
{
    const std::string registration = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ended 2.23";
    // When the run is ended: the status it shows, and how long after it appeared.
    const std::pair<const char*, DWORD> points[] = {
        {"Copying files...", 0}, {"Copying files...", 700}, {"Copying files...", 1500}, {"Creating settings...", 0}};
    int removed = 0;  // points at which the run had begun writing
    for (const auto& point : points) {
        SCOPED_TRACE(std::string(point.first) + " +" + std::to_string(point.second) + " ms");
        TTestFolder folder("RecoveryEnded");
        ForgetSharedFiles(folder.Path());
        std::string product = folder / "Product\\", vst = folder / "Vst\\";
        CreateDirectoryA(product.c_str(), nullptr);
        WriteWholeFile(product + "Notes.txt", {'m', 'i', 'n', 'e'});  // the user's own, replaced by the run
        std::string large(64u << 20, '\0');
        for (size_t i = 0; i < large.size(); i += 4096) large[i] = char(i >> 12);
        std::string program = BuildTestInstaller(
            folder,
            {"[Setup]", "ProductName=Ended", "RegistryRoot=Software\\SetupTests\\Ended", "DefaultFolder=Unused",
             "[Folders]", "Vst=" + vst, "[Components]", "Main=$ProgramFolder", "Samples=$ProgramFolder\\Samples",
             "Plug=%Vst", "[RegistrySettings]", "Level=#3"},
            {TPackageItem::Folder("Main", {TPackageItem::File("Notes.txt", "the product's"),
                                           TPackageItem::File("Echo.dll", std::string(20000, 'e'))}),
             TPackageItem::Folder("Samples", {TPackageItem::File("Strings.bin", large),
                                              TPackageItem::File("Brass.bin", large.substr(0, 8u << 20))}),
             TPackageItem::Folder("Plug", {TPackageItem::File("Ended.dll", "dll")})});
        std::map<std::string, std::string> before = FolderListing(folder.Path());
        before.erase(folder / "Setup.exe");

        TWizard wizard(program);
        ASSERT_TRUE(wizard.Shown());
        wizard.Click(NextButton);
        wizard.Click(NextButton);
        ASSERT_TRUE(wizard.WaitForPage(pgDest));
        wizard.SetText(DestFolderInput, product);
        wizard.Click(NextButton);
        TMessageBoxView question = wizard.Box(5000);  // the folder holds the user's file
        wizard.Answer(question, "&Yes");
        bool reached = WaitUntil([&] { return wizard.Text(CopyStatusLabel) == point.first; }, 30000);
        Sleep(point.second);
        TerminateProcess(wizard.Process().Handle(), 1);
        wizard.Ended(5000);
        ASSERT_TRUE(reached);
        // Never a partial file under its real name.
        for (const auto& file : FolderListing(folder.Path())) {
            if (file.first.find("Strings.bin") != std::string::npos && file.first.find(".partial") == std::string::npos) {
                EXPECT_EQ(file.second, std::to_string(64u << 20) + " bytes") << file.first;
            }
        }

        std::map<std::string, std::string> now = FolderListing(folder.Path());
        now.erase(folder / "Setup.exe");
        if (!FileExists(product + "Uninst.exe")) {
            // Ended before its first write: nothing to remove.
            EXPECT_EQ(now, before);
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, registration));
            continue;
        }
        // The one documented step: Uninst.exe, also from the list of installed programs.
        ++removed;
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, registration));
        TProcess uninstaller(product + "Uninst.exe");
        TMessageBoxView confirm = WaitForMessageBox(uninstaller.Id());
        EXPECT_NE(confirm.Text.find("Ended"), std::string::npos) << confirm.Text;
        ClickButton(confirm.Window, "&Yes");
        WaitUntil([&] { return !IsWindow(confirm.Window); }, 5000);
        TMessageBoxView result = WaitForMessageBox(uninstaller.Id());
        EXPECT_EQ(result.Text, "Uninstallation successfully completed.");
        ClickButton(result.Window, "OK");
        EXPECT_TRUE(uninstaller.WaitForExit(15000));
        EXPECT_TRUE(GoneWithin(product + "Uninst.exe", 20000));
        Sleep(500);
        std::map<std::string, std::string> after = FolderListing(folder.Path());
        after.erase(folder / "Setup.exe");
        EXPECT_EQ(after, before);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, registration));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "\\Software\\SetupTests\\Ended\\2.2"));
        TRegistry cleanup;
        cleanup.DeleteKey("\\Software\\SetupTests\\Ended");
        cleanup.RootKey = HKEY_LOCAL_MACHINE;
        cleanup.DeleteKey("\\Software\\SetupTests\\Ended");
        cleanup.DeleteKey(registration);
    }
    EXPECT_GE(removed, 3);
}

TEST(Recovery, TheDestinationPageKeepsTheUserWhenTheDriveIsFullOrTheFolderRefusesWrites)
{
    if (GetDriveTypeA("R:\\") == DRIVE_NO_ROOT_DIR || GetDriveTypeA("S:\\") == DRIVE_NO_ROOT_DIR)
        GTEST_SKIP() << "the test drives R: and S: are not there (scripts/test-drives.sh needs root)";
    TTestFolder folder("RecoveryDestination");
    // 6 MB of samples for a 4 MB drive.
    std::string samples(6u << 20, '\0');
    for (size_t i = 0; i < samples.size(); i += 512) samples[i] = char(i >> 9);
    TWizard wizard(BuildTestInstaller(folder,
                                      {"[Setup]", "ProductName=Roomy", "RegistryRoot=Software\\SetupTests\\Roomy",
                                       "DefaultFolder=Unused", "[Components]", "Main=$ProgramFolder"},
                                      {TPackageItem::Folder("Main", {TPackageItem::File("Samples.bin", samples)})}));
    ASSERT_TRUE(wizard.Shown());
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    const std::pair<const char*, std::string> refusals[] = {
        {"R:\\Roomy", "There is not enough space on the destination drive.\rPlease free up some space and then try again"},
        {"S:\\Locked", "Setup cannot write to the folder 'S:\\Locked\\'.\rPlease choose another folder."}};
    for (const auto& refusal : refusals) {
        wizard.SetText(DestFolderInput, refusal.first);
        wizard.Click(NextButton);
        TMessageBoxView box = wizard.Box(10000);
        EXPECT_EQ(box.Title, "Warning");
        EXPECT_EQ(box.Text, refusal.second);
        wizard.Answer(box, "OK");
        EXPECT_EQ(wizard.Page(), pgDest);  // the user chooses again, nothing was written
        EXPECT_TRUE(WaitUntil([&] { return wizard.Focused(DestFolderInput); }, 3000));
    }
    EXPECT_FALSE(DirectoryExists("R:\\Roomy"));
    wizard.CloseBox();
    wizard.Answer(wizard.Box(), "&Yes");
    EXPECT_TRUE(wizard.Ended());
}

// Content kept apart: the Destination page asks for its folder below the
// destination and lets it follow the destination as it is typed; /CONTENTDIR=
// chooses it silently (here on another drive), the next installation
// proposes it again, a drive without room for it is refused before anything
// is written, and the uninstaller takes it away with the rest.
TEST(Recovery, ContentGoesWhereItIsToldOnAnotherDriveAndIsRememberedAndRemoved)
{
    if (GetDriveTypeA("R:\\") == DRIVE_NO_ROOT_DIR)
        GTEST_SKIP() << "the test drive R: is not there (scripts/test-drives.sh needs root)";
    TTestFolder folder("RecoveryContent");
    TProductKeys keys("RoomyLibrary");
    auto installer = [&](const std::string& name, size_t bytes) {
        std::string samples(bytes, '\0');
        for (size_t i = 0; i < samples.size(); i += 512) samples[i] = char(i >> 9);
        TTestFolder build(name);
        std::string program = folder / (name + ".exe");
        CopyFileA(BuildTestInstaller(build,
                                     {"[Setup]", "ProductName=Roomy Library",
                                      "RegistryRoot=Software\\SetupTests\\RoomyLibrary", "DefaultFolder=Unused",
                                      "ContentFolder=$ProgramFolder\\Library", "[Components]", "Main=$ProgramFolder",
                                      "Library=$ContentFolder"},
                                     {TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "read me")}),
                                      TPackageItem::Folder("Library", {TPackageItem::File("Hall.wav", samples)})})
                      .c_str(),
                  program.c_str(), FALSE);
        return program;
    };
    const std::string fits = installer("RoomyFits", 1u << 20), tooLarge = installer("RoomyLarge", 6u << 20);
    const std::string plug = folder / "Plug\\", log = folder / "run.log";
    auto run = [&](const std::string& program, const std::string& switches) {
        DeleteFileA(log.c_str());
        TProcess process(program, "/S /DIR=\"" + ExcludeDelimiter(plug) + "\" " + switches + " /LOG=\"" + log + "\"");
        EXPECT_TRUE(process.WaitForExit(60000));
        std::vector<uint8_t> text = ReadWholeFile(log);
        return std::make_pair(process.ExitCode(), std::string(text.begin(), text.end()));
    };
    struct Row {
        const char* what;
        std::string program, switches;
        DWORD exitCode;
        std::string contentAt, logged;
    } rows[] = {
        {"following the destination", fits, "", 0, plug + "Library\\", "content: " + plug + "Library\\ (default of Setup.ini)"},
        {"on another drive", fits, "/CONTENTDIR=\"R:\\Roomy Library\"", 0, "R:\\Roomy Library\\",
         "content: R:\\Roomy Library\\ (switch /CONTENTDIR)"},
        {"as the earlier installation had it", fits, "", 0, "R:\\Roomy Library\\",
         "content: R:\\Roomy Library\\ (the earlier installation's)"},
        {"on a drive without room", tooLarge, "/CONTENTDIR=R:\\Large", 1, "", "There is not enough space"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto [exitCode, text] = run(row.program, row.switches);
        EXPECT_EQ(exitCode, row.exitCode) << text;
        EXPECT_NE(text.find(row.logged), std::string::npos) << text;
        if (!row.contentAt.empty()) {
            EXPECT_TRUE(FileExists(row.contentAt + "Hall.wav"));
        }
    }
    EXPECT_FALSE(DirectoryExists("R:\\Large"));
    EXPECT_EQ(UninstallWith(plug + "Uninst.exe"), "Uninstallation successfully completed.");
    EXPECT_FALSE(DirectoryExists("R:\\Roomy Library"));
    EXPECT_FALSE(DirectoryExists(plug));

    // The page: the content folder below the destination, following it as it is typed.
    TWizard wizard(fits);
    ASSERT_TRUE(wizard.Shown());
    wizard.Click(NextButton);
    wizard.Click(NextButton);
    ASSERT_TRUE(wizard.WaitForPage(pgDest));
    EXPECT_TRUE(wizard.Visible(ContentFolderInput));
    EXPECT_EQ(wizard.Text(ContentFolderInput), IncludeDelimiter(wizard.Text(DestFolderInput)) + "Library\\");
    wizard.SetText(DestFolderInput, "D:\\Libraries\\Roomy");
    EXPECT_EQ(wizard.Text(ContentFolderInput), "D:\\Libraries\\Roomy\\Library\\");
    wizard.CloseBox();
    wizard.Answer(wizard.Box(), "&Yes");
    EXPECT_TRUE(wizard.Ended());
}
