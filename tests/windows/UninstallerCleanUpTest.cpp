#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include "FileSystem.h"
#include "PathUtils.h"
#include "TestFiles.h"
#include "UninstallerCleanUp.h"
#include "WinHandle.h"

namespace {

// Who a folder lets in: the SIDs of its allowing entries, and its owner's.
struct TFolderAccess {
    std::string Owner;
    std::vector<std::string> Allowed;
};

std::string SidText(PSID sid)
{
    char* text = nullptr;
    if (!sid || !ConvertSidToStringSidA(sid, &text)) return std::string();
    std::string result = text;
    LocalFree(text);
    return result;
}

TFolderAccess AccessOf(const std::string& folder)
{
    TFolderAccess access;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return access;
    access.Owner = SidText(owner);
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&header)) && header->AceType == ACCESS_ALLOWED_ACE_TYPE)
            access.Allowed.push_back(SidText(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart));
    }
    LocalFree(descriptor);
    return access;
}

std::string WindowsTemp()
{
    char buffer[MAX_PATH];
    UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
    return IncludeDelimiter(std::string(buffer, n)) + "Temp\\";
}

}  // namespace

TEST(UninstallerCleanUp, WaitsForTheUninstallerThenTakesItsFileEmptyFoldersAndItself)
{
    TTestFolder folder("CleanUp 100% Audio");
    std::string product = folder / "Product\\", empty = product + "Empty\\", kept = folder / "Kept\\";
    for (const std::string& f : {product, empty, kept}) CreateDirectoryA(f.c_str(), nullptr);
    WriteWholeFile(product + "Uninst.exe", StubProgram());
    WriteWholeFile(kept + "Mine.txt", {'m'});
    TKernelHandle ended(CreateEventA(nullptr, TRUE, FALSE, nullptr));

    std::string cleanUp =
        StartUninstallerCleanUp(WindowsPath(SETUP_PROGRAM), product + "Uninst.exe", {empty, product, kept}, ended.Get());
    ASSERT_FALSE(cleanUp.empty());
    EXPECT_TRUE(IsInsideFolder(cleanUp, WindowsTemp())) << cleanUp;
    EXPECT_TRUE(FileExists(cleanUp + "Setup.exe"));
    // Nobody but the system and the administrators (the owner, elevated) may
    // even look inside: not everybody, not the users, not whoever logged on.
    // Wine reports the owner as the user and keeps no more than its modes.
    TFolderAccess access = AccessOf(cleanUp);
    ASSERT_FALSE(access.Allowed.empty());
    for (const std::string& sid : access.Allowed)
        EXPECT_TRUE(sid == "S-1-5-18" || sid == "S-1-5-32-544" || sid == access.Owner) << sid;

    Sleep(1500);
    EXPECT_TRUE(FileExists(product + "Uninst.exe")) << "the clean-up did not wait";
    SetEvent(ended.Get());
    EXPECT_TRUE(GoneWithin(product + "Uninst.exe", 20000));
    EXPECT_TRUE(GoneWithin(product, 20000));
    EXPECT_TRUE(GoneWithin(cleanUp, 20000)) << "the clean-up left " << cleanUp;
    EXPECT_TRUE(FileExists(kept + "Mine.txt"));
}

TEST(UninstallerCleanUp, EveryUninstallerGetsAFolderOfItsOwn)
{
    std::string a = CreateAdminOnlyFolder(WindowsTemp(), "Uninstall-");
    std::string b = CreateAdminOnlyFolder(WindowsTemp(), "Uninstall-");
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_NE(a, b);
    EXPECT_TRUE(RemoveDirectoryA(a.c_str()));
    EXPECT_TRUE(RemoveDirectoryA(b.c_str()));
}

TEST(UninstallerCleanUp, TheSwitchFromAnyOtherFolderRemovesNothing)
{
    // Everything a clean-up would be given, and a program that is no copy in
    // a clean-up folder of its own: it removes nothing, its folder least of all.
    TTestFolder folder("CleanUpByHand");
    std::string program = folder / "Setup.exe", victim = folder / "Mine.txt";
    ASSERT_TRUE(CopyFileA(WindowsPath(SETUP_PROGRAM).c_str(), program.c_str(), FALSE));
    WriteWholeFile(victim, {'m'});
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    TKernelHandle ended(CreateEventA(&inherited, TRUE, TRUE, nullptr));  // already signalled
    std::string commandLine = "\"" + program + "\" /CLEANUP " +
                              std::to_string(reinterpret_cast<uintptr_t>(ended.Get())) + " \"" + victim + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                               folder.Path().c_str(), &startup, &info));
    TKernelHandle process(info.hProcess), thread(info.hThread);
    ASSERT_EQ(WaitForSingleObject(process.Get(), 20000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    EXPECT_EQ(code, 2u);
    Sleep(3500);  // longer than a clean-up's wait before its folder goes
    EXPECT_TRUE(FileExists(victim));
    EXPECT_TRUE(FileExists(program));
}
