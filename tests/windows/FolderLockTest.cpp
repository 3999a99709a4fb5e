#include <gtest/gtest.h>

#include <cctype>
#include <thread>

#include "FolderLock.h"
#include "InstallScope.h"
#include "TestFiles.h"

namespace {

// Whether another thread of this program could take the folder's lock now.
bool FreeForOthers(const std::string& folder, TInstallScope scope = TInstallScope::Everyone)
{
    bool taken = false;
    std::thread other([&] { taken = TFolderLock(folder, scope).Acquire(0); });
    other.join();
    return taken;
}

std::string ShortPath(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(buffer, length);
}

}  // namespace

TEST(FolderLock, EverySpellingOfAFolderMeetsOneName)
{
    TTestFolder folder("Folder Lock Names");
    std::string product = folder / "Long Product Name";
    CreateDirectoryA(product.c_str(), nullptr);
    std::string shortProduct = ShortPath(product);
    ASSERT_NE(shortProduct, "");
    ASSERT_NE(shortProduct, product) << "no short name to try";
    std::string lower = product;
    for (char& c : lower) c = char(tolower(static_cast<unsigned char>(c)));
    std::string slashes = product;
    for (char& c : slashes)
        if (c == '\\') c = '/';
    const struct {
        std::string Other;
        bool Same;
    } cases[] = {
        {product + "\\", true},
        {lower, true},
        {slashes, true},
        {shortProduct, true},
        {product + "\\Sub\\..", true},
        {folder / "Long Product Name2", false},
        {product + "\\Sub", false},
    };
    std::string name = FolderLockName(product, TInstallScope::Everyone);
    size_t digits = name.rfind("\\PlugInSetupFolder-");
    ASSERT_NE(digits, std::string::npos) << name;
    EXPECT_EQ(name.size() - digits, 19u + 16u) << name;
    for (const auto& c : cases) EXPECT_EQ(FolderLockName(c.Other, TInstallScope::Everyone) == name, c.Same) << c.Other;
    // Setup takes the lock before it makes the folder; its uninstaller, with
    // the folder there, must meet the same name.
    EXPECT_EQ(FolderLockName(shortProduct + "\\Not Yet\\", TInstallScope::Everyone), FolderLockName(product + "\\Not Yet", TInstallScope::Everyone));
}

TEST(FolderLock, OneHolderAtATimeUntilReleasedMovedOrAbandoned)
{
    TTestFolder folder("Folder Lock Holders");
    std::string product = folder / "Product", other = folder / "Other";
    TFolderLock lock(product + "\\", TInstallScope::Everyone);
    ASSERT_TRUE(lock.Acquire(0));
    EXPECT_FALSE(FreeForOthers(product));
    EXPECT_TRUE(FreeForOthers(other));

    TFolderLock moved(std::move(lock));
    lock.Release();  // owns nothing any more
    EXPECT_TRUE(moved.Owned());
    EXPECT_FALSE(FreeForOthers(product));
    TFolderLock assigned(other, TInstallScope::Everyone);
    assigned = std::move(moved);
    EXPECT_FALSE(FreeForOthers(product));
    assigned.Release();
    EXPECT_TRUE(FreeForOthers(product));

    // A holder that ended without letting go leaves the lock to the next.
    TFolderLock next(product, TInstallScope::Everyone);
    std::thread([&] {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, FolderLockName(product, TInstallScope::Everyone).c_str());
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
        CloseHandle(mutex);
    }).join();
    EXPECT_TRUE(next.Acquire(0));
}

TEST(FolderLock, AnInstallationForOneUserMeetsItsUninstallerWithoutRights)
{
    // One user's Setup and uninstaller run without administrator rights, and
    // a program of that user's may take the name first: their lock is the
    // global name, which that program then holds. (An installation for
    // everyone takes its lock in the administrators' namespace, where the
    // system has one; Wine has none, so it cannot be shown here.)
    TTestFolder folder("Folder Lock Squatted");
    std::string product = folder / "Product";
    std::string global = FolderLockName(product, TInstallScope::OneUser);
    EXPECT_EQ(global.rfind("Global\\PlugInSetupFolder-", 0), 0u) << global;
    HANDLE squatter = CreateMutexA(nullptr, TRUE, global.c_str());
    ASSERT_NE(squatter, nullptr);
    EXPECT_FALSE(FreeForOthers(product, TInstallScope::OneUser));
    CloseHandle(squatter);
    EXPECT_TRUE(FreeForOthers(product, TInstallScope::OneUser));
}
