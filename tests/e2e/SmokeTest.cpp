#include <gtest/gtest.h>

#include "E2E.h"
#include "MainFormDesign.h"
#include "TestFiles.h"
#include "TestPackages.h"
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
    EXPECT_EQ(wizard.Process().ExitCode(), 0u);
}

// Starts the program, reads the one message box it shows, presses OK and
// checks that the program then ends with code 0.
TMessageBoxView RunToMessageBox(const std::string& program, DWORD exitCode = 0)
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
    bytes[setup.size() + 7] = '4';
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
            EXPECT_EQ(RunToMessageBox(program, 1).Text, "Invalid uninstall data signature.") << word;
        else
            ExpectWizardAndCancel(program);
    }
}
