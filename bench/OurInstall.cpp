// Our whole installation: the setup model built from the installer file (its
// checksum pass included) and the installation run with a progress sink that does not pause.
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SetupInstaller.h"
#include "SetupRun.h"

namespace {
class TQuietProgress : public IInstallProgress {
public:
    void SetProgress(int) override {}
    // With SETUP_BENCH_PHASES set, each status is printed with the seconds since the start.
    void SetStatus(const std::string& status) override
    {
        if (!Phases) return;
        PROCESS_MEMORY_COUNTERS memory{};
        GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
        std::fprintf(stderr, "%7.2f s %s (working set %.1f MiB, peak %.1f MiB, private %.1f MiB)\n",
                     double(GetTickCount() - Start) / 1000.0, status.c_str(), double(memory.WorkingSetSize) / 1048576.0,
                     double(memory.PeakWorkingSetSize) / 1048576.0, double(memory.PagefileUsage) / 1048576.0);
    }
    void SetTimeLeft(int seconds) override { SetStatus("time left " + std::to_string(seconds)); }
    bool Phases = std::getenv("SETUP_BENCH_PHASES") != nullptr;
    DWORD Start = GetTickCount();
};
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_OurInstall INSTALLER DESTINATION [--model-only]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TSetupInstaller model(argv[1]);
    if (argc > 3 && std::string(argv[3]) == "--model-only") return 0;
    model.SetInstallFolder(argv[2]);
    TQuietProgress progress;
    RunInstallation(model, progress);
    std::printf("%zu items logged\n", model.Installer().UninstallLog().Size());
    CoUninitialize();
    return 0;
}
