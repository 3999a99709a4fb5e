// Installs and removals where the names are not English: a product name and a
// destination in any script, a Setup.ini saved in the ANSI code page, package
// names in UTF-8, and a temporary folder and user (CTest names the user) with
// characters the ANSI code page cannot hold.
#include <gtest/gtest.h>
#include <objbase.h>

#include "FileSystem.h"
#include "WizardDesign.h"
#include "PathUtils.h"
#include "TestFiles.h"
#include "WizardDriver.h"

namespace {

std::wstring Wide(const std::string& utf8)
{
    std::wstring wide(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0)), L'\0');
    if (!wide.empty()) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], int(wide.size()));
    return wide;
}

// The temporary folder of the programs the test starts, for as long as it lives.
class TTemporaryFolder {
public:
    explicit TTemporaryFolder(const std::string& path)
    {
        GetEnvironmentVariableW(L"TEMP", FSaved, MAX_PATH);
        CreateDirectoryA(path.c_str(), nullptr);
        SetEnvironmentVariableW(L"TEMP", Wide(path).c_str());
        SetEnvironmentVariableW(L"TMP", Wide(path).c_str());
    }
    ~TTemporaryFolder()
    {
        SetEnvironmentVariableW(L"TEMP", FSaved);
        SetEnvironmentVariableW(L"TMP", FSaved);
    }

private:
    wchar_t FSaved[MAX_PATH + 1] = {};
};

struct TCase {
    const char* Title;
    std::string IniName;      // as Setup.ini stores it
    std::string ShownName;    // as the wizard must show it (UTF-8)
    std::string Destination;  // below C:\ (UTF-8)
};

void PrintTo(const TCase& c, std::ostream* out) { *out << c.Title; }

}  // namespace

class International : public ::testing::TestWithParam<TCase> {};

TEST_P(International, InstallsShowsAndRemovesEverything)
{
    const TCase& c = GetParam();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TTestFolder folder(std::string("International") + c.Title);
    TProductKeys keys(c.ShownName);
    std::string destination = "C:\\" + c.Destination + "\\";
    RemoveTree(destination);
    TTemporaryFolder temp(folder / "Temp \xE6\x97\xA5\xE6\x9C\xAC M\xC3\xBCller");

    std::vector<std::string> ini = {"[Setup]", "ProductName=" + c.IniName, "RegistryRoot=Software\\SetupTests\\" + c.IniName,
                                    "DefaultFolder=SetupTests\\" + c.IniName, "[Components]",
                                    "Main=$ProgramFolder", "Presets=$ProgramFolder\\" + c.IniName + " Presets"};
    std::vector<TPackageItem> items = {
        TPackageItem::Folder("Main", {TPackageItem::File("Echo.dll", "dll"),
                                      TPackageItem::File("Lies mich \xE2\x80\x93 \xE8\xAA\xAD.txt", "readme")}),
        TPackageItem::Folder("Presets", {TPackageItem::File("\xE6\x97\xA5\xE6\x9C\xAC.fxp", "preset")})};
    TTestFolder build(std::string("InternationalBuild") + c.Title);
    std::string program = BuildTestInstaller(build, ini, items);

    std::string shownFolder;
    std::string asked = InstallWithTheWizard(program, destination, [&](TWizard& wizard) {
        shownFolder = wizard.Text(Wizard::DestFolderInput);
    });
    EXPECT_EQ(asked, "");
    // The wizard shows the default folder as Setup.ini names it, not "???".
    EXPECT_NE(shownFolder.find("\\SetupTests\\" + c.ShownName), std::string::npos) << shownFolder;

    std::string readme = destination + "Lies mich \xE2\x80\x93 \xE8\xAA\xAD.txt";
    std::string preset = destination + c.ShownName + " Presets\\\xE6\x97\xA5\xE6\x9C\xAC.fxp";
    EXPECT_EQ(ReadWholeFile(readme), (std::vector<uint8_t>{'r', 'e', 'a', 'd', 'm', 'e'}));
    EXPECT_TRUE(FileExists(preset));
    ASSERT_TRUE(FileExists(destination + "Uninst.exe"));

    EXPECT_EQ(UninstallWith(destination + "Uninst.exe"), "Uninstallation successfully completed.");
    EXPECT_TRUE(GoneWithin(destination, 20000)) << "left " << destination;
    EXPECT_TRUE(CleanUpFoldersGoneWithin(20000));
    RemoveTree(destination);
    CoUninitialize();
}

INSTANTIATE_TEST_SUITE_P(
    Names, International,
    ::testing::Values(TCase{"Latin", "M\xFCller Echo", "M\xC3\xBCller Echo", "M\xC3\xBCller\\Plug"},
                      TCase{"Japanese", "\xE6\x97\xA5\xE6\x9C\xAC Echo", "\xE6\x97\xA5\xE6\x9C\xAC Echo",
                            "\xE6\x97\xA5\xE6\x9C\xAC\\Plug"}),
    [](const ::testing::TestParamInfo<TCase>& info) { return std::string(info.param.Title); });
