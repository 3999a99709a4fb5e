#pragma once
// TSetupUninstaller: the uninstallation run. Rights check, the folder's lock,
// confirmation, removal, the clean-up that outlives it, and the result, told
// to the user (message boxes, or nobody with /S) and to the log.
#include <memory>
#include <optional>
#include <string>

#include "FolderLock.h"
#include "ProgramFile.h"
#include "RunLog.h"
#include "SetupUser.h"
#include "Uninstaller.h"

class TSetupUninstaller {
public:
    explicit TSetupUninstaller(const std::string& programPath = ModuleFileName());

    const std::string& ProductName() const { return FProductName; }
    TUninstaller& Uninstaller() { return *FUninstaller; }
    // Asks, removes and reports; an unattended user (/S) is asked nothing and shown nothing.
    // Returns the exit code: 0 removed (the user's own files kept), 1 items
    // of the product would not go, 2 the user said No, 3 no rights, 1618
    // another Setup or uninstaller works in the folder (a silent run waits
    // for it a while first).
    int Execute(ISetupUser& user, TRunLog* log = nullptr);
    // Started by an uninstaller without the rights, with them (/ELEVATED): it does not ask again.
    bool Elevated = false;
    // The language the installation was made in (its log says), else the one
    // /LANG= names among it and English: its texts from now on, and the boxes
    // mirrored for a right-to-left one. Returns why /LANG= is refused, or empty.
    std::string Speak(const std::optional<std::string>& requested, ISetupUser& user);
    // The language Speak chose.
    const std::string& Language() const { return FLanguage; }

private:
    std::unique_ptr<TUninstaller> FUninstaller;
    std::string FProductName;
    std::string FLanguage = "en";
    // The product folder's lock, held until the program ends; the clean-up
    // takes it next.
    std::unique_ptr<TFolderLock> FFolderLock;
};
