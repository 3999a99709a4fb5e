#include <gtest/gtest.h>

#include "Exception.h"
#include "FileSystem.h"
#include "Installer.h"
#include "PathUtils.h"
#include "Registry.h"
#include "SharedFiles.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "Uninstaller.h"

namespace {

// Each test's registrations live under key names of its own, removed afterwards.
class TRegistrations {
public:
    ~TRegistrations()
    {
        TRegistry registry;
        registry.RootKey = HKEY_LOCAL_MACHINE;
        for (const std::string& name : FNames) registry.DeleteKey(UninstallRegistryKey + name);
    }
    // Writes a registration as an earlier installation would have.
    void Add(const std::string& name, const std::string& uninstallString)
    {
        FNames.push_back(name);
        TRegistry registry;
        registry.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(registry.OpenKey(UninstallRegistryKey + name, true));
        registry.WriteString("DisplayName", name);
        registry.WriteString("UninstallString", uninstallString);
    }
    void Expect(const std::string& name) { FNames.push_back(name); }
    static bool Exists(const std::string& name)
    {
        TRegistry registry;
        registry.RootKey = HKEY_LOCAL_MACHINE;
        return registry.KeyExists(UninstallRegistryKey + name);
    }
    static std::string Value(const std::string& name, const std::string& value)
    {
        TRegistry registry;
        registry.RootKey = HKEY_LOCAL_MACHINE;
        if (!registry.OpenKey(UninstallRegistryKey + name, false)) return "(no key)";
        return registry.ReadString(value);
    }

private:
    std::vector<std::string> FNames;
};

TUninstallLog ReadLogAt(const std::vector<uint8_t>& file, size_t offset)
{
    TMemoryStream stream(std::vector<uint8_t>(file.begin() + long(offset), file.end()));
    return ReadUninstallLog(stream);
}

// The file's value in the Windows shared-file counts, or "none".
std::string SharedCountValue(const std::string& path)
{
    TRegistry registry(KEY_READ);
    registry.RootKey = HKEY_LOCAL_MACHINE;
    if (!registry.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", false) ||
        !registry.ValueExists(path))
        return "none";
    return std::to_string(registry.ReadInteger(path));
}

std::string TextOf(const std::string& path)
{
    if (!FileExists(path)) return "none";
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(UninstallerWriter, CopiesTheProgramPartMarksItAndAppendsTheLog)
{
    TTestFolder folder("UninstallerCopy");
    std::vector<uint8_t> program = StubProgram(700);
    for (size_t i = 0x40; i < program.size(); ++i) program[i] = uint8_t(i);
    WriteWholeFile(folder / "Setup.exe", AppendPackage(program, BuildPackageBytes(SampleItems(), "3.10")));
    TInstaller installer("", folder / "Setup.exe");
    installer.RecordItem(TLineKind::File, "C:\\Program Files\\Sample\\Readme.txt");
    TRegistrations registrations;
    registrations.Expect("SetupTests Copy");
    installer.WriteUninstaller(folder / "Uninst.exe", "SetupTests Copy", "Sample", "Sample 3");

    std::vector<uint8_t> uninstaller = ReadWholeFile(folder / "Uninst.exe");
    ASSERT_GT(uninstaller.size(), program.size());
    EXPECT_EQ(GetInt32LE(&uninstaller[0x30]), 700);
    EXPECT_EQ(GetInt32LE(&uninstaller[0x34]), 1);
    EXPECT_TRUE(std::equal(program.begin() + 0x38, program.end(), uninstaller.begin() + 0x38));
    EXPECT_EQ(std::string(uninstaller.begin() + 700, uninstaller.begin() + 708), "KX/UNS/Z");  // a finished log is stored packed
    EXPECT_EQ(std::vector<uint8_t>(uninstaller.begin() + 708, uninstaller.begin() + 728), std::vector<uint8_t>(20, 0));
    TUninstallLog log = ReadLogAt(uninstaller, 700);
    EXPECT_EQ(log.Version.AsText(), "3.10");
    EXPECT_EQ(log.ProductName, "Sample");
    std::vector<std::string> lines = {"FC:\\Program Files\\Sample\\Readme.txt",
                                      "M\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SetupTests Copy"};
    EXPECT_EQ(log.Lines, lines);
}

TEST(UninstallerWriter, ACopyOfASignedInstallerCarriesNoCertificateEntry)
{
    // A 32-bit and a 64-bit program part, each signed: its checksum set and
    // its certificate table after the package, where the copy ends before.
    for (bool wide : {false, true}) {
        TTestFolder folder("UninstallerSigned");
        std::vector<uint8_t> program = StubProgram(1024);
        const size_t header = 0x80, optional = header + 24, security = optional + (wide ? 112 : 96) + 4 * 8;
        SetWord(program, 0x3C, int32_t(header));
        std::copy_n("PE\0\0", 4, program.begin() + long(header));
        program[optional] = 0x0B;
        program[optional + 1] = wide ? 0x02 : 0x01;
        SetWord(program, optional + 64, 0x0001F00D);  // CheckSum
        std::vector<uint8_t> installer = AppendPackage(program, BuildPackageBytes(SampleItems()));
        SetWord(installer, security, int32_t(installer.size()));
        SetWord(installer, security + 4, 1500);
        installer.resize(installer.size() + 1500, 0x30);  // the certificate table
        WriteWholeFile(folder / "Setup.exe", installer);
        TInstaller writer("", folder / "Setup.exe");
        TRegistrations registrations;
        registrations.Expect("SetupTests Signed");
        writer.WriteUninstaller(folder / "Uninst.exe", "SetupTests Signed", "Sample", "Sample 2");

        std::vector<uint8_t> uninstaller = ReadWholeFile(folder / "Uninst.exe");
        EXPECT_EQ(GetInt32LE(&uninstaller[optional + 64]), 0) << wide;
        EXPECT_EQ(GetInt32LE(&uninstaller[security]), 0) << wide;
        EXPECT_EQ(GetInt32LE(&uninstaller[security + 4]), 0) << wide;
        // Everything else of the program part is as it was.
        for (size_t at : {optional + 64, security, security + 4}) {
            std::fill_n(uninstaller.begin() + long(at), 4, 0);
            std::fill_n(program.begin() + long(at), 4, 0);
        }
        EXPECT_TRUE(std::equal(program.begin() + 0x38, program.end(), uninstaller.begin() + 0x38)) << wide;
    }
}

TEST(UninstallerWriter, ProgramWithoutAppendedPackageIsCopiedWhole)
{
    TTestFolder folder("UninstallerWhole");
    WriteWholeFile(folder / "Setup.dat", BuildPackageBytes(SampleItems()));
    TRegistrations registrations;
    registrations.Expect("SetupTests Whole");
    for (int32_t offset : {0, -5}) {
        std::vector<uint8_t> program = StubProgram(333);
        SetWord(program, 0x30, offset);
        WriteWholeFile(folder / "Setup.exe", program);
        TInstaller installer("", folder / "Setup.exe");
        installer.WriteUninstaller(folder / "Uninst.exe", "SetupTests Whole", "Sample", "Sample");
        std::vector<uint8_t> uninstaller = ReadWholeFile(folder / "Uninst.exe");
        EXPECT_EQ(GetInt32LE(&uninstaller[0x30]), 333) << offset;
        EXPECT_EQ(GetInt32LE(&uninstaller[0x34]), 1) << offset;
        EXPECT_EQ(ReadLogAt(uninstaller, 333).Lines.size(), 1u) << offset;
    }
}

TEST(UninstallerWriter, EmptyLogHasTextLengthZero)
{
    TTestFolder folder("UninstallerEmptyLog");
    WriteWholeFile(folder / "Setup.exe", AppendPackage(StubProgram(), BuildPackageBytes({})));
    TInstaller installer("", folder / "Setup.exe");
    TMemoryStream stream;
    installer.WriteUninstallLog(stream, "Name");
    const std::vector<uint8_t>& bytes = stream.Data();
    // Stored packed: the text's length, the name's, then the packed text's.
    ASSERT_GE(bytes.size(), 28u + 25 + 12 + 4);
    EXPECT_EQ(GetInt32LE(&bytes[53]), 0);
    EXPECT_EQ(GetInt32LE(&bytes[57]), 4);
    EXPECT_EQ(size_t(GetInt32LE(&bytes[61])), bytes.size() - (28 + 25 + 12 + 4));
    EXPECT_EQ(std::string(bytes.end() - 4, bytes.end()), "Name");
}

TEST(UninstallerWriter, RegistersQuotedAndRemovesEarlierRegistrationsOfTheSameFile)
{
    TTestFolder folder("UninstallerRegister");
    WriteWholeFile(folder / "Setup.exe", AppendPackage(StubProgram(), BuildPackageBytes(SampleItems())));
    std::string path = folder / "Uninst.exe";
    std::string upper = path;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 32);

    TRegistrations registrations;
    registrations.Add("SetupTests Old Name", upper);                       // other key, other letter case
    registrations.Add("SetupTests Quoted", "\"" + path + "\"");            // written quoted
    registrations.Add("SetupTests Other", "\"" + folder.Path() + "Other\\Uninst.exe\"");
    registrations.Expect("SetupTests New");

    TInstaller installer("", folder / "Setup.exe");
    installer.WriteUninstaller(path, "SetupTests New", "Sample", "Sample 2.0");

    EXPECT_FALSE(TRegistrations::Exists("SetupTests Old Name"));
    EXPECT_FALSE(TRegistrations::Exists("SetupTests Quoted"));
    EXPECT_TRUE(TRegistrations::Exists("SetupTests Other"));
    EXPECT_EQ(TRegistrations::Value("SetupTests New", "DisplayName"), "Sample 2.0");
    EXPECT_EQ(TRegistrations::Value("SetupTests New", "UninstallString"), "\"" + path + "\"");
}

TEST(UninstallerWriter, RegistrationWithAValueOfAnotherTypeIsPassedOver)
{
    TTestFolder folder("UninstallerBadValue");
    WriteWholeFile(folder / "Setup.exe", AppendPackage(StubProgram(), BuildPackageBytes(SampleItems())));
    TRegistrations registrations;
    registrations.Add("SetupTests Broken", "x");
    {
        TRegistry registry;
        registry.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(registry.OpenKey(UninstallRegistryKey + std::string("SetupTests Broken"), false));
        registry.WriteInteger("UninstallString", 7);
    }
    registrations.Expect("SetupTests After Broken");
    TInstaller installer("", folder / "Setup.exe");
    EXPECT_NO_THROW(installer.WriteUninstaller(folder / "Uninst.exe", "SetupTests After Broken", "S", "S"));
    EXPECT_TRUE(TRegistrations::Exists("SetupTests Broken"));
    EXPECT_EQ(TRegistrations::Value("SetupTests After Broken", "DisplayName"), "S");
}

TEST(UninstallerWriter, UninstallerThatCannotBeCreatedIsAnError)
{
    TTestFolder folder("UninstallerNoFolder");
    WriteWholeFile(folder / "Setup.exe", AppendPackage(StubProgram(), BuildPackageBytes({})));
    TInstaller installer("", folder / "Setup.exe");
    EXPECT_THROW(installer.WriteUninstaller(folder / "Missing\\Uninst.exe", "SetupTests Never", "S", "S"),
                 EFCreateError);
    EXPECT_FALSE(TRegistrations::Exists("SetupTests Never"));
}

TEST(UninstallerWriter, RegistryKeysAreRecordedByRootAndView)
{
    TTestFolder folder("UninstallerRecordKeys");
    WriteWholeFile(folder / "Setup.exe", AppendPackage(StubProgram(), BuildPackageBytes({})));
    TInstaller installer("", folder / "Setup.exe");
    installer.RecordRegistryKey(HKEY_CURRENT_USER, "\\Software\\Maker\\Product\\2.0", true);
    installer.RecordRegistryKey(HKEY_LOCAL_MACHINE, "\\Software\\Maker\\Product\\2.0", false);
    installer.RecordRegistryKey(HKEY_LOCAL_MACHINE, "\\Software\\Maker\\Product\\2.0", true);
    installer.RecordRegistryKey(HKEY_CLASSES_ROOT, ".fxp", false);
    installer.RecordRegistryKey(HKEY_USERS, "\\Software\\Nothing", false);
    std::vector<std::string> expected = {"U\\Software\\Maker\\Product\\2.0", "M\\Software\\Maker\\Product\\2.0",
                                         "6\\Software\\Maker\\Product\\2.0", "C.fxp"};
    EXPECT_EQ(ItemLines(installer.UninstallLog()), expected);
}

TEST(UninstallerWriter, AFileOutsideTheProductFolderIsKeptAsideWhateverItsSharedCount)
{
    const struct {
        const char* Before;  // the file at the plug-in's place before, or none
        int Count;           // its shared count then
        const char* Lines;   // the letters of the log lines that name it, in order
        const char* Left;    // the file after removal, or none
        const char* CountLeft;
    } rows[] = {
        // The last reference goes with the count's value itself.
        {"none", 0, "FSQH", "none", "none"},
        // The user's own, uncounted: kept with a B line and put back on removal.
        {"mine", 0, "BFSQH", "mine", "none"},
        // A count alone is no evidence of another installation (it may be stale):
        // kept aside and put back like the user's own; only our reference goes back.
        {"theirs", 1, "BFSQH", "theirs", "1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Before);
        TTestFolder folder("UninstallerSharedPlace");
        std::string program = folder / "Program\\", vst = folder / "Vst\\", plugin = vst + "Echo.dll";
        for (const std::string& made : {program, vst}) CreateDirectoryA(made.c_str(), nullptr);
        ForgetSharedFiles(folder.Path());
        std::string before = row.Before;
        if (before != "none") WriteWholeFile(plugin, {before.begin(), before.end()});
        for (int i = 0; i < row.Count; ++i) AddSharedFileReference(TInstallScope::Everyone, plugin);
        WriteWholeFile(folder / "Setup.exe",
                       AppendPackage(StubProgram(), BuildPackageBytes({TPackageItem::Folder(
                                                        "VstX", {TPackageItem::File("Echo.dll", "product")})})));
        TRegistrations registrations;
        registrations.Expect("SetupTests Shared Place");
        {
            TInstaller installer("", folder / "Setup.exe");
            installer.OwnFolder = program;
            installer.BackupFolder = program + "Replaced Files\\";
            installer.ForceFolder(program, false);
            installer.ExtractFolder("VstX", vst, 0);
            std::string kinds;
            for (const std::string& line : installer.UninstallLog())
                if (SameTextAscii(TLogLine::Parse(line).Path(), plugin)) kinds += line[0];
            EXPECT_EQ(kinds, row.Lines);
            installer.WriteUninstaller(program + "Uninst.exe", "SetupTests Shared Place", "Echo", "Echo");
        }
        EXPECT_TRUE(TUninstaller(program + "Uninst.exe").Uninstall());
        EXPECT_EQ(TextOf(plugin), row.Left);
        EXPECT_EQ(SharedCountValue(plugin), row.CountLeft);
        ForgetSharedFiles(folder.Path());
    }
}
