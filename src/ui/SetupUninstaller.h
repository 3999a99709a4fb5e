#pragma once
// TSetupUninstaller: the uninstallation dialogue. Rights check, confirmation,
// removal, the clean-up that outlives it, and the result.
#include <memory>
#include <string>

#include "ProgramFile.h"
#include "Uninstaller.h"

class TSetupUninstaller {
public:
    explicit TSetupUninstaller(const std::string& programPath = ModuleFileName());

    const std::string& ProductName() const { return FProductName; }
    TUninstaller& Uninstaller() { return *FUninstaller; }
    void Execute();

private:
    std::unique_ptr<TUninstaller> FUninstaller;
    std::string FProductName;
};
