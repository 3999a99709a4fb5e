#include "InstallScope.h"

#include <shellapi.h>

#include "ProcessText.h"
#include "ProgramFile.h"
#include "SystemCalls.h"

int ShellRunElevated(const std::vector<std::string>& arguments)
{
    TWideText program = ToWide(ModuleFileName());
    std::string line;
    for (const std::string& argument : arguments) line += (line.empty() ? "" : " ") + Quoted(argument);
    TWideText parameters = ToWide(line);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = program.data();
    info.lpParameters = parameters.data();
    info.nShow = SW_SHOWNORMAL;
    // Else the new process starts in the system folder, and a relative /LOG= would land there.
    wchar_t current[MAX_PATH + 1] = {};
    DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, current);
    if (length > 0 && length <= MAX_PATH) info.lpDirectory = current;
    if (!ShellExecuteExW(&info) || !info.hProcess) return -1;
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = DWORD(-1);
    if (!GetExitCodeProcess(info.hProcess, &code)) code = DWORD(-1);
    CloseHandle(info.hProcess);
    return int(code);
}

HKEY ScopeRoot(TInstallScope scope) { return scope == TInstallScope::OneUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

TLineKind ScopeKeyKind(TInstallScope scope)
{
    return scope == TInstallScope::OneUser ? TLineKind::CurrentUserKey : TLineKind::LocalMachineKey;
}

bool IsOneUserLog(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        if (TLogLine::Parse(line).Kind == TLineKind::OneUser) return true;
    return false;
}

std::string WindowsUserName()
{
    wchar_t buffer[1024];
    DWORD size = sizeof buffer / sizeof buffer[0];
    return GetUserNameW(buffer, &size) && size > 0 ? FromWide(buffer, int(size - 1)) : std::string();
}

int RunElevated(const std::vector<std::string>& arguments)
{
    auto played = SystemCalls().RunElevated;
    return played ? played(arguments) : ShellRunElevated(arguments);
}
