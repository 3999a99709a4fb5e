#include <gtest/gtest.h>

#include <cstdlib>

#include "Exception.h"
#include "PathUtils.h"
#include "Platform.h"
#include "Registry.h"
#include "SetupInstaller.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "Uninstaller.h"

namespace {

bool Expect64BitWindows()
{
    const char* expected = std::getenv("SETUP_EXPECT_WOW64");
    return !expected || std::string(expected) != "0";
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// A product of its own: registry keys below Software\SetupTests\<name> in both
// hives and both views, removed before and after.
class TProduct {
public:
    explicit TProduct(const std::string& name) : Folder(name), Name(name)
    {
        Clean();
        Ini = {"[Setup]", "ProductName=Test " + name, "RegistryRoot=Software\\SetupTests\\" + name,
               "DefaultFolder=SetupTests\\" + name + " %d"};
    }
    ~TProduct() { Clean(); }

    std::string RegistryRoot() const { return "\\Software\\SetupTests\\" + Name; }

    // Builds the installer and constructs the model from it.
    std::unique_ptr<TSetupInstaller> Construct(const std::string& version = "2.23",
                                               std::vector<TPackageItem> extra = {})
    {
        std::vector<TPackageItem> items = {TPackageItem::File("Setup.ini", Lines(Ini))};
        if (WithLicence) items.push_back(TPackageItem::File("Setup.lic", "Licence line 1\r\nLicence line 2"));
        for (auto& item : extra) items.push_back(std::move(item));
        // A file of its own each time: a model holds its installer against writers while it lives.
        std::string program = Folder / ("Setup " + std::to_string(++Built) + ".exe");
        WriteWholeFile(program, AppendPackage(StubProgram(), BuildPackageBytes(items, version)));
        return std::make_unique<TSetupInstaller>(program);
    }

    std::string ConstructionError(const std::string& version = "2.23")
    {
        try {
            Construct(version);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "(constructed)";
    }

    // An earlier installation as the run leaves it behind.
    void Installed(const std::string& versionKey, const std::string& versionString, const std::string& location,
                   bool use64 = false)
    {
        TRegistry64 registry(use64);
        registry.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(registry.OpenKey(RegistryRoot() + "\\" + versionKey, true));
        if (!versionString.empty()) registry.WriteString("VersionString", versionString);
        if (!location.empty()) registry.WriteString("Location", location);
    }

    TTestFolder Folder;
    std::string Name;
    std::vector<std::string> Ini;
    bool WithLicence = true;

private:
    int Built = 0;
    void Clean()
    {
        for (bool use64 : {false, true})
            for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
                TRegistry64 registry(use64);
                registry.RootKey = root;
                registry.DeleteKey("\\Software\\SetupTests\\" + Name);
            }
    }
};

}  // namespace

TEST(SetupInstaller, ConstructionFailuresCarryTheirMessages)
{
    TProduct product("ModelFailures");
    product.WithLicence = false;
    std::string error = product.ConstructionError();
    EXPECT_EQ(error.rfind("Cannot open file \"" + product.Folder.Path() + "Setup.lic\".", 0), 0u) << error;

    product.WithLicence = true;
    product.Ini = {"[Setup]", "ProductName=No registry root", "DefaultFolder=X"};
    EXPECT_EQ(product.ConstructionError(), "Invalid configuration in Setup.ini");

    product.Ini = {"[Setup]", "RegistryRoot=Software\\SetupTests\\ModelFailures", "DefaultFolder=X %s"};
    EXPECT_EQ(product.ConstructionError(), "Format 'X %s' invalid or incompatible with argument");

    // Without Setup.ini in the package the file beside the program is used; without that, the open error.
    WriteWholeFile(product.Folder / "Setup.exe",
                   AppendPackage(StubProgram(), BuildPackageBytes({TPackageItem::File("Setup.lic", "x")})));
    try {
        TSetupInstaller model(product.Folder / "Setup.exe");
        ADD_FAILURE() << "constructed without Setup.ini";
    } catch (const EFOpenError& e) {
        EXPECT_NE(e.Message().find("Setup.ini"), std::string::npos) << e.Message();
    }
    WriteWholeFile(product.Folder / "Setup.ini",
                   {std::begin("[Setup]\r\nProductName=Beside\r\nRegistryRoot=R\r\nDefaultFolder=D"),
                    std::end("[Setup]\r\nProductName=Beside\r\nRegistryRoot=R\r\nDefaultFolder=D") - 1});
    EXPECT_EQ(TSetupInstaller(product.Folder / "Setup.exe").Facts().ProductName, "Beside");
}

// A licence as editors save it: with or without a byte order mark, in UTF-8 or UTF-16.
TEST(SetupInstaller, ALicenceIsReadInTheEncodingItsByteOrderMarkNames)
{
    const std::string text = "Lizenz f\xC3\xBCr \xE6\x97\xA5\r\nZeile 2";
    auto utf16 = [&](bool big) {
        std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
        for (wchar_t c : std::wstring(L"Lizenz f\u00FCr \u65E5\r\nZeile 2")) {
            char high = char(c >> 8), low = char(c & 0xFF);
            bytes += big ? std::string{high, low} : std::string{low, high};
        }
        return bytes;
    };
    for (const std::string& saved : {text, "\xEF\xBB\xBF" + text, utf16(false), utf16(true)}) {
        TProduct product("ModelLicence");
        product.WithLicence = false;
        auto model = product.Construct("2.23", {TPackageItem::File("Setup.lic", saved)});
        EXPECT_EQ(model->Facts().LicenseText, "Lizenz f\xC3\xBCr \xE6\x97\xA5\r\nZeile 2\r\n") << saved.substr(0, 2);
    }
}

TEST(SetupInstaller, PackageFilesComeBeforeFilesBesideTheProgram)
{
    TProduct product("ModelPackageFirst");
    std::string beside = "[Setup]\r\nProductName=Beside\r\nRegistryRoot=R\r\nDefaultFolder=D";
    WriteWholeFile(product.Folder / "Setup.ini", std::vector<uint8_t>(beside.begin(), beside.end()));
    auto model = product.Construct();
    EXPECT_EQ(model->Facts().ProductName, "Test ModelPackageFirst");
    EXPECT_EQ(model->Facts().LicenseText, "Licence line 1\r\nLicence line 2\r\n");
    // The picture: the entry, its alternative, then files beside the program.
    WriteWholeFile(product.Folder / "Setup.jpg", {'j', 'p', 'g'});
    auto picture = model->OpenPackageFile("Setup@2x.jpg", "Setup.jpg");
    std::vector<uint8_t> bytes(size_t(picture->Size()));
    picture->ReadBuffer(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, (std::vector<uint8_t>{'j', 'p', 'g'}));
    EXPECT_THROW(model->OpenPackageFile("Missing.jpg"), EFOpenError);
}

TEST(SetupInstaller, SystemFoldersFollowTheProductsBitness)
{
    TProduct product("ModelFolders");
    auto model32 = product.Construct();
    EXPECT_EQ(model32->Machine().ProgramFilesFolder, GetProgramFilesFolder());
    EXPECT_EQ(model32->Machine().CommonFilesFolder, GetCommonFilesFolder());
    EXPECT_EQ(model32->Choices.InstallFolder, GetProgramFilesFolder() + "\\SetupTests\\ModelFolders 2");
    EXPECT_EQ(model32->Choices.DigiFolder, GetCommonFilesFolder() + "\\Digidesign\\DAE\\Plug-Ins");
    EXPECT_EQ(model32->Choices.AaxFolder, GetCommonFilesFolder() + "\\Avid\\Audio\\Plug-Ins");
    EXPECT_EQ(model32->Choices.Vst3Folder, GetCommonFilesFolder() + "\\VST3");
    EXPECT_EQ(model32->Machine().DocumentsFolder, GetDocumentsFolder());
    EXPECT_EQ(model32->Machine().AppDataFolder, GetAppDataFolder());
    EXPECT_EQ(model32->Facts().VersionKey, "2.0");

    product.Ini.push_back("Is64Bit=1");
    auto model64 = product.Construct();
    EXPECT_EQ(model64->Machine().ProgramFilesFolder, "C:\\Program Files");
    EXPECT_EQ(model64->Machine().CommonFilesFolder, "C:\\Program Files\\Common Files");
    EXPECT_EQ(model64->Choices.InstallFolder, "C:\\Program Files\\SetupTests\\ModelFolders 2");
    if (Expect64BitWindows()) {
        EXPECT_NE(model32->Machine().ProgramFilesFolder, model64->Machine().ProgramFilesFolder);
    }
}

TEST(SetupInstaller, PreviousInstallationOfTheSameMajorProposesItsFolder)
{
    TProduct product("ModelPrevious");
    std::string oldFolder = product.Folder / "Old";
    CreateDirectoryA(oldFolder.c_str(), nullptr);
    product.Installed("1.0", "1.52", product.Folder / "One");
    product.Installed("2.0", "2.10", oldFolder);
    product.Installed("junk", "", "");

    auto model = product.Construct("2.23");
    EXPECT_TRUE(model->Machine().HasPreviousInstall);
    EXPECT_EQ(model->Machine().PreviousVersion.AsText(), "2.10");
    EXPECT_EQ(model->Machine().PreviousVersionKey, "2.0");
    EXPECT_EQ(model->Machine().PreviousInstallFolder, oldFolder + "\\");
    EXPECT_EQ(model->Choices.InstallFolder, oldFolder + "\\");

    auto older = product.Construct("1.60");  // the 2.10 installation is of a later major
    EXPECT_EQ(older->Machine().PreviousVersion.AsText(), "1.52");
    EXPECT_EQ(older->Machine().PreviousVersionKey, "1.0");

    auto next = product.Construct("3.00");  // a new major gets a fresh folder, but knows the old one
    EXPECT_TRUE(next->Machine().HasPreviousInstall);
    EXPECT_EQ(next->Machine().PreviousInstallFolder, oldFolder + "\\");
    EXPECT_EQ(next->Choices.InstallFolder, GetProgramFilesFolder() + "\\SetupTests\\ModelPrevious 3");
}

TEST(SetupInstaller, PreviousInstallationWhoseFilesAreGoneIsForgotten)
{
    TProduct product("ModelPreviousGone");
    std::string oldFolder = product.Folder / "Old";
    CreateDirectoryA(oldFolder.c_str(), nullptr);
    WriteWholeFile(oldFolder + "\\Echo.exe", {'x'});
    product.Installed("2.0", "2.10", oldFolder);
    product.Ini.insert(product.Ini.end(), {"[InstalledFiles]", "1=Missing For Major One.exe", "2=Echo.exe"});
    EXPECT_TRUE(product.Construct()->Machine().HasPreviousInstall);
    product.Ini.push_back("2=Manual.pdf");
    auto model = product.Construct();
    EXPECT_FALSE(model->Machine().HasPreviousInstall);
    EXPECT_EQ(model->Machine().PreviousInstallFolder, "");
    EXPECT_EQ(model->Choices.InstallFolder, GetProgramFilesFolder() + "\\SetupTests\\ModelPreviousGone 2");
}

TEST(SetupInstaller, A64BitProductReadsThe64BitView)
{
    TProduct product("ModelView64");
    product.Ini.push_back("Is64Bit=1");
    product.Installed("2.0", "2.01", product.Folder / "Wide", true);
    auto model = product.Construct();
    EXPECT_TRUE(model->Machine().HasPreviousInstall);
    EXPECT_EQ(model->Machine().PreviousInstallFolder, product.Folder / "Wide\\");
    if (Expect64BitWindows()) {
        // The 64-bit write is at HKLM\Software itself, not below Wow6432Node.
        TRegistry64 wide(true);
        wide.RootKey = HKEY_LOCAL_MACHINE;
        EXPECT_TRUE(wide.KeyExists(product.RegistryRoot() + "\\2.0"));
        EXPECT_FALSE(wide.KeyExists("\\Software\\Wow6432Node\\SetupTests\\ModelView64"));
        // A 32-bit product of the same name sees nothing there.
        product.Ini.pop_back();
        EXPECT_FALSE(product.Construct()->Machine().HasPreviousInstall);
    }
}

TEST(SetupInstaller, UserNameFromTheEarlierInstallationOrWindows)
{
    TProduct product("ModelUser");
    product.Ini.push_back("PersonalizeOwner=Owner\\Name");
    auto fresh = product.Construct();
    char buffer[256];
    DWORD size = sizeof buffer;
    ASSERT_TRUE(GetUserNameA(buffer, &size));
    EXPECT_EQ(fresh->Choices.UserName, std::string(buffer));
    EXPECT_EQ(fresh->Machine().PreviousUserName, "");

    product.Installed("2.0", "2.10", product.Folder.Path());
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(product.RegistryRoot() + "\\2.0\\Owner", true));
    registry.WriteString("Name", "Ada Lovelace");
    auto again = product.Construct();
    EXPECT_EQ(again->Machine().PreviousUserName, "Ada Lovelace");
    EXPECT_EQ(again->Choices.UserName, "Ada Lovelace");
}

TEST(SetupInstaller, Vst3ContentOfABundle)
{
    TProduct product("ModelVst3");
    product.Ini.insert(product.Ini.end(), {"IsBundle=1", "BundleRegistryRoot=Software\\SetupTests\\ModelVst3\\Items",
                                           "[Components]", "VstX $BundleItem=$VstPluginFolder",
                                           "Vst3 $BundleItem=$Vst3PluginFolder"});
    auto build = [&](std::vector<std::string> withVst3) {
        std::vector<TPackageItem> extra = {TPackageItem::File("BundleInfo.ini", "A=1.00\r\nB=1.10\r\nC=1.20\r\n")};
        for (const std::string& name : withVst3)
            extra.push_back(TPackageItem::Folder("Vst3 " + name, {TPackageItem::File(name + ".vst3", "v")}));
        extra.push_back(TPackageItem::Folder("Vst3 Empty"));
        return product.Construct("1.20", std::move(extra));
    };
    auto two = build({"A", "C"});
    EXPECT_TRUE(two->Facts().HasVst3);
    EXPECT_EQ(two->Facts().Vst3ItemList, "A, C");
    auto all = build({"A", "B", "C"});
    EXPECT_TRUE(all->Facts().HasVst3);
    EXPECT_EQ(all->Facts().Vst3ItemList, "");
    auto none = build({});
    EXPECT_FALSE(none->Facts().HasVst3);
    EXPECT_EQ(none->Facts().BundleItems.size(), 3u);
}

TEST(SetupInstaller, HostFoldersFromTheRegistry)
{
    TProduct product("ModelHosts");
    product.Ini.insert(product.Ini.end(), {"[Pages]", "PhotoshopPluginFolder=1"});
    // The hosts' own keys are shared by the whole prefix: keep and restore what was there.
    TRegistry machine;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    bool hadVst = machine.KeyExists("\\Software\\Vst");
    bool hadAdobe = machine.KeyExists("\\SOFTWARE\\Adobe");
    ASSERT_FALSE(hadAdobe) << "the prefix has a Photoshop of its own";
    ASSERT_TRUE(machine.OpenKey("\\Software\\Vst", true));
    std::string oldVst = machine.ReadString("VstPluginsPath");
    machine.WriteString("VstPluginsPath", "C:\\Steinberg\\VstPlugins");
    for (const char* version : {"9.0", "60.0", "10.0", "12.0", "x.1"}) {
        ASSERT_TRUE(machine.OpenKey(std::string("\\SOFTWARE\\Adobe\\Photoshop\\") + version + "\\PluginPath", true));
        machine.WriteString("", std::string("C:\\Photoshop ") + version + "\\Plug-ins");
    }
    auto model = product.Construct();
    product.Ini.pop_back();
    auto withoutPage = product.Construct();

    machine.CloseKey();
    machine.DeleteKey("\\SOFTWARE\\Adobe");
    if (hadVst) {
        machine.OpenKey("\\Software\\Vst", false);
        machine.WriteString("VstPluginsPath", oldVst);
    } else {
        machine.DeleteKey("\\Software\\Vst");
    }
    EXPECT_EQ(model->Choices.Vst2Folder, "C:\\Steinberg\\VstPlugins");
    EXPECT_EQ(model->Choices.PhotoshopFolder, "C:\\Photoshop 60.0\\Plug-ins");
    EXPECT_EQ(withoutPage->Choices.PhotoshopFolder, "");
}

TEST(SetupInstaller, ExampleProductConstructs)
{
    const char* built = std::getenv("SETUP_EXAMPLE_INSTALLER");
    if (!built) GTEST_SKIP() << "SETUP_EXAMPLE_INSTALLER is not set (CTest sets it)";
    TTestFolder folder("ModelExample");
    ASSERT_TRUE(CopyFileA(WindowsPath(built).c_str(), (folder / "Setup.exe").c_str(), FALSE));
    TSetupInstaller model(folder / "Setup.exe");
    EXPECT_EQ(model.Facts().ProductName, "Example Echo");
    EXPECT_EQ(model.FullProductName(), "Example Echo 1.20");
    EXPECT_EQ(model.Facts().RegistryRoot, "\\Software\\Example Audio\\Example Echo");
    EXPECT_EQ(model.Choices.InstallFolder, GetProgramFilesFolder() + "\\Example Audio\\Example Echo 1");
    EXPECT_EQ(model.Facts().PageFlags, unsigned(pfVstPluginFolder | pfDigiPluginFolder));
    EXPECT_EQ(model.Facts().ShortcutKinds, unsigned(skStartMenu));
    EXPECT_TRUE(model.Facts().HasVst3);
    EXPECT_EQ(model.Facts().Components.size(), 4u);
    EXPECT_EQ(model.ExpandVariables("$AaxPluginFolder", nullptr), GetCommonFilesFolder() + "\\Avid\\Audio\\Plug-Ins");
    EXPECT_EQ(model.Facts().WelcomeNote, "");
}

TEST(SetupInstaller, ExampleProductFindsItsOlderInstallation)
{
    const char* built = std::getenv("SETUP_EXAMPLE_INSTALLER");
    if (!built) GTEST_SKIP() << "SETUP_EXAMPLE_INSTALLER is not set (CTest sets it)";
    TTestFolder folder("ModelExampleUpgrade");
    ASSERT_TRUE(CopyFileA(WindowsPath(built).c_str(), (folder / "Setup.exe").c_str(), FALSE));
    // Version 1.05 as an earlier run would have left it: its key, its folder, its Readme.
    std::string oldFolder = folder / "Example Echo 1.05";
    CreateDirectoryA(oldFolder.c_str(), nullptr);
    WriteWholeFile(oldFolder + "\\Readme.txt", {'o', 'l', 'd'});
    const std::string root = "\\Software\\Example Audio";
    TRegistry machine;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    // Empty maker keys may stay from an earlier run; an installed version may not.
    ASSERT_FALSE(machine.KeyExists(root + "\\Example Echo\\1.0")) << "the prefix has the example product installed";
    ASSERT_TRUE(machine.OpenKey(root + "\\Example Echo\\1.0", true));
    machine.WriteString("Location", oldFolder);
    machine.WriteString("VersionString", "1.05");
    machine.CloseKey();

    TSetupInstaller model(folder / "Setup.exe");
    machine.DeleteKey(root);
    EXPECT_TRUE(model.Machine().HasPreviousInstall);
    EXPECT_EQ(model.Machine().PreviousVersion.AsText(), "1.05");
    EXPECT_EQ(model.Choices.InstallFolder, oldFolder + "\\");

    // Without its Readme the old folder is no installation any more.
    DeleteFileA((oldFolder + "\\Readme.txt").c_str());
    ASSERT_TRUE(machine.OpenKey(root + "\\Example Echo\\1.0", true));
    machine.WriteString("Location", oldFolder);
    machine.CloseKey();
    TSetupInstaller without(folder / "Setup.exe");
    machine.DeleteKey(root);
    EXPECT_FALSE(without.Machine().HasPreviousInstall);
    EXPECT_EQ(without.Choices.InstallFolder, GetProgramFilesFolder() + "\\Example Audio\\Example Echo 1");
}

TEST(SetupInstaller, ADestinationThatCannotTakeAFileIsFoundBeforeTheRun)
{
    TTestFolder folder("SetupWritable");
    EXPECT_TRUE(TSetupInstaller::CanWriteInto(folder.Path()));
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());  // the probe leaves nothing
    EXPECT_TRUE(TSetupInstaller::CanWriteInto(folder / "Not There Yet"));
    // The Linux /proc through Wine's Z: drive takes no file, even for root.
    EXPECT_FALSE(TSetupInstaller::CanWriteInto("Z:\\proc\\"));
    // Drive roots and the Windows folder are no places for a product.
    EXPECT_EQ(TSetupInstaller::CheckFolder("C:\\", true).Fault, TFolderFault::DriveRoot);
    EXPECT_EQ(TSetupInstaller::CheckFolder("c:\\WINDOWS\\Plug-Ins\\", true).Fault, TFolderFault::WindowsFolder);
    EXPECT_TRUE(TSetupInstaller::CheckFolder("C:\\Windows Audio\\", true).Ok());
}
