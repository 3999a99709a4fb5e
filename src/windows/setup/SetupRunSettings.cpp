// Registry settings of the installation run. Registry trouble never stops the
// run: a key that cannot be opened or a value that cannot be written skips its line.
#include "Exception.h"
#include "InstallScope.h"
#include "PathUtils.h"
#include "SetupRun.h"
#include "TextUtils.h"

void TSetupRun::WriteLocation()
{
    std::unique_ptr<TRegistry64> registry = FSetup.CreateSettingsRegistry();
    registry->RootKey = ScopeRoot(FSetup.Scope());
    if (!registry->OpenKey(FSetup.GetProductKey(FFacts.VersionKey), true)) return;
    try {
        registry->WriteString("Location", Choices.InstallFolder);
        if (FFacts.HasContent) registry->WriteString("ContentLocation", Choices.ContentFolder);
        registry->WriteString("VersionString", FFacts.PackageVersion.AsText());
    } catch (const ERegistryException&) {
    }
}

void TSetupRun::WriteFolderSettings()
{
    std::unique_ptr<TRegistry64> registry = FSetup.CreateSettingsRegistry();
    for (size_t i = 0; i < FFacts.Folders.size(); ++i) {
        // Never to the version key's (Default): each folder's value is its own, or none.
        if (!FSetup.HasFolderSetting(i)) continue;
        std::string folder = FSetup.ExpandVariables(FSetup.FolderValue(i), nullptr);
        TSettingPath location = FSetup.FolderSettingLocation(i, FFacts.VersionKey);
        if (!registry->OpenKey(location.Key, true)) continue;
        try {
            registry->WriteString(location.ValueName, IncludeDelimiter(folder));
        } catch (const ERegistryException&) {
        }
    }
}

void TSetupRun::WriteOwner()
{
    if (FFacts.PersonalizeOwner.empty()) return;
    TSettingPath owner = FSetup.SplitSettingPath(FFacts.PersonalizeOwner, FFacts.VersionKey, nullptr);
    std::unique_ptr<TRegistry64> registry = FSetup.CreateSettingsRegistry();
    if (!registry->OpenKey(owner.Key, true)) return;
    try {
        registry->WriteString(owner.ValueName, Choices.UserName);
    } catch (const ERegistryException&) {
    }
}

void TSetupRun::WriteRegistrySettings()
{
    if (FFacts.IsBundle) {
        for (const TSetupBundleItem* item : FSetup.Passes()) {
            if (!item) continue;
            WriteSettingList(FFacts.RegistrySettings, HKEY_CURRENT_USER, item);
            WriteSettingList(FFacts.GlobalRegistrySettings, ScopeRoot(FSetup.Scope()), item);
        }
    }
    WriteSettingList(FFacts.RegistrySettings, HKEY_CURRENT_USER, nullptr);
    WriteSettingList(FFacts.GlobalRegistrySettings, ScopeRoot(FSetup.Scope()), nullptr);
}

void TSetupRun::WriteSettingList(const std::vector<std::string>& lines, HKEY root, const TSetupBundleItem* item)
{
    std::unique_ptr<TRegistry64> registry = FSetup.CreateSettingsRegistry();
    registry->RootKey = root;
    for (const std::string& line : lines) {
        TSettingPath path = FSetup.SplitSettingPath(LineName(line), FFacts.VersionKey, item);
        // A key that expands to nothing ("$BundleItem" in the pass without an
        // item, a plug-in folder not chosen) skips its line, as the component
        // pass skips such folders.
        std::string key = path.Key.empty() ? std::string() : FSetup.ExpandVariables(path.Key, item);
        if (key.empty() || !registry->OpenKey(key, true)) continue;
        std::string value = LineValue(line);
        int32_t number;
        try {
            if (value.size() > 1 && value[0] == '#' && TryStrToInt(value.substr(1), number, true))
                registry->WriteInteger(path.ValueName, number);
            else
                registry->WriteString(path.ValueName, FSetup.ExpandVariables(value, item));
        } catch (const ERegistryException&) {
        }
    }
}
