#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "Exception.h"
#include "FileSystem.h"
#include "Installer.h"
#include "OtherInstallations.h"
#include "PackageFormat.h"
#include "Platform.h"
#include "Registry.h"
#include "SharedFiles.h"
#include "ShellLinks.h"
#include "MessageBoxes.h"
#include "SetupUninstaller.h"
#include "SystemCalls.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "UninstallLog.h"
#include "Uninstaller.h"
#include "UninstallRegistration.h"
#include "TextUtils.h"
#include "WindowDriver.h"

namespace {

// The name of the registration WriteUninstallerFile makes for an uninstaller.
std::string RegistrationKeyOf(const std::string& path)
{
    return "SetupTests " + std::to_string(std::hash<std::string>{}(UpperAscii(path)));
}

// An uninstaller file as the installation writes it: program part, log,
// words; registered as a run registers it, with the roots of the lines given
// (so that lines added to the file later lie outside them), unless told not to.
void WriteUninstallerFile(const std::string& path, const std::vector<std::string>& lines,
                          const std::string& product = "Echo", bool appended = true, bool registered = true)
{
    std::vector<std::string> logged = lines;
    std::string key = RegistrationKeyOf(path);
    if (registered) logged.push_back(RegistrationLine(TInstallScope::Everyone, key));
    TMemoryStream log;
    WriteUninstallLog(log, MakeVersion("2.10"), logged, product);
    std::vector<uint8_t> program = StubProgram();
    SetWord(program, 0x34, 1);
    if (appended) {
        SetWord(program, 0x30, int32_t(program.size()));
        program.insert(program.end(), log.Data().begin(), log.Data().end());
    } else {
        WriteWholeFile(GetProgramFolder(path) + "Uninstall.dat", log.Data());
    }
    WriteWholeFile(path, program);
    if (!registered) return;
    TRegistry machine;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(machine.OpenKey(UninstallRegistryKey + key, true));
    machine.WriteString(RegistrationValue::UninstallString, "\"" + path + "\"");
    ASSERT_TRUE(WriteRegisteredRoots(TInstallScope::Everyone, key, InstallationRoots(logged)));
}

// Takes away, however the test ends, the registration of an uninstaller that
// the test never lets run to its end: it would outlive the test in the prefix.
struct TRegistrationGoes {
    std::string Path;
    ~TRegistrationGoes()
    {
        TRegistry machine;
        machine.RootKey = HKEY_LOCAL_MACHINE;
        machine.DeleteKey(UninstallRegistryKey + RegistrationKeyOf(Path));
    }
};

bool KeyExists(HKEY root, const std::string& key, bool use64 = false)
{
    TRegistry64 registry(use64);
    registry.RootKey = root;
    return registry.KeyExists(key);
}

void CreateKey(HKEY root, const std::string& key, bool use64 = false)
{
    TRegistry64 registry(use64);
    registry.RootKey = root;
    ASSERT_TRUE(registry.OpenKey(key + "\\Sub\\Deeper", true));
    registry.WriteString("Value", "v");
}

}  // namespace

TEST(Uninstaller, TheDesignExampleRemovesAndDefersTheFolder)
{
    TTestFolder folder("Uninstall100% Audio");
    std::string a = folder.Path(), b = a + "B\\";
    CreateDirectoryA(b.c_str(), nullptr);
    WriteWholeFile(b + "x.dll", {'x'});
    const std::string registration = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SetupTests Example";
    CreateKey(HKEY_LOCAL_MACHINE, registration);
    WriteUninstallerFile(b + "Uninst.exe", {"E" + a, "D" + b, "F" + b + "x.dll", "M" + registration});

    TUninstaller uninstaller(b + "Uninst.exe");
    EXPECT_EQ(uninstaller.ProductName(), "Echo");
    EXPECT_EQ(uninstaller.Version().AsText(), "2.10");
    EXPECT_TRUE(uninstaller.Uninstall());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, registration));
    EXPECT_FALSE(FileExists(b + "x.dll"));
    EXPECT_EQ(uninstaller.DeferredFolders(), std::vector<std::string>{b});
    EXPECT_TRUE(DirectoryExists(b));
    EXPECT_TRUE(DirectoryExists(a));
}

TEST(Uninstaller, RemovesFilesFoldersAndKeysInEveryView)
{
    TTestFolder folder("UninstallItems");
    std::string product = folder / "Product\\", t = product + "Presets\\";
    CreateDirectoryA(product.c_str(), nullptr);
    CreateDirectoryA(t.c_str(), nullptr);
    CreateDirectoryA((t + "Kept").c_str(), nullptr);
    WriteWholeFile(t + "One.fxp", {'1'});
    WriteWholeFile(t + "Two.fxp", {'2'});
    SetFileAttributesA((t + "Two.fxp").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    WriteWholeFile(product + "Plugin.dll", {'p'});
    SetFileAttributesA((product + "Plugin.dll").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    const std::string key = "\\Software\\SetupTests\\UninstallItems";
    CreateKey(HKEY_CURRENT_USER, key);
    CreateKey(HKEY_LOCAL_MACHINE, key);
    CreateKey(HKEY_LOCAL_MACHINE, key, true);
    WriteUninstallerFile(folder / "Uninst.exe", {"D" + product, "T" + t, "F" + product + "Plugin.dll", "U" + key,
                                                 "M" + key, "6" + key, "Z unknown kinds do nothing", ""});
    TUninstaller uninstaller(folder / "Uninst.exe");
    // The T folder keeps the user's subfolder, so it and its parent stay: not a
    // failure of the product, but the user is told where their files are.
    EXPECT_TRUE(uninstaller.Uninstall());
    EXPECT_EQ(uninstaller.KeptFolders(), std::vector<std::string>{t});
    EXPECT_FALSE(FileExists(t + "One.fxp"));
    EXPECT_FALSE(FileExists(t + "Two.fxp"));
    EXPECT_TRUE(DirectoryExists(t + "Kept"));
    EXPECT_FALSE(FileExists(product + "Plugin.dll"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, true));
}

TEST(Uninstaller, ALogOfAnEarlierVersionInTheAnsiCodePageIsRead)
{
    // An earlier version wrote its paths in Windows-1252; the files carry
    // their names as Windows holds them.
    TTestFolder folder("UninstallAnsiLog");
    std::string product = folder / "M\xC3\xBCller\\";
    CreateDirectoryA(product.c_str(), nullptr);
    WriteWholeFile(product + "Gr\xC3\xBC\xC3\x9F" "e.fxp", {'g'});
    std::string ansi = folder / "M\xFCller\\";
    WriteUninstallerFile(folder / "Uninst.exe", {"D" + ansi, "F" + ansi + "Gr\xFC\xDF" "e.fxp"}, "M\xFCller Echo",
                         true, false);
    TUninstaller uninstaller(folder / "Uninst.exe");
    EXPECT_EQ(uninstaller.ProductName(), "M\xC3\xBCller Echo");
    EXPECT_TRUE(uninstaller.Uninstall());
    EXPECT_FALSE(DirectoryExists(product));
}

TEST(Uninstaller, AChangedLogIsObeyedOnlyWhereTheInstallationWrote)
{
    TTestFolder folder("UninstallRoots");
    std::string product = folder / "Product\\", elsewhere = folder / "Elsewhere\\";
    CreateDirectoryA(elsewhere.c_str(), nullptr);
    WriteWholeFile(elsewhere + "Mine.txt", {'m'});
    const std::string key = "\\Software\\SetupTests\\UninstallRoots", other = "\\Software\\SetupTests\\NotTheProducts";
    CreateKey(HKEY_CURRENT_USER, key);
    CreateKey(HKEY_CURRENT_USER, other);
    const std::string name = "SetupTests UninstallRoots";

    // An installation as the run makes it: a folder, a file, a key, the uninstaller.
    WriteWholeFile(folder / "Setup.exe", AppendPackage(StubProgram(), BuildPackageBytes(SampleItems())));
    TInstaller installer("", folder / "Setup.exe");
    installer.ForceFolder(product, false);
    WriteWholeFile(product + "Plugin.dll", {'p'});
    installer.RecordItem(TLineKind::File, product + "Plugin.dll");
    installer.RecordRegistryKey(HKEY_CURRENT_USER, key, false);
    installer.WriteUninstaller(product + "Uninst.exe", name, "Echo", "Echo 2.10");

    // Another program's registration, listed before this one, with a value of another type.
    const std::string odd = UninstallRegistryKey + std::string("SetupTests AAA Odd");
    {
        TRegistry machine;
        machine.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(machine.OpenKey(odd, true));
        machine.WriteInteger("UninstallString", 1);
    }
    // Somebody who can write the product's folder adds lines of their own.
    std::vector<std::string> lines = ReadUninstallerLog(product + "Uninst.exe").Lines;
    for (const std::string& added : {"D" + elsewhere, "F" + elsewhere + "Mine.txt", "U" + other,
                                     "F" + product + "Plugin.dll"})
        lines.insert(lines.begin(), added);
    WriteUninstallerFile(product + "Uninst.exe", lines, "Echo", true, false);

    // The log no longer matches the digest its registration keeps: only what
    // lies in the product's folder goes (and its registration), and it says so.
    TUninstaller uninstaller(product + "Uninst.exe");
    std::vector<std::string> notes;
    uninstaller.OnNote = [&](const std::string& note) { notes.push_back(note); };
    EXPECT_FALSE(uninstaller.Uninstall());
    EXPECT_TRUE(FileExists(elsewhere + "Mine.txt"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, other));
    EXPECT_FALSE(FileExists(product + "Plugin.dll"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallRegistryKey + name));
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes[0].rfind("the log was changed since the installation finished it", 0), 0u) << notes[0];

    TRegistry registry;
    registry.DeleteKey(other);
    registry.DeleteKey(key);
    TRegistry machine;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    machine.DeleteKey(odd);
}

TEST(Uninstaller, AFileAlreadyGoneCountsAsFailed)
{
    TTestFolder folder("UninstallGone");
    WriteUninstallerFile(folder / "Uninst.exe", {"F" + folder.Path() + "Gone.txt"});
    TUninstaller uninstaller(folder / "Uninst.exe");
    EXPECT_FALSE(uninstaller.Uninstall());
}

TEST(Uninstaller, ReadsUninstallDatWhenNothingIsAppended)
{
    TTestFolder folder("UninstallDat");
    WriteUninstallerFile(folder / "Uninst.exe", {"Fa", "Fb"}, "From Dat", false, false);
    TUninstaller uninstaller(folder / "Uninst.exe");
    EXPECT_EQ(uninstaller.ProductName(), "From Dat");
    EXPECT_EQ(uninstaller.LogLines(), (std::vector<std::string>{"Fa", "Fb"}));
    DeleteFileA((folder / "Uninstall.dat").c_str());
    EXPECT_THROW(TUninstaller(folder / "Uninst.exe"), EFOpenError);
}

TEST(Uninstaller, DamagedLogIsRefused)
{
    TTestFolder folder("UninstallDamaged");
    TRegistrationGoes registration{folder / "Uninst.exe"};
    WriteUninstallerFile(folder / "Uninst.exe", {"Fa"});
    std::vector<uint8_t> bytes = ReadWholeFile(folder / "Uninst.exe");
    bytes[512 + 5] = 'X';
    WriteWholeFile(folder / "Uninst.exe", bytes);
    try {
        TUninstaller uninstaller(folder / "Uninst.exe");
        ADD_FAILURE() << "read a damaged log";
    } catch (const ESetupError& e) {
        EXPECT_EQ(e.Message(), "Invalid uninstall data signature");
    }
}

TEST(SetupUninstaller, WithoutRightsOnlyTheWarningIsShown)
{
    TTestFolder folder("UninstallNoRights");
    WriteWholeFile(folder / "Keep.txt", {'k'});
    TRegistrationGoes registration{folder / "Uninst.exe"};
    WriteUninstallerFile(folder / "Uninst.exe", {"F" + folder.Path() + "Keep.txt"}, "Echo");
    TSetupUninstaller uninstaller(folder / "Uninst.exe");
    TSystemCallsScope calls;
    calls->AdminRights = []() { return false; };
    TMessageBoxView seen;
    std::thread user([&] {
        seen = WaitForMessageBox(GetCurrentProcessId());
        if (seen.Window) ClickButton(seen.Window, "OK");
    });
    TMessageBoxUser person;
    ElevationRequests.clear();
    EXPECT_EQ(uninstaller.Execute(person), 3);
    user.join();
    // Windows was asked for the rights first, and said No.
    ASSERT_EQ(ElevationRequests.size(), 1u);
    EXPECT_EQ(ElevationRequests[0].back(), "/ELEVATED");
    EXPECT_EQ(seen.Title, "Warning");
    EXPECT_EQ(seen.Text, "You must have Administrator or Power User rights to uninstall Echo.\rPlease log on as a "
                         "different user and try again.");
    EXPECT_TRUE(FileExists(folder / "Keep.txt"));
    EXPECT_TRUE(FileExists(folder / "Uninst.exe"));
}

TEST(Uninstaller, RemovesOnlyWhatIsStillTheProducts)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // as the program does, for the shortcuts
    TTestFolder folder("UninstallOwnOnly");
    std::string program = folder / "Program\\", docs = folder / "Docs\\", vst = folder / "Vst\\",
                links = folder / "Links\\", presets = program + "Presets\\", aside = program + "Replaced Files\\";
    for (const std::string& made : {program, docs, vst, links, presets, aside}) CreateDirectoryA(made.c_str(), nullptr);
    auto file = [](const std::string& path, const std::string& text) {
        WriteWholeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
        return path;
    };
    auto stamped = [&](const std::string& path, const std::string& text) {
        file(path, text);
        return std::vector<std::string>{"F" + path, MakeLogLine(TLineKind::Stamp, path, FileStamp(path))};
    };
    std::vector<std::string> log = {"E" + program, "E" + docs, "D" + aside, "D" + vst, "D" + links, "D" + presets};
    auto add = [&](const std::vector<std::string>& lines) { log.insert(log.end(), lines.begin(), lines.end()); };
    add(stamped(program + "Same.txt", "same"));
    add({"F" + program + "Same.txt"});  // written twice by two passes
    add(stamped(program + "Changed.txt", "as installed"));
    file(program + "Changed.txt", "changed by the user");
    // The user's Readme was kept aside before the product's replaced it.
    file(aside + "1 Readme.txt", "the user's own");
    add({MakeLogLine(TLineKind::Backup, docs + "Readme.txt", {aside + "1 Readme.txt"})});
    add(stamped(docs + "Readme.txt", "the product's"));
    // A line of a copy kept only while a run went on, under the name the
    // user's copy was given once that one had gone: the user's copy stays.
    add({MakeLogLine(TLineKind::Aside, docs + "Readme.txt", {aside + "1 Readme.txt"})});
    // The same, but the user edited the product's file since: the edit is
    // theirs, and the earlier file stays aside, where they are told to look.
    file(aside + "2 Notes.txt", "somebody's notes");
    add({MakeLogLine(TLineKind::Backup, docs + "Notes.txt", {aside + "2 Notes.txt"})});
    add(stamped(docs + "Notes.txt", "the product's"));
    file(docs + "Notes.txt", "the user's edit of the product's");
    // Shared plug-ins: one with a count somebody else added, one without. A
    // count is no evidence of another installation: both go, and only the
    // count this installation took goes back.
    for (const char* name : {"Shared.dll", "Solo.dll"})
        while (ReleaseSharedFileReference(TInstallScope::Everyone, vst + name) > 0) {
        }
    for (const char* name : {"Shared.dll", "Solo.dll"}) {
        add(stamped(vst + name, "dll"));
        add({MakeLogLine(TLineKind::Shared, vst + name)});
        AddSharedFileReference(TInstallScope::Everyone, vst + name);
    }
    AddSharedFileReference(TInstallScope::Everyone, vst + "Shared.dll");
    // Shortcuts of the same name: one a later installation elsewhere rewrote.
    CreateShellLink(links + "Other.lnk", folder / "Elsewhere\\Echo.exe", "", 0);
    CreateShellLink(links + "Ours.lnk", program + "Echo.exe", "", 0);
    add({"F" + links + "Other.lnk", "F" + links + "Ours.lnk"});
    add(stamped(presets + "Factory.preset", "factory"));
    file(presets + "Mine.preset", "the user's preset");
    WriteUninstallerFile(program + "Uninst.exe", log);

    TUninstaller uninstaller(program + "Uninst.exe");
    EXPECT_TRUE(uninstaller.Uninstall());
    std::vector<std::string> kept = uninstaller.KeptFolders();
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{docs, program, presets, aside}));
    EXPECT_TRUE(uninstaller.DeferredFolders().empty());  // the program folder was there before
    EXPECT_FALSE(FileExists(program + "Same.txt"));
    auto text = [](const std::string& path) {
        std::vector<uint8_t> bytes = ReadWholeFile(path);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(text(program + "Changed.txt"), "changed by the user");
    EXPECT_EQ(text(docs + "Readme.txt"), "the user's own");
    EXPECT_FALSE(FileExists(aside + "1 Readme.txt"));
    EXPECT_EQ(text(docs + "Notes.txt"), "the user's edit of the product's");
    EXPECT_TRUE(FileExists(aside + "2 Notes.txt"));
    EXPECT_FALSE(FileExists(vst + "Shared.dll"));
    EXPECT_EQ(SharedFileCount(TInstallScope::Everyone, vst + "Shared.dll"), 1);
    EXPECT_FALSE(FileExists(vst + "Solo.dll"));
    EXPECT_EQ(SharedFileCount(TInstallScope::Everyone, vst + "Solo.dll"), 0);
    EXPECT_TRUE(FileExists(links + "Other.lnk"));
    EXPECT_FALSE(FileExists(links + "Ours.lnk"));
    EXPECT_FALSE(FileExists(presets + "Factory.preset"));
    EXPECT_TRUE(FileExists(presets + "Mine.preset"));
    ReleaseSharedFileReference(TInstallScope::Everyone, vst + "Shared.dll");
    CoUninitialize();
}

TEST(Uninstaller, TheProductFolderAndTheParentsItCreatedAreLeftToTheCleanUpNotReported)
{
    TTestFolder folder("UninstallParents");
    std::string maker = folder / "Maker\\", product = maker + "Product 1\\";
    CreateDirectoryA(maker.c_str(), nullptr);
    CreateDirectoryA(product.c_str(), nullptr);
    WriteWholeFile(product + "Echo.dll", {'e'});
    WriteUninstallerFile(product + "Uninst.exe", {"E" + folder.Path(), "D" + maker, "D" + product, "F" + product + "Echo.dll"});
    TUninstaller uninstaller(product + "Uninst.exe");
    EXPECT_TRUE(uninstaller.Uninstall());
    EXPECT_TRUE(uninstaller.KeptFolders().empty());
    EXPECT_EQ(uninstaller.DeferredFolders(), (std::vector<std::string>{product, maker}));
}

TEST(Uninstaller, ALogThatNamesWhatNoInstallationWritesIsNotObeyed)
{
    TTestFolder folder("UninstallTampered");
    std::string product = folder / "Product\\";
    CreateDirectoryA(product.c_str(), nullptr);
    CreateDirectoryA((folder / "Other").c_str(), nullptr);
    WriteWholeFile(folder / "Other\\Keep.txt", {'k'});
    WriteWholeFile(product + "Own.txt", {'o'});
    const std::string system = "\\Software\\Microsoft\\SetupTestsSystem";
    CreateKey(HKEY_CURRENT_USER, system);
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    // Lines a user-writable Uninst.exe could be given: each names something
    // that is not an installation's own, and each is refused.
    std::vector<std::string> tampered = {
        "F" + product + "..\\Other\\Keep.txt", "Fx.dll", "F\\\\.\\" + folder / "Other\\Keep.txt",
        "F" + std::string(windows) + "\\win.ini", "T" + std::string(windows) + "\\", "DC:\\",
        "U" + system, "M\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
        MakeLogLine(TLineKind::Partial, product + "..\\Other\\Keep.txt"),
        MakeLogLine(TLineKind::Partial, std::string(windows) + "\\win.ini"),
        MakeLogLine(TLineKind::Backup, product + "Own.txt", {std::string(windows) + "\\win.ini"})};
    for (const std::string& line : tampered) {
        WriteUninstallerFile(product + "Uninst.exe", {"F" + product + "Own.txt", line});
        WriteWholeFile(product + "Own.txt", {'o'});
        TUninstaller uninstaller(product + "Uninst.exe");
        EXPECT_FALSE(uninstaller.Uninstall()) << line;  // reported as not removed
        EXPECT_FALSE(FileExists(product + "Own.txt")) << line;  // the plain line is obeyed
    }
    EXPECT_TRUE(FileExists(folder / "Other\\Keep.txt"));
    EXPECT_TRUE(FileExists(std::string(windows) + "\\win.ini"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, system));
    TRegistry user;
    user.DeleteKey(system);
}

// A run ended after its Q line kept the count it was about to raise: its
// removal gives a reference back only where the count has grown since, never
// the one another installation holds.
TEST(Uninstaller, AnEndedRunGivesBackASharedCountOnlyWhereItRaisedIt)
{
    const struct {
        int Logged, Now, Left;  // the count in the Q line, at removal, after it
    } rows[] = {
        {1, 1, 1},  // ended before it raised the count
        {1, 2, 1},  // ended after, before its H line
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Now);
        TTestFolder folder("UninstallSharing");
        std::string vst = folder / "Vst\\", plugin = vst + "Echo.dll";
        ForgetSharedFiles(folder.Path());
        CreateDirectoryA(vst.c_str(), nullptr);
        WriteWholeFile(plugin, {'e'});
        for (int i = 0; i < row.Now; ++i) AddSharedFileReference(TInstallScope::Everyone, plugin);
        WriteUninstallerFile(folder / "Uninst.exe",
                             {"F" + plugin, MakeLogLine(TLineKind::Sharing, plugin, {std::to_string(row.Logged)})});
        TUninstaller(folder / "Uninst.exe").Uninstall();
        EXPECT_EQ(SharedFileCount(TInstallScope::Everyone, plugin), row.Left);
        ForgetSharedFiles(folder.Path());
    }
}

// Windows tells no two places apart by letter case: what another
// installation names in one case it names in any, or the first removal takes
// a file, a key or a key's parents that the other still relies on.
TEST(OtherInstallations, APlaceNamedInAnotherLetterCaseIsTheSamePlace)
{
    TOtherInstallations others;
    others.Add({"FC:\\VstPlugins\\Echo.dll", "M\\Software\\Maker\\Echo", "K\\Software\\Maker\\Echo|M|2",
                "BC:\\VstPlugins\\Other.dll|C:\\Program Files\\Maker\\Replaced Files\\1 Other.dll"},
               "C:\\Program Files\\Maker\\");
    EXPECT_TRUE(others.NamesPath("c:\\vstplugins\\ECHO.DLL"));
    EXPECT_FALSE(others.NamesPath("c:\\vstplugins\\ECHO2.DLL"));
    EXPECT_TRUE(others.NamesKey('M', "\\SOFTWARE\\maker\\ECHO"));
    EXPECT_EQ(others.ParentLevels('M', "\\software\\MAKER\\echo"), 2);
    EXPECT_EQ(others.CopiesOf("c:\\vstplugins\\OTHER.DLL").size(), 1u);
}
