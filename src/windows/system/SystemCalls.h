#pragma once
// The calls to the system that tests stand in for, in one place. The programs
// make them through SystemCalls(); a test replaces any of them for a scope
// with TSystemCallsScope, which puts every one back when the scope ends.
// The calls Windows answers by itself are there from the start; those this
// program answers with more of its own (the shell's folders, the rights
// check, the machine, the file holders, the elevated restart) are empty until
// a test stands in, and the function that makes the call then asks the
// system itself: this lowest room imports nothing of the rooms above it.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

enum class TMachine;

using TIsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
using TRegDeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

struct TSystemCalls {
    // Every file write of the program: no test machine can be made to fail
    // exactly the k-th write of a run on demand.
    BOOL(WINAPI* Write)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    // Writing a file's handle through to the disk: a flushed file reads back
    // exactly as one still in the system's cache; only a power cut tells.
    BOOL(WINAPI* Flush)(HANDLE);
    // The deletions that finish a run (its journal, the copies it kept for a
    // failure): a run ended between two of them.
    BOOL(WINAPI* Delete)(LPCSTR);
    // Every registry value a registry object writes: a run ended at any value.
    LONG(WINAPI* SetValue)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
    // The shell's special folders (by CSIDL, GetSpecialFolder): a shell that
    // has no such folder.
    std::string (*SpecialFolder)(int csidl);
    // The machine Windows runs on (NativeMachine): Wine runs no ARM64.
    TMachine (*NativeMachine)();
    // Whether the process has administrator rights (AdminRights): Wine always grants them.
    bool (*AdminRights)();
    // Where IsWow64Process and RegDeleteKeyExA are found: a Windows without them.
    TIsWow64Process (*FindIsWow64Process)();
    TRegDeleteKeyEx (*FindRegDeleteKeyEx)();
    // The programs holding a file open (ProgramsHolding).
    std::vector<std::string> (*Holders)(const std::string& path);
    // The free space of a drive ("C:\\"); false when the query fails: no test
    // machine can be made to run out of disk.
    bool (*FreeSpace)(const std::string& root, uint64_t& freeBytes);
    // This program started again with administrator rights and waited for
    // (RunElevated): its exit code, or -1 when the user refused or it could not start.
    int (*RunElevated)(const std::vector<std::string>& arguments);
    // The screen's pixels per inch: the layout at other resolutions.
    int (*ScreenDpi)();
};

TSystemCalls& SystemCalls();

class TSystemCallsScope {
public:
    TSystemCallsScope() : FSaved(SystemCalls()) {}
    ~TSystemCallsScope() { SystemCalls() = FSaved; }
    TSystemCallsScope(const TSystemCallsScope&) = delete;
    TSystemCallsScope& operator=(const TSystemCallsScope&) = delete;
    TSystemCalls* operator->() const { return &SystemCalls(); }

private:
    TSystemCalls FSaved;
};
