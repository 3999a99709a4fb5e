#pragma once
// TSetupInstaller: the setup model on the machine. Its constructor finds the
// package, reads the configuration, finds the system folders, an earlier
// installation, the install folder, the plug-in folders and the user's name.
#include <memory>
#include <string>
#include <vector>

#include "Installer.h"
#include "ProgramFile.h"
#include "Registry.h"
#include "SetupModel.h"

class TSetupInstaller : public TSetupModel {
public:
    // `programPath`: the installer program whose package is read; the running
    // module unless a test names another.
    explicit TSetupInstaller(const std::string& programPath = ModuleFileName());

    TInstaller& Installer() { return *FInstaller; }

    // A named file of the product: the package entry, else the alternative
    // entry, else the file beside the program, else the alternative beside it
    // (the file-open error naming it when there is none).
    std::unique_ptr<TStream> OpenPackageFile(const std::string& name, const std::string& alternative = std::string());
    std::vector<std::string> LoadPackageText(const std::string& name);

    void FindSystemFolders();
    void FindPreviousInstall();
    void FindInstallFolder();
    void SetProToolsFolders();
    void FindVst2Folder();
    void FindVst3Content();
    void FindPhotoshopFolder();
    void FindUserName();
    // The package holds VST 3 plug-ins for the item (or, without one, the product).
    bool ItemHasVst3(const TSetupBundleItem* item);
    static bool IsVst3Destination(const std::string& text) { return text.find("Vst3") != std::string::npos; }

    // A registry object in the product's view: the 64-bit one for a 64-bit package.
    std::unique_ptr<TRegistry64> CreateSettingsRegistry() const;

protected:
    std::string ReadFolderSetting(const TSettingPath& path) const override;

private:
    // Reads a string value, or empty when the key does not open or the value
    // cannot be read: discovery never fails on the registry.
    std::string ReadSetting(HKEY root, const std::string& key, const std::string& valueName) const;

    std::unique_ptr<TInstaller> FInstaller;
};
