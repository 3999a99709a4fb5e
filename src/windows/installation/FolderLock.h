#pragma once
// One lock per product folder, shared by every process of this program on the
// machine: Setup holds it while it changes the folder and the folder's
// uninstaller (and the clean-up that follows it) while they remove from it, so
// the two never work on one folder at once. It is a named mutex whose name
// comes from the folder as Windows resolves it, so every spelling of one
// folder (case, short names, "..", a trailing backslash) meets the same lock.
// For an installation for everyone the name lies in a namespace bounded to
// administrators, where a program without rights cannot take it first; for
// one user (and a process without rights) in the global one.
#include <windows.h>

#include <string>

#include "InstallScope.h"
#include "WinHandle.h"

// The lock's name for `folder` and an installation of `scope`:
// "PlugInSetupFolder-" and 16 hexadecimal digits, behind
// "PlugInSetupAdministrators\" or "Global\" (see above).
std::string FolderLockName(const std::string& folder, TInstallScope scope);

class TFolderLock {
public:
    TFolderLock(const std::string& folder, TInstallScope scope);
    ~TFolderLock();
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;
    TFolderLock(TFolderLock&& other) noexcept;
    TFolderLock& operator=(TFolderLock&& other) noexcept;

    // Waits up to `timeoutMs` (INFINITE for no limit) for the lock: true once
    // this object holds it, also when its last holder ended without letting it
    // go. False when the lock could not be made at all. The thread that holds
    // the lock gets it again at once, so a thread takes it once per folder.
    bool Acquire(DWORD timeoutMs);
    // Lets the lock go; the thread that acquired it must call this.
    void Release();
    bool Owned() const { return FOwned; }

private:
    TKernelHandle FMutex;
    bool FOwned = false;
};
