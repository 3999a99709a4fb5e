#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "FileSystem.h"
#include "HandleStream.h"
#include "PathUtils.h"
#include "Platform.h"
#include "ProcessText.h"
#include "Registry.h"
#include "ShellFolders.h"
#include "SystemCalls.h"
#include "TestFiles.h"

namespace {

// CTest says which prefix the run is in: "1" for 64-bit Windows, "0" for 32-bit.
bool Expect64BitWindows()
{
    const char* expected = std::getenv("SETUP_EXPECT_WOW64");
    return !expected || std::string(expected) != "0";
}

// Restores an environment variable when the test ends.
class TEnvironment {
public:
    explicit TEnvironment(const char* name) : FName(name)
    {
        char buffer[MAX_PATH];
        DWORD n = GetEnvironmentVariableA(name, buffer, MAX_PATH);
        FHad = n > 0;
        FValue.assign(buffer, n);
    }
    ~TEnvironment() { SetEnvironmentVariableA(FName, FHad ? FValue.c_str() : nullptr); }

private:
    const char* FName;
    bool FHad;
    std::string FValue;
};

}  // namespace

TEST(Platform, IsWow64FollowsTheWindowsOfThePrefix)
{
    EXPECT_EQ(IsWow64(), Expect64BitWindows());
    TSystemCallsScope older;
    older->FindIsWow64Process = []() -> TIsWow64Process { return nullptr; };
    EXPECT_FALSE(IsWow64());
}

TEST(Platform, ProgramFilesFoldersOfBothBitnesses)
{
    std::string shellProgramFiles = GetSpecialFolder(sfProgramFiles);
    ASSERT_FALSE(shellProgramFiles.empty());
    EXPECT_EQ(GetProgramFilesFolder(), shellProgramFiles);
    if (Expect64BitWindows()) {
        EXPECT_EQ(shellProgramFiles, "C:\\Program Files (x86)");
        EXPECT_EQ(GetCommonFilesFolder(), "C:\\Program Files (x86)\\Common Files");
    } else {
        EXPECT_EQ(shellProgramFiles, "C:\\Program Files");
    }
    EXPECT_EQ(GetProgramFiles64Folder(sfProgramFiles), "C:\\Program Files");
    EXPECT_EQ(GetProgramFiles64Folder(sfCommonFiles), "C:\\Program Files\\Common Files");
    {
        TEnvironment a("ProgramW6432"), b("CommonProgramW6432");
        SetEnvironmentVariableA("ProgramW6432", "D:\\Wide Programs");
        SetEnvironmentVariableA("CommonProgramW6432", nullptr);
        EXPECT_EQ(GetProgramFiles64Folder(sfProgramFiles), "D:\\Wide Programs");
        EXPECT_EQ(GetProgramFiles64Folder(sfCommonFiles), "C:\\Program Files\\Common Files");
        SetEnvironmentVariableA("ProgramW6432", nullptr);
        EXPECT_EQ(GetProgramFiles64Folder(sfProgramFiles), "C:\\Program Files");
    }
    EXPECT_EQ(GetProgramFiles64Folder(sfPersonal), GetSpecialFolder(sfPersonal));
}

TEST(Platform, FallbacksWhenTheShellGivesNoFolder)
{
    TSystemCallsScope none;
    none->SpecialFolder = [](int) { return std::string(); };
    EXPECT_EQ(GetDocumentsFolder(), "C:\\My Documents");
    // Program Files comes from the registry's ProgramFilesDir instead.
    TRegistry registry(KEY_READ);
    registry.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion", false));
    std::string fromRegistry = registry.ReadString("ProgramFilesDir");
    EXPECT_FALSE(fromRegistry.empty());
    EXPECT_EQ(GetProgramFilesFolder(), fromRegistry);
    EXPECT_EQ(GetAppDataFolder(), fromRegistry);
}

TEST(Platform, HasAdminRightsTriesTheNextFreeTrialFolder)
{
    std::string base = ExcludeDelimiter(GetProgramFilesFolder());
    std::string test0 = base + "\\Test0", test1 = base + "\\Test1", test2 = base + "\\Test2";
    ASSERT_TRUE(CreateDirectoryA(test0.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CreateDirectoryA(test1.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    WriteWholeFile(test1 + "\\keep.txt", {'k'});
    EXPECT_TRUE(HasAdminRights());
    EXPECT_TRUE(DirectoryExists(test0));
    EXPECT_TRUE(DirectoryExists(test1));
    EXPECT_FALSE(DirectoryExists(test2));
    RemoveTree(test0);
    RemoveTree(test1);
}

TEST(Platform, HasAdminRightsIsFalseWhenNoTrialFolderCanBeMade)
{
    // A Program Files that cannot be written to: a path below a file.
    TTestFolder folder("AdminRightsNoFolder");
    WriteWholeFile(folder / "NotAFolder", {'x'});
    static std::string blocked;
    blocked = folder / "NotAFolder\\Program Files";
    TSystemCallsScope lookup;
    lookup->SpecialFolder = [](int csidl) { return csidl == ShellFolderCsidl(sfProgramFiles) ? blocked : std::string(); };
    EXPECT_FALSE(HasAdminRights());
}

TEST(Platform, StoredTextComesInTheProgramsCodePage)
{
    ASSERT_EQ(GetACP(), UINT(CP_UTF8)) << "the test programs run in UTF-8, as the program does";
    struct Case {
        std::string stored, expected;
    } cases[] = {
        {"", ""},
        {"C:\\Plug\\Echo.dll", "C:\\Plug\\Echo.dll"},
        {"M\xC3\xBCller \xE6\x97\xA5\xE6\x9C\xAC", "M\xC3\xBCller \xE6\x97\xA5\xE6\x9C\xAC"},  // UTF-8 as it is
        {"M\xFCller", "M\xC3\xBCller"},                                   // Windows-1252
        {"\x93" "Echo\x94 \x80", "\xE2\x80\x9C" "Echo\xE2\x80\x9D \xE2\x82\xAC"},  // quotation marks, euro
    };
    for (const Case& c : cases) EXPECT_EQ(ProcessText(c.stored), c.expected) << c.stored;
    EXPECT_EQ(FromWide(L"M\u00fcller \u65e5\u672c"), "M\xC3\xBCller \xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(std::wstring(ToWide("M\xC3\xBCller \xE6\x97\xA5\xE6\x9C\xAC").data()), L"M\u00fcller \u65e5\u672c");
    EXPECT_EQ(ToWide(""), TWideText{L'\0'});  // a C string, even when empty
}

TEST(Platform, AFileIsRenamedThroughTheHandleThatWroteIt)
{
    TTestFolder folder("RenameOpenFile");
    WriteWholeFile(folder / "there.txt", {'o', 'l', 'd'});
    struct Case {
        std::string target;
        bool replace;
        DWORD error;
        std::string at;  // where the written file must then be ("": still at its own name)
    } cases[] = {
        {folder / "new.txt", false, 0, folder / "new.txt"},
        {folder / "M\xC3\xBCller \xE6\x97\xA5\xE6\x9C\xAC.txt", false, 0, folder / "M\xC3\xBCller \xE6\x97\xA5\xE6\x9C\xAC.txt"},
        {folder / "there.txt", false, ERROR_ALREADY_EXISTS, ""},
        {folder / "there.txt", true, 0, folder / "there.txt"},
        {folder / "no such folder\\a.txt", true, ERROR_PATH_NOT_FOUND, ""},
        {"relative\\a.txt", true, ERROR_INVALID_NAME, ""},
        {"\\\\?\\" + folder / "long.txt", true, ERROR_INVALID_NAME, ""},
        {"\\\\.\\" + folder / "device.txt", true, ERROR_INVALID_NAME, ""},
    };
    for (const Case& c : cases) {
        std::string partial = folder / "written.partial";
        std::unique_ptr<THandleStream> file = THandleStream::Create(partial, DELETE);
        file->WriteBuffer("new", 3);
        ASSERT_TRUE(SetLastWriteTimeFromDos(file->Handle(), 0x5A2F6000));
        EXPECT_EQ(RenameOpenFile(file->Handle(), c.target, c.replace), c.error) << c.target;
        // The stamp read through the handle is the one removal reads by name.
        std::vector<std::string> stamp = FileStamp(file->Handle());
        file.reset();
        std::string at = c.at.empty() ? partial : c.at;
        EXPECT_EQ(ReadWholeFile(at), (std::vector<uint8_t>{'n', 'e', 'w'})) << c.target;
        EXPECT_EQ(stamp, FileStamp(at)) << c.target;
        if (!c.at.empty()) {
            EXPECT_FALSE(FileExists(partial)) << c.target;
        }
        if (c.error == ERROR_ALREADY_EXISTS) {
            EXPECT_EQ(ReadWholeFile(c.target), (std::vector<uint8_t>{'o', 'l', 'd'}));
        }
        DeleteFileA(partial.c_str());
    }
}
