#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "E2E.h"
#include "WizardDesign.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "UninstallLog.h"
#include "WindowDriver.h"
#include "WizardDriver.h"

namespace {

std::vector<uint8_t> SetupProgram() { return ReadWholeFile(SetupProgramPath()); }

std::vector<uint8_t> SamplePackage(const std::string& version = "2.02")
{
    return BuildPackageBytes(SampleItems(), version);
}

const std::vector<std::string> SmokeIni = {"[Setup]", "ProductName=Smoke", "RegistryRoot=Software\\SetupTests\\Smoke",
                                           "DefaultFolder=SetupTests\\Smoke"};

// The wizard of a sound package shows its Welcome page; Cancel and Yes end it.
void ExpectWizardAndCancel(const std::string& program)
{
    TWizard wizard(program);
    ASSERT_TRUE(wizard.Shown());
    EXPECT_EQ(WindowText(wizard.Window()), "Smoke Setup");
    EXPECT_EQ(wizard.Page(), Wizard::pgWelcome);
    wizard.Click(Wizard::CancelButton);
    wizard.Answer(wizard.Box(), "&Yes");
    EXPECT_TRUE(wizard.Ended());
    EXPECT_EQ(wizard.Process().ExitCode(), 2u);  // cancelled
}

// Starts the program, reads the one message box it shows, presses OK and
// checks that the program then ends with that code (4: the installer or the
// uninstaller cannot be used).
TMessageBoxView RunToMessageBox(const std::string& program, DWORD exitCode = 4)
{
    TProcess process(program);
    TMessageBoxView box = WaitForMessageBox(process.Id());
    EXPECT_NE(box.Window, nullptr) << "no message box appeared";
    if (!box.Window) return box;
    EXPECT_TRUE(ClickButton(box.Window, "OK"));
    EXPECT_TRUE(process.WaitForExit(10000)) << "the program did not end after OK";
    EXPECT_EQ(process.ExitCode(), exitCode);
    return box;
}

}  // namespace

TEST(Smoke, SoundPackageShowsTheWizard)
{
    TTestFolder folder("SmokeSound");
    ExpectWizardAndCancel(BuildTestInstaller(folder, SmokeIni, {}, "2.02 beta 3"));
}

TEST(Smoke, InvalidConfigurationShowsItsErrorAndEnds)
{
    TTestFolder folder("SmokeInvalid");
    std::string program = folder / "Setup.exe";
    WriteWholeFile(program, AppendPackage(SetupProgram(), SamplePackage()));
    TMessageBoxView box = RunToMessageBox(program);
    EXPECT_EQ(box.Title, "Setup");
    EXPECT_EQ(box.Text, "Invalid configuration in Setup.ini.");
    EXPECT_EQ(box.Buttons, std::vector<std::string>{"OK"});
}

TEST(Smoke, DamagedPackageShowsTheCorruptionError)
{
    TTestFolder folder("SmokeDamaged");
    std::string program = folder / "Setup.exe";
    std::vector<uint8_t> bytes = AppendPackage(SetupProgram(), SamplePackage());
    bytes[bytes.size() - 100] ^= 0x08;
    WriteWholeFile(program, bytes);
    TMessageBoxView box = RunToMessageBox(program);
    EXPECT_EQ(box.Title, "Setup");
    // The error box adds the full stop the message lacks.
    EXPECT_EQ(box.Text, "The installer appears to be corrupted. Please download it again.");
}

TEST(Smoke, WrongSignatureShowsItsError)
{
    TTestFolder folder("SmokeSignature");
    std::string program = folder / "Setup.exe";
    std::vector<uint8_t> setup = SetupProgram();
    std::vector<uint8_t> bytes = AppendPackage(setup, SamplePackage());
    bytes[setup.size() + 7] = '5';  // "KX/ISB/4" is a wide package's
    WriteWholeFile(program, bytes);
    EXPECT_EQ(RunToMessageBox(program).Text, "Invalid setup data signature.");
}

TEST(Smoke, PackageInSetupDatBesideTheProgram)
{
    TTestFolder folder("SmokeSetupDat");
    std::string program = folder / "Setup.exe";
    std::vector<uint8_t> built = ReadWholeFile(BuildTestInstaller(folder, SmokeIni));
    int32_t offset = GetInt32LE(&built[0x30]);
    WriteWholeFile(folder / "Setup.dat", std::vector<uint8_t>(built.begin() + offset, built.end()));
    WriteWholeFile(program, SetupProgram());
    ExpectWizardAndCancel(program);
    DeleteFileA((folder / "Setup.dat").c_str());
    std::string missing = RunToMessageBox(program).Text;
    EXPECT_EQ(missing.rfind("Cannot open file \"" + folder.Path() + "Setup.dat\".", 0), 0u) << missing;
}

TEST(Smoke, OnlyModeWordOneRunsTheUninstaller)
{
    TTestFolder folder("SmokeModes");
    std::string program = folder / "Setup.exe";
    const std::vector<uint8_t> sound = ReadWholeFile(BuildTestInstaller(folder, SmokeIni));
    for (int32_t word : {0, 1, 2, -1, 256}) {
        std::vector<uint8_t> bytes = sound;
        SetWord(bytes, 0x34, word);
        WriteWholeFile(program, bytes);
        // As an uninstaller the file's appended data is no uninstall log: the
        // last-chance error box says so and the program fails.
        if (word == 1)
            EXPECT_EQ(RunToMessageBox(program).Text, "Invalid uninstall data signature.") << word;
        else
            ExpectWizardAndCancel(program);
    }
}

// A sample of the corruption sweep through the real program: each damaged
// package ends with the corruption message in the error box, never a crash.
TEST(Smoke, SampleOfDamagedPackagesEndsWithTheCorruptionMessage)
{
    TTestFolder folder("SmokeSweep");
    std::vector<std::string> ini = SmokeIni;
    ini.insert(ini.end(), {"[Components]", "Main=$ProgramFolder"});
    const std::vector<uint8_t> sound = ReadWholeFile(BuildTestInstaller(
        folder, ini, {TPackageItem::Folder("Main", {TPackageItem::Folder("Sub", {TPackageItem::File("Deep.txt", "d")})})}));
    const size_t package = size_t(GetInt32LE(&sound[0x30]));
    const size_t first = package + TestEntriesStart;  // Setup.ini's entry header
    const std::string deep = "Deep.txt";
    const size_t deepName = size_t(std::search(sound.begin(), sound.end(), deep.begin(), deep.end()) - sound.begin());
    auto refresh = [&](std::vector<uint8_t>& b) {
        std::vector<uint8_t> data(b.begin() + long(package), b.end());
        RefreshChecksum(data);
        std::copy(data.begin(), data.begin() + 28, b.begin() + long(package));
    };
    struct Damage {
        const char* What;
        std::function<void(std::vector<uint8_t>&)> Apply;
    } damages[] = {
        {"a data byte", [&](std::vector<uint8_t>& b) { b[first + 100] ^= 0x10; }},
        {"cut short", [&](std::vector<uint8_t>& b) { b.resize(package + 200); }},
        {"a name with a path in it, checksum made to fit",
         [&](std::vector<uint8_t>& b) {
             std::memcpy(&b[first + 1], "..\\Setup", 8);
             refresh(b);
         }},
        {"a stored size past the data, checksum made to fit",
         [&](std::vector<uint8_t>& b) {
             PutInt32LE(&b[first + 68], 0x7FFFFF00);
             refresh(b);
         }},
        // Found with the checksum at start-up, before the first page: not when Install is clicked.
        {"a name Windows cannot hold deep in a component, checksum made to fit",
         [&](std::vector<uint8_t>& b) {
             b[deepName + 3] = '?';
             refresh(b);
         }},
    };
    for (const Damage& damage : damages) {
        std::vector<uint8_t> bytes = sound;
        damage.Apply(bytes);
        WriteWholeFile(folder / "Damaged.exe", bytes);
        TMessageBoxView box = RunToMessageBox(folder / "Damaged.exe");
        EXPECT_EQ(box.Text, "The installer appears to be corrupted. Please download it again.") << damage.What;
    }
}

TEST(Smoke, AMissingOrUnreadableSidePictureIsReportedAndTheWizardGoesOn)
{
    TTestFolder folder("SmokeNoPicture");
    std::string ini;
    for (const std::string& line : SmokeIni) ini += line + "\r\n";
    struct TCase {
        const char* Name;
        std::vector<TPackageItem> Picture;
        std::string Says;
    } cases[] = {
        {"Missing", {}, "Cannot open file \"" + folder.Path() + "Setup.jpg\"."},
        // A text file named .jpg: the decoder's own words never reach the user.
        {"Text", {TPackageItem::File("Setup.jpg", "not a picture")},
         "The picture Setup.jpg of this installer cannot be shown.\rSetup will continue without it."},
    };
    for (const TCase& test : cases) {
        std::vector<TPackageItem> items = {TPackageItem::File("Setup.ini", ini), TPackageItem::File("Setup.lic", "L")};
        items.insert(items.end(), test.Picture.begin(), test.Picture.end());
        std::string program = folder / (std::string(test.Name) + ".exe");
        WriteWholeFile(program, AppendPackage(SetupProgram(), BuildPackageBytes(items)));
        TProcess process(program);
        TMessageBoxView box = WaitForMessageBox(process.Id());
        EXPECT_EQ(box.Title, "Smoke Setup");
        EXPECT_EQ(box.Text.rfind(test.Says, 0), 0u) << box.Text;
        ClickButton(box.Window, "OK");
        EXPECT_TRUE(WaitUntil([&] { return !TopLevelWindows(process.Id(), Wizard::WindowClass).empty(); }));
        std::vector<HWND> wizard = TopLevelWindows(process.Id(), Wizard::WindowClass);
        ASSERT_FALSE(wizard.empty());
        PostMessageA(wizard.front(), WM_CLOSE, 0, 0);
        TMessageBoxView question = WaitForMessageBox(process.Id());
        ClickButton(question.Window, "&Yes");
        EXPECT_TRUE(process.WaitForExit(10000));
    }
}

TEST(Smoke, SetupIniOfGarbageOrOneHugeLineIsAnInvalidConfiguration)
{
    TTestFolder folder("SmokeGarbageIni");
    std::string garbage(200000, '\0');
    uint32_t state = 12345;
    for (char& c : garbage) c = char((state = state * 1103515245 + 12345) >> 24);
    for (const std::string& ini : {garbage, "[Setup]\r\nProductName=" + std::string(3 << 20, 'x')}) {
        std::vector<uint8_t> package =
            BuildPackageBytes({TPackageItem::File("Setup.ini", ini), TPackageItem::File("Setup.lic", "L")});
        WriteWholeFile(folder / "Setup.exe", AppendPackage(SetupProgram(), package));
        EXPECT_EQ(RunToMessageBox(folder / "Setup.exe").Text, "Invalid configuration in Setup.ini.");
    }
}

TEST(Smoke, AnUninstallLogWithHostileLengthsEndsWithAReadError)
{
    TTestFolder folder("SmokeHostileLog");
    TMemoryStream log;
    WriteUninstallLog(log, MakeVersion("1.00"), {"F" + folder.Path() + "Keep.txt"}, "Hostile");
    WriteWholeFile(folder / "Keep.txt", {'k'});
    for (int32_t length : {-1, INT32_MAX}) {
        std::vector<uint8_t> bytes = SetupProgram();
        size_t at = bytes.size();
        bytes.insert(bytes.end(), log.Data().begin(), log.Data().end());
        SetWord(bytes, 0x30, int32_t(at));
        SetWord(bytes, 0x34, 1);
        PutInt32LE(&bytes[at + 53], length);  // the text length
        WriteWholeFile(folder / "Uninst.exe", bytes);
        EXPECT_EQ(RunToMessageBox(folder / "Uninst.exe").Text, "Stream read error.") << length;
        EXPECT_TRUE(GetFileAttributesA((folder / "Keep.txt").c_str()) != INVALID_FILE_ATTRIBUTES);
    }
}
