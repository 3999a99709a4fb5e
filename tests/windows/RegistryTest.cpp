#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "Registry.h"
#include "RunJournal.h"
#include "SystemCalls.h"

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

// Values as "Name=text" and "Name=#number" items with "; " between them.
std::vector<std::pair<std::string, std::string>> Items(const std::string& text)
{
    std::vector<std::pair<std::string, std::string>> items;
    for (size_t at = 0; at < text.size();) {
        size_t end = std::min(text.find("; ", at), text.size());
        std::string item = text.substr(at, end - at);
        size_t equals = item.find('=');
        items.emplace_back(item.substr(0, equals), item.substr(equals + 1));
        at = end + 2;
    }
    return items;
}

void WriteItems(TRegistry& registry, const std::string& text)
{
    for (const auto& item : Items(text)) {
        if (item.second[0] == '#')
            registry.WriteInteger(item.first, std::stoi(item.second.substr(1)));
        else
            registry.WriteString(item.first, item.second);
    }
}

// Every value of the current key in the same form, by name.
std::string ListItems(TRegistry& registry)
{
    std::vector<std::string> items;
    for (DWORD i = 0;; ++i) {
        char name[256], data[256] = {};
        DWORD nameSize = sizeof name, size = sizeof data - 1, type = 0;
        if (RegEnumValueA(registry.CurrentKey(), i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                          &size) != ERROR_SUCCESS)
            break;
        int32_t number = 0;
        std::memcpy(&number, data, sizeof number);
        items.push_back(std::string(name, nameSize) + "=" + (type == REG_DWORD ? "#" + std::to_string(number) : data));
    }
    std::sort(items.begin(), items.end());
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : "; ") + item;
    return text;
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
    TRegistry64 registry(true);
    {
        TSystemCallsScope older;
        older->FindRegDeleteKeyEx = []() -> TRegDeleteKeyEx { return nullptr; };
        EXPECT_FALSE(registry.DeleteKey(std::string(TestRoot) + "\\NoEx"));
    }
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

TEST(Registry, AFailedRunPutsBackEveryValueItWroteLastWrittenFirst)
{
    const struct {
        const char* Before;   // the key's values before the run
        const char* Written;  // what the run wrote, in order
        const char* After;    // the key's values once the rollback has put them back
    } rows[] = {
        {"", "Added=new", ""},  // a value the run added to a key that was there goes
        {"Keep=k", "Added=#1; Keep=changed", "Keep=k"},
        {"Text=old", "Text=new", "Text=old"},
        {"Count=#5", "Count=#6", "Count=#5"},
        {"Value=text", "Value=#7", "Value=text"},  // with its type
        // Written twice: only the value before the first write is the one that was there.
        {"Text=old", "Text=first; Text=second", "Text=old"},
        {"Count=#1", "Count=#2; Count=#3", "Count=#1"},
        {"", "New=a; New=#2", ""},
    };
    const std::string key =
        std::string("\\Software\\SetupTests\\") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    // Each value the run writes over is in its journal, as it was, before it
    // is written. One journal serves every row, as one run follows another.
    TRunJournal journal;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.Before) + " | " + row.Written);
        TRegistry registry;
        registry.DeleteKey(key);
        ASSERT_TRUE(registry.OpenKey(key, true));
        WriteItems(registry, row.Before);
        registry.Undo = &journal.Values();
        WriteItems(registry, row.Written);
        EXPECT_EQ(journal.RollBack(), std::vector<std::string>());
        EXPECT_EQ(ListItems(registry), row.After);
        registry.CloseKey();
        EXPECT_TRUE(registry.DeleteKey(key));
    }
}
