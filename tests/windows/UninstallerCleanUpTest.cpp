#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

#include "FileSystem.h"
#include "FolderLock.h"
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

// The entries waiting for the next start of Windows that name a path inside
// `folder`.
std::vector<std::string> RemovalsAtRestartInside(const std::string& folder)
{
    std::vector<std::string> found;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return found;
    TRegKey owner(key);
    DWORD size = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return found;
    std::string text(size, '\0');
    RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(&text[0]), &size);
    for (size_t at = 0, end = 0; at < text.size(); at = end + 1) {
        end = std::min(text.find('\0', at), text.size());
        std::string entry = text.substr(at, end - at);
        if (entry.compare(0, 4, "\\??\\") == 0) entry.erase(0, 4);
        if (!entry.empty() && IsInsideFolder(entry, folder)) found.push_back(entry);
    }
    return found;
}

// What happens while the uninstaller still shows its last message.
enum class TMeanwhile { Nothing, NewInstallation, SetupHoldsTheFolder, ScannerHoldsTheFile, NewFileWithTheGoneFilesNumber };

}  // namespace

TEST(UninstallerCleanUp, TriesForTenMinutesWithGrowingPauses)
{
    std::vector<DWORD> pauses = CleanUpRetryPauses();
    ASSERT_GT(pauses.size(), 2u);
    EXPECT_EQ(pauses[0], 200u);
    for (size_t i = 1; i < pauses.size(); ++i) EXPECT_EQ(pauses[i], std::min<DWORD>(pauses[i - 1] * 2, pauses.back()));
    EXPECT_LE(pauses.back(), 10000u);
    DWORD total = 0;
    for (DWORD pause : pauses) total += pause;
    EXPECT_GE(total, 10u * 60 * 1000);
    EXPECT_LT(total - pauses.back(), 10u * 60 * 1000) << "tries on after ten minutes";
}

TEST(UninstallerCleanUp, WaitsForTheUninstallerThenTakesItsFileEmptyFoldersAndItself)
{
    const struct {
        TMeanwhile Meanwhile;
        bool Taken;       // the file under the uninstaller's name (and so its folder) goes
        bool EmptyTaken;  // the empty folder goes
    } cases[] = {
        {TMeanwhile::Nothing, true, true},
        // Setup ran for the folder: the file under that name is its uninstaller now.
        {TMeanwhile::NewInstallation, false, false},
        {TMeanwhile::SetupHoldsTheFolder, true, true},
        {TMeanwhile::ScannerHoldsTheFile, true, true},
        // The file went, a folder was held, and before the next try a new file
        // of that name got the gone file's number (file systems reuse them; a
        // second name of the same file stands in): it is not the clean-up's.
        {TMeanwhile::NewFileWithTheGoneFilesNumber, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Meanwhile));
        TTestFolder folder("CleanUp 100% Audio");
        std::string product = folder / "Product\\", empty = product + "Empty\\", kept = folder / "Kept\\";
        std::string uninstaller = product + "Uninst.exe";
        for (const std::string& f : {product, empty, kept}) CreateDirectoryA(f.c_str(), nullptr);
        WriteWholeFile(uninstaller, StubProgram());
        WriteWholeFile(kept + "Mine.txt", {'m'});
        TKernelHandle ended(CreateEventA(nullptr, TRUE, FALSE, nullptr));

        std::string cleanUp =
            StartUninstallerCleanUp(WindowsPath(SETUP_PROGRAM), uninstaller, {empty, product, kept}, ended.Get(),
                                    TInstallScope::Everyone);
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

        TFolderLock setup(product, TInstallScope::Everyone);
        TFileHandle scanner, holder;
        std::string twin = kept + "Twin.exe";
        if (c.Meanwhile == TMeanwhile::NewInstallation) {
            // Written beside and moved over it, as a new file of that name is.
            WriteWholeFile(product + "Uninst.new", StubProgram(600));
            ASSERT_TRUE(MoveFileExA((product + "Uninst.new").c_str(), uninstaller.c_str(), MOVEFILE_REPLACE_EXISTING));
        } else if (c.Meanwhile == TMeanwhile::SetupHoldsTheFolder) {
            ASSERT_TRUE(setup.Acquire(0));
        } else if (c.Meanwhile == TMeanwhile::ScannerHoldsTheFile) {
            scanner.Reset(CreateFileA(uninstaller.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(scanner.Valid());
        } else if (c.Meanwhile == TMeanwhile::NewFileWithTheGoneFilesNumber) {
            ASSERT_TRUE(CreateHardLinkA(twin.c_str(), uninstaller.c_str(), nullptr));
            holder.Reset(CreateFileA(empty.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            ASSERT_TRUE(holder.Valid());
        }
        Sleep(1500);
        EXPECT_TRUE(FileExists(uninstaller)) << "the clean-up did not wait";
        SetEvent(ended.Get());
        if (setup.Owned() || scanner.Valid()) {
            EXPECT_FALSE(GoneWithin(uninstaller, 2000)) << "taken while held";
            setup.Release();
            scanner.Reset();
        }
        if (holder.Valid()) {
            ASSERT_TRUE(GoneWithin(uninstaller, 10000));
            ASSERT_TRUE(CreateHardLinkA(uninstaller.c_str(), twin.c_str(), nullptr));
            holder.Reset();
        }
        // Its own folder goes last: the clean-up has done all it will.
        EXPECT_TRUE(GoneWithin(cleanUp, 30000)) << "the clean-up left " << cleanUp;
        EXPECT_EQ(FileExists(uninstaller), !c.Taken);
        EXPECT_EQ(DirectoryExists(empty), !c.EmptyTaken);
        EXPECT_EQ(DirectoryExists(product), !c.Taken);
        if (c.Meanwhile == TMeanwhile::NewInstallation && FileExists(uninstaller)) {
            EXPECT_EQ(ReadWholeFile(uninstaller), StubProgram(600));
        }
        EXPECT_TRUE(FileExists(kept + "Mine.txt"));
        // Nothing of a clean-up that went its way is left for the next start
        // of Windows to remove.
        EXPECT_EQ(RemovalsAtRestartInside(cleanUp), std::vector<std::string>());
        EXPECT_EQ(RemovalsAtRestartInside(folder.Path()), std::vector<std::string>());
    }
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

    // What the folders are made with (Wine keeps no descriptor of its own to
    // read back): a protected list of exactly SYSTEM and Administrators, each
    // with full control of the folder and all it will hold.
    PSECURITY_DESCRIPTOR descriptor = AdminOnlyFolderSecurity();
    ASSERT_NE(descriptor, nullptr);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted));
    ASSERT_TRUE(present && list);
    std::vector<std::string> granted;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* entry = nullptr;
        ASSERT_TRUE(GetAce(list, i, reinterpret_cast<void**>(&entry)));
        EXPECT_EQ(entry->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(entry->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(entry->Mask, DWORD(FILE_ALL_ACCESS));
        char* sid = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidA(&entry->SidStart, &sid));
        granted.push_back(sid);
        LocalFree(sid);
    }
    std::sort(granted.begin(), granted.end());
    EXPECT_EQ(granted, (std::vector<std::string>{"S-1-5-18", "S-1-5-32-544"}));
    LocalFree(descriptor);
}

TEST(UninstallerCleanUp, OnlyACopyInAFolderOfItsOwnInTheWindowsTemporaryFolderRemovesAnything)
{
    // Everything a clean-up would be given, to copies of the program in
    // several places. Only the last is where a clean-up runs; the others
    // remove nothing, their own folders least of all.
    TTestFolder folder("CleanUpByHand");
    const std::string temporary = WindowsTemp();
    const struct {
        std::string Where;
        bool Acts;
    } rows[] = {
        {folder.Path(), false},  // started by hand from anywhere
        {folder / "Uninstall-1\\", false},  // the name alone is not enough
        {temporary + "SetupTests-CleanUp\\", false},  // nor the place alone
        {temporary + "SetupTests-CleanUp-Parent\\Uninstall-1\\", false},  // directly inside it, not below
        {temporary + "Uninstall-SetupTests\\", true},  // where a clean-up runs
    };
    const std::vector<std::string> made = {temporary + "SetupTests-CleanUp\\", temporary + "SetupTests-CleanUp-Parent\\",
                                           temporary + "Uninstall-SetupTests\\"};
    for (const std::string& path : made) RemoveTree(path);
    std::vector<DWORD> codes;
    for (size_t i = 0; i < std::size(rows); ++i) {
        const std::string& where = rows[i].Where;
        std::string program = where + "Setup.exe", victim = folder / ("Mine" + std::to_string(i) + ".txt");
        CreateDirectoryA(ExtractFilePath(ExcludeDelimiter(where)).c_str(), nullptr);
        CreateDirectoryA(where.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(WindowsPath(SETUP_PROGRAM).c_str(), program.c_str(), FALSE)) << where;
        WriteWholeFile(victim, {'m'});
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        TKernelHandle ended(CreateEventA(&inherited, TRUE, TRUE, nullptr));  // already signalled
        std::string commandLine = "\"" + program + "\" /CLEANUP " +
                                  std::to_string(reinterpret_cast<uintptr_t>(ended.Get())) + " Everyone " +
                                  FileIdentityText(victim) + " \"" + victim + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                   folder.Path().c_str(), &startup, &info));
        TKernelHandle process(info.hProcess), thread(info.hThread);
        ASSERT_EQ(WaitForSingleObject(process.Get(), 20000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeProcess(process.Get(), &code);
        codes.push_back(code);
    }
    Sleep(3500);  // longer than a clean-up's wait before its folder goes
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].Where);
        EXPECT_EQ(codes[i], rows[i].Acts ? 0u : 2u);
        EXPECT_EQ(FileExists(folder / ("Mine" + std::to_string(i) + ".txt")), !rows[i].Acts);
        if (!rows[i].Acts) {
            EXPECT_TRUE(FileExists(rows[i].Where + "Setup.exe"));
        }
    }
    for (const std::string& path : made) RemoveTree(path);
}
