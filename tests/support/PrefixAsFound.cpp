// Every test leaves the Wine prefix as it found it. A registration in a list
// of installed programs, a shared count or an uninstaller's clean-up folder
// that outlives a test is found by the runs that come later in a copy of the
// prefix, and fails them. An uninstaller's clean-up removes its own folder a
// moment after the uninstaller has ended, and the scripts stop the prefix's
// server, that step with it, as soon as the test program has ended. So after
// each test the clean-ups it started are waited for, a bounded while, and what
// is still left then is named with the test when the program ends, and fails it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "LogLine.h"
#include "Registry.h"
#include "TestFiles.h"

namespace {

const DWORD CleanUpPatience = 30000;

// The registrations of the lists of installed programs (everyone's in both
// registry views, the user's) and the clean-up folders.
std::set<std::string> PrefixState()
{
    std::set<std::string> state;
    const struct {
        HKEY Root;
        bool Use64;
        const char* Name;
    } lists[] = {{HKEY_LOCAL_MACHINE, false, "HKLM"}, {HKEY_LOCAL_MACHINE, true, "HKLM (64-bit)"},
                 {HKEY_CURRENT_USER, false, "HKCU"}};
    for (const auto& list : lists) {
        TRegistry64 registry(list.Use64);
        registry.RootKey = list.Root;
        if (!registry.OpenKey(UninstallRegistryKey, false)) continue;
        for (const std::string& name : registry.GetKeyNames())
            state.insert(list.Name + std::string(UninstallRegistryKey) + name);
    }
    // The shared counts, which make a later run's files look shared.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY shared;
        const char key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
        if (RegOpenKeyExA(root, key, 0, KEY_READ, &shared) != ERROR_SUCCESS) continue;
        char name[1024];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            if (RegEnumValueA(shared, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            state.insert(std::string(root == HKEY_LOCAL_MACHINE ? "shared count " : "the user's shared count ") + name);
        }
        RegCloseKey(shared);
    }
    for (const std::string& folder : CleanUpFolders()) state.insert(folder);
    return state;
}

std::vector<std::string> Added(const std::set<std::string>& before, const std::set<std::string>& now)
{
    std::vector<std::string> added;
    for (const std::string& item : now)
        if (!before.count(item)) added.push_back(item);
    return added;
}

// What each test left, named with the test.
std::vector<std::string> Left;

class TPrefixWatch : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { FBefore = PrefixState(); }
    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        for (DWORD waited = 0; waited < CleanUpPatience && !Added(FBefore, CleanUpFolders()).empty(); waited += 100)
            Sleep(100);
        for (const std::string& item : Added(FBefore, PrefixState()))
            Left.push_back(std::string(test.test_suite_name()) + "." + test.name() + ": " + item);
    }

private:
    std::set<std::string> FBefore;
};

class TPrefixReport : public ::testing::Environment {
public:
    void TearDown() override
    {
        for (const std::string& left : Left) ADD_FAILURE() << "left in the prefix by " << left;
    }
};

const bool Watching = [] {
    // A run that a test starts of this program as a part of itself (the
    // kill-point table's) leaves what it made to that test, which removes it.
    if (std::getenv("SETUP_TEST_KILL_AT")) return false;
    ::testing::UnitTest::GetInstance()->listeners().Append(new TPrefixWatch);
    ::testing::AddGlobalTestEnvironment(new TPrefixReport);
    return true;
}();

}  // namespace
