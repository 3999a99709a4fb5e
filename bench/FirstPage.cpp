// The time from starting an installer to its first page on the screen: the
// program is started, its wizard window waited for, the time printed in
// seconds, and the program ended (nothing has been written by then).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct TFind {
    DWORD Process;
    bool Found;
};

BOOL CALLBACK FindWizard(HWND window, LPARAM data)
{
    auto* find = reinterpret_cast<TFind*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (owner == find->Process && IsWindowVisible(window) && std::string(name) == "TMainForm") find->Found = true;
    return !find->Found;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_FirstPage INSTALLER\n");
        return 2;
    }
    std::string command = "\"" + std::string(argv[1]) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return 1;
    TFind find{process.dwProcessId, false};
    DWORD begun = GetTickCount();
    while (!find.Found) {
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) return 1;  // ended without a page
        if (GetTickCount() - begun > 120000) {  // a message box instead of the wizard
            TerminateProcess(process.hProcess, 1);
            return 1;
        }
        EnumWindows(FindWizard, reinterpret_cast<LPARAM>(&find));
    }
    QueryPerformanceCounter(&now);
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("%.3f\n", double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    return 0;
}
