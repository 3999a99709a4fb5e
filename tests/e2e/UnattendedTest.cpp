// Setup.exe and Uninst.exe run as studios and IT deploy them: /S and the other
// switches, the log, the exit codes; no window is ever shown.
#include <gtest/gtest.h>
#include <aclapi.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "FileSystem.h"
#include "InstallScope.h"
#include "PathUtils.h"
#include "Registry.h"
#include "SharedFiles.h"
#include "ShellFolders.h"
#include "Stream.h"
#include "TestFiles.h"
#include "TextUtils.h"
#include "UninstallLog.h"
#include "Uninstaller.h"
#include "WizardDriver.h"
#include "WizardIds.h"

namespace {

struct TRun {
    bool Ended = false;
    DWORD ExitCode = ~0u;
    bool WindowShown = false;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM data)
{
    auto* run = reinterpret_cast<std::pair<DWORD, bool>*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == run->first && IsWindowVisible(window)) run->second = true;
    return TRUE;
}

// Runs a program to its end, watching for any window it shows.
TRun RunUnattended(const std::string& program, const std::string& arguments, DWORD limit = 60000,
                   const std::string& workingFolder = std::string())
{
    TProcess process(program, arguments, workingFolder);
    TRun run;
    DWORD start = GetTickCount();
    while (!(run.Ended = process.WaitForExit(50)) && GetTickCount() - start < limit) {
        std::pair<DWORD, bool> seen{process.Id(), false};
        EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&seen));
        run.WindowShown = run.WindowShown || seen.second;
    }
    if (run.Ended) run.ExitCode = process.ExitCode();
    return run;
}

std::string ReadText(const std::string& path)
{
    if (!FileExists(path)) return std::string();
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// What of a folder's rights a program without administrator rights has: the
// access masks its allowed entries give Everyone, and those that let users,
// authenticated users or everyone change it.
std::string RightsOfOthers(const std::string& folder)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return "(no rights read)";
    std::string others;
    const DWORD change = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                         WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID sid = &ace->SidStart;
        bool everyone = IsWellKnownSid(sid, WinWorldSid);
        bool users = IsWellKnownSid(sid, WinBuiltinUsersSid) || IsWellKnownSid(sid, WinAuthenticatedUserSid);
        if (everyone || (users && (ace->Mask & change)))
            others += (everyone ? "everyone " : "users ") + std::to_string(ace->Mask) + ";";
    }
    LocalFree(descriptor);
    return others;
}

bool RegistrationExists()
{
    TRegistry machine;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    return machine.KeyExists("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example Echo 1.20");
}

// The example product's installer in a folder of the test's own.
class Unattended : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* built = std::getenv("SETUP_EXAMPLE_INSTALLER");
        if (!built) GTEST_SKIP() << "SETUP_EXAMPLE_INSTALLER is not set (CTest sets it)";
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        Folder = std::make_unique<TTestFolder>(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ForgetSharedFiles(Folder->Path());
        ForgetExampleEcho();
        Setup = *Folder / "Setup.exe";
        ASSERT_TRUE(CopyFileA(WindowsPath(built).c_str(), Setup.c_str(), FALSE));
        Plug = *Folder / "Plug\\";
        Vst = *Folder / "Vst\\";
    }
    void TearDown() override
    {
        if (!Folder) return;  // skipped: nothing was set up
        if (FileExists(Plug + "Uninst.exe")) {
            RunUnattended(Plug + "Uninst.exe", "/S");
            GoneWithin(Plug, 20000);
        }
        ForgetExampleEcho();
        ForgetSharedFiles(Folder->Path());
        Folder.reset();
        CoUninitialize();
    }
    // The switches that keep the run inside the test's folder.
    // (A backslash before a closing quote would escape it, as everywhere in Windows.)
    std::string Inside() const
    {
        return "/DIR=\"" + ExcludeDelimiter(Plug) + "\" /VST2DIR=\"" + ExcludeDelimiter(Vst) + "\"";
    }

    std::unique_ptr<TTestFolder> Folder;
    std::string Setup, Plug, Vst;
};

}  // namespace

TEST_F(Unattended, InstallsAndRemovesTheExampleWithNoWindow)
{
    std::string log = *Folder / "install.log";
    TRun install = RunUnattended(Setup, "/S " + Inside() + " /LOG=\"" + log + "\"");
    ASSERT_TRUE(install.Ended);
    EXPECT_EQ(install.ExitCode, 0u);
    EXPECT_FALSE(install.WindowShown);
    EXPECT_TRUE(FileExists(Plug + "Readme.txt"));
    EXPECT_TRUE(FileExists(Vst + "Example Echo.dll"));
    EXPECT_TRUE(RegistrationExists());
    EXPECT_TRUE(FileExists(GetSpecialFolder(sfPrograms) + "\\Example Echo Readme.lnk"));
    // What support reads: the decisions with their sources, what was written, the end.
    std::string text = ReadText(log);
    for (const std::string& expected :
         {std::string("\xEF\xBB\xBF["), "destination: " + Plug + " (switch /DIR)", "VST 2 plug-in: " + Vst + " (switch",
          "file " + Plug + "Readme.txt", "file " + Plug + "Uninst.exe",
          std::string("registry value HKCU\\Software\\Example Audio\\Example Echo"),
          std::string("phase installation took"), std::string("installed"), std::string("exit code 0")})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;

    std::string removal = *Folder / "uninstall.log";
    TRun uninstall = RunUnattended(Plug + "Uninst.exe", "/S /LOG=\"" + removal + "\"");
    ASSERT_TRUE(uninstall.Ended);
    EXPECT_EQ(uninstall.ExitCode, 0u);
    EXPECT_FALSE(uninstall.WindowShown);
    EXPECT_TRUE(GoneWithin(Plug, 20000));
    EXPECT_FALSE(FileExists(Vst + "Example Echo.dll"));
    EXPECT_FALSE(RegistrationExists());
    EXPECT_FALSE(FileExists(GetSpecialFolder(sfPrograms) + "\\Example Echo Readme.lnk"));
    text = ReadText(removal);
    for (const char* expected : {"file removed: ", "result: Uninstallation successfully completed.", "exit code 0"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST_F(Unattended, SwitchesDecideWhatIsInstalled)
{
    struct Case {
        const char* switches;
        bool vst2, shortcuts;
        const char* logged;
    } cases[] = {
        {"/FORMATS=vst3,AAX /NOSHORTCUTS", false, false, "VST 2 plug-in: not installed (switch"},
        {"/FORMATS=vst2", true, true, "VST 3 plug-in: not installed (switch /FORMATS)"},
    };
    for (const Case& c : cases) {
        std::string log = *Folder / "install.log";
        TRun install = RunUnattended(Setup, "/S " + Inside() + " " + c.switches + " /LOG=\"" + log + "\"");
        EXPECT_EQ(install.ExitCode, 0u) << c.switches;
        EXPECT_EQ(FileExists(Vst + "Example Echo.dll"), c.vst2) << c.switches;
        EXPECT_EQ(FileExists(GetSpecialFolder(sfPrograms) + "\\Example Echo Readme.lnk"), c.shortcuts) << c.switches;
        EXPECT_NE(ReadText(log).find(c.logged), std::string::npos) << c.switches << "\n" << ReadText(log);
        EXPECT_EQ(RunUnattended(Plug + "Uninst.exe", "/S").ExitCode, 0u) << c.switches;
        EXPECT_TRUE(GoneWithin(Plug, 20000)) << c.switches;
    }
}

// In each prefix: the example installed for everyone and for one user, and
// removed again. One user's goes below that user's local application data
// and HKEY_CURRENT_USER, and leaves out the AAX plug-in.
class EachPrefix : public Unattended {};

TEST_F(EachPrefix, TheExampleGoesForEveryoneOrForOneUserAndAway)
{
    std::string local = IncludeDelimiter(GetSpecialFolder(sfLocalAppData));
    ASSERT_NE(local, "\\");
    std::string registration = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example Echo 1.20";
    struct Case {
        bool oneUser;
        std::string switches, program, vst3;
        const char* logged;
    } cases[] = {
        {false, "/ALLUSERS /FORMATS=vst3 /LANG=EN /DIR=\"" + ExcludeDelimiter(Plug) + "\"", Plug,
         GetCommonFilesFolder() + "\\VST3\\", "installed for: all users (switch /ALLUSERS)"},
        {true, "/CURRENTUSER /FORMATS=vst3,aax", local + "Programs\\Example Audio\\Example Echo 1\\",
         local + "Programs\\Common\\VST3\\", "AAX plug-in: not installed (no place for one user)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.switches);
        std::string log = *Folder / "install.log";
        TRun install = RunUnattended(Setup, "/S " + c.switches + " /LOG=\"" + log + "\"");
        ASSERT_EQ(install.ExitCode, 0u) << ReadText(log);
        EXPECT_TRUE(FileExists(c.program + "Readme.txt"));
        EXPECT_TRUE(FileExists(c.vst3 + "Example Echo.vst3"));
        // A folder made for everyone outside Program Files has its rights:
        // nobody without administrator rights may replace the uninstaller.
        if (!c.oneUser) {
            EXPECT_EQ(RightsOfOthers(c.program), "");
        }
        TRegistry machine(KEY_READ), user(KEY_READ);
        machine.RootKey = HKEY_LOCAL_MACHINE;
        EXPECT_EQ(machine.KeyExists(registration), !c.oneUser);
        EXPECT_EQ(user.KeyExists(registration), c.oneUser);
        EXPECT_EQ(machine.KeyExists("\\Software\\Example Audio"), !c.oneUser);
        std::string text = ReadText(log);
        std::string language = c.oneUser ? "language: English (en) (the user's preferred languages)"
                                         : "language: English (en) (switch /LANG)";
        for (const std::string& expected :
             {std::string(c.logged), "installed into: VST 3: " + ExcludeDelimiter(c.vst3), language})
            EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
        EXPECT_EQ(RunUnattended(c.program + "Uninst.exe", "/S").ExitCode, 0u);
        EXPECT_TRUE(GoneWithin(c.program, 20000));
        EXPECT_TRUE(CleanUpFoldersGoneWithin(20000));
        EXPECT_FALSE(FileExists(c.vst3 + "Example Echo.vst3"));
        EXPECT_FALSE(user.KeyExists(registration));
        EXPECT_FALSE(machine.KeyExists(registration));
    }
}

TEST_F(Unattended, EveryFailureHasItsExitCodeAndWritesNothing)
{
    std::vector<uint8_t> damaged = ReadWholeFile(Setup);
    damaged[damaged.size() - 100] ^= 0x08;
    WriteWholeFile(*Folder / "Damaged.exe", damaged);
    struct Case {
        std::string program, switches;
        DWORD exitCode;
        const char* logged;
    } cases[] = {
        {Setup, "/FORMATS=vts3", 5, "refused: /FORMATS: \"vts3\" is not one of"},
        {Setup, "/DIR=C:\\", 5, "refused: /DIR: Could not create the folder 'C:\\'"},
        {Setup, "/CONTENTDIR=C:\\", 5, "refused: /CONTENTDIR: Could not create the folder 'C:\\'"},
        {Setup, "/ITEMS=Echo", 5, "refused: /ITEMS: this installer is not a bundle"},
        {Setup, "/NAME=", 5, "refused: /NAME: the value is empty"},
        {Setup, "/LANG=xx", 5, "refused: /LANG: \"xx\" is not one of the languages: en, ar, bg,"},
        {*Folder / "Damaged.exe", "", 4, "error: The installer appears to be corrupted"},
    };
    std::string log = *Folder / "run.log";
    for (const Case& c : cases) {
        DeleteFileA(log.c_str());
        TRun run = RunUnattended(c.program, "/S " + Inside() + " " + c.switches + " /LOG=\"" + log + "\"");
        EXPECT_EQ(run.ExitCode, c.exitCode) << c.switches;
        EXPECT_FALSE(run.WindowShown) << c.switches;
        EXPECT_FALSE(DirectoryExists(Plug)) << c.switches;
        EXPECT_NE(ReadText(log).find(c.logged), std::string::npos) << c.switches << "\n" << ReadText(log);
    }
    // A log that cannot be written is a bad switch too, and nothing is installed.
    TRun run = RunUnattended(Setup, "/S " + Inside() + " /LOG=\"" + *Folder / "No\\Such\\run.log\"");
    EXPECT_EQ(run.ExitCode, 5u);
    EXPECT_FALSE(DirectoryExists(Plug));
}

TEST_F(Unattended, ALockedFileFailsTheRunWhichRollsBackAndSaysWhy)
{
    CreateDirectoryA(Plug.c_str(), nullptr);
    HANDLE held = LockFile(Plug + "Readme.txt");  // somebody's, held open by a running program
    std::string log = *Folder / "install.log";
    TRun run = RunUnattended(Setup, "/S " + Inside() + " /LOG=\"" + log + "\"");
    CloseHandle(held);
    EXPECT_EQ(run.ExitCode, 6u);
    EXPECT_FALSE(run.WindowShown);
    EXPECT_FALSE(RegistrationExists());
    EXPECT_FALSE(FileExists(Plug + "Uninst.exe"));
    EXPECT_FALSE(FileExists(Vst + "Example Echo.dll"));
    std::string text = ReadText(log);
    for (const char* expected : {"question: ", "| answer: Cancel (unattended)", "error 32: ", "rolling back",
                                 "phase installation (failed, rolled back)", "exit code 6"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

// The certificate-table entry of a program file (offset and size) and its checksum.
std::vector<uint32_t> SignatureFields(const std::vector<uint8_t>& file)
{
    auto word = [&](size_t at) { return at + 4 <= file.size() ? GetUInt32LE(&file[at]) : 0u; };
    size_t optional = size_t(word(0x3C)) + 24;
    return {word(optional + 64), word(optional + 96 + 32), word(optional + 96 + 36)};
}

// A signed installer writes the uninstaller its maker signed, with the log in
// Uninstall.dat beside it; runs of signed and unsigned installers over each
// other, and a run that fails and rolls back, leave an uninstaller that reads
// its log and removes everything.
TEST_F(Unattended, ASignedInstallerLeavesASignedUninstallerWithItsLogBesideIt)
{
    const char* built = std::getenv("SETUP_SIGNED_INSTALLER");
    if (!built || !FileExists(WindowsPath(built))) GTEST_SKIP() << "no signed installer (osslsigncode is missing)";
    std::string signedProgram = *Folder / "Signed.exe";
    ASSERT_TRUE(CopyFileA(WindowsPath(built).c_str(), signedProgram.c_str(), FALSE));
    ASSERT_NE(SignatureFields(ReadWholeFile(signedProgram))[1], 0u) << "the installer carries no signature";
    auto isSigned = [&] { return SignatureFields(ReadWholeFile(Plug + "Uninst.exe"))[1] != 0; };
    const struct {
        const char* Case;
        std::string First, Second;
        bool SecondFails;  // a file of the first run is held open: the second rolls back
        bool SignedAfter;
    } rows[] = {
        {"signed", signedProgram, "", false, true},
        {"signed over unsigned", Setup, signedProgram, false, true},
        {"unsigned over signed", signedProgram, Setup, false, false},
        {"signed over signed, rolled back", signedProgram, signedProgram, true, true},
        {"signed over unsigned, rolled back", Setup, signedProgram, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        ASSERT_EQ(RunUnattended(row.First, "/S " + Inside()).ExitCode, 0u);
        std::vector<uint8_t> uninstaller = ReadWholeFile(Plug + "Uninst.exe");
        std::string log = ReadText(Plug + "Uninstall.dat");
        if (!row.Second.empty()) {
            // Held open as it is, by a running program.
            HANDLE held = row.SecondFails ? CreateFileA((Plug + "Readme.txt").c_str(), GENERIC_READ, 0, nullptr,
                                                        OPEN_EXISTING, 0, nullptr)
                                          : INVALID_HANDLE_VALUE;
            EXPECT_EQ(held != INVALID_HANDLE_VALUE, row.SecondFails);
            EXPECT_EQ(RunUnattended(row.Second, "/S " + Inside()).ExitCode, row.SecondFails ? 6u : 0u);
            if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        }
        if (row.SecondFails) {  // as the first run left it, byte for byte
            EXPECT_EQ(ReadWholeFile(Plug + "Uninst.exe"), uninstaller);
            EXPECT_EQ(ReadText(Plug + "Uninstall.dat"), log);
        }
        EXPECT_EQ(isSigned(), row.SignedAfter);
        // The log lies beside a signed uninstaller only; no copy is left behind.
        EXPECT_EQ(FileExists(Plug + "Uninstall.dat"), row.SignedAfter);
        EXPECT_TRUE(FolderListing(Plug + "Replaced Files").empty()) << ::testing::PrintToString(FolderListing(Plug + "Replaced Files"));
        EXPECT_TRUE(RegistrationExists());
        EXPECT_EQ(RunUnattended(Plug + "Uninst.exe", "/S").ExitCode, 0u);
        EXPECT_TRUE(GoneWithin(Plug, 20000));
        EXPECT_TRUE(CleanUpFoldersGoneWithin(20000));
        EXPECT_FALSE(FileExists(Vst + "Example Echo.dll"));
        EXPECT_FALSE(RegistrationExists());
    }
}

// Setup speaks the languages the product ships: the installer's own texts in
// each, the maker's over them; a text that would drop a placeholder is
// refused and named in the log, and a language not shipped is a bad switch.
TEST(MakersTexts, TakeThePlaceOfTheInstallersOwn)
{
    TTestFolder folder("MakersTexts");
    std::string program =
        BuildTestInstaller(folder, {"[Setup]", "ProductName=Worded", "RegistryRoot=Software\\SetupTests\\Worded",
                                    "DefaultFolder=SetupTests\\Worded", "Languages=de", "[Texts.en]",
                                    "CannotCreateFolder=No folder at %s for us.", "FolderInUse=Busy.", "[Texts.de]",
                                    "CannotCreateFolder=Kein Ordner: %s"});
    struct Case {
        const char* switches;
        std::vector<const char*> logged;
    } cases[] = {
        {"/LANG=en /DIR=C:\\",
         {"refused: /DIR: No folder at C:\\ for us.",
          "text not taken: FolderInUse of [Texts.en]: its %s placeholders are not the program's"}},
        {"/LANG=de /DIR=C:\\", {"language: German (de) (switch /LANG)", "refused: /DIR: Kein Ordner: C:\\"}},
        {"/LANG=de /DIR=Relative", {"refused: /DIR: Der Ordner 'Relative' ist kein vollst\xC3\xA4ndiger Pfad."}},
        {"/LANG=ja", {"refused: /LANG=ja: this program does not speak Japanese; it speaks en, de"}},
    };
    std::string log = folder / "run.log";
    for (const Case& c : cases) {
        DeleteFileA(log.c_str());
        TRun run = RunUnattended(program, std::string("/S ") + c.switches + " /LOG=\"" + log + "\"");
        EXPECT_EQ(run.ExitCode, 5u) << c.switches;
        std::string text = ReadText(log);
        for (const char* expected : c.logged)
            EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
}

TEST(Unattended32, A64BitPackageOn32BitWindowsEndsWithCodeThree)
{
    TTestFolder folder("Unattended64On32");
    std::string program = BuildTestInstaller(folder, {"[Setup]", "ProductName=Wide", "Is64Bit=1",
                                                      "RegistryRoot=Software\\SetupTests\\Wide", "DefaultFolder=SetupTests\\Wide"});
    std::string log = folder / "run.log";
    TRun run = RunUnattended(program, "/S /LOG=\"" + log + "\"");
    EXPECT_EQ(run.ExitCode, 3u);
    EXPECT_FALSE(run.WindowShown);
    EXPECT_NE(ReadText(log).find("requirements not met: You must run a 64-bit edition of Windows"), std::string::npos)
        << ReadText(log);
}

namespace {

// Adds lines to an uninstaller's own log, as somebody who can write its folder could.
void AddToLog(const std::string& uninstaller, const std::vector<std::string>& lines)
{
    std::vector<uint8_t> bytes = ReadWholeFile(uninstaller);
    size_t offset = size_t(GetInt32LE(&bytes[0x30]));
    TMemoryStream in(std::vector<uint8_t>(bytes.begin() + std::ptrdiff_t(offset), bytes.end()));
    TUninstallLog log = ReadUninstallLog(in);
    log.Lines.insert(log.Lines.end(), lines.begin(), lines.end());
    TMemoryStream out;
    WriteUninstallLog(out, log.Version, log.Lines, log.ProductName);
    bytes.resize(offset);
    bytes.insert(bytes.end(), out.Data().begin(), out.Data().end());
    WriteWholeFile(uninstaller, bytes);
}

std::string RegisteredFolders()
{
    TRegistry machine(KEY_READ);
    machine.RootKey = HKEY_LOCAL_MACHINE;
    if (!machine.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example Echo 1.20", false))
        return "(no registration)";
    return machine.ReadString("InstallFolders");
}

// Copies a key of HKEY_LOCAL_MACHINE (with its values and subkeys) to another.
bool CopyMachineKey(const std::string& from, const std::string& to)
{
    HKEY target = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool copied = RegCopyTreeA(HKEY_LOCAL_MACHINE, from.c_str(), target) == ERROR_SUCCESS;
    RegCloseKey(target);
    return copied;
}

bool KeyThere(HKEY root, const std::string& key, bool use64 = false)
{
    TRegistry64 registry(use64);
    registry.RootKey = root;
    return registry.KeyExists(key);
}

}  // namespace

TEST_F(Unattended, ATamperedLogIsObeyedOnlyWhereTheInstallationWrote)
{
    // Victims of the test's own: files, folders, shared counts and keys that
    // are not the installation's, each named by lines somebody added to the log.
    std::string victims = *Folder / "Victims\\", empty = victims + "Empty\\", key = "\\Software\\SetupTests\\Victim";
    struct Row {
        std::string line;
        std::function<bool()> intact;  // the victim as it was
    };
    auto file = [&](const std::string& name) {
        std::string path = victims + name;
        return [path] { return ReadText(path) == "the user's"; };
    };
    auto counted = [&](const std::string& path) { return [path] { return SharedFileCount(TInstallScope::Everyone, path) == 1; }; };
    auto keyThere = [](HKEY root, const std::string& path, bool use64) {
        return [=] { return KeyThere(root, path, use64); };
    };
    std::string vst3 = GetCommonFilesFolder() + "\\VST3\\", programs = GetSpecialFolder(sfPrograms) + "\\";
    const std::string registration = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example Echo 1.20",
                      saved = "Software\\SetupTests\\Saved Registration";
    std::string copy = victims + "Copy\\",
                userRegistration = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SetupTests Copy";
    for (const std::string& mode : {std::string("Uninst.exe"), std::string("Setup again, then Uninst.exe")}) {
        SCOPED_TRACE(mode);
        CreateDirectoryA(victims.c_str(), nullptr);
        CreateDirectoryA(empty.c_str(), nullptr);
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt"})
            WriteWholeFile(victims + name, {'t', 'h', 'e', ' ', 'u', 's', 'e', 'r', '\'', 's'});
        ForgetSharedFiles(victims);
        for (const std::string& shared : {victims + "shared.dll", victims + "q.dll", empty})
            AddSharedFileReference(TInstallScope::Everyone, shared);
        for (bool use64 : {false, true})
            for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
                TRegistry64 registry(use64);
                registry.RootKey = root;
                ASSERT_TRUE(registry.OpenKey(key, true));
            }
        char shortName[MAX_PATH] = {};
        GetShortPathNameA((victims + "e.txt").c_str(), shortName, MAX_PATH);
        ASSERT_EQ(RunUnattended(Setup, "/S " + Inside()).ExitCode, 0u);
        WriteWholeFile(Plug + "Extra.txt", {'x'});  // inside its own folder: the line that names it is obeyed
        // Somebody else's files in folders the installation shares with
        // others, which its roots hold whole: another vendor's plug-in, the user's own file.
        WriteWholeFile(vst3 + "Other Vendor.vst3", {'t', 'h', 'e', ' ', 'u', 's', 'e', 'r', '\'', 's'});
        WriteWholeFile(programs + "Mine.txt", {'t', 'h', 'e', ' ', 'u', 's', 'e', 'r', '\'', 's'});
        // A user's own registration of a copy of the uninstaller: its log names
        // every item, but a user's word never keeps one of an installation for everyone.
        CreateDirectoryA(copy.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA((Plug + "Uninst.exe").c_str(), (copy + "Uninst.exe").c_str(), FALSE));
        {
            TRegistry user;
            ASSERT_TRUE(user.OpenKey(userRegistration, true));
            user.WriteString("DisplayName", "Example Echo");
            user.WriteString("UninstallString", "\"" + copy + "Uninst.exe\"");
        }
        std::vector<Row> rows = {
            {"F" + victims + "a.txt", file("a.txt")},
            {"F" + Plug + "..\\Victims\\f.txt", file("f.txt")},
            {"F" + std::string(shortName), file("e.txt")},
            {"F\\\\?\\" + victims + "f.txt", file("f.txt")},
            {"R" + Plug + "Readme.txt|" + victims + "b.txt", file("b.txt")},
            {"P" + victims + "c.txt", file("c.txt")},
            {"B" + Plug + "Readme.txt|" + victims + "d.txt", file("d.txt")},
            {"B" + victims + "f.txt|" + Plug + "Readme.txt", file("f.txt")},
            {"D" + empty, [&] { return DirectoryExists(empty); }},
            {"T" + victims, [&] { return DirectoryExists(empty) && FileExists(victims + "a.txt"); }},
            {"E" + empty, counted(empty)},
            {"H" + empty, counted(empty)},
            {"H" + victims + "shared.dll", counted(victims + "shared.dll")},
            {"Q" + victims + "q.dll|0", counted(victims + "q.dll")},
            {"U" + key, keyThere(HKEY_CURRENT_USER, key, false)},
            {"M" + key, keyThere(HKEY_LOCAL_MACHINE, key, false)},
            {"6" + key, keyThere(HKEY_LOCAL_MACHINE, key, true)},
            {"Z" + victims + "a.txt", file("a.txt")},
            {"F" + Plug + "Extra.txt", [&] { return !FileExists(Plug + "Extra.txt"); }},
            {"F" + vst3 + "Other Vendor.vst3", [&] { return ReadText(vst3 + "Other Vendor.vst3") == "the user's"; }},
            {"F" + programs + "Mine.txt", [&] { return ReadText(programs + "Mine.txt") == "the user's"; }},
        };
        std::vector<std::string> lines;
        for (const Row& row : rows) lines.push_back(row.line);
        // Whom the installation is for is where it is registered, never a line.
        lines.push_back("O" + WindowsUserName());
        std::vector<uint8_t> vouched = ReadWholeFile(Plug + "Uninst.exe");
        ASSERT_TRUE(CopyMachineKey(registration, saved));
        AddToLog(Plug + "Uninst.exe", lines);
        std::string log = *Folder / "uninstall.log";
        if (mode == "Uninst.exe") {
            // The log no longer matches its registration's digest: only the
            // product's own folder (and its registration) goes, and it says so.
            EXPECT_EQ(RunUnattended(Plug + "Uninst.exe", "/S /LOG=\"" + log + "\"").ExitCode, 1u);
            EXPECT_NE(ReadText(log).find("the log was changed since the installation finished it"), std::string::npos);
            EXPECT_TRUE(FileExists(Vst + "Example Echo.dll"));
        } else {
            // Setup takes over no line of it outside the folder: the product's
            // earlier files elsewhere are kept aside as somebody's, and come back.
            ASSERT_EQ(RunUnattended(Setup, "/S " + Inside() + " /LOG=\"" + log + "\"").ExitCode, 0u);
            EXPECT_NE(ReadText(log).find("the earlier log was changed since it was finished"), std::string::npos);
            EXPECT_EQ(RegisteredFolders().find("Victims"), std::string::npos) << RegisteredFolders();
            EXPECT_EQ(RunUnattended(Plug + "Uninst.exe", "/S").ExitCode, 0u);
            EXPECT_TRUE(FileExists(Vst + "Example Echo.dll"));
        }
        EXPECT_TRUE(GoneWithin(Plug, 20000));
        EXPECT_FALSE(RegistrationExists());
        for (const Row& row : rows) EXPECT_TRUE(row.intact()) << row.line;
        // The uninstaller as its installation finished it removes the rest
        // (and misses what is gone already).
        CreateDirectoryA(Plug.c_str(), nullptr);
        WriteWholeFile(Plug + "Uninst.exe", vouched);
        ASSERT_TRUE(CopyMachineKey(saved, registration));
        RunUnattended(Plug + "Uninst.exe", "/S");
        EXPECT_TRUE(GoneWithin(Plug, 20000));
        EXPECT_FALSE(FileExists(Vst + "Example Echo.dll"));
        EXPECT_FALSE(FileExists(vst3 + "Example Echo.vst3"));
        EXPECT_FALSE(RegistrationExists());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, saved.c_str());
        for (bool use64 : {false, true})
            for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
                TRegistry64 registry(use64);
                registry.RootKey = root;
                registry.DeleteKey(key);
            }
        ForgetSharedFiles(victims);
        DeleteFileA((vst3 + "Other Vendor.vst3").c_str());
        DeleteFileA((programs + "Mine.txt").c_str());
        TRegistry().DeleteKey(userRegistration);
    }
}

TEST_F(Unattended, ALinkInsideARootIsNeverFollowed)
{
    // A product with a folder of its own in each of its roots, the program
    // folder and the VST 2 folder. Each row puts a link where the
    // installation wrote (a folder of it, or a file), leading to the user's
    // files of the same names: the uninstaller never reaches them through it.
    std::string program = BuildTestInstaller(
        *Folder,
        {"[Setup]", "ProductName=Linked", "RegistryRoot=Software\\SetupTests\\Linked", "DefaultFolder=SetupTests\\Linked",
         "[Pages]", "VstPluginFolder=1", "[Components]", "Main=$ProgramFolder", "VstX=$VstPluginFolder"},
        {TPackageItem::Folder("Main", {TPackageItem::Folder("Presets", {TPackageItem::File("A.preset", "a")})}),
         TPackageItem::Folder("VstX", {TPackageItem::Folder("Linked", {TPackageItem::File("B.dll", "b")})})});
    // The user's files there are the installed ones, moved: their size and
    // time are as the log recorded them, so only the link can keep them safe.
    std::string victims = *Folder / "Documents\\";
    const struct {
        std::string link, installed, target;
    } rows[] = {
        {Plug + "Presets", Plug + "Presets\\A.preset", victims},
        {Vst + "Linked", Vst + "Linked\\B.dll", victims},
        {Plug + "Presets\\A.preset", Plug + "Presets\\A.preset", victims + "A.preset"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.link);
        ASSERT_EQ(RunUnattended(program, "/S " + Inside()).ExitCode, 0u);
        CreateDirectoryA(victims.c_str(), nullptr);
        std::string victim = victims + row.installed.substr(row.installed.rfind('\\') + 1);
        ASSERT_TRUE(MoveFileA(row.installed.c_str(), victim.c_str()));
        if (DirectoryExists(row.link)) RemoveTree(row.link);
        ASSERT_TRUE(MakeHostLink(row.link, row.target));
        RunUnattended(Plug + "Uninst.exe", "/S");
        EXPECT_TRUE(FileExists(victim));
        EXPECT_TRUE(RemoveHostLink(row.link));
        GoneWithin(Plug + "Uninst.exe", 20000);
        RemoveTree(Plug);
        RemoveTree(Vst);
        RemoveTree(victims);
    }
}

TEST_F(Unattended, TheUninstallerKnowsItsInstallationUnderAnySpellingOfItsPath)
{
    // Each row: how the registration names the uninstaller, and how it is
    // started. Under any spelling it finds its registration, with its roots
    // and the digest of its log: it removes the plug-in outside its own folder.
    auto shortName = [](const std::string& path) {
        char text[MAX_PATH] = {};
        GetShortPathNameA(path.c_str(), text, MAX_PATH);
        return std::string(text);
    };
    for (int row = 0; row < 3; ++row) {
        ASSERT_EQ(RunUnattended(Setup, "/S " + Inside()).ExitCode, 0u);
        std::string uninstaller = Plug + "Uninst.exe", registered = uninstaller;
        if (row == 0) registered = shortName(uninstaller);
        if (row == 1) registered = UpperAscii(uninstaller);
        if (row == 2) uninstaller = shortName(uninstaller);
        SCOPED_TRACE("registered as " + registered + ", started as " + uninstaller);
        {
            TRegistry machine;
            machine.RootKey = HKEY_LOCAL_MACHINE;
            ASSERT_TRUE(machine.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example Echo 1.20", false));
            machine.WriteString("UninstallString", "\"" + registered + "\"");
        }
        EXPECT_EQ(RunUnattended(uninstaller, "/S").ExitCode, 0u);
        EXPECT_TRUE(GoneWithin(Plug, 20000));
        EXPECT_FALSE(FileExists(Vst + "Example Echo.dll"));
        EXPECT_FALSE(RegistrationExists());
    }
}

TEST_F(Unattended, AFolderOfAnotherInstallationIsRefusedAndLeftAsItWas)
{
    // Each row: what another product left in the folder the run is told to use.
    std::vector<uint8_t> otherLog;
    {
        TMemoryStream log;
        WriteUninstallLog(log, TProgramVersion(), {"F" + Plug + "Other.dll"}, "Another Product");
        otherLog = log.Data();
    }
    std::vector<uint8_t> uninstaller = ReadWholeFile(Setup);
    uninstaller.resize(size_t(GetInt32LE(&uninstaller[0x30])));
    PutInt32LE(&uninstaller[0x30], int32_t(uninstaller.size()));
    PutInt32LE(&uninstaller[0x34], 1);
    uninstaller.insert(uninstaller.end(), otherLog.begin(), otherLog.end());
    struct Row {
        const char* what;
        std::string file;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {"another product's Uninst.exe", "Uninst.exe", uninstaller},
        {"another product's journal", "Uninstall.dat", otherLog},
        {"an Uninstall.dat of somebody else's", "Uninstall.dat", {'n', 'o', 't', ' ', 'o', 'u', 'r', 's'}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CreateDirectoryA(Plug.c_str(), nullptr);
        WriteWholeFile(Plug + row.file, row.bytes);
        std::string log = *Folder / "install.log";
        TRun run = RunUnattended(Setup, "/S " + Inside() + " /LOG=\"" + log + "\"");
        EXPECT_EQ(run.ExitCode, 5u);  // the /DIR switch named a folder that cannot be used
        EXPECT_EQ(ReadWholeFile(Plug + row.file), row.bytes);
        EXPECT_EQ(FolderEntries(Plug).size(), 1u);
        EXPECT_FALSE(RegistrationExists());
        EXPECT_NE(ReadText(log).find("holds another installation"), std::string::npos) << ReadText(log);
        DeleteFileA((Plug + row.file).c_str());
    }
}

TEST_F(Unattended, SetupWaitsForTheFoldersUninstallerAndKeepsTheUninstallerItWrites)
{
    ASSERT_EQ(RunUnattended(Setup, "/S " + Inside()).ExitCode, 0u);
    // The uninstaller with the wizard's questions, holding the folder while it asks.
    TProcess uninstaller(Plug + "Uninst.exe", "/LOG=\"" + *Folder / "uninstall.log\"");
    TMessageBoxView confirm = WaitForMessageBox(uninstaller.Id());
    ASSERT_TRUE(confirm.Window);
    std::string log = *Folder / "install.log";
    TProcess setup(Setup, "/S " + Inside() + " /LOG=\"" + log + "\"");
    EXPECT_FALSE(setup.WaitForExit(2000));  // it waits for the uninstaller
    ClickButton(confirm.Window, "&Yes");
    WaitUntil([&] { return !IsWindow(confirm.Window); }, 5000);
    TMessageBoxView result = WaitForMessageBox(uninstaller.Id());
    EXPECT_EQ(result.Text, "Uninstallation successfully completed.") << ReadText(*Folder / "uninstall.log");
    ClickButton(result.Window, "OK");
    EXPECT_TRUE(uninstaller.WaitForExit(15000));
    ASSERT_TRUE(setup.WaitForExit(60000));
    EXPECT_EQ(setup.ExitCode(), 0u) << ReadText(log);
    // The clean-up of the uninstaller that ended never takes the new one.
    Sleep(5000);
    EXPECT_TRUE(FileExists(Plug + "Uninst.exe"));
    EXPECT_TRUE(RegistrationExists());
    EXPECT_TRUE(FileExists(Vst + "Example Echo.dll"));
}

namespace {

// A product with both plug-in pages and a file below each folder the run writes into.
std::string RuleInstaller(const TTestFolder& folder, const std::string& extraLine)
{
    std::vector<std::string> ini = {"[Setup]", "ProductName=Rule", "RegistryRoot=Software\\SetupTests\\Rule",
                                    "DefaultFolder=SetupTests\\Rule", "[Pages]", "VstPluginFolder=1",
                                    "PhotoshopPluginFolder=1", "[Components]", "Main=$ProgramFolder",
                                    "VstX=$VstPluginFolder", "Ps=$PhotoshopPluginFolder"};
    if (!extraLine.empty()) ini.push_back("Extra=" + extraLine);
    return BuildTestInstaller(folder, ini,
                              {TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "r")}),
                               TPackageItem::Folder("VstX", {TPackageItem::File("Rule.dll", "v")}),
                               TPackageItem::Folder("Ps", {TPackageItem::File("Rule.8bf", "p")}),
                               TPackageItem::Folder("Extra", {TPackageItem::File("File.txt", "e")})});
}

}  // namespace

// One rule for every folder a run writes into: each form is refused alike
// wherever the folder comes from (a page's field, its switch, a Setup.ini
// line), with the same words in the wizard's warning and in the log of /S,
// and the exit code of the unattended run: 5 for a switch, 1 for the package's own line.
TEST(FolderRule, EveryFormIsRefusedAlikeInEveryFieldSwitchAndSetupIniLine)
{
    using namespace Wizard;
    TTestFolder folder("FolderRule");
    TProductKeys keys("Rule");
    // With the deepest file below it, a path past the 259 characters Windows allows.
    std::string longFolder = "C:\\" + std::string(240, 'L');
    struct Form {
        std::string typed, named;
        const char* is;
    } forms[] = {
        {"\\Rule", "\\Rule", "not a full path"},  // on whichever drive is current
        {"Rel\\Sub", "Rel\\Sub", "not a full path"},
        {"C:Rel", "C:Rel", "not a full path"},
        {"\\\\?\\C:\\windows\\Rule", "\\\\?\\C:\\windows\\Rule", "a network or device path"},
        {"\\\\.\\C:\\Rule", "\\\\.\\C:\\Rule", "a network or device path"},
        {"\\\\server\\share\\Rule", "\\\\server\\share\\Rule", "a network or device path"},
        {"C:/Program Files/../WINDOWS/./Rule", "C:\\WINDOWS\\Rule\\", "inside the Windows folder"},
        {longFolder, longFolder + "\\", "too long"},  // the last: the cases below look for it
    };
    auto says = [](const Form& form) { return "The folder '" + form.named + "' is " + form.is; };
    std::string setup = RuleInstaller(folder, "");
    std::string good = "/DIR=\"" + folder / "Dest" + "\" /VST2DIR=\"" + folder / "Vst" + "\" /PSDIR=\"" +
                       folder / "Ps" + "\"";
    std::string log = folder / "run.log";

    // The wizard: each form typed in each folder field is refused on its page.
    {
        TWizard wizard(setup, "/LOG=\"" + log + "\"");
        ASSERT_TRUE(wizard.Shown());
        wizard.Click(NextButton);
        wizard.Click(NextButton);
        const struct {
            int page, input;
            std::string good;
        } fields[] = {{pgVstPlugins, Vst2FolderInput, folder / "Vst"},
                      {pgPhotoshopPlugin, PhotoshopFolderInput, folder / "Ps"},
                      {pgDest, DestFolderInput, folder / "Dest"}};
        for (const auto& field : fields) {
            ASSERT_TRUE(wizard.WaitForPage(field.page));
            for (const Form& form : forms) {
                wizard.SetText(field.input, form.typed);
                wizard.Click(NextButton);
                TMessageBoxView box = wizard.Box(5000);
                EXPECT_EQ(box.Text.substr(0, says(form).size()), says(form)) << field.page << " " << form.typed;
                wizard.Answer(box, "OK");
                EXPECT_EQ(wizard.Page(), field.page) << form.typed;
            }
            // Dest is the last page before Copy: the wizard is cancelled there instead.
            wizard.SetText(field.input, field.good);
            if (field.page != pgDest) wizard.Click(NextButton);
        }
        wizard.CloseBox();
        wizard.Answer(wizard.Box(), "&Yes");
        EXPECT_TRUE(wizard.Ended());
    }
    // Its log tells what the user did: what was typed, what was refused, what was asked and answered.
    for (const char* line :
         {"user: VST 2 folder typed: \\Rule", "refused: The folder '\\Rule' is not a full path.",
          "user: destination typed: C:Rel", "Setup? | answer: Yes", "user: cancelled"})
        EXPECT_NE(ReadText(log).find(line), std::string::npos) << line << "\n" << ReadText(log);
    // The unattended run: each form given to each switch is refused before anything is written.
    for (const char* name : {"/DIR", "/VST2DIR", "/PSDIR"})
        for (const Form& form : forms) {
            DeleteFileA(log.c_str());
            TRun run = RunUnattended(setup, "/S " + good + " " + name + "=\"" + form.typed + "\" /LOG=\"" + log + "\"");
            EXPECT_EQ(run.ExitCode, 5u) << name << form.typed;
            EXPECT_NE(ReadText(log).find("refused: " + std::string(name) + ": " + says(form)), std::string::npos)
                << name << form.typed << "\n" << ReadText(log);
            // A folder the user gave: another choice mends it.
            if (&form == &forms[7]) {
                EXPECT_NE(ReadText(log).find("choose a shorter folder"), std::string::npos) << ReadText(log);
            }
            EXPECT_FALSE(DirectoryExists(folder / "Dest")) << name << form.typed;
        }
    // A Setup.ini line: refused once the destination is known, in both modes.
    for (const Form& form : forms) {
        TTestFolder lineFolder("FolderRuleLine");
        std::string withLine = RuleInstaller(lineFolder, form.typed);
        DeleteFileA(log.c_str());
        TRun run = RunUnattended(withLine, "/S " + good + " /LOG=\"" + log + "\"");
        EXPECT_EQ(run.ExitCode, 1u) << form.typed;
        EXPECT_NE(ReadText(log).find("refused: " + says(form)), std::string::npos) << form.typed << "\n" << ReadText(log);
        if (&form == &forms[7]) {
            // A folder the package names: what is wrong, with the file's own length (243 + "\File.txt"),
            // and no advice to choose another.
            EXPECT_NE(ReadText(log).find("a path of 252 characters there, and Windows allows 251."), std::string::npos)
                << ReadText(log);
            EXPECT_EQ(ReadText(log).find("choose a shorter folder"), std::string::npos) << ReadText(log);
        }
        EXPECT_FALSE(DirectoryExists(folder / "Dest")) << form.typed;
        if (&form != &forms[0]) continue;
        TWizard wizard(withLine);
        ASSERT_TRUE(wizard.Shown());
        wizard.Click(NextButton);
        wizard.Click(NextButton);
        ASSERT_TRUE(wizard.WaitForPage(pgVstPlugins));
        wizard.SetText(Vst2FolderInput, folder / "Vst");
        wizard.Click(NextButton);
        ASSERT_TRUE(wizard.WaitForPage(pgPhotoshopPlugin));
        wizard.SetText(PhotoshopFolderInput, folder / "Ps");
        wizard.Click(NextButton);
        ASSERT_TRUE(wizard.WaitForPage(pgDest));
        wizard.SetText(DestFolderInput, folder / "Dest");
        wizard.Click(NextButton);
        TMessageBoxView box = wizard.Box(5000);
        EXPECT_EQ(box.Text.substr(0, says(form).size()), says(form));
        wizard.Answer(box, "OK");
        EXPECT_EQ(wizard.Page(), pgDest);
        wizard.CloseBox();
        wizard.Answer(wizard.Box(), "&Yes");
        EXPECT_TRUE(wizard.Ended());
    }
    // Unattended, VST 2 plug-ins with no VST 2 folder known or named are not
    // left out quietly: the run is refused, naming the switch...
    std::string psOnly = "/PSDIR=\"" + folder / "Ps" + "\"";
    DeleteFileA(log.c_str());
    TRun run = RunUnattended(setup, "/S /DIR=\"" + folder / "Dest" + "\" " + psOnly + " /LOG=\"" + log + "\"");
    EXPECT_EQ(run.ExitCode, 5u);
    EXPECT_NE(ReadText(log).find("refused: /VST2DIR: No VST 2 plug-in folder was found on this computer"),
              std::string::npos) << ReadText(log);
    EXPECT_FALSE(DirectoryExists(folder / "Dest"));
    // ...unless /FORMATS leaves them out. And a form Windows reads another way is taken as Windows reads it.
    std::string odd = ReplaceAll(folder / "Odd\\.\\Sub\\..\\Dest", "\\", "/");
    run = RunUnattended(setup, "/S /FORMATS=photoshop " + psOnly + " /DIR=\"" + odd + "\"");
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_TRUE(FileExists(folder / "Odd\\Dest\\Uninst.exe"));
    EXPECT_EQ(RunUnattended(folder / "Odd\\Dest\\Uninst.exe", "/S").ExitCode, 0u);
    EXPECT_TRUE(GoneWithin(folder / "Odd\\Dest\\", 20000));
}

namespace {

// Installers in volumes, made by make_volume_installers.sh: Large.exe (a file
// of 2.25 GiB, volumes of 1 GiB, signed) and Small.exe (volumes of 64 KiB).
class Volumes : public Unattended {
protected:
    void SetUp() override
    {
        const char* made = std::getenv("SETUP_VOLUME_INSTALLERS");
        if (!made) GTEST_SKIP() << "SETUP_VOLUME_INSTALLERS is not set (CTest sets it)";
        Made = WindowsPath(made) + "\\";
        Unattended::SetUp();
    }
    std::string Made;
};

// Whether the installed file holds the product's bytes at these places.
bool SameAt(const std::string& installed, const std::string& source, const std::vector<int64_t>& offsets)
{
    for (int64_t offset : offsets) {
        char a[4096] = {}, b[4096] = {};
        for (auto [path, buffer] : {std::pair<const std::string&, char*>{installed, a}, {source, b}}) {
            HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) return false;
            LARGE_INTEGER at;
            at.QuadPart = offset;
            DWORD got = 0;
            SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
            ReadFile(file, buffer, sizeof a, &got, nullptr);
            CloseHandle(file);
            if (got != sizeof a) return false;
        }
        if (std::memcmp(a, b, sizeof a) != 0) return false;
    }
    return true;
}

int64_t SizeOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return int64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

}  // namespace

// A product past every 32-bit size (one file of 2.25 GiB, a package of as
// much in a signed installer and two volumes) installs silently and through
// the wizard, byte for byte, and goes away again.
TEST_F(Volumes, AProductPastTwoGigabytesInstallsSilentlyAndWithTheWizard)
{
    const std::string large = Made + "Large.exe", source = Made + "large\\Main\\Library.bin";
    const int64_t size = 2415919104;
    for (bool wizard : {false, true}) {
        SCOPED_TRACE(wizard ? "wizard" : "silent");
        std::string log = *Folder / "install.log";
        if (wizard) {
            // Every page with what it proposes, the folders inside the test's own.
            TWizard setup(large);
            ASSERT_TRUE(setup.Shown());
            DWORD start = GetTickCount();
            bool timeLeftShown = false;
            while (setup.Page() != Wizard::pgReady && GetTickCount() - start < 300000) {
                int page = setup.Page();
                // Copying for more than a second, the status line tells the time left.
                timeLeftShown = timeLeftShown || (page == Wizard::pgCopy &&
                                                  setup.Text(Wizard::CopyStatusLabel).find(" left)") != std::string::npos);
                if (page == Wizard::pgVstPlugins) setup.SetText(Wizard::Vst2FolderInput, ExcludeDelimiter(Vst));
                if (page == Wizard::pgDest) setup.SetText(Wizard::DestFolderInput, ExcludeDelimiter(Plug));
                if (page < Wizard::pgCopy) setup.Click(Wizard::NextButton);
                TMessageBoxView box = setup.Box(page == Wizard::pgCopy ? 200 : 300);
                if (box.Window) setup.Answer(box, box.Buttons.front());  // a folder to be made: Yes
            }
            ASSERT_EQ(setup.Page(), Wizard::pgReady);
            EXPECT_TRUE(timeLeftShown);
            setup.CloseBox();
            EXPECT_TRUE(setup.Ended());
        } else {
            TRun run = RunUnattended(large, "/S " + Inside() + " /LOG=\"" + log + "\"", 300000);
            ASSERT_EQ(run.ExitCode, 0u) << ReadText(log);
        }
        EXPECT_EQ(SizeOf(Plug + "Library.bin"), size);
        EXPECT_TRUE(SameAt(Plug + "Library.bin", source, {0, (int64_t(1) << 31) - 2048, size - 4096}));
        EXPECT_TRUE(FileExists(Plug + "Readme.txt"));
        EXPECT_EQ(RunUnattended(Plug + "Uninst.exe", "/S", 120000).ExitCode, 0u);
        EXPECT_TRUE(GoneWithin(Plug, 60000));
        EXPECT_TRUE(CleanUpFoldersGoneWithin(20000));
    }
}

// A volume that is missing, damaged or another one is found before anything
// is written: the wizard asks for a missing one with the folder it belongs
// in, the silent run ends with exit code 4 and says which.
TEST_F(Volumes, AFaultyVolumeIsFoundBeforeAnythingIsWritten)
{
    std::string small = *Folder / "Echo Setup.exe";  // renamed, as downloads are: the volumes keep their names
    ASSERT_TRUE(CopyFileA((Made + "Small.exe").c_str(), small.c_str(), FALSE));
    auto volume = [&](int n) { return *Folder / ("Small-" + std::to_string(n) + ".bin"); };
    auto restore = [&] {
        for (int n = 1; n <= 4; ++n)
            ASSERT_TRUE(CopyFileA((Made + "Small-" + std::to_string(n) + ".bin").c_str(), volume(n).c_str(), FALSE));
    };
    auto flip = [](const std::string& path, int64_t offset) {
        std::vector<uint8_t> bytes = ReadWholeFile(path);
        bytes[size_t(offset)] ^= 0x10;
        WriteWholeFile(path, bytes);
    };
    // Changed where the Adler-32 of the volume stays as it was: +1, -2, +1 on
    // three bytes in a row (-1, +2, -1 puts them back). Only the digest that
    // the signed program keeps tells.
    auto fitted = [](const std::string& path, int64_t offset, int sign) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        uint8_t bytes[3] = {};
        DWORD done = 0;
        LARGE_INTEGER at;
        at.QuadPart = offset;
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        ReadFile(file, bytes, 3, &done, nullptr);
        bytes[0] = uint8_t(bytes[0] + sign);
        bytes[1] = uint8_t(bytes[1] - 2 * sign);
        bytes[2] = uint8_t(bytes[2] + sign);
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        WriteFile(file, bytes, 3, &done, nullptr);
        CloseHandle(file);
    };
    const std::string missing = "Setup cannot find the file 'Small-2.bin', a part of this installer.\r"
                                "It belongs in the folder '" + ExcludeDelimiter(Folder->Path()) +
                                "', beside the installer: please put it there, then retry.";
    struct Row {
        const char* what;
        std::function<void()> fault;
        std::string program, logged;
    } rows[] = {
        {"missing", [&] { DeleteFileA(volume(2).c_str()); }, small, "missing: " + ReplaceAll(missing, "\r", " ")},
        {"the last one missing", [&] { DeleteFileA(volume(4).c_str()); }, small,
         "missing: Setup cannot find the file 'Small-4.bin'"},
        {"damaged", [&] { flip(volume(3), 40000); }, small, "error: The file 'Small-3.bin' of this installer is damaged"},
        {"another one", [&] { CopyFileA(volume(1).c_str(), volume(4).c_str(), FALSE); }, small,
         "error: The file 'Small-4.bin' of this installer is damaged"},
        // A large package is checked while the pages are read: the run waits for the check.
        {"damaged, large", [&] { flip(Made + "Large-2.bin", 100000); }, Made + "Large.exe",
         "package check: volume Large-2.bin is damaged: its data does not match its checksum"},
        {"made to fit its checksum", [&] { fitted(volume(3), 40000, 1); }, small,
         "error: The file 'Small-3.bin' of this installer is damaged"},
        {"made to fit its checksum, large", [&] { fitted(Made + "Large-2.bin", 100000, 1); }, Made + "Large.exe",
         "package check: volume Large-2.bin is not this installer's: its data does not match its digest"},
    };
    std::string log = *Folder / "run.log";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        restore();
        row.fault();
        DeleteFileA(log.c_str());
        TRun run = RunUnattended(row.program, "/S " + Inside() + " /LOG=\"" + log + "\"", 120000);
        // As it was: the large one is not copied again for every row.
        if (std::string(row.what) == "damaged, large") flip(Made + "Large-2.bin", 100000);
        if (std::string(row.what) == "made to fit its checksum, large") fitted(Made + "Large-2.bin", 100000, -1);
        EXPECT_EQ(run.ExitCode, 4u);
        EXPECT_FALSE(DirectoryExists(Plug));
        EXPECT_NE(ReadText(log).find(row.logged), std::string::npos) << ReadText(log);
    }

    // Started from another working folder, it finds its volumes beside itself.
    restore();
    std::string elsewhere = *Folder / "Elsewhere";
    CreateDirectoryA(elsewhere.c_str(), nullptr);
    EXPECT_EQ(RunUnattended(small, "/S " + Inside(), 120000, elsewhere).ExitCode, 0u);
    EXPECT_EQ(RunUnattended(Plug + "Uninst.exe", "/S").ExitCode, 0u);
    EXPECT_TRUE(GoneWithin(Plug, 20000));

    // The wizard asks for the missing volume, and goes on once it is back.
    restore();
    DeleteFileA(volume(2).c_str());
    TProcess process(small);
    TMessageBoxView box = WaitForMessageBox(process.Id());
    EXPECT_EQ(box.Text, missing);
    EXPECT_EQ(box.Buttons, (std::vector<std::string>{"&Retry", "Cancel"}));
    restore();
    ClickButton(box.Window, "&Retry");
    EXPECT_TRUE(WaitUntil([&] { return !TopLevelWindows(process.Id(), Wizard::WindowClass).empty(); }, 15000));
    for (HWND window : TopLevelWindows(process.Id(), Wizard::WindowClass)) PostMessageA(window, WM_CLOSE, 0, 0);
    TMessageBoxView question = WaitForMessageBox(process.Id(), 5000);
    if (question.Window) ClickButton(question.Window, "&Yes");
    EXPECT_TRUE(process.WaitForExit(10000));
}
