#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>

#include "Exception.h"
#include "FileHolders.h"
#include "FileSystem.h"
#include "HandleStream.h"
#include "InstallScope.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "Platform.h"
#include "Registry.h"
#include "SetupInstaller.h"
#include "SetupRun.h"
#include "SetupSession.h"
#include "ShellFolders.h"
#include "SharedFiles.h"
#include "ShellLinks.h"
#include "SystemCalls.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "UninstallLog.h"
#include "Uninstaller.h"

namespace {

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string ReadText(const std::string& path)
{
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// What the run reports, as the copy page would show it.
class TRecordingProgress : public IInstallProgress {
public:
    void SetProgress(int position) override { Events.push_back(std::to_string(position)); }
    void SetStatus(const std::string& text) override { Events.push_back(text); }
    std::vector<std::string> Events;
};

// Special folders of the test's own, so shortcuts land where the test looks.
std::string StartMenuFolder, DesktopFolder, LocalAppDataFolder, CommonFilesFolder;
std::string TestSpecialFolder(int csidl)
{
    if (csidl == ShellFolderCsidl(sfPrograms)) return StartMenuFolder;
    if (csidl == ShellFolderCsidl(sfDesktop)) return DesktopFolder;
    if (csidl == ShellFolderCsidl(sfLocalAppData)) return LocalAppDataFolder;
    if (csidl == ShellFolderCsidl(sfProgramFiles)) return "C:\\Program Files";
    if (csidl == ShellFolderCsidl(sfCommonFiles)) return CommonFilesFolder;
    return std::string();
}

uint64_t FreeBytes = UINT64_MAX;
bool FreeSpaceQueryWorks = true;
std::string AskedRoot;
bool TestFreeSpace(const std::string& root, uint64_t& freeBytes)
{
    AskedRoot = root;
    freeBytes = FreeBytes;
    return FreeSpaceQueryWorks;
}

// One product installed by the test: its own folders, its own registry root
// in both hives and views, all removed afterwards.
class InstallRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        Name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        Folder = std::make_unique<TTestFolder>("Run" + Name);
        StartMenuFolder = *Folder / "StartMenu";
        DesktopFolder = *Folder / "Desktop";
        CreateDirectoryA(StartMenuFolder.c_str(), nullptr);
        CreateDirectoryA(DesktopFolder.c_str(), nullptr);
        LocalAppDataFolder = *Folder / "Local";
        CommonFilesFolder = "C:\\Program Files\\Common Files";
        Calls->SpecialFolder = TestSpecialFolder;
        Calls->FreeSpace = TestFreeSpace;
        FreeBytes = UINT64_MAX;
        FreeSpaceQueryWorks = true;
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CleanRegistry();
        Ini = {"[Setup]", "ProductName=Run " + Name, "RegistryRoot=Software\\SetupTests\\Run\\" + Name,
               "DefaultFolder=Unused"};
    }
    void TearDown() override
    {
        CleanRegistry();
        Model.reset();
        Folder.reset();
        CoUninitialize();
    }

    std::string RegistryRoot() const { return "\\Software\\SetupTests\\Run\\" + Name; }
    std::string Install() const { return *Folder / "Install\\"; }
    // The entry's key takes the recorded version, whatever DisplayVersion shows.
    std::string RegistrationName() const
    {
        return Model ? Model->RecordedProductName() + Model->BitSuffix() : std::string();
    }

    // Builds the package, constructs the model and points its folders into the test's folder.
    TSetupInstaller& Construct(std::vector<TPackageItem> items, const std::string& version = "2.23")
    {
        items.insert(items.begin(), {TPackageItem::File("Setup.ini", Lines(Ini)), TPackageItem::File("Setup.lic", "L")});
        std::vector<uint8_t> package = BuildPackageBytes(items, version);
        if (!DamagedFile.empty()) {
            // The file's data follow its 76-byte entry header, which starts with its name.
            std::string name = DamagedFile + std::string(1, '\0');
            auto at = std::search(package.begin(), package.end(), name.begin(), name.end());
            if (at != package.end()) *(at + 76 + 2) ^= 0x55;
            RefreshChecksum(package);
        }
        Model.reset();  // it holds the installer against writers
        WriteWholeFile(*Folder / "Setup.exe", AppendPackage(StubProgram(), package));
        Model = std::make_unique<TSetupInstaller>(*Folder / "Setup.exe");
        Model->SetInstallFolder(Install());
        Model->Choices.Vst2Folder = *Folder / "Vst2";
        Model->Choices.Vst3Folder = *Folder / "Vst3";
        Model->Choices.DigiFolder = *Folder / "Rtas";
        Model->Choices.AaxFolder = *Folder / "Aax";
        Model->Choices.ClapFolder = *Folder / "Clap";
        return *Model;
    }

    std::vector<std::string> Run()
    {
        TRecordingProgress progress;
        RunInstallation(*Model, progress);
        Registrations.push_back(RegistrationName());
        return progress.Events;
    }

    std::string ReadValue(HKEY root, const std::string& key, const std::string& value, bool use64 = false)
    {
        TRegistry64 registry(use64);
        registry.RootKey = root;
        if (!registry.OpenKey(key, false)) return "(no key)";
        if (!registry.ValueExists(value)) return "(no value)";
        try {
            return registry.ReadString(value);
        } catch (const ERegistryException&) {
            return "#" + std::to_string(registry.ReadInteger(value));
        }
    }

    // A product whose Busy.dll is held open by another program at its target.
    HANDLE ConstructWithLockedFile()
    {
        Ini.insert(Ini.end(), {"[Components]", "Main=$ProgramFolder", "[RegistrySettings]", "Value=1", "[Shortcuts]",
                               "ProgramFolder=$ProgramFolder\\Readme.txt"});
        Construct({TPackageItem::Folder("Main", {TPackageItem::File("A.txt", "a"), TPackageItem::File("Busy.dll", "dll"),
                                                 TPackageItem::File("Readme.txt", "r")})});
        CreateDirectoryA(Install().c_str(), nullptr);
        return LockFile(Install() + "Busy.dll");
    }

    std::vector<std::string> Log() { return Model->Installer().UninstallLog().Vector(); }
    bool Logged(const std::string& line) { return Model->Installer().UninstallLog().Contains(line); }

    std::string Name;
    std::unique_ptr<TTestFolder> Folder;
    std::vector<std::string> Ini;
    std::unique_ptr<TSetupInstaller> Model;
    std::vector<std::string> Registrations;
    // A file whose zlib stream the package carries damaged (checksum made to fit).
    std::string DamagedFile;
    // The system's calls, as the test plays them; back as they were after it.
    TSystemCallsScope Calls;

private:
    void CleanRegistry()
    {
        for (bool use64 : {false, true})
            for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
                TRegistry64 registry(use64);
                registry.RootKey = root;
                registry.DeleteKey(RegistryRoot());
                registry.DeleteKey("\\Software\\SetupTests\\RunBundle\\" + Name);
            }
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            TRegistry registry;
            registry.RootKey = root;
            for (const std::string& name : Registrations) registry.DeleteKey(UninstallRegistryKey + name);
        }
        // The shared counts of the test's files and folders, which outlive its folder.
        if (Folder) ForgetSharedFiles(Folder->Path());
    }
};

// A shortcut's icon location, read with the shell's link object.
std::pair<std::string, int> IconOf(const std::string& shortcut)
{
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    std::pair<std::string, int> icon{"(unreadable)", 0};
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        std::wstring wide(shortcut.begin(), shortcut.end());
        char path[MAX_PATH] = {};
        int index = 0;
        if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) && SUCCEEDED(link->GetIconLocation(path, MAX_PATH, &index)))
            icon = {path, index};
    }
    if (file) file->Release();
    if (link) link->Release();
    return icon;
}

const char Preparing[] = "Preparing installation...";
const char Copying[] = "Copying files...";
const char Initializing[] = "Initializing components...";
const char Settings[] = "Creating settings...";

}  // namespace

TEST_F(InstallRun, ProgressWithoutLibraryCalls)
{
    Ini.insert(Ini.end(), {"[Components]", "Main=$ProgramFolder"});
    Construct({TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "r")})});
    std::vector<std::string> expected = {"0", Preparing, "25", Copying, "75", Settings, "100"};
    EXPECT_EQ(Run(), expected);
    EXPECT_EQ(AskedRoot, Install().substr(0, 2) + "\\");
}

TEST_F(InstallRun, ProgressWithLibraryCallsAndABundle)
{
    Ini.insert(Ini.end(), {"IsBundle=1", "BundleRegistryRoot=Software\\SetupTests\\RunBundle\\" + Name,
                           "[Components]", "Main $BundleItem=$ProgramFolder\\$BundleItem", "[CallLibraries]",
                           "Nothing=$ProgramFolder\\Missing.dll"});
    Construct({TPackageItem::File("BundleInfo.ini", "A=1.00\r\nB=1.10\r\nC=1.20\r\nD=1.30\r\n"),
               TPackageItem::Folder("Main B", {TPackageItem::File("B.txt", "b")}),
               TPackageItem::Folder("Main D", {TPackageItem::File("D.txt", "d")})});
    Model->Choices.Items[0] = false;
    Model->Choices.Items[2] = false;
    std::vector<std::string> expected = {"0", Preparing, "25", Copying, "25", "37", "50", Initializing, "75",
                                         Settings, "100"};
    EXPECT_EQ(Run(), expected);
    EXPECT_TRUE(FileExists(Install() + "B\\B.txt"));
    EXPECT_TRUE(FileExists(Install() + "D\\D.txt"));
    EXPECT_FALSE(DirectoryExists(Install() + "A"));
}

TEST_F(InstallRun, BundleOfFourWithEndSeventyFive)
{
    Ini.insert(Ini.end(), {"IsBundle=1", "BundleRegistryRoot=Software\\SetupTests\\RunBundle\\" + Name,
                           "[Components]", "Main $BundleItem=$ProgramFolder\\$BundleItem"});
    Construct({TPackageItem::File("BundleInfo.ini", "A=1.00\r\nB=1.10\r\nC=1.20\r\nD=1.30\r\n")});
    Model->Choices.Items[0] = false;
    Model->Choices.Items[2] = false;
    std::vector<std::string> events = Run();
    std::vector<std::string> expected = {"0", Preparing, "25", Copying, "25", "50", "75", Settings, "100"};
    EXPECT_EQ(events, expected);
}

TEST_F(InstallRun, TheRegistrationCarriesWhatTheListOfInstalledProgramsShows)
{
    struct Case {
        std::vector<std::string> setup, sections;  // [Setup] lines of the case, and its further sections
        const char* publisher;
        const char* about;
        const char *language, *version, *major, *minor, *help, *updates;
    } cases[] = {
        {{}, {}, "SetupTests", "(no value)", "en", "2.23", "#2", "#23", "(no value)", "(no value)"},
        {{"Publisher=Example Audio Ltd", "DisplayVersion=2.2.3", "HelpLink=https://example.com/help",
          "URLUpdateInfo=https://example.com/updates"},
         {"[GlobalRegistrySettings]", "PurchaseUrl=https://example.com/echo"},
         "Example Audio Ltd", "https://example.com/echo", "de", "2.2.3", "#2", "#2", "https://example.com/help",
         "https://example.com/updates"},
    };
    std::vector<std::string> base = Ini;
    for (const Case& c : cases) {
        Ini = base;
        Ini.insert(Ini.end(), c.setup.begin(), c.setup.end());
        Ini.insert(Ini.end(), {"[Components]", "Main=$ProgramFolder"});
        Ini.insert(Ini.end(), c.sections.begin(), c.sections.end());
        Construct({TPackageItem::Folder("Main", {TPackageItem::File("Big.bin", std::string(300000, 'b'))})});
        Model->Choices.Language = c.language;
        Run();
        std::string key = UninstallRegistryKey + RegistrationName();
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "DisplayVersion"), c.version);
        // What deployment tools read: the quiet removal, the version's numbers, the day and the language.
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "QuietUninstallString"), "\"" + Install() + "Uninst.exe\" /S");
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "VersionMajor"), c.major);
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "VersionMinor"), c.minor);
        SYSTEMTIME today;
        GetLocalTime(&today);
        char date[16];
        std::snprintf(date, sizeof date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "InstallDate"), date);
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "Language"),
                  "#" + std::to_string(std::string(c.language) == "de" ? 0x0407 : 0x0409));
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "HelpLink"), c.help);
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "URLUpdateInfo"), c.updates);
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "Publisher"), c.publisher);
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "DisplayIcon"), Install() + "Uninst.exe");
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "InstallLocation"), ExcludeDelimiter(Install()));
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "EstimatedSize"), "#293");  // 300000 bytes in KiB, rounded up
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "NoModify"), "#1");
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "NoRepair"), "#1");
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "URLInfoAbout"), c.about);
    }
}

TEST_F(InstallRun, SwitchesChooseItemsFormatsAndTheFolder)
{
    Ini.insert(Ini.end(), {"IsBundle=1", "BundleRegistryRoot=Software\\SetupTests\\RunBundle\\" + Name,
                           "[Components]", "Main $BundleItem=$ProgramFolder\\$BundleItem"});
    Construct({TPackageItem::File("BundleInfo.ini", "A=1.00\r\nB=1.10\r\nC=1.20\r\n")});
    EXPECT_EQ(Model->ApplySwitches(ParseSetupSwitches({"/ITEMS=b, C", "/FORMATS=aax,photoshop", "/NAME=Ann",
                                                       "/DIR=D:\\Plug\\.\\Echo", "/NOSHORTCUTS"})),
              "");
    EXPECT_EQ(Model->Choices.Items, (std::vector<bool>{false, true, true}));
    EXPECT_FALSE(Model->Choices.InstallVst2 || Model->Choices.InstallVst3 || Model->Choices.InstallRtas);
    EXPECT_TRUE(Model->Choices.InstallAax && Model->Choices.InstallPhotoshop);
    EXPECT_EQ(Model->Choices.UserName, "Ann");
    EXPECT_EQ(Model->Choices.InstallFolder, "D:\\Plug\\Echo\\");
    EXPECT_EQ(Model->Choices.ShortcutChoice, 0u);

    struct Case {
        const char* argument;
        const char* problem;
    } refused[] = {
        {"/ITEMS=B,Z", "/ITEMS: \"Z\" is not an item of this bundle"},
        {"/DIR=C:\\Windows\\..", "/DIR: Could not create the folder 'C:\\'. Please specify a valid name."},
        {"/FORMATS=vst", "/FORMATS: \"vst\" is not one of vst2, vst3, clap, aax, rtas, photoshop"},
    };
    for (const Case& c : refused) EXPECT_EQ(Model->ApplySwitches(ParseSetupSwitches({c.argument})), c.problem);
}

std::map<std::string, uint64_t> FreeByDrive;
std::map<std::string, int> AskedDrives;
bool FreeOnEachDrive(const std::string& root, uint64_t& freeBytes)
{
    ++AskedDrives[root];
    freeBytes = FreeByDrive[root];
    return true;
}

TEST_F(InstallRun, EachDriveTheRunWritesToNeedsRoomForWhatGoesThere)
{
    // The presets go to another drive than the product.
    Ini.insert(Ini.end(), {"[Folders]", "Presets=Z:\\Presets", "[Components]", "Main=$ProgramFolder",
                           "Presets=%Presets"});
    Construct({TPackageItem::Folder("Main", {TPackageItem::File("A.bin", std::string(1000, 'a'))}),
               TPackageItem::Folder("Presets", {TPackageItem::File("P.bin", std::string(5000, 'p'))})});
    std::map<std::string, int64_t> expected = {{"C:\\", 1000}, {"Z:\\", 5000}};
    EXPECT_EQ(Model->RequiredSpaceByDrive(Model->Destination()), expected);
    Calls->FreeSpace = FreeOnEachDrive;
    FreeByDrive = {{"C:\\", 1000 + 1048576}, {"Z:\\", 5000 + 1048576 - 1}};
    EXPECT_THROW(Model->CheckDiskSpace(Model->Destination()), ESetupError);  // the product's drive alone would do
    FreeByDrive["Z:\\"] += 1;
    AskedDrives.clear();
    EXPECT_NO_THROW(Model->CheckDiskSpace(Model->Destination()));
    EXPECT_EQ(AskedDrives, (std::map<std::string, int>{{"C:\\", 1}, {"Z:\\", 1}}));
}

TEST_F(InstallRun, DiskSpaceIsCheckedBeforeAnythingIsWritten)
{
    Ini.insert(Ini.end(), {"[Components]", "Main=$ProgramFolder", "main=$ProgramFolder\\Again", "MAIN=$Documents",
                           "Nowhere=$ProgramFolder"});
    Construct({TPackageItem::Folder("Main", {TPackageItem::File("A.bin", std::string(1000, 'a')),
                                             TPackageItem::File("B.bin", std::string(234, 'b'))})});
    // The key on three lines counts three times; the missing folder counts nothing.
    EXPECT_EQ(Model->GetRequiredSpace(), 3 * 1234);
    FreeBytes = 3 * 1234 + 1048576 - 1;
    try {
        Run();
        ADD_FAILURE() << "installed without space";
    } catch (const ESetupError& e) {
        EXPECT_EQ(e.Message(),
                  "There is not enough space on the destination drive.\rPlease free up some space and then try again");
    }
    EXPECT_FALSE(DirectoryExists(Install()));
    EXPECT_TRUE(Log().empty());
    FreeSpaceQueryWorks = false;
    FreeBytes = UINT64_MAX;
    EXPECT_THROW(Model->CheckDiskSpace(Model->Destination()), ESetupError);
    FreeSpaceQueryWorks = true;
    FreeBytes = 3 * 1234 + 1048576;
    EXPECT_NO_THROW(Model->CheckDiskSpace(Model->Destination()));
}

TEST_F(InstallRun, RequiredSpacePastTwoGigabytesDoesNotWrapAround)
{
    // Thirteen lines of a folder holding 200 MB of zeros ask for 2.6 GB: more
    // than a 32-bit count holds.
    Ini.push_back("[Components]");
    for (int i = 0; i < 13; ++i) Ini.push_back("Big=$ProgramFolder\\" + std::to_string(i));
    Construct({TPackageItem::Folder("Big", {TPackageItem::File("Zeros.bin", std::string(200000000, '\0'))})});
    EXPECT_EQ(Model->GetRequiredSpace(), int64_t(13) * 200000000);
    FreeBytes = 2000000000;
    EXPECT_THROW(Model->CheckDiskSpace(Model->Destination()), ESetupError);
}

TEST_F(InstallRun, DllSuffixesAndVst3Renaming)
{
    Ini.insert(Ini.end(), {"[Components]", "VstX=$VstPluginFolder", "VstX=$VstPluginFolder\\Mono,DLLSuffix: (Mono)",
                           "VstX=$Vst3PluginFolder", "VstX=$Vst3ProgramFolder", "VstX=$ProgramFolder,DLLSuffix: (Mono)",
                           "VstX=$Vst3PluginFolder\\Mono,dllsuffix: (Mono)", "VstX=$ProgramFolder\\Empty,DLLSuffix:",
                           "VstX=$ProgramFolder\\Blank, DLLSuffix: (Mono)", "Upper=$ProgramFolder,DLLSuffix: (Mono)"});
    Construct({TPackageItem::Folder("VstX", {TPackageItem::File("Plugin.dll", "dll"), TPackageItem::File("Notes.txt", "n")}),
               TPackageItem::Folder("Upper", {TPackageItem::File("PLUGIN.DLL", "upper")})});
    Run();
    std::string vst2 = *Folder / "Vst2\\", vst3 = *Folder / "Vst3\\";
    for (const std::string& file :
         {vst2 + "Plugin.dll", vst2 + "Mono\\Plugin (Mono).dll", vst3 + "Plugin.vst3", vst3 + "Notes.txt",
          Install() + "Plugin.vst3", Install() + "Plugin (Mono).dll", vst3 + "Mono\\Plugin (Mono).vst3",
          Install() + "Empty\\Plugin .dll", Install() + "Blank\\Plugin.dll", Install() + "PLUGIN (Mono).dll"})
        EXPECT_TRUE(FileExists(file)) << file;
    EXPECT_FALSE(FileExists(vst3 + "Plugin.dll"));
    EXPECT_TRUE(Logged("F" + vst3 + "Plugin.vst3"));
}

TEST_F(InstallRun, EachMachineGetsTheBinariesBuiltForIt)
{
    // An x64 and an ARM64 build of one VST 2 plug-in, and an x64-only extra that ARM64 Windows runs emulated.
    const struct {
        TMachine Machine;
        const char* Vst2;  // the Echo.dll installed, or null
        bool Extra;
    } rows[] = {{TMachine::X64, "x64", true}, {TMachine::Arm64, "arm64", true}, {TMachine::X86, nullptr, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(MachineName(row.Machine));
        TearDown();
        SetUp();
        Ini.insert(Ini.end(), {"Is64Bit=1", "[Components]", "Main=$ProgramFolder", "VstX=$VstPluginFolder,Machine: x64",
                               "VstA=$VstPluginFolder, machine: ARM64", "Extra=$ProgramFolder\\Extra,Machine: x64"});
        static TMachine played;
        played = row.Machine;
        TMachine (*saved)() = Calls->NativeMachine;
        Calls->NativeMachine = [] { return played; };
        Construct({TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "r")}),
                   TPackageItem::Folder("VstX", {TPackageItem::File("Echo.dll", "x64")}),
                   TPackageItem::Folder("VstA", {TPackageItem::File("Echo.dll", "arm64")}),
                   TPackageItem::Folder("Extra", {TPackageItem::File("Tool.txt", "t")})});
        Calls->NativeMachine = saved;
        EXPECT_EQ(Model->GetRequiredSpace(), 1 + (row.Vst2 ? int64_t(std::string(row.Vst2).size()) : 0) + (row.Extra ? 1 : 0));
        Run();
        std::string dll = *Folder / "Vst2\\Echo.dll";
        EXPECT_EQ(FileExists(dll) ? ReadText(dll) : "(none)", row.Vst2 ? row.Vst2 : "(none)");
        EXPECT_EQ(FileExists(Install() + "Extra\\Tool.txt"), row.Extra);
        // The 64-bit package's keys are in the machine's own (64-bit) view, on ARM64 as on x64.
        if (row.Machine != TMachine::X86) {
            EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, Model->GetProductKey(Model->Facts().VersionKey), "Location", true),
                      Install());
        }
    }
}

TEST_F(InstallRun, UnchosenFormatsAreLeftOut)
{
    // Each row leaves some formats out: their folders are never made.
    for (bool clap : {false, true}) {
        SCOPED_TRACE(clap ? "CLAP chosen" : "CLAP left out");
        TearDown();
        SetUp();
        Ini.insert(Ini.end(), {"[Components]", "VstX=$VstPluginFolder", "Vst3=$Vst3PluginFolder",
                               "Rtas=$DigiPluginFolder", "Aax=$AaxPluginFolder", "Clap=$ClapPluginFolder"});
        Construct({TPackageItem::Folder("VstX", {TPackageItem::File("P.dll", "x")}),
                   TPackageItem::Folder("Vst3", {TPackageItem::File("P.vst3", "x")}),
                   TPackageItem::Folder("Rtas", {TPackageItem::File("P.dpm", "x")}),
                   TPackageItem::Folder("Aax", {TPackageItem::File("P.aaxplugin", "x")}),
                   TPackageItem::Folder("Clap", {TPackageItem::File("P.clap", "x")})});
        EXPECT_TRUE(Model->Facts().HasClap);
        Model->Choices.InstallVst2 = false;
        Model->Choices.InstallRtas = false;
        Model->Choices.InstallClap = clap;
        Run();
        EXPECT_FALSE(DirectoryExists(*Folder / "Vst2"));
        EXPECT_FALSE(DirectoryExists(*Folder / "Rtas"));
        EXPECT_TRUE(FileExists(*Folder / "Vst3\\P.vst3"));
        EXPECT_TRUE(FileExists(*Folder / "Aax\\P.aaxplugin"));
        EXPECT_EQ(FileExists(*Folder / "Clap\\P.clap"), clap);
        EXPECT_EQ(DirectoryExists(*Folder / "Clap"), clap);
        // Nothing went to the product's own folder: it is made for the uninstaller, and recorded.
        EXPECT_TRUE(FileExists(Install() + "Uninst.exe"));
        EXPECT_TRUE(Logged("D" + Install()));
    }
}

// Everyone's installation and one user's, each through the unattended run and
// removed again. One user's needs no administrator rights and writes only
// below that user's folders and HKEY_CURRENT_USER; everyone's asks Windows for
// the rights when it has none.
TEST_F(InstallRun, AnInstallationForOneUserStaysInThatUsersPlaces)
{
    struct Case {
        const char* name;
        const char* scope;  // the switch
        bool rights, oneUser;
        int elevatedCode;  // what the process with the rights ends with, when it is asked for
    } cases[] = {
        {"everyone, with rights", "/ALLUSERS", true, false, -1},
        {"one user, without rights", "/CURRENTUSER", false, true, -1},
        {"everyone, without rights: Windows gives them", "/ALLUSERS", false, false, 0},
        {"everyone, without rights: the user says No at Windows' prompt", "/ALLUSERS", false, false, -1},
    };
    auto rights = Calls->AdminRights;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        CommonFilesFolder = *Folder / "Common";
        Ini.insert(Ini.end(), {"InstallFor=Either", "DefaultFolder=Maker\\Echo", "[Components]", "Main=$ProgramFolder",
                               "Vst3=$Vst3PluginFolder", "Clap=$ClapPluginFolder", "Aax=$AaxPluginFolder",
                               "[RegistrySettings]", "Value=1", "[GlobalRegistrySettings]", "Global=1"});
        Construct({TPackageItem::Folder("Main", {TPackageItem::File("Main.txt", "m")}),
                   TPackageItem::Folder("Vst3", {TPackageItem::File("P.vst3", "3")}),
                   TPackageItem::Folder("Clap", {TPackageItem::File("P.clap", "c")}),
                   TPackageItem::Folder("Aax", {TPackageItem::File("P.aaxplugin", "a")})});
        Registrations.push_back(RegistrationName());
        Calls->AdminRights = c.rights ? rights : []() { return false; };
        std::string local = *Folder / "Local\\";
        if (c.oneUser) {
            // The Welcome page's box: every folder is found anew for the user, the Pro Tools page goes.
            TUnattendedUser nobody;
            TRunLog none;
            TSetupSwitches wizard;
            TSetupSession session(*Folder / "Setup.exe", wizard, none, nobody);
            ASSERT_TRUE(session.Start());
            TPageAnswers answers = session.Proposal();
            EXPECT_FALSE(answers.ForCurrentUser);
            answers.ForCurrentUser = true;
            EXPECT_TRUE(session.LeavePage(Wizard::pgWelcome, answers));
            EXPECT_EQ(session.Proposal().DestFolder, local + "Programs\\Maker\\Echo");
            EXPECT_EQ(session.Model().Choices.Vst3Folder, local + "Programs\\Common\\VST3");
            EXPECT_FALSE(session.PageShown(Wizard::pgDigiPlugins));
        }
        ElevationRequests.clear();
        ElevationAnswer = c.elevatedCode;
        std::vector<std::string> arguments = {"/S", c.scope};
        if (!c.oneUser) arguments.push_back("/DIR=" + Install());
        TRunLog log;
        int code = RunSilentInstall(*Folder / "Setup.exe", ParseSetupSwitches(arguments), log);
        Calls->AdminRights = rights;
        // Without the rights, everyone's run goes on in the process that has them, or ends.
        EXPECT_EQ(ElevationRequests.size(), !c.rights && !c.oneUser ? 1u : 0u);
        if (!c.rights && !c.oneUser) {
            EXPECT_EQ(code, c.elevatedCode < 0 ? 3 : c.elevatedCode);
            EXPECT_EQ(ElevationRequests[0].back(), "/ELEVATED");
            EXPECT_FALSE(DirectoryExists(Install()));
            continue;
        }
        ASSERT_EQ(code, 0);
        std::string program = c.oneUser ? local + "Programs\\Maker\\Echo\\" : Install();
        std::string common = c.oneUser ? local + "Programs\\Common\\" : *Folder / "Common\\";
        EXPECT_TRUE(FileExists(program + "Main.txt"));
        EXPECT_TRUE(FileExists(common + "VST3\\P.vst3"));
        EXPECT_TRUE(FileExists(common + "CLAP\\P.clap"));
        // Pro Tools looks in no folder of one user's.
        EXPECT_EQ(FileExists(common + "Avid\\Audio\\Plug-Ins\\P.aaxplugin"), !c.oneUser);

        std::vector<std::string> lines = ReadUninstallerLog(program + "Uninst.exe").Lines;
        EXPECT_EQ(IsOneUserLog(lines), c.oneUser);
        std::string registration;
        for (const std::string& line : lines) {
            TLogLine parsed = TLogLine::Parse(line);
            if (parsed.Kind == (c.oneUser ? TLineKind::CurrentUserKey : TLineKind::LocalMachineKey) &&
                IsInsideFolder(parsed.Path(), UninstallRegistryKey))
                registration = parsed.Path();
            if (!c.oneUser || !parsed.Info().Root) continue;
            // Every place the run wrote, as the uninstaller obeys it: the user's folders, the user's keys.
            for (const auto& place : parsed.Places()) {
                if (place.first == TLineTarget::Key)
                    EXPECT_EQ(place.second[0], 'U') << line;
                else
                    EXPECT_TRUE(IsInsideFolder(place.second, local)) << line;
            }
        }
        HKEY own = c.oneUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        HKEY other = c.oneUser ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        ASSERT_FALSE(registration.empty());
        EXPECT_EQ(ReadValue(own, registration, "UninstallString"), "\"" + program + "Uninst.exe\"");
        EXPECT_EQ(ReadValue(other, registration, "UninstallString"), "(no key)");
        std::string version = Model->GetProductKey(Model->Facts().VersionKey);
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, version, "Global"), c.oneUser ? "(no key)" : "1");
        EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, version, "Global"), c.oneUser ? "1" : "(no value)");
        std::string shared = "\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
        EXPECT_EQ(ReadValue(own, shared, common + "VST3\\P.vst3"), "#1");
        EXPECT_NE(ReadValue(other, shared, common + "VST3\\P.vst3"), "#1");

        // A folder holds one kind of installation: the other kind is refused there.
        Calls->AdminRights = rights;
        arguments = {"/S", c.oneUser ? "/ALLUSERS" : "/CURRENTUSER", "/DIR=" + ExcludeDelimiter(program)};
        EXPECT_EQ(RunSilentInstall(*Folder / "Setup.exe", ParseSetupSwitches(arguments), log), 5);
        EXPECT_EQ(ReadValue(own, registration, "UninstallString"), "\"" + program + "Uninst.exe\"");

        // The removal needs no rights either, and leaves nothing of the installation.
        Calls->AdminRights = c.rights ? rights : []() { return false; };
        {
            TUninstaller uninstaller(program + "Uninst.exe");
            EXPECT_EQ(uninstaller.Scope(), c.oneUser ? TInstallScope::OneUser : TInstallScope::Everyone);
            EXPECT_TRUE(uninstaller.Uninstall());
        }
        Calls->AdminRights = rights;
        EXPECT_FALSE(FileExists(program + "Main.txt"));
        EXPECT_FALSE(FileExists(common + "VST3\\P.vst3"));
        EXPECT_FALSE(FileExists(common + "CLAP\\P.clap"));
        EXPECT_EQ(ReadValue(own, registration, "UninstallString"), "(no key)");
        EXPECT_EQ(ReadValue(own, shared, common + "VST3\\P.vst3"), "(no value)");
        EXPECT_EQ(ReadValue(own, RegistryRoot(), ""), "(no key)");
    }
    ElevationAnswer = -1;
}

TEST_F(InstallRun, NoOverwriteAndFolderIcons)
{
    Ini.insert(Ini.end(), {"[Components]", "Presets=$ProgramFolder\\Presets", "presets=$ProgramFolder\\Other",
                           "Aax=$AaxPluginFolder\\Echo.aaxplugin", "Main=$ProgramFolder", "Main=$ProgramFolder",
                           "[ComponentsOptions]", "Presets=NoOverwrite", "presets=Overwrite", "Aax=NoOverwrite"});
    std::string iconIni = "[.ShellClassInfo]\r\nIconResource=PlugIn.ico,0\r\nIconFile=PlugIn.ico\r\nIconIndex=0\r\n";
    Construct({TPackageItem::Folder("Presets", {TPackageItem::File("Mine.fxp", "new"), TPackageItem::File("New.fxp", "new")}),
               TPackageItem::Folder("Aax", {TPackageItem::File("desktop.ini", iconIni), TPackageItem::File("PlugIn.ico", "ico")}),
               TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "r")})});
    std::string presets = Install() + "Presets\\";
    std::string aax = *Folder / "Aax\\Echo.aaxplugin\\";
    CreateDirectoryA(Install().c_str(), nullptr);
    CreateDirectoryA(presets.c_str(), nullptr);
    CreateDirectoryA((*Folder / "Aax").c_str(), nullptr);
    CreateDirectoryA(aax.c_str(), nullptr);
    WriteWholeFile(presets + "Mine.fxp", {'m', 'i', 'n', 'e'});
    WriteWholeFile(aax + "desktop.ini", {'o', 'l', 'd'});
    Run();
    EXPECT_EQ(ReadText(presets + "Mine.fxp"), "mine");
    EXPECT_FALSE(Logged("F" + presets + "Mine.fxp"));
    EXPECT_TRUE(Logged("F" + presets + "New.fxp"));
    // The option's key differs in case from "presets": it does not apply there.
    EXPECT_TRUE(Logged("F" + Install() + "Other\\Mine.fxp"));
    // Folder icon files: read-only, hidden and system; the kept desktop.ini stays as it was.
    EXPECT_EQ(ReadText(aax + "desktop.ini"), "old");
    DWORD iconAttributes = GetFileAttributesA((aax + "PlugIn.ico").c_str());
    EXPECT_EQ(iconAttributes & 7u, 7u);
    // A second line for the same folder writes and records the files again.
    std::vector<std::string> log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "F" + Install() + "Readme.txt"), 2);
    // The folder holding desktop.ini is made read-only; Wine does not keep that
    // bit on folders, so it can only be seen on Windows itself.
}

TEST_F(InstallRun, LockedFileRetriedThenCancelled)
{
    HANDLE lock = ConstructWithLockedFile();
    std::vector<std::string> questions;
    Model->OnFileQuestion = [&](const std::string& message) {
        questions.push_back(message);
        if (questions.size() == 1) CloseHandle(lock);  // the user closed the host, then chose Retry
        return true;
    };
    Run();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Cannot install the file '" + Install() +
                                "Busy.dll'.\r\rPlease close all running applications to make sure the file is not in "
                                "use before retrying.");
    EXPECT_EQ(ReadText(Install() + "Busy.dll"), "dll");

    // Where Windows can tell which programs hold the file, the question and the run log name them.
    TearDown();
    SetUp();
    lock = ConstructWithLockedFile();
    std::vector<std::string> realHolders = RestartManagerHolders(Install() + "Busy.dll");
    Calls->Holders = [](const std::string&) { return std::vector<std::string>{"Studio Host 5", "Mixer"}; };
    questions.clear();
    std::vector<std::string> notes;
    Model->OnNote = [&](const std::string& note) { notes.push_back(note); };
    Model->OnFileQuestion = [&](const std::string& message) {
        questions.push_back(message);
        CloseHandle(lock);
        return true;
    };
    Run();
    Calls->Holders = RestartManagerHolders;
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Cannot install the file '" + Install() + "Busy.dll': it is in use by Studio Host 5, Mixer."
                            "\r\rPlease close Studio Host 5, Mixer, then retry.");
    EXPECT_NE(std::find(notes.begin(), notes.end(), "held by Studio Host 5, Mixer: " + Install() + "Busy.dll"), notes.end());
    // Windows' Restart Manager names this program alone; Wine's names nobody.
    EXPECT_LE(realHolders.size(), 1u) << ::testing::PrintToString(realHolders);
    for (const std::string& holder : realHolders) EXPECT_FALSE(holder.empty());

    // Now with Cancel: the run ends with the error and is rolled back: only
    // the holder's file is left, as it was, and no settings, shortcuts,
    // uninstaller or registration.
    TearDown();
    SetUp();
    lock = ConstructWithLockedFile();
    Model->OnFileQuestion = [](const std::string&) { return false; };
    TRecordingProgress progress;
    EXPECT_THROW(RunInstallation(*Model, progress), EFileInUse);
    CloseHandle(lock);
    EXPECT_EQ(FolderEntries(Install()), std::vector<std::string>{Install() + "Busy.dll"});
    EXPECT_EQ(ReadText(Install() + "Busy.dll"), "x");
    EXPECT_FALSE(FileExists(Install() + "Readme.txt"));
    EXPECT_FALSE(FileExists(Install() + "Uninst.exe"));
    EXPECT_FALSE(FileExists(Install() + "Readme.lnk"));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, RegistryRoot() + "\\2.0", "Value"), "(no key)");
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, UninstallRegistryKey + RegistrationName(), "DisplayName"), "(no key)");
}

TEST_F(InstallRun, LibraryCallsRunAfterTheFilesAreInPlace)
{
    std::vector<uint8_t> library = ReadWholeFile(WindowsPath(SETUP_CALL_TEST_LIBRARY));
    Ini.insert(Ini.end(), {"[Components]", "Main=$ProgramFolder", "[CallLibraries]",
                           "RegisterPlugin=$ProgramFolder\\CallTest.dll", "NoSuchExport=$ProgramFolder\\CallTest.dll",
                           "RegisterPlugin=$ProgramFolder\\NoSuchLibrary.dll", "registerplugin=$ProgramFolder\\CallTest.dll",
                           "SetupDefaults=$VstPluginFolder\\CallTest.dll"});
    Construct({TPackageItem::Folder("Main", {TPackageItem::File("CallTest.dll", std::string(library.begin(), library.end())),
                                             TPackageItem::File("Readme.txt", "r")})});
    Model->Choices.InstallVst2 = false;
    Run();
    EXPECT_EQ(ReadText(Install() + "RegisterPlugin.ran"), "ran after Readme.txt");
    EXPECT_FALSE(FileExists(Install() + "SetupDefaults.ran"));
    // The library was unloaded again: it can be deleted.
    EXPECT_TRUE(DeleteFileA((Install() + "CallTest.dll").c_str()));
}

TEST_F(InstallRun, RegistrySettings)
{
    Ini.insert(Ini.end(), {"PersonalizeOwner=Owner\\Name", "[Folders]", "Presets=$Documents\\Echo Presets",
                           "Loose=$ProgramFolder\\Loose", "[FoldersRegistry]", "presets=Paths\\PresetFolder",
                           "[RegistrySettings]", "Number=#42", "Hash=#", "Word=#x", "Paths\\Help=$ProgramFolder\\Help.chm",
                           "Default\\=unnamed", "[GlobalRegistrySettings]", "PurchaseUrl=", "Hex=#$1F"});
    Construct({});
    Model->Choices.UserName = "Ada Lovelace";
    Run();
    std::string user = RegistryRoot() + "\\2.0", machine = RegistryRoot() + "\\2.0";
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, machine, "Location"), Install());
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, machine, "VersionString"), "2.23");
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, machine, "PurchaseUrl"), "");
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, machine, "Hex"), "#31");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, user, "Number"), "#42");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, user, "Hash"), "#");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, user, "Word"), "#x");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, user + "\\Paths", "Help"), Install() + "Help.chm");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, user + "\\Default", ""), "unnamed");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, user + "\\Paths", "PresetFolder"),
              ExcludeDelimiter(Model->Machine().DocumentsFolder) + "\\Echo Presets\\");
    // A folder without a registry line is remembered nowhere: never the product key's default value.
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, user, ""), "(no value)");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, user + "\\Owner", "Name"), "Ada Lovelace");
    // The product keys are recorded for removal: per user, then per machine.
    EXPECT_TRUE(Logged("U" + user));
    EXPECT_TRUE(Logged("M" + machine));
}

TEST_F(InstallRun, BundleItemSettingsGoBelowTheBundleRoot)
{
    std::string bundleRoot = "\\Software\\SetupTests\\RunBundle\\" + Name;
    Ini.insert(Ini.end(), {"IsBundle=1", "IgnoreMinorVersion=0", "BundleRegistryRoot=" + bundleRoot.substr(1),
                           "[RegistrySettings]", "$BundleItem\\Settings\\Path=$ProgramFolder\\$BundleItem", "Plain=1"});
    Construct({TPackageItem::File("BundleInfo.ini", "A=1.20\r\nB=3.40\r\n")});
    Model->Choices.Items[1] = false;
    Run();
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, bundleRoot + "\\A\\Settings\\1.2", "Path"), Install() + "A");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, bundleRoot + "\\B\\Settings\\3.4", "Path"), "(no key)");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, RegistryRoot() + "\\2.2", "Plain"), "1");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, RegistryRoot() + "\\2.2\\Settings", "Path"), "(no key)");
}

TEST_F(InstallRun, BundleItemLinesAreLeftOutOfThePassWithoutAnItem)
{
    // Names no other program uses, so that their absence at the hive roots means something.
    const std::string level = "SetupTests" + Name + "Level", label = "SetupTests" + Name + "Label",
                      seats = "SetupTests" + Name + "Seats";
    auto atHiveRoot = [](HKEY hive, const std::string& value) {
        return RegQueryValueExA(hive, value.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    };
    auto removeFromHiveRoots = [&]() {
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            for (const std::string& value : {level, label, seats}) RegDeleteValueA(hive, value.c_str());
    };
    removeFromHiveRoots();
    std::string bundleRoot = "\\Software\\SetupTests\\RunBundle\\" + Name;
    Ini.insert(Ini.end(), {"IsBundle=1", "IgnoreMinorVersion=0", "BundleRegistryRoot=" + bundleRoot.substr(1),
                           "[RegistrySettings]", "$BundleItem\\Settings\\" + level + "=#5", "Plain=1",
                           "$BundleItem\\Settings\\" + label + "=$BundleItem", "[GlobalRegistrySettings]",
                           "$BundleItem\\Settings\\" + seats + "=#7"});
    Construct({TPackageItem::File("BundleInfo.ini", "A=1.20\r\nB=3.40\r\n")});
    Run();
    for (const char* item : {"A\\Settings\\1.2", "B\\Settings\\3.4"}) {
        EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, bundleRoot + "\\" + item, level), "#5") << item;
        EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, bundleRoot + "\\" + item, label), std::string(1, item[0])) << item;
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, bundleRoot + "\\" + item, seats), "#7") << item;
    }
    // The pass without an item writes the plain line only: nothing at the roots,
    // nothing under the key of the line before.
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, RegistryRoot() + "\\2.2", "Plain"), "1");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, RegistryRoot() + "\\2.2", label), "(no value)");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, bundleRoot, level), "(no value)");
    EXPECT_FALSE(atHiveRoot(HKEY_CURRENT_USER, level));
    EXPECT_FALSE(atHiveRoot(HKEY_CURRENT_USER, label));
    EXPECT_FALSE(atHiveRoot(HKEY_LOCAL_MACHINE, seats));
    removeFromHiveRoots();
}

TEST_F(InstallRun, MachineValuesLandInTheProductsView)
{
    Ini.insert(Ini.end(), {"[GlobalRegistrySettings]", "Bits=32"});
    Construct({});
    Run();
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, RegistryRoot() + "\\2.0", "Bits", false), "32");
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (wow64) {
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, RegistryRoot() + "\\2.0", "Bits", true), "(no key)");
    }
    TearDown();
    SetUp();
    Ini.insert(Ini.end(), {"Is64Bit=1", "[GlobalRegistrySettings]", "Bits=64"});
    Construct({});
    Run();
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, RegistryRoot() + "\\2.0", "Bits", true), "64");
    EXPECT_TRUE(Logged("6" + RegistryRoot() + "\\2.0"));
    if (wow64) {
        EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, RegistryRoot() + "\\2.0", "Bits", false), "(no key)");
    }
    EXPECT_EQ(RegistrationName(), "Run MachineValuesLandInTheProductsView 2.23 (64-bit)");
}

TEST_F(InstallRun, ShortcutsFollowTheUsersChoices)
{
    Ini.insert(Ini.end(), {"[Components]", "Main=$ProgramFolder", "[Shortcuts]", "StartMenu=$ProgramFolder\\Readme.txt",
                           "Desktop=$ProgramFolder\\Echo.exe, $ProductName Help ,-safe,3",
                           "ProgramFolder=$ProgramFolder\\Echo.exe,Echo,/edit,x", "startmenu=$ProgramFolder\\Echo.exe,Lower"});
    Construct({TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "r"), TPackageItem::File("Echo.exe", "e")})});
    Model->Choices.ShortcutChoice = skStartMenu;
    Run();
    std::string target, arguments;
    ASSERT_TRUE(ReadShellLink(StartMenuFolder + "\\Readme.lnk", target, arguments));
    EXPECT_TRUE(SameTextAscii(target, Install() + "Readme.txt")) << target;
    EXPECT_FALSE(FileExists(DesktopFolder + "\\Run ShortcutsFollowTheUsersChoices Help.lnk"));
    EXPECT_FALSE(FileExists(StartMenuFolder + "\\Lower.lnk"));
    ASSERT_TRUE(ReadShellLink(Install() + "Echo.lnk", target, arguments));
    EXPECT_EQ(arguments, "/edit");
    EXPECT_TRUE(Logged("F" + StartMenuFolder + "\\Readme.lnk"));
    EXPECT_TRUE(Logged("F" + Install() + "Echo.lnk"));

    Model->Choices.ShortcutChoice = skStartMenu | skDesktop;
    TSetupRun(*Model, Model->Installer()).CreateShortcuts();
    ASSERT_TRUE(ReadShellLink(DesktopFolder + "\\Run ShortcutsFollowTheUsersChoices Help.lnk", target, arguments));
    EXPECT_EQ(arguments, "-safe");
    // An icon index of 3 takes the target's icon by its resource id: -3.
    auto icon = IconOf(DesktopFolder + "\\Run ShortcutsFollowTheUsersChoices Help.lnk");
    EXPECT_TRUE(SameTextAscii(icon.first, Install() + "Echo.exe")) << icon.first;
    EXPECT_EQ(icon.second, -3);
    // "x" is no number: index 0, and an .exe is its own icon.
    icon = IconOf(Install() + "Echo.lnk");
    EXPECT_TRUE(SameTextAscii(icon.first, Install() + "Echo.exe")) << icon.first;
    EXPECT_EQ(icon.second, 0);
}

TEST_F(InstallRun, ASecondInstallationReplacesStaleShortcuts)
{
    Ini.insert(Ini.end(), {"[Shortcuts]", "ProgramFolder=$ProgramFolder\\Echo.exe,Echo 2,-x"});
    Construct({TPackageItem::Folder("Main", {TPackageItem::File("Echo.exe", "e")})});
    CreateDirectoryA(Install().c_str(), nullptr);
    CreateShellLink(Install() + "Echo 1.lnk", Install() + "Echo.exe", "-x", 0);    // older caption: goes
    CreateShellLink(Install() + "Echo 2.lnk", Install() + "Other.exe", "", 0);     // same name: replaced
    CreateShellLink(Install() + "Echo Safe.lnk", Install() + "Echo.exe", "-safe", 0);  // other arguments: stays
    Run();
    std::string target, arguments;
    EXPECT_FALSE(FileExists(Install() + "Echo 1.lnk"));
    ASSERT_TRUE(ReadShellLink(Install() + "Echo 2.lnk", target, arguments));
    EXPECT_TRUE(SameTextAscii(target, Install() + "Echo.exe")) << target;
    EXPECT_TRUE(FileExists(Install() + "Echo Safe.lnk"));
}

TEST_F(InstallRun, UninstallerIsWrittenLastWithTheRunsLog)
{
    Ini.insert(Ini.end(), {"ProductSuffix=Studio", "[Components]", "Main=$ProgramFolder\\Sub", "[Shortcuts]",
                           "ProgramFolder=$ProgramFolder\\Sub\\Readme.txt"});
    Construct({TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "r")})});
    Run();
    std::vector<uint8_t> uninstaller = ReadWholeFile(Install() + "Uninst.exe");
    int32_t logAt = GetInt32LE(&uninstaller[0x30]);
    EXPECT_EQ(logAt, 512);
    EXPECT_EQ(GetInt32LE(&uninstaller[0x34]), 1);
    TMemoryStream stream(std::vector<uint8_t>(uninstaller.begin() + logAt, uninstaller.end()));
    TUninstallLog log = ReadUninstallLog(stream);
    std::string name = "Run UninstallerIsWrittenLastWithTheRunsLog 2.23 Studio";
    // The registration comes first, with the product's folder: a run ended
    // half-way can be removed from the list of installed programs.
    std::vector<std::string> expected = {"E" + Folder->Path(),
                                         "D" + Install(),
                                         "M\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name,
                                         "E" + Install(),
                                         "D" + Install() + "Sub\\",
                                         "F" + Install() + "Sub\\Readme.txt",
                                         "U" + RegistryRoot() + "\\2.0",
                                         "M" + RegistryRoot() + "\\2.0",
                                         "F" + Install() + "Readme.lnk"};
    EXPECT_EQ(ItemLines(log.Lines), expected);
    EXPECT_EQ(log.ProductName, "Run UninstallerIsWrittenLastWithTheRunsLog");
    EXPECT_EQ(RegistrationName(), name);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, UninstallRegistryKey + name, "DisplayName"), name);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, UninstallRegistryKey + name, "UninstallString"),
              "\"" + Install() + "Uninst.exe\"");
}

TEST_F(InstallRun, ExampleProductLandsWhereItsSetupIniSays)
{
    const char* built = std::getenv("SETUP_EXAMPLE_INSTALLER");
    if (!built) GTEST_SKIP() << "SETUP_EXAMPLE_INSTALLER is not set (CTest sets it)";
    const std::string root = "\\Software\\Example Audio";
    TRegistry machine, user;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    // Empty maker keys may stay from an earlier run; an installed version may not.
    ASSERT_FALSE(machine.KeyExists(root + "\\Example Echo\\1.0")) << "the prefix has the example product installed";
    Model.reset();
    ASSERT_TRUE(CopyFileA(WindowsPath(built).c_str(), (*Folder / "Setup.exe").c_str(), FALSE));
    Model = std::make_unique<TSetupInstaller>(*Folder / "Setup.exe");
    Model->SetInstallFolder(Install());
    Model->Choices.Vst2Folder = *Folder / "Vst2";
    Model->Choices.Vst3Folder = *Folder / "Vst3";
    Model->Choices.AaxFolder = *Folder / "Aax";
    Model->Choices.ShortcutChoice = skStartMenu;
    Run();
    std::string product = root + "\\Example Echo\\1.0";
    std::string location = ReadValue(HKEY_LOCAL_MACHINE, product, "Location");
    std::string delay = ReadValue(HKEY_CURRENT_USER, product + "\\Settings", "Delay");
    std::string shortcutTarget, shortcutArguments;
    bool readme = ReadShellLink(StartMenuFolder + "\\Example Echo Readme.lnk", shortcutTarget, shortcutArguments);
    std::string uninstallTarget;
    bool uninstall = ReadShellLink(StartMenuFolder + "\\Uninstall Example Echo.lnk", uninstallTarget, shortcutArguments);
    std::string display = ReadValue(HKEY_LOCAL_MACHINE, UninstallRegistryKey + std::string("Example Echo 1.20"), "DisplayName");
    machine.DeleteKey(root);
    user.DeleteKey(root);

    EXPECT_EQ(ReadText(Install() + "Readme.txt").substr(0, 12), "Example Echo");
    EXPECT_TRUE(FileExists(*Folder / "Vst2\\Example Echo.dll"));
    EXPECT_TRUE(FileExists(*Folder / "Vst3\\Example Echo.vst3"));
    EXPECT_TRUE(FileExists(*Folder / "Aax\\Example Echo.aaxplugin\\Contents\\Win32\\Example Echo.aaxplugin"));
    EXPECT_TRUE(FileExists(Install() + "Uninst.exe"));
    EXPECT_EQ(location, Install());
    EXPECT_EQ(delay, "#250");
    EXPECT_TRUE(readme);
    EXPECT_TRUE(SameTextAscii(shortcutTarget, Install() + "Readme.txt")) << shortcutTarget;
    EXPECT_TRUE(uninstall);
    EXPECT_TRUE(SameTextAscii(uninstallTarget, Install() + "Uninst.exe")) << uninstallTarget;
    EXPECT_EQ(display, "Example Echo 1.20");
}

TEST_F(InstallRun, AReplacedFileIsKeptAsideASharedOneCountedAndAReinstallCarriesTheEarlierRunForward)
{
    Ini.insert(Ini.end(), {"[Pages]", "VstPluginFolder=1", "[Components]", "Main=$ProgramFolder", "VstX=$VstPluginFolder"});
    std::vector<TPackageItem> items = {
        TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "product"), TPackageItem::File("Old.txt", "o")}),
        TPackageItem::Folder("VstX", {TPackageItem::File("Echo.dll", "dll")})};
    CreateDirectoryA(Install().c_str(), nullptr);
    WriteWholeFile(Install() + "Readme.txt", {'u', 's', 'e', 'r'});
    Construct(items, "2.10");
    std::string plugin = *Folder / "Vst2\\Echo.dll", readme = Install() + "Readme.txt";
    Run();
    const std::vector<std::string>& log = Log();
    auto at = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
    std::string copy = Install() + "Replaced Files\\1 Readme.txt";
    ASSERT_LT(at(MakeLogLine(TLineKind::Backup, readme, {copy})), at("F" + readme));  // kept aside first
    EXPECT_EQ(ReadWholeFile(copy), (std::vector<uint8_t>{'u', 's', 'e', 'r'}));
    EXPECT_EQ(at(MakeLogLine(TLineKind::Stamp, readme, FileStamp(readme))), at("F" + readme) + 1);
    EXPECT_TRUE(Logged(MakeLogLine(TLineKind::Shared, plugin)));
    EXPECT_EQ(SharedFileCount(TInstallScope::Everyone, plugin), 1);

    // 2.30 into the same folder, without Old.txt: the product's own files are
    // not kept aside again, the plug-in keeps one reference, and the new
    // uninstaller knows what 2.10 created.
    items[0] = TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "product 2.30")});
    Construct(items, "2.30");
    Run();
    std::vector<std::string> upgraded = Log();
    EXPECT_EQ(std::count_if(upgraded.begin(), upgraded.end(), [](const std::string& line) { return line[0] == 'B'; }), 0);
    // What it set aside of 2.10's own (R lines: the files and the uninstaller)
    // was kept only for a failure, and is gone now; the user's copy stays.
    int aside = 0;
    for (const std::string& line : upgraded) {
        TLogLine parsed = TLogLine::Parse(line);
        if (parsed.Kind != TLineKind::Aside) continue;
        ++aside;
        EXPECT_FALSE(FileExists(parsed.Fields[1])) << line;
    }
    EXPECT_EQ(aside, 3);  // Readme.txt, the plug-in and Uninst.exe
    EXPECT_TRUE(FileExists(copy));
    EXPECT_EQ(SharedFileCount(TInstallScope::Everyone, plugin), 1);
    std::vector<std::string> carried = ReadUninstallerLog(Install() + "Uninst.exe").Lines;
    for (const std::string& line : {"F" + Install() + "Old.txt", MakeLogLine(TLineKind::Backup, readme, {copy}),
                                    MakeLogLine(TLineKind::Shared, plugin)})
        EXPECT_EQ(std::count(carried.begin(), carried.end(), line), 1) << line;
    // 2.10's registration was in the journal, value by value, before 2.30
    // wrote over it; that, and the keys a run made, matter to its own
    // rollback alone and stay out of the finished log.
    auto registrationValue = [](const std::string& line) {
        TLogLine parsed = TLogLine::Parse(line);
        return parsed.Kind == TLineKind::PriorValue && IsInsideFolder(parsed.Path(), UninstallRegistryKey);
    };
    EXPECT_TRUE(std::any_of(upgraded.begin(), upgraded.end(), registrationValue));
    for (const std::string& line : carried)
        EXPECT_FALSE(registrationValue(line) || TLogLine::Parse(line).Kind == TLineKind::CreatedKey) << line;
}

namespace {

// Every value below a registry key, as "key\name=data" lines.
void ExportKey(HKEY root, const std::string& key, std::vector<std::string>& lines)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
    char name[512];
    BYTE data[2048];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(opened, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        lines.push_back(key + "\\" + name + "=" + std::string(reinterpret_cast<char*>(data), dataSize));
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(opened, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(name);
    }
    RegCloseKey(opened);
    lines.push_back(key + "\\");
    for (const std::string& subkey : subkeys) ExportKey(root, key + "\\" + subkey, lines);
}

// Fails every file write from the k-th on, as a drive that has become full.
int WritesLeft = -1;
BOOL WINAPI FullDriveWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (WritesLeft >= 0 && WritesLeft-- == 0) WritesLeft = 0;
    if (WritesLeft == 0) {
        SetLastError(ERROR_DISK_FULL);
        *written = 0;
        return FALSE;
    }
    return WriteFile(file, data, size, written, overlapped);
}

}  // namespace

// What is in one state and not in the other, a line each.
std::string Difference(const std::vector<std::string>& now, const std::vector<std::string>& before)
{
    std::string text;
    for (const std::string& line : now)
        if (std::find(before.begin(), before.end(), line) == before.end()) text += "+ " + line + "\n";
    for (const std::string& line : before)
        if (std::find(now.begin(), now.end(), line) == now.end()) text += "- " + line + "\n";
    return text;
}

// A run that fails at any point leaves the machine exactly as it was: every
// file with its content, the product's keys, the registrations, the shared counts.
class FailedRun : public InstallRun {
protected:
    std::vector<std::string> Machine()
    {
        std::vector<std::string> state;
        std::function<void(const std::string&)> list = [&](const std::string& folder) {
            for (const std::string& entry : FolderEntries(folder)) {
                if (entry == *Folder / "Setup.exe") continue;  // the test's own installer
                state.push_back(entry + (entry.back() == '\\' ? std::string() : "=" + ReadText(entry).substr(0, 40)));
                if (entry.back() == '\\') list(entry);
            }
        };
        list(Folder->Path());
        ExportKey(HKEY_CURRENT_USER, RegistryRoot().substr(1), state);
        ExportKey(HKEY_LOCAL_MACHINE, RegistryRoot().substr(1), state);
        ExportKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Run " + Name + " 2.10", state);
        ExportKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Run " + Name + " 2.23", state);
        for (const std::string& path : {Install() + "Readme.txt", *Folder / "Vst2\\Echo.dll", *Folder / "Vst2\\"})
            state.push_back(path + " shared " + std::to_string(SharedFileCount(TInstallScope::Everyone, path)));
        return state;
    }
    // With `signedUninstaller`, the package carries the uninstaller a signed
    // build packs (this program in uninstaller mode, no log of its own), which
    // the run writes as it came, with the log in Uninstall.dat.
    std::vector<TPackageItem> Product(bool signedUninstaller = false)
    {
        Ini = {"[Setup]", "ProductName=Run " + Name, "RegistryRoot=Software\\SetupTests\\Run\\" + Name,
               "DefaultFolder=Unused", "[Pages]", "VstPluginFolder=1", "[Components]", "Main=$ProgramFolder",
               "Presets=$ProgramFolder\\Presets", "VstX=$VstPluginFolder", "[RegistrySettings]", "Value=1",
               "[Shortcuts]", "ProgramFolder=$ProgramFolder\\Readme.txt"};
        std::vector<TPackageItem> items = {
            TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "the product's"),
                                          TPackageItem::File("Big.bin", std::string(300000, 'b'))}),
            TPackageItem::Folder("Presets", {TPackageItem::File("A.preset", "a"), TPackageItem::File("B.preset", "b")}),
            TPackageItem::Folder("VstX", {TPackageItem::File("Echo.dll", std::string(5000, 'e'))})};
        if (signedUninstaller) {
            std::vector<uint8_t> program = ReadWholeFile(WindowsPath(SETUP_PROGRAM));
            SetWord(program, PackageFormat::SetupDataOffsetWord, 0);
            SetWord(program, PackageFormat::UninstallerModeWord, 1);
            items.push_back(TPackageItem::File("Uninst.exe", std::string(program.begin(), program.end())));
        }
        return items;
    }
};

TEST_F(FailedRun, AFullDriveAtAnyWriteLeavesTheMachineAsItWas)
{
    CreateDirectoryA(Install().c_str(), nullptr);
    WriteWholeFile(Install() + "Readme.txt", {'m', 'i', 'n', 'e'});  // the user's own
    auto sweep = [&](const std::string& version) {
        std::vector<std::string> before = Machine();
        for (int k = 0;; ++k) {
            Construct(Product(), version);
            WritesLeft = k;
            Calls->Write = FullDriveWrite;
            std::vector<std::string> notes;
            Model->OnNote = [&](const std::string& note) { notes.push_back(note); };
            TRecordingProgress progress;
            bool failed = false;
            try {
                RunInstallation(*Model, progress);
            } catch (const Exception&) {
                failed = true;
            }
            Calls->Write = WriteFile;
            WritesLeft = -1;
            Registrations.push_back(RegistrationName());
            if (!failed) return k;
            EXPECT_EQ(Difference(Machine(), before), "") << version << ": the drive filled at write " << k;
            // 2.10's entry, dropped when 2.23's run began, is told back as one.
            size_t told = 0;
            for (const std::string& note : notes) {
                EXPECT_EQ(note.find("registry value put back M \\Software\\Microsoft"), std::string::npos) << note;
                told += note == "rolled back: registration put back Run " + Name + " 2.10";
            }
            EXPECT_EQ(told, version == "2.23" ? 1u : 0u) << version << " at write " << k;
            if (HasFailure()) return k;
        }
    };
    int writes = sweep("2.10");
    EXPECT_GT(writes, 10);
    // Again over the installation just made: a failed reinstall leaves it working.
    EXPECT_GT(sweep("2.23"), 10);
}

namespace {

// A run ended from outside right before its k-th file write or finishing
// deletion, as a crash or a power cut ends it: no rollback, nothing more written.
constexpr UINT KilledExitCode = 99;
int KillAt = -1;
BOOL WINAPI KillingWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (KillAt-- == 0) TerminateProcess(GetCurrentProcess(), KilledExitCode);
    return WriteFile(file, data, size, written, overlapped);
}
// The deletions that finish a run count as steps too, and so does each
// registry value it writes.
BOOL WINAPI KillingDelete(LPCSTR path)
{
    if (KillAt-- == 0) TerminateProcess(GetCurrentProcess(), KilledExitCode);
    return DeleteFileA(path);
}
LONG WINAPI KillingRegistryWrite(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    if (KillAt-- == 0) TerminateProcess(GetCurrentProcess(), KilledExitCode);
    return RegSetValueExA(key, name, reserved, type, data, size);
}

// Starts this test program as the run to be ended at write `k` (KillPoint.Child).
DWORD RunKilledAt(int k, const std::string& folder, const std::string& program)
{
    SetEnvironmentVariableA("SETUP_TEST_KILL_AT", std::to_string(k).c_str());
    SetEnvironmentVariableA("SETUP_TEST_KILL_FOLDER", folder.c_str());
    SetEnvironmentVariableA("SETUP_TEST_KILL_PROGRAM", program.c_str());
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = "\"" + std::string(self) + "\" --gtest_filter=KillPoint.Child";
    // Its own test report would only repeat this one's.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE quiet = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = quiet;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(quiet);
    SetEnvironmentVariableA("SETUP_TEST_KILL_AT", nullptr);
    if (!started) return DWORD(-1);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// Points a model at the test's folders, as every run of the kill-point table does.
void PlaceProduct(TSetupInstaller& model, const std::string& folder)
{
    model.SetInstallFolder(folder + "Install\\");
    model.Choices.Vst2Folder = folder + "Vst2";
    model.Choices.Vst3Folder = folder + "Vst3";
    model.Choices.DigiFolder = folder + "Rtas";
    model.Choices.AaxFolder = folder + "Aax";
    model.Choices.ClapFolder = folder + "Clap";
}

}  // namespace

// Not a test of its own: the run that the kill-point table starts as a process
// of its own, which ends itself at the write it is told.
TEST(KillPoint, Child)
{
    const char* at = std::getenv("SETUP_TEST_KILL_AT");
    if (!at) GTEST_SKIP() << "started by FailedRun.AKillAtAnyStepIsOneDocumentedStepFromTheMachineAsItWas";
    std::string folder = std::getenv("SETUP_TEST_KILL_FOLDER");
    StartMenuFolder = folder + "StartMenu";
    DesktopFolder = folder + "Desktop";
    TSystemCallsScope calls;
    calls->SpecialFolder = TestSpecialFolder;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TSetupInstaller model(std::getenv("SETUP_TEST_KILL_PROGRAM"));
    PlaceProduct(model, folder);
    KillAt = std::atoi(at);
    calls->Write = KillingWrite;
    calls->Delete = KillingDelete;
    calls->SetValue = KillingRegistryWrite;
    TRecordingProgress progress;
    RunInstallation(model, progress);  // returns only for a run with fewer writes
}

TEST_F(FailedRun, AKillAtAnyStepIsOneDocumentedStepFromTheMachineAsItWas)
{
    CreateDirectoryA(Install().c_str(), nullptr);
    WriteWholeFile(Install() + "Readme.txt", {'m', 'i', 'n', 'e'});  // the user's own
    // Another product keeps its settings in the product's key: every value a run
    // writes over there is back after a kill at any value.
    const std::string other = *Folder / "Other\\";
    Ini = {"[Setup]", "ProductName=Run Other " + Name, "RegistryRoot=Software\\SetupTests\\Run\\" + Name,
           "DefaultFolder=Unused", "[Components]", "Main=$ProgramFolder", "[RegistrySettings]", "Value=the other's"};
    Construct({TPackageItem::Folder("Main", {TPackageItem::File("Other.txt", "the other's")})});
    Model->SetInstallFolder(other);
    Run();
    ASSERT_EQ(ReadValue(HKEY_CURRENT_USER, RegistryRoot() + "\\2.0", "Value"), "the other's");
    const std::vector<std::string> before = Machine();
    // What the clean-up does once an uninstaller has ended. The product's
    // RegistryRoot above its version key stays, empty, as after every removal.
    auto uninstall = [&](const std::string& from) {
        TUninstaller uninstaller(from + "Uninst.exe");
        uninstaller.Uninstall();
        DeleteFileA((from + "Uninst.exe").c_str());
        for (const std::string& folder : uninstaller.DeferredFolders()) RemoveDirectoryA(folder.c_str());
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteKeyA(root, RegistryRoot().substr(1).c_str());
    };
    // Each row: a fresh install or an upgrade of 2.10, ended at write k, then
    // the documented step: Uninst.exe, or Setup again (and then Uninst.exe).
    // Every step of the smaller sweeps; every third of the others. The last
    // two carry a signed uninstaller (an upgrade over a signed one too).
    struct Sweep {
        bool upgrade, again;
        int stride;
        bool signedUninstaller;
    } sweeps[] = {{false, false, 1, false}, {false, true, 3, false}, {true, false, 1, false},
                  {true, true, 3, false},   {false, false, 3, true},  {true, false, 3, true}};
    for (const Sweep& sweep : sweeps) {
        int k = 0;
        for (;; k += sweep.stride) {
            SCOPED_TRACE(std::string(sweep.upgrade ? "upgrade" : "fresh install") +
                         (sweep.signedUninstaller ? " with a signed uninstaller" : "") + " ended at write " +
                         std::to_string(k) + (sweep.again ? ", then Setup again" : ", then Uninst.exe"));
            if (sweep.upgrade) {
                Construct(Product(sweep.signedUninstaller), "2.10");
                Run();
            }
            Construct(Product(sweep.signedUninstaller), "2.23");
            Registrations.push_back(RegistrationName());
            Model.reset();
            DWORD code = RunKilledAt(k, Folder->Path(), *Folder / "Setup.exe");
            if (code != KilledExitCode) {
                EXPECT_EQ(code, 0u);  // the whole run fitted before write k
                uninstall(Install());
                EXPECT_EQ(Difference(Machine(), before), "");
                break;
            }
            // Without Uninst.exe (ended before it was in place) the step is Setup again.
            if (sweep.again || !FileExists(Install() + "Uninst.exe")) {
                Construct(Product(sweep.signedUninstaller), "2.23");
                // What only the killed run's rollback needed (the keys it made,
                // the registrations' values) is not told of as foreign.
                std::string foreign;
                Model->OnNote = [&](const std::string& note) {
                    const std::string told = "earlier log line not taken over, outside its roots: ";
                    if (note.compare(0, told.size(), told) == 0 && (note[told.size()] == 'X' || note[told.size()] == 'V'))
                        foreign += note + "\n";
                };
                EXPECT_NO_THROW(Run());
                EXPECT_EQ(foreign, "");
            }
            if (FileExists(Install() + "Uninst.exe")) uninstall(Install());
            EXPECT_EQ(Difference(Machine(), before), "");
            if (HasFailure()) return;
        }
        EXPECT_GT(k, 20);
    }
    uninstall(other);
}

TEST_F(FailedRun, ADamagedStreamAnywhereIsTheCorruptionMessageAndLeavesTheMachineAsItWas)
{
    CreateDirectoryA(Install().c_str(), nullptr);
    WriteWholeFile(Install() + "Readme.txt", {'m', 'i', 'n', 'e'});
    std::vector<std::string> before = Machine();
    // Into the user's folder, and into two levels of folders the run makes.
    for (const std::string& destination : {Install(), *Folder / "Maker\\Product\\"}) {
        for (const char* file : {"Readme.txt", "Big.bin", "B.preset", "Echo.dll"}) {
            SCOPED_TRACE(destination + " " + file);
            DamagedFile = file;
            Construct(Product());
            Model->SetInstallFolder(destination);
            std::vector<std::string> questions;
            Model->OnFileQuestion = [&](const std::string& message) {
                questions.push_back(message);
                return false;
            };
            TRecordingProgress progress;
            try {
                RunInstallation(*Model, progress);
                ADD_FAILURE() << "installed from a damaged stream";
            } catch (const Exception& e) {
                // Only the damage: nothing is left that could not be put back.
                EXPECT_STREQ(e.what(), "The installer appears to be corrupted. Please download it again");
            }
            Registrations.push_back(RegistrationName());
            EXPECT_TRUE(questions.empty());  // nothing a running program could have caused
            EXPECT_EQ(Difference(Machine(), before), "");
        }
    }
}
