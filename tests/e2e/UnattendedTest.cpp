// Setup.exe and Uninst.exe run as studios and IT deploy them: /S and the other
// switches, the log, the exit codes; no window is ever shown.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdlib>

#include "FileSystem.h"
#include "PathUtils.h"
#include "Registry.h"
#include "ShellFolders.h"
#include "Stream.h"
#include "TestFiles.h"
#include "WizardDriver.h"

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
TRun RunUnattended(const std::string& program, const std::string& arguments)
{
    TProcess process(program, arguments);
    TRun run;
    DWORD start = GetTickCount();
    while (!(run.Ended = process.WaitForExit(50)) && GetTickCount() - start < 60000) {
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
          "file " + Plug + "Readme.txt", std::string("registry value HKCU\\Software\\Example Audio\\Example Echo"),
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
        {Setup, "/DIR=C:\\", 5, "refused: /DIR: C:\\ is a drive's root"},
        {Setup, "/ITEMS=Echo", 5, "refused: /ITEMS: this installer is not a bundle"},
        {Setup, "/NAME=", 5, "refused: /NAME: the value is empty"},
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
    EXPECT_EQ(run.ExitCode, 1u);
    EXPECT_FALSE(run.WindowShown);
    EXPECT_FALSE(RegistrationExists());
    EXPECT_FALSE(FileExists(Plug + "Uninst.exe"));
    EXPECT_FALSE(FileExists(Vst + "Example Echo.dll"));
    std::string text = ReadText(log);
    for (const char* expected : {"question: ", "| answer: Cancel (unattended)", "error 32: ", "rolling back",
                                 "phase installation (failed, rolled back)", "exit code 1"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

// The certificate-table entry of a program file (offset and size) and its checksum.
std::vector<uint32_t> SignatureFields(const std::vector<uint8_t>& file)
{
    auto word = [&](size_t at) { return at + 4 <= file.size() ? GetUInt32LE(&file[at]) : 0u; };
    size_t optional = size_t(word(0x3C)) + 24;
    return {word(optional + 64), word(optional + 96 + 32), word(optional + 96 + 36)};
}

TEST_F(Unattended, ASignedInstallerInstallsAndItsUninstallerCarriesNoCertificateEntry)
{
    const char* built = std::getenv("SETUP_SIGNED_INSTALLER");
    if (!built || !FileExists(WindowsPath(built))) GTEST_SKIP() << "no signed installer (osslsigncode is missing)";
    std::string program = *Folder / "Signed.exe";
    ASSERT_TRUE(CopyFileA(WindowsPath(built).c_str(), program.c_str(), FALSE));
    std::vector<uint32_t> signedFields = SignatureFields(ReadWholeFile(program));
    ASSERT_NE(signedFields[1], 0u) << "the installer carries no signature";
    TRun install = RunUnattended(program, "/S " + Inside());
    EXPECT_EQ(install.ExitCode, 0u);
    ASSERT_TRUE(FileExists(Plug + "Uninst.exe"));
    EXPECT_EQ(SignatureFields(ReadWholeFile(Plug + "Uninst.exe")), (std::vector<uint32_t>{0, 0, 0}));
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
