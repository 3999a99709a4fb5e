#include "SetupUninstaller.h"

#include "MessageBoxes.h"
#include "Messages.h"
#include "PathUtils.h"
#include "Platform.h"
#include "SetupModel.h"

TSetupUninstaller::TSetupUninstaller(const std::string& programPath)
    : FUninstaller(std::make_unique<TUninstaller>(programPath)), FProductName(FUninstaller->ProductName())
{
}

void TSetupUninstaller::Execute()
{
    if (!AdminRightsCheck()) {
        ShowWarningBox(FormatMessageText(Msg::UninstallNoRights, {FProductName}));
        return;
    }
    std::string name = ProductNameWithVersion(FProductName, FUninstaller->Version());
    if (!AskConfirmation(FormatMessageText(Msg::UninstallConfirm, {name}))) return;
    bool removed = FUninstaller->Uninstall();
    // The clean-up waits for this process, so it may start before the last message.
    FUninstaller->StartCleanUp();
    if (!removed) {
        ShowInformationBox(FormatMessageText(Msg::UninstallIncomplete, {FProductName}));
    } else if (!FUninstaller->KeptFolders().empty()) {
        std::string folders;
        for (const std::string& folder : FUninstaller->KeptFolders()) folders += "\r" + ExcludeDelimiter(folder);
        ShowInformationBox(FormatMessageText(Msg::UninstallKeptOwnFiles, {folders.substr(1)}));
    } else {
        ShowInformationBox(LoadMessage(Msg::UninstallCompleted));
    }
}
