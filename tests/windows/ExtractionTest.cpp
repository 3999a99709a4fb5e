#include <gtest/gtest.h>

#include <cstring>

#include "Exception.h"
#include "FileSystem.h"
#include "Installer.h"
#include "PathUtils.h"
#include "Registry.h"
#include "TestFiles.h"
#include "TestPackages.h"

namespace {

// An installer program file in the test's folder, carrying the given items.
std::unique_ptr<TInstaller> InstallerFor(const TTestFolder& folder, const std::vector<TPackageItem>& items,
                                         std::vector<uint8_t>* packageOut = nullptr)
{
    std::vector<uint8_t> package = BuildPackageBytes(items);
    if (packageOut) *packageOut = package;
    std::string path = folder / "Setup.exe";
    WriteWholeFile(path, AppendPackage(StubProgram(), package));
    return std::make_unique<TInstaller>("", path);
}

std::string ReadText(const std::string& path)
{
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// The file's last-write time as a local DOS date-time.
int32_t LastWriteDos(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    FILETIME local;
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    WORD date = 0, time = 0;
    FileTimeToDosDateTime(&local, &date, &time);
    return int32_t(uint32_t(date) << 16 | time);
}

const int32_t PackageDate = PartsToDosDateTime({2024, 3, 15, 10, 30, 20});

}  // namespace

TEST(Extraction, ExtractFileToMemoryFindsTopLevelFilesOnly)
{
    TTestFolder folder("ExtractMemory");
    auto installer = InstallerFor(folder, SampleItems());
    auto ini = installer->ExtractFileToMemory("SETUP.INI");
    ASSERT_NE(ini, nullptr);
    EXPECT_EQ(ini->Position(), 0);
    EXPECT_EQ(ini->AsString(), "[Setup]\r\nProductName=Sample\r\n");
    EXPECT_EQ(installer->ExtractFileToMemory("Main")->AsString(), "a file that shares its name with a folder");
    EXPECT_EQ(installer->ExtractFileToMemory("Readme.txt"), nullptr);  // below the top level
    EXPECT_EQ(installer->ExtractFileToMemory("VstX"), nullptr);        // a folder, not a file
}

TEST(Extraction, RecordsExistingParentCreatedFoldersThenFilesThenRegistration)
{
    TTestFolder folder("ExtractOrder");
    auto installer = InstallerFor(folder, {TPackageItem::Folder("Main", {TPackageItem::File("One.txt", "1"),
                                                                         TPackageItem::File("Two.txt", "22")})});
    std::string a = folder / "A\\";
    ASSERT_TRUE(CreateDirectoryA(a.c_str(), nullptr));
    std::string b = a + "B\\";
    EXPECT_EQ(installer->ExtractFolder("main", b, 0), 0);
    installer->WriteUninstaller(folder / "Uninst.exe", "SetupTests ExtractOrder", "Sample", "Sample");
    std::vector<std::string> expected = {"E" + a, "D" + b, "F" + b + "One.txt", "F" + b + "Two.txt",
                                         "M\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SetupTests ExtractOrder"};
    EXPECT_EQ(ItemLines(installer->UninstallLog()), expected);
    EXPECT_EQ(ReadText(b + "Two.txt"), "22");
    TRegistry cleanup;
    cleanup.RootKey = HKEY_LOCAL_MACHINE;
    cleanup.DeleteKey(UninstallRegistryKey + std::string("SetupTests ExtractOrder"));
}

TEST(Extraction, WritesTheTreeWithOneTimeStamp)
{
    TTestFolder folder("ExtractTree");
    auto installer = InstallerFor(folder, SampleItems());
    std::string dest = folder / "Dest";  // no trailing backslash: one is added
    installer->ExtractFolder("Main", dest, 0);
    EXPECT_EQ(ReadText(dest + "\\Readme.txt"), std::string(5000, 'r'));
    EXPECT_EQ(ReadText(dest + "\\Presets\\Default.fxp"), "preset");
    // An empty file is created, stamped and recorded; an empty folder created and recorded.
    EXPECT_TRUE(FileExists(dest + "\\Empty.txt"));
    EXPECT_EQ(ReadWholeFile(dest + "\\Empty.txt").size(), 0u);
    EXPECT_TRUE(DirectoryExists(dest + "\\Nothing"));
    for (const char* file : {"\\Readme.txt", "\\Empty.txt", "\\Presets\\Default.fxp"})
        EXPECT_EQ(LastWriteDos(dest + file), PackageDate) << file;
    const auto& log = installer->UninstallLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "F" + dest + "\\Empty.txt"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "D" + dest + "\\Nothing\\"), log.end());

    // A given file time replaces the package date.
    int32_t other = PartsToDosDateTime({2030, 12, 24, 18, 0, 0});
    installer->ExtractFolder("VstX", folder / "Vst", other);
    EXPECT_EQ(LastWriteDos(folder / "Vst\\Sample.dll"), other);
}

TEST(Extraction, MissingFolderChangesNothing)
{
    TTestFolder folder("ExtractMissing");
    auto installer = InstallerFor(folder, SampleItems());
    EXPECT_EQ(installer->ExtractFolder("Setup.ini", folder / "Dest", 0), 0);  // a file, not a folder
    EXPECT_EQ(installer->ExtractFolder("Nowhere", folder / "Dest", 0), 0);
    EXPECT_FALSE(DirectoryExists(folder / "Dest"));
    EXPECT_TRUE(installer->UninstallLog().Empty());
}

TEST(Extraction, GetFolderSizeCreatesCallsAndRecordsNothing)
{
    TTestFolder folder("ExtractSize");
    auto installer = InstallerFor(folder, SampleItems());
    bool called = false;
    installer->OnInstallFile = [&](TInstaller&, std::string&, int32_t&) { called = true; };
    EXPECT_EQ(installer->GetFolderSize("main"), 5000 + 0 + 6);
    EXPECT_EQ(installer->GetFolderSize("VstX"), 100000);
    EXPECT_EQ(installer->GetFolderSize("Nowhere"), 0);
    EXPECT_FALSE(called);
    EXPECT_TRUE(installer->UninstallLog().Empty());
}

TEST(Extraction, WithoutOverwriteExistingFilesStayUntouched)
{
    TTestFolder folder("ExtractNoOverwrite");
    auto installer = InstallerFor(folder, {TPackageItem::Folder("Main", {TPackageItem::File("Old.txt", "new"),
                                                                         TPackageItem::File("New.txt", "new")})});
    std::string dest = folder / "Dest\\";
    CreateDirectoryA(dest.c_str(), nullptr);
    WriteWholeFile(dest + "Old.txt", {'o', 'l', 'd'});
    SetFileAttributesA((dest + "Old.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    int32_t oldTime = LastWriteDos(dest + "Old.txt");
    DWORD oldAttributes = GetFileAttributesA((dest + "Old.txt").c_str());
    installer->OverwriteFiles = false;
    installer->ExtractFolder("Main", dest, 0);
    EXPECT_EQ(ReadText(dest + "Old.txt"), "old");
    EXPECT_EQ(LastWriteDos(dest + "Old.txt"), oldTime);
    EXPECT_EQ(GetFileAttributesA((dest + "Old.txt").c_str()), oldAttributes);
    EXPECT_TRUE(oldAttributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(ReadText(dest + "New.txt"), "new");
    std::vector<std::string> expected = {"E" + dest, "F" + dest + "New.txt"};
    EXPECT_EQ(ItemLines(installer->UninstallLog()), expected);
}

TEST(Extraction, HandlerRenamesSkipsAndAddsAttributes)
{
    TTestFolder folder("ExtractHandler");
    auto installer = InstallerFor(folder, {TPackageItem::Folder("Main", {TPackageItem::File("Plugin.dll", "dll"),
                                                                         TPackageItem::File("Skip.txt", "skip"),
                                                                         TPackageItem::File("Icon.ico", "ico")})});
    std::string dest = folder / "Dest\\";
    installer->OnInstallFile = [&](TInstaller&, std::string& name, int32_t& attributes) {
        if (ExtractFileName(name) == "Plugin.dll") name = dest + "Plugin (Mono).dll";
        if (ExtractFileName(name) == "Skip.txt") name.clear();
        if (ExtractFileName(name) == "Icon.ico") attributes |= FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    };
    installer->ExtractFolder("Main", dest, 0);
    EXPECT_EQ(ReadText(dest + "Plugin (Mono).dll"), "dll");
    EXPECT_FALSE(FileExists(dest + "Plugin.dll"));
    EXPECT_FALSE(FileExists(dest + "Skip.txt"));
    DWORD attributes = GetFileAttributesA((dest + "Icon.ico").c_str());
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    std::vector<std::string> expected = {"E" + folder.Path(), "D" + dest, "F" + dest + "Plugin (Mono).dll",
                                         "F" + dest + "Icon.ico"};
    EXPECT_EQ(ItemLines(installer->UninstallLog()), expected);
}

TEST(Extraction, ReadOnlyHiddenSystemTargetIsReplaced)
{
    TTestFolder folder("ExtractReadOnly");
    auto installer = InstallerFor(folder, {TPackageItem::Folder("Main", {TPackageItem::File("Locked.txt", "fresh")})});
    std::string dest = folder / "Dest\\";
    CreateDirectoryA(dest.c_str(), nullptr);
    WriteWholeFile(dest + "Locked.txt", {'s', 't', 'a', 'l', 'e'});
    SetFileAttributesA((dest + "Locked.txt").c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    installer->ExtractFolder("Main", dest, 0);
    EXPECT_EQ(ReadText(dest + "Locked.txt"), "fresh");
    EXPECT_EQ(GetFileAttributesA((dest + "Locked.txt").c_str()) &
                  (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              0u);
}

TEST(Extraction, LockedTargetIsRetriedFromTheStartOfItsData)
{
    TTestFolder folder("ExtractRetry");
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 31 % 251);
    auto installer = InstallerFor(folder, {TPackageItem::Folder("Main", {TPackageItem::File("A.txt", "first"),
                                                                         TPackageItem::File("Busy.dll", big),
                                                                         TPackageItem::File("Z.txt", "last")})});
    std::string dest = folder / "Dest\\";
    CreateDirectoryA(dest.c_str(), nullptr);
    HANDLE lock = LockFile(dest + "Busy.dll");
    int asked = 0;
    std::string askedFor;
    installer->OnInstallError = [&](TInstaller&, const std::exception&, const std::string& name, bool& retry) {
        ++asked;
        askedFor = name;
        CloseHandle(lock);  // the user closed the host that held the file
        retry = true;
    };
    installer->ExtractFolder("Main", dest, 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(askedFor, dest + "Busy.dll");
    EXPECT_EQ(ReadText(dest + "Busy.dll"), big);
    EXPECT_EQ(ReadText(dest + "Z.txt"), "last");
    std::vector<std::string> expected = {"E" + dest, "F" + dest + "A.txt", "F" + dest + "Busy.dll",
                                         "F" + dest + "Z.txt"};
    EXPECT_EQ(ItemLines(installer->UninstallLog()), expected);
}

TEST(Extraction, DeclinedRetryEndsTheExtractionAndKeepsWhatWasWritten)
{
    TTestFolder folder("ExtractCancel");
    auto installer = InstallerFor(folder, {TPackageItem::Folder("Main", {TPackageItem::File("A.txt", "first"),
                                                                         TPackageItem::File("Busy.dll", "dll"),
                                                                         TPackageItem::File("Z.txt", "last")})});
    std::string dest = folder / "Dest\\";
    CreateDirectoryA(dest.c_str(), nullptr);
    HANDLE lock = LockFile(dest + "Busy.dll");
    int asked = 0;
    installer->OnInstallError = [&](TInstaller&, const std::exception&, const std::string&, bool& retry) {
        retry = ++asked < 2;  // retry once while still locked, then give up
    };
    EXPECT_THROW(installer->ExtractFolder("Main", dest, 0), EFileInUse);
    CloseHandle(lock);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ReadText(dest + "A.txt"), "first");
    EXPECT_EQ(ReadText(dest + "Busy.dll"), "x");  // the holder's file, untouched
    EXPECT_FALSE(FileExists(dest + "Busy.dll.partial"));
    EXPECT_FALSE(FileExists(dest + "Z.txt"));
    std::vector<std::string> expected = {"E" + dest, "F" + dest + "A.txt"};
    EXPECT_EQ(ItemLines(installer->UninstallLog()), expected);
}

TEST(Extraction, DamagedDataIsTheCorruptionMessageAndReplacesNothing)
{
    TTestFolder folder("ExtractDamaged");
    std::vector<TPackageItem> items = {TPackageItem::Folder("Main", {TPackageItem::File("A.txt", std::string(4000, 'a'))})};
    std::vector<uint8_t> package = BuildPackageBytes(items);
    package[TestEntriesStart + 76 + 76 + 10] ^= 0xFF;  // inside the zlib stream of A.txt
    RefreshChecksum(package);
    WriteWholeFile(folder / "Setup.exe", AppendPackage(StubProgram(), package));
    TInstaller installer("", folder / "Setup.exe");
    int asked = 0;
    installer.OnInstallError = [&](TInstaller&, const std::exception&, const std::string&, bool&) { ++asked; };
    CreateDirectoryA((folder / "Dest").c_str(), nullptr);
    WriteWholeFile(folder / "Dest\\A.txt", {'o', 'l', 'd'});
    try {
        installer.ExtractFolder("Main", folder / "Dest", 0);
        ADD_FAILURE() << "a damaged stream was written";
    } catch (const ESetupError& e) {
        EXPECT_STREQ(e.what(), "The installer appears to be corrupted. Please download it again");
    }
    EXPECT_EQ(asked, 0);  // no question about running programs
    EXPECT_EQ(ReadText(folder / "Dest\\A.txt"), "old");
    EXPECT_FALSE(FileExists(folder / "Dest\\A.txt.partial"));
}

// Found when the package is opened, before the first page: not when Install is clicked.
TEST(Extraction, HostileEntriesAreRefusedWhenThePackageIsOpened)
{
    TTestFolder folder("ExtractHostile");
    std::vector<TPackageItem> items = {TPackageItem::Folder(
        "Main", {TPackageItem::File("Good.txt", "good"), TPackageItem::File("Evil.txt", "evil")})};
    std::vector<uint8_t> good = BuildPackageBytes(items);
    // The second child's header: after the folder, Good.txt's header and its data.
    int32_t goodStored = GetInt32LE(&good[TestEntriesStart + 76 + 68]);
    size_t evil = TestEntriesStart + 76 + 76 + size_t(goodStored);
    ASSERT_EQ(std::string(reinterpret_cast<char*>(&good[evil + 1]), 8), "Evil.txt");

    std::vector<uint8_t> renamed = good;
    std::memcpy(&renamed[evil + 1], "..\\x.txt", 8);
    std::vector<uint8_t> oversized = good;
    PutInt32LE(&oversized[evil + 68], 0x10000000);
    for (std::vector<uint8_t>* bad : {&renamed, &oversized}) {
        RefreshChecksum(*bad);
        WriteWholeFile(folder / "Setup.exe", AppendPackage(StubProgram(), *bad));
        try {
            TInstaller installer("", folder / "Setup.exe");
            installer.ExtractFolder("Main", folder / "Dest\\Sub", 0);
            ADD_FAILURE() << "a hostile entry was accepted";
        } catch (const EPackageDamaged& e) {
            EXPECT_EQ(e.Message(), "The installer appears to be corrupted. Please download it again");
        }
        EXPECT_FALSE(DirectoryExists(folder / "Dest"));
        EXPECT_FALSE(FileExists(folder / "x.txt"));
    }
}

TEST(Extraction, MissingDriveFailsAtTheFirstFileWithoutEndlessRecursion)
{
    DWORD drives = GetLogicalDrives();
    char letter = 0;
    for (char c = 'Y'; c >= 'M' && !letter; --c)
        if (!(drives & (1u << (c - 'A')))) letter = c;
    ASSERT_NE(letter, 0) << "no free drive letter";
    TTestFolder folder("ExtractNoDrive");
    auto installer = InstallerFor(folder, SampleItems());
    std::string dest = std::string(1, letter) + ":\\Plugins\\Sample\\";
    int asked = 0;
    installer->OnInstallError = [&](TInstaller&, const std::exception&, const std::string&, bool& retry) {
        ++asked;
        retry = false;
    };
    EXPECT_THROW(installer->ExtractFolder("Main", dest, 0), EFCreateError);
    EXPECT_EQ(asked, 0);  // not a file in use: nothing to retry
    EXPECT_TRUE(ItemLines(installer->UninstallLog()).empty());
}

TEST(Extraction, ForceFolderRecordsEachLevel)
{
    TTestFolder folder("ForceFolder");
    auto installer = InstallerFor(folder, SampleItems());
    EXPECT_FALSE(installer->ForceFolder("", false));
    std::string deep = folder / "X\\Y\\";
    EXPECT_TRUE(installer->ForceFolder(deep, true));
    EXPECT_TRUE(installer->ForceFolder(deep, false));
    std::vector<std::string> expected = {"E" + folder.Path(), "D" + folder.Path() + "X\\", "T" + deep, "E" + deep};
    EXPECT_EQ(ItemLines(installer->UninstallLog()), expected);
}
