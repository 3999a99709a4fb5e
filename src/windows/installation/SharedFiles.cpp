#include "SharedFiles.h"

#include <algorithm>
#include <cstdlib>

#include "Registry.h"
#include "InstallScope.h"

namespace {

constexpr char SharedFilesKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

int ReadCount(TRegistry& registry, const std::string& path)
{
    try {
        return registry.ValueExists(path) ? std::max(0, int(registry.ReadInteger(path))) : 0;
    } catch (const ERegistryException&) {
        return 0;  // a value of another type counts nothing
    }
}

}  // namespace

int SharedFileCount(TInstallScope scope, const std::string& path)
{
    TRegistry registry(KEY_READ);
    registry.RootKey = ScopeRoot(scope);
    return registry.OpenKey(SharedFilesKey, false) ? ReadCount(registry, path) : 0;
}

bool CountedByAnotherInstallation(TInstallScope scope, const std::string& path)
{
    if (SharedFileCount(scope, path) > 0) return true;
    if (scope != TInstallScope::OneUser) return false;
    TRegistry registry(KEY_READ);
    registry.RootKey = HKEY_LOCAL_MACHINE;
    return registry.OpenKey(SharedFilesKey, false) && ReadCount(registry, path) > 0;
}

void AddSharedFileReference(TInstallScope scope, const std::string& path)
{
    TRegistry registry;
    registry.RootKey = ScopeRoot(scope);
    if (!registry.OpenKey(SharedFilesKey, true)) return;
    try {
        registry.WriteInteger(path, ReadCount(registry, path) + 1);
    } catch (const ERegistryException&) {
    }
}

int ReleaseSharedFileReference(TInstallScope scope, const std::string& path)
{
    TRegistry registry;
    registry.RootKey = ScopeRoot(scope);
    if (!registry.OpenKey(SharedFilesKey, false)) return 0;
    int remaining = std::max(0, ReadCount(registry, path) - 1);
    try {
        if (remaining > 0)
            registry.WriteInteger(path, remaining);
        else
            registry.DeleteValue(path);
    } catch (const ERegistryException&) {
    }
    return remaining;
}

bool SharedReferenceTakenSince(TInstallScope scope, const std::string& path, const std::string& before)
{
    return SharedFileCount(scope, path) > std::atoi(before.c_str());
}
