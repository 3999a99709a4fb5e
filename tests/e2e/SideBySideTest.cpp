// Two installations of one product, as studios keep them, and the upgrades
// users really do: after every step the whole machine is compared with what it
// must be (files with their contents, the product's keys in both registry
// views and per user, its shortcuts, the installed-programs list, the shared
// counts), and nothing of the user's or of the other installation is lost.
#include <gtest/gtest.h>
#include <objbase.h>

#include <functional>
#include <map>

#include "FileSystem.h"
#include "LogLine.h"
#include "PathUtils.h"
#include "Registry.h"
#include "SharedFiles.h"
#include "ShellFolders.h"
#include "ShellLinks.h"
#include "TestFiles.h"
#include "TextUtils.h"
#include "WindowDriver.h"
#include "WizardDriver.h"

namespace {

const char MakerKey[] = "\\Software\\SetupTests\\SideMaker";
const char Caption[] = "Side Readme";

// Every key and value below a key, as "key|name=value" texts.
void DumpKey(TRegistry& registry, const std::string& key, const std::string& prefix,
             std::map<std::string, std::string>& into)
{
    if (!registry.OpenKey(key, false)) return;
    into[prefix + key] = "";
    HKEY handle = registry.CurrentKey();
    char name[512];
    BYTE data[2048];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = sizeof name, dataLength = sizeof data, type = 0;
        if (RegEnumValueA(handle, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
        into[prefix + key + "|" + std::string(name, nameLength)] =
            type == REG_DWORD ? "#" + std::to_string(*reinterpret_cast<DWORD*>(data))
                              : std::string(reinterpret_cast<char*>(data), dataLength ? dataLength - 1 : 0);
    }
    for (const std::string& sub : registry.GetKeyNames()) DumpKey(registry, key + "\\" + sub, prefix, into);
    registry.OpenKey(key, false);
}

// What the machine holds of the product and of the test's folder.
std::map<std::string, std::string> Machine(const std::string& folder)
{
    std::map<std::string, std::string> state;
    for (const auto& entry : FolderListing(folder))
        if (entry.first.back() != '\\' && ExtractFileExt(entry.first) != ".log" &&
            !SameTextAscii(ExtractFileName(entry.first), "Uninst.exe") && entry.first.find("Setup ") == std::string::npos)
            state["file " + entry.first] = entry.second;
        else if (SameTextAscii(ExtractFileName(entry.first), "Uninst.exe"))
            state["file " + entry.first] = "an uninstaller";
    for (bool wide : {false, true}) {
        TRegistry64 machine(wide);
        machine.RootKey = HKEY_LOCAL_MACHINE;
        DumpKey(machine, MakerKey, wide ? "HKLM64" : "HKLM", state);
    }
    TRegistry user(KEY_READ);
    DumpKey(user, MakerKey, "HKCU", state);
    std::string programs = IncludeDelimiter(GetSpecialFolder(sfPrograms));
    for (const auto& entry : FolderListing(programs))
        if (ExtractFileName(entry.first).compare(0, 4, "Side") == 0) {
            std::string target, arguments;
            ReadShellLink(entry.first, target, arguments);
            state["shortcut " + entry.first] = target;
        }
    TRegistry list(KEY_READ);
    list.RootKey = HKEY_LOCAL_MACHINE;
    if (list.OpenKey(std::string(UninstallRegistryKey), false))
        for (const std::string& name : list.GetKeyNames())
            if (name.compare(0, 4, "Side") == 0 && list.OpenKey(std::string(UninstallRegistryKey) + name, false)) {
                state["registration " + name] = list.ReadString("UninstallString");
                list.OpenKey(std::string(UninstallRegistryKey), false);
            }
    for (const auto& entry : FolderListing(folder))
        if (int count = SharedFileCount(TInstallScope::Everyone, ExcludeDelimiter(entry.first)))
            state["count " + entry.first] = std::to_string(count);
    return state;
}

// The differences between two states, for the failure message.
std::string Differences(const std::map<std::string, std::string>& expected, const std::map<std::string, std::string>& actual)
{
    std::string text;
    for (const auto& item : expected) {
        auto found = actual.find(item.first);
        if (found == actual.end())
            text += "  missing: " + item.first + " = " + item.second + "\n";
        else if (found->second != item.second)
            text += "  changed: " + item.first + " = " + found->second + " (was " + item.second + ")\n";
    }
    for (const auto& item : actual)
        if (!expected.count(item.first)) text += "  added:   " + item.first + " = " + item.second + "\n";
    return text;
}

class SideBySide : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        Folder = std::make_unique<TTestFolder>(::testing::UnitTest::GetInstance()->current_test_info()->name());
        Forget();
        Vst = *Folder / "Vst";
        CreateDirectoryA(Vst.c_str(), nullptr);
    }
    void TearDown() override
    {
        for (const char* name : {"A", "B"})
            if (FileExists(*Folder / name + "\\Uninst.exe")) Uninstall(name);
        Forget();
        Folder.reset();
        CoUninitialize();
    }
    void Forget()
    {
        ForgetSharedFiles(Folder->Path());
        for (bool wide : {false, true}) {
            TRegistry64 machine(wide);
            machine.RootKey = HKEY_LOCAL_MACHINE;
            machine.DeleteKey(MakerKey);
        }
        TRegistry user;
        user.DeleteKey(MakerKey);
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            TRegistry list;
            list.RootKey = root;
            if (list.OpenKey(std::string(UninstallRegistryKey), false))
                for (const std::string& name : list.GetKeyNames())
                    if (name.compare(0, 4, "Side") == 0)
                        list.DeleteKey(std::string(UninstallRegistryKey) + name);
        }
        DeleteFileA((IncludeDelimiter(GetSpecialFolder(sfPrograms)) + Caption + ".lnk").c_str());
    }
    // An installer of version `version`; its files say which version wrote
    // them. With `presets`, it also installs presets into a folder of their
    // own, and its plug-in, presets and shortcut are named after the version:
    // two versions share those folders but no file.
    std::string Installer(const std::string& version, std::vector<std::string> extra = {}, bool presets = false)
    {
        std::string suffix = presets ? " " + version : "";
        std::vector<std::string> ini = {"[Setup]", "ProductName=Side", "RegistryRoot=Software\\SetupTests\\SideMaker\\Side",
                                        "DefaultFolder=SetupTests\\Side", "InstallFor=Either", "[Components]",
                                        "Main=$ProgramFolder", "VstX=$VstPluginFolder",
                                        presets ? "Presets=" + ExcludeDelimiter(Presets()) : "", "[Shortcuts]",
                                        std::string("StartMenu=$ProgramFolder\\Readme.txt,") + Caption + suffix,
                                        "[RegistrySettings]", "Setting=" + version};
        ini.insert(ini.end(), extra.begin(), extra.end());
        TTestFolder scratch("SideBySideBuild");
        std::string built = BuildTestInstaller(
            scratch, ini,
            {TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", "readme " + version),
                                           TPackageItem::File("Settings.cfg", "settings " + version)}),
             TPackageItem::Folder("VstX", {TPackageItem::File("Side" + suffix + ".dll", "plug-in " + version)}),
             TPackageItem::Folder("Presets", {TPackageItem::File("Side" + suffix + ".fxp", "preset " + version)})},
            version);
        std::string program = *Folder / "Setup " + version + ".exe";
        CopyFileA(built.c_str(), program.c_str(), FALSE);
        return program;
    }
    // For everyone unless `scope` says /CURRENTUSER.
    void Install(const std::string& program, const std::string& into, const std::string& scope = "/ALLUSERS")
    {
        TProcess run(program, "/S " + scope + " /DIR=\"" + *Folder / into + "\" /VST2DIR=\"" + Vst + "\" /LOG=\"" +
                                  *Folder / "install.log\"");
        ASSERT_TRUE(run.WaitForExit(60000));
        ASSERT_EQ(run.ExitCode(), 0u) << ReadLog("install.log");
    }
    void Uninstall(const std::string& from)
    {
        std::string uninstaller = *Folder / from + "\\Uninst.exe";
        TProcess run(uninstaller, "/S /LOG=\"" + *Folder / "uninstall.log\"");
        ASSERT_TRUE(run.WaitForExit(60000));
        EXPECT_EQ(run.ExitCode(), 0u) << ReadLog("uninstall.log");
        EXPECT_TRUE(GoneWithin(uninstaller, 20000));
    }
    std::string ReadLog(const std::string& name)
    {
        std::vector<uint8_t> bytes = FileExists(*Folder / name) ? ReadWholeFile(*Folder / name) : std::vector<uint8_t>();
        return std::string(bytes.begin(), bytes.end());
    }
    std::map<std::string, std::string> Now() { return Machine(Folder->Path()); }
    std::string Presets() const { return *Folder / "Presets\\"; }

    std::unique_ptr<TTestFolder> Folder;
    std::string Vst;
};

void Write(const std::string& path, const std::string& text) { WriteWholeFile(path, {text.begin(), text.end()}); }

}  // namespace

// Each row: steps, and after each the machine as it must be: the state after
// an earlier step (by its index: 0 is before the first), or that state with changes.
TEST_F(SideBySide, EveryScenarioLeavesTheMachineAsItMustBe)
{
    struct TStep {
        const char* what;
        std::function<void()> act;
        int sameAs;  // -1: no earlier state to compare with
        std::function<void(std::map<std::string, std::string>&)> expect;
    };
    struct TScenario {
        const char* name;
        std::vector<TStep> steps;
    };
    std::string a = *Folder / "A\\", b = *Folder / "B\\", plugin = Vst + "\\Side.dll";
    std::string link = IncludeDelimiter(GetSpecialFolder(sfPrograms)) + Caption + ".lnk";
    auto file = [](const std::string& path) { return "file " + path; };
    const std::vector<TScenario> scenarios = {
        {"two versions in two folders, the newer removed first",
         {{"install 1.0 in A", [&] { Install(Installer("1.0"), "A"); }, -1, nullptr},
          {"install 1.1 in B", [&] { Install(Installer("1.1"), "B"); }, -1,
           [&](std::map<std::string, std::string>& m) {
               EXPECT_EQ(m[file(plugin)], "plug-in 1.1");
               EXPECT_EQ(m["shortcut " + link], b + "Readme.txt");
               EXPECT_EQ(m.count("registration Side 1.00"), 1u);
               EXPECT_EQ(m.count("registration Side 1.10"), 1u);
           }},
          {"remove 1.1", [&] { Uninstall("B"); }, 1, nullptr},
          {"remove 1.0", [&] { Uninstall("A"); }, 0, nullptr}}},
        {"two versions in two folders, the older removed first",
         {{"install 1.1 alone in B", [&] { Install(Installer("1.1"), "B"); }, -1, nullptr},
          {"remove it", [&] { Uninstall("B"); }, 0, nullptr},
          {"install 1.0 in A", [&] { Install(Installer("1.0"), "A"); }, -1, nullptr},
          {"install 1.1 in B", [&] { Install(Installer("1.1"), "B"); }, -1, nullptr},
          {"remove 1.0: 1.1 is as if alone", [&] { Uninstall("A"); }, 1, nullptr},
          {"remove 1.1", [&] { Uninstall("B"); }, 0, nullptr}}},
        {"the same version twice",
         {{"install 1.0 in A", [&] { Install(Installer("1.0"), "A"); }, -1, nullptr},
          {"install 1.0 again in B", [&] { Install(Installer("1.0"), "B"); }, -1,
           [&](std::map<std::string, std::string>& m) {
               EXPECT_EQ(m["registration Side 1.00"], "\"" + a + "Uninst.exe\"");
               EXPECT_EQ(m["registration Side 1.00 (2)"], "\"" + b + "Uninst.exe\"");
           }},
          {"remove A's", [&] { Uninstall("A"); }, -1,
           [&](std::map<std::string, std::string>& m) {
               EXPECT_EQ(m.count("registration Side 1.00"), 0u);
               EXPECT_EQ(m["registration Side 1.00 (2)"], "\"" + b + "Uninst.exe\"");
               EXPECT_EQ(m[file(plugin)], "plug-in 1.0");
               EXPECT_EQ(m["shortcut " + link], b + "Readme.txt");
           }},
          {"remove B's", [&] { Uninstall("B"); }, 0, nullptr}}},
        {"an upgrade over a file the user changed",
         {{"install 1.0 in A", [&] { Install(Installer("1.0"), "A"); }, -1, nullptr},
          {"the user edits Settings.cfg", [&] { Write(a + "Settings.cfg", "the user's settings"); }, -1, nullptr},
          {"upgrade to 1.1 in A", [&] { Install(Installer("1.1"), "A"); }, -1,
           [&](std::map<std::string, std::string>& m) {
               EXPECT_EQ(m[file(a + "Settings.cfg")], "settings 1.1");
               EXPECT_EQ(m[file(a + "Replaced Files\\1 Settings.cfg")], "the user's settings");
               EXPECT_NE(ReadLog("install.log").find("You had changed these files"), std::string::npos);
           }},
          {"remove: the user's settings come back", [&] { Uninstall("A"); }, 0,
           [&](std::map<std::string, std::string>& m) { m[file(a + "Settings.cfg")] = "the user's settings"; }}}},
        {"a user's shortcut and a stale count",
         {{"the user's own shortcut and plug-in, with a count some other program left",
           [&] {
               CreateShellLink(link, *Folder / "Mine.exe", "", 0);
               Write(plugin, "the user's plug-in");
               AddSharedFileReference(TInstallScope::Everyone, plugin);
           },
           -1, nullptr},
          {"install 1.0 in A", [&] { Install(Installer("1.0"), "A"); }, -1,
           [&](std::map<std::string, std::string>& m) { EXPECT_EQ(m[file(plugin)], "plug-in 1.0"); }},
          {"remove: both come back, the count as it was", [&] { Uninstall("A"); }, 1, nullptr}}},
        {"folders without a registry name",
         {{"install 1.0 with two folders and no [FoldersRegistry]",
           [&] { Install(Installer("1.0", {"[Folders]", "Presets=$ProgramFolder\\Presets", "Loose=$ProgramFolder\\Loose"}), "A"); },
           -1,
           [&](std::map<std::string, std::string>& m) {
               for (const char* hive : {"HKLM", "HKCU"})
                   EXPECT_EQ(m.count(std::string(hive) + MakerKey + "\\Side\\1|"), 0u) << hive;
           }},
          {"remove", [&] { Uninstall("A"); }, 0, nullptr}}},
        {"for everyone and for one user, the one for everyone removed first",
         {{"no VST 2 folder yet", [&] { RemoveDirectoryA(Vst.c_str()); }, -1, nullptr},
          {"install 1.0 for everyone in A", [&] { Install(Installer("1.0", {}, true), "A"); }, -1, nullptr},
          {"install 1.1 for one user in B", [&] { Install(Installer("1.1", {}, true), "B", "/CURRENTUSER"); }, -1,
           nullptr},
          {"remove the one for everyone: the user's is intact", [&] { Uninstall("A"); }, -1,
           [&](std::map<std::string, std::string>& m) {
               EXPECT_EQ(m[file(Vst + "\\Side 1.1.dll")], "plug-in 1.1");
               EXPECT_EQ(m[file(Presets() + "Side 1.1.fxp")], "preset 1.1");
           }},
          {"remove the one for one user: the folders both used go with it",
           [&] {
               Uninstall("B");
               EXPECT_FALSE(DirectoryExists(Presets()));
               EXPECT_FALSE(DirectoryExists(Vst));
           },
           1, nullptr}}},
    };
    for (const TScenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        std::vector<std::map<std::string, std::string>> states = {Now()};
        for (const TStep& step : scenario.steps) {
            SCOPED_TRACE(step.what);
            step.act();
            std::map<std::string, std::string> now = Now();
            if (step.sameAs >= 0) {
                std::map<std::string, std::string> expected = states[size_t(step.sameAs)];
                if (step.expect) step.expect(expected);
                // With what the step's own run said: a loss shows up in full runs only.
                EXPECT_TRUE(expected == now) << Differences(expected, now) << "\nthe last installation's log:\n"
                                             << ReadLog("install.log") << "\nthe last removal's log:\n"
                                             << ReadLog("uninstall.log");
            } else if (step.expect) {
                step.expect(now);
            }
            states.push_back(now);
        }
        ASSERT_FALSE(HasFatalFailure());
        Forget();
        DeleteFileA(plugin.c_str());
        DeleteFileA(link.c_str());
        ForgetSharedFiles(Folder->Path());
    }
}
