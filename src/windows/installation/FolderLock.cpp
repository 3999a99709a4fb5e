#include "FolderLock.h"

#include <cstdint>
#include <utility>

#include "FileSystem.h"
#include "InstallScope.h"
#include "PathUtils.h"
#include "TextUtils.h"

namespace {

uint64_t Fnv1a64(const std::string& text)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

// The namespace that only administrators can create names in: opened once
// for the process's life, so that every lock name below it resolves. Empty
// where this process may not (it runs without administrator rights).
std::string AdministratorsNamespace()
{
    static const std::string prefix = [] {
        HANDLE boundary = CreateBoundaryDescriptorW(L"PlugInSetup", 0);
        if (!boundary) return std::string();
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        HANDLE space = nullptr;
        if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
            AddSIDToBoundaryDescriptor(&boundary, sid)) {
            space = CreatePrivateNamespaceW(nullptr, boundary, L"PlugInSetupAdministrators");
            if (!space && GetLastError() == ERROR_ALREADY_EXISTS)
                space = OpenPrivateNamespaceW(boundary, L"PlugInSetupAdministrators");
        }
        DeleteBoundaryDescriptor(boundary);
        return space ? std::string("PlugInSetupAdministrators\\") : std::string();
    }();
    return prefix;
}

HANDLE OpenLock(const std::string& name)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex || name.rfind("Global\\", 0) != 0) return mutex;
    // Where the global namespace is closed to us, the session's own still
    // keeps two programs of this session apart.
    return CreateMutexA(nullptr, FALSE, ("Local\\" + name.substr(name.find('\\') + 1)).c_str());
}

}  // namespace

std::string FolderLockName(const std::string& folder, TInstallScope scope)
{
    // Every spelling of one folder meets the same lock: Setup takes it before
    // it makes the folder, its uninstaller once the folder is there.
    std::string resolved = UpperAscii(ExcludeDelimiter(ResolvedPath(IncludeDelimiter(folder))));
    uint64_t hash = Fnv1a64(resolved);
    char digits[17];
    wsprintfA(digits, "%08lX%08lX", static_cast<unsigned long>(hash >> 32), static_cast<unsigned long>(hash));
    // An installation for everyone takes its lock where only administrators
    // can make names: a program without rights that took the name first
    // would otherwise hold every installation into the folder off.
    std::string space = scope == TInstallScope::OneUser ? std::string() : AdministratorsNamespace();
    return (space.empty() ? std::string("Global\\") : space) + "PlugInSetupFolder-" + digits;
}

TFolderLock::TFolderLock(const std::string& folder, TInstallScope scope)
    : FMutex(OpenLock(FolderLockName(folder, scope)))
{
}

TFolderLock::~TFolderLock() { Release(); }

TFolderLock::TFolderLock(TFolderLock&& other) noexcept
    : FMutex(std::move(other.FMutex)), FOwned(std::exchange(other.FOwned, false))
{
}

TFolderLock& TFolderLock::operator=(TFolderLock&& other) noexcept
{
    if (this != &other) {
        Release();
        FMutex = std::move(other.FMutex);
        FOwned = std::exchange(other.FOwned, false);
    }
    return *this;
}

bool TFolderLock::Acquire(DWORD timeoutMs)
{
    if (FOwned) return true;
    if (!FMutex.Valid()) return false;
    DWORD result = WaitForSingleObject(FMutex.Get(), timeoutMs);
    // An abandoned lock is ours now: whoever held it ended, and what it left
    // half done is what the next run of Setup or the uninstaller finds anyway.
    FOwned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return FOwned;
}

void TFolderLock::Release()
{
    if (FOwned) ReleaseMutex(FMutex.Get());
    FOwned = false;
}
