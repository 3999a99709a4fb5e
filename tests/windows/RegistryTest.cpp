#include <gtest/gtest.h>

#include "Registry.h"

namespace {

const char TestRoot[] = "\\Software\\SetupTests\\Registry";

// Builds Software\SetupTests\Registry\<name> three levels deep with several
// subkeys at each level, in the given view.
void BuildTree(bool use64, const std::string& name)
{
    TRegistry64 registry(use64);
    registry.RootKey = HKEY_CURRENT_USER;
    for (const char* a : {"A", "B", "C"})
        for (const char* b : {"1", "2"})
            for (const char* c : {"x", "y"}) {
                ASSERT_TRUE(registry.OpenKey(std::string(TestRoot) + "\\" + name + "\\" + a + "\\" + b + "\\" + c, true));
                registry.WriteString("Value", "v");
            }
}

bool ExistsIn(bool use64, HKEY root, const std::string& path)
{
    TRegistry64 registry(use64);
    registry.RootKey = root;
    return registry.KeyExists(path);
}

}  // namespace

TEST(Registry, DeletesAKeyThreeLevelsDeepCompletely)
{
    for (bool use64 : {false, true}) {
        BuildTree(use64, "Deep");
        TRegistry64 registry(use64);
        EXPECT_TRUE(registry.DeleteKey(std::string(TestRoot) + "\\Deep")) << use64;
        EXPECT_FALSE(ExistsIn(use64, HKEY_CURRENT_USER, std::string(TestRoot) + "\\Deep")) << use64;
    }
}

TEST(Registry, AbsoluteAndRelativePathsStartAtTheRootWhenNoKeyIsOpen)
{
    BuildTree(false, "Rel");
    TRegistry64 registry(false);
    EXPECT_TRUE(registry.DeleteKey(std::string(TestRoot + 1) + "\\Rel"));  // without the leading backslash
    EXPECT_FALSE(registry.DeleteKey(std::string(TestRoot) + "\\Rel"));     // gone already
    EXPECT_FALSE(registry.DeleteKey(std::string(TestRoot) + "\\Never"));
}

TEST(Registry, RelativePathsStartAtTheCurrentKey)
{
    BuildTree(false, "Cur");
    TRegistry64 registry(false);
    ASSERT_TRUE(registry.OpenKey(std::string(TestRoot) + "\\Cur", false));
    EXPECT_TRUE(registry.DeleteKey("A"));
    EXPECT_TRUE(registry.KeyExists("B"));
    EXPECT_FALSE(registry.KeyExists("A"));
    registry.CloseKey();
    EXPECT_TRUE(registry.DeleteKey(std::string(TestRoot) + "\\Cur"));
}

TEST(Registry, APathWithoutAKeyNameOpensAndDeletesNothing)
{
    BuildTree(false, "NoName");
    TRegistry64 registry(false);
    for (const char* path : {"", "\\", "\\\\"}) {
        EXPECT_FALSE(registry.OpenKey(path, true)) << path;  // never the root key
        EXPECT_FALSE(registry.OpenKey(path, false)) << path;
        EXPECT_FALSE(registry.KeyExists(path)) << path;
    }
    EXPECT_EQ(registry.CurrentKey(), nullptr);
    // Nor the current key: a write goes nowhere it was not sent, a delete takes none of its subkeys.
    ASSERT_TRUE(registry.OpenKey(std::string(TestRoot) + "\\NoName", false));
    EXPECT_FALSE(registry.OpenKey("", true));
    EXPECT_FALSE(registry.DeleteKey(""));
    EXPECT_TRUE(registry.KeyExists("A"));
    registry.CloseKey();
    EXPECT_TRUE(registry.DeleteKey(std::string(TestRoot) + "\\NoName"));
}

TEST(Registry, The64BitViewIsSeparateForMachineKeys)
{
    // HKEY_LOCAL_MACHINE\Software is redirected for 32-bit programs on 64-bit
    // Windows: a key written in one view is not seen in the other.
    const std::string key = "\\Software\\SetupTests\\View64";
    TRegistry64 wide(true);
    wide.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(wide.OpenKey(key, true));
    wide.WriteString("Bits", "64");
    wide.CloseKey();
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (wow64) {
        EXPECT_FALSE(ExistsIn(false, HKEY_LOCAL_MACHINE, key));
    }
    EXPECT_TRUE(ExistsIn(true, HKEY_LOCAL_MACHINE, key));
    EXPECT_TRUE(wide.DeleteKey(key));
    EXPECT_FALSE(ExistsIn(true, HKEY_LOCAL_MACHINE, key));
}

TEST(Registry, WithoutRegDeleteKeyExNothingIsDeletedIn64BitView)
{
    BuildTree(true, "NoEx");
    auto saved = TRegistry64::LookupRegDeleteKeyEx;
    TRegistry64::LookupRegDeleteKeyEx = []() -> TRegistry64::RegDeleteKeyExProc { return nullptr; };
    TRegistry64 registry(true);
    bool deleted = registry.DeleteKey(std::string(TestRoot) + "\\NoEx");
    TRegistry64::LookupRegDeleteKeyEx = saved;
    EXPECT_FALSE(deleted);
    EXPECT_TRUE(ExistsIn(true, HKEY_CURRENT_USER, std::string(TestRoot) + "\\NoEx\\A\\1\\x"));
    EXPECT_TRUE(registry.DeleteKey(std::string(TestRoot) + "\\NoEx"));
}

TEST(Registry, StringValues)
{
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(std::string(TestRoot) + "\\Values", true));
    registry.WriteString("Text", "C:\\Program Files\\Maker");
    registry.WriteInteger("Number", 42);
    EXPECT_EQ(registry.ReadString("Text"), "C:\\Program Files\\Maker");
    EXPECT_EQ(registry.ReadString("Missing"), "");
    EXPECT_EQ(registry.ReadInteger("Number"), 42);
    EXPECT_THROW(registry.ReadString("Number"), ERegistryException);
    registry.CloseKey();
    EXPECT_TRUE(registry.DeleteKey(TestRoot));
}
