// Setup.ini through the configuration reader, with both expansions over
// every value it read, and BundleInfo.ini from the same bytes.
#include "Exception.h"
#include "FuzzTarget.h"
#include "SetupModel.h"
#include "UninstallLog.h"

FUZZ_TARGET(SetupIni)
{
    std::vector<std::string> lines = SplitLines(std::string(reinterpret_cast<const char*>(data), size));
    TSetupModel model;
    try {
        model.LoadConfiguration(
            [&](const std::string& name) {
                if (name == "Setup.lic") return std::vector<std::string>{"licence"};
                return lines;  // Setup.ini and BundleInfo.ini alike
            },
            true);
    } catch (const Exception&) {
        // A configuration the installer refuses: expansion runs on what was read.
    }
    model.Choices.InstallFolder = "C:\\Program Files\\Maker\\";
    model.Choices.Vst2Folder = "C:\\VstPlugins\\";
    for (const std::vector<std::string>* list :
         {&model.Facts().Components, &model.Facts().Folders, &model.Facts().RegistrySettings, &model.Facts().Shortcuts,
          &model.Facts().CallLibraries}) {
        for (const std::string& line : *list) {
            model.ExpandVariables(line, nullptr);
            model.ExpandText(line);
            for (const TSetupBundleItem& item : model.Facts().BundleItems) model.ExpandVariables(line, &item);
        }
    }
    try {
        FormatDefaultFolder(model.Facts().DefaultFolder, 3);
    } catch (const Exception&) {
    }
    try {
        ParseBundleInfo(lines, "$BundleItem", 0x4A2F5000);
    } catch (const Exception&) {
    }
}
