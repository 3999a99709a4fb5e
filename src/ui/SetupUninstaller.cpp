#include "SetupUninstaller.h"

#include "MessageBoxes.h"
#include "Messages.h"
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
    if (FUninstaller->Uninstall())
        ShowInformationBox(LoadMessage(Msg::UninstallCompleted));
    else
        ShowInformationBox(FormatMessageText(Msg::UninstallIncomplete, {FProductName}));
    FUninstaller->WriteRemovalScript();
}
