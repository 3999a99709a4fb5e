#pragma once
// The setup model without the machine: the package's facts (TSetupFacts, read
// once from Setup.ini, Setup.lic and BundleInfo.ini, then read only), the
// machine's (TMachineFacts) and the user's choices (TSetupChoices), and the
// expansion of path and text variables over them. The Windows setup model
// (TSetupInstaller) builds on it and finds what only the machine can tell.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ProgramVersion.h"
#include "SetupBundleItem.h"
#include "SetupChoices.h"
#include "SetupFacts.h"

// Where a run puts the product: its folder and its content folder, each
// ending in a backslash (the content folder empty where there is none).
struct TDestination {
    std::string InstallFolder, ContentFolder;
};

class TSetupModel {
public:
    // Returns the lines of a named file of the product (the package entry, or
    // the file beside the program); raises the file-open error when there is none.
    using TTextLoader = std::function<std::vector<std::string>(const std::string& name)>;

    virtual ~TSetupModel() = default;

    // Reads Setup.ini, Setup.lic and, for a bundle, BundleInfo.ini, in that
    // order, and checks the configuration. `runsOn64BitWindows` decides whether
    // the 64-bit welcome note of a 32-bit product is kept.
    void LoadConfiguration(const TTextLoader& loadText, bool runsOn64BitWindows);
    // The package's version and date, given before the configuration is read
    // (a bundle's items are dated from them).
    void SetPackageStamp(const TProgramVersion& version, int32_t date)
    {
        FFacts.PackageVersion = version;
        FFacts.PackageDate = date;
    }

    // Path variables ($ProgramFolder, %Folder, $BundleItem, ...), first
    // occurrence of each; empty when the text names a format the user did not choose.
    std::string ExpandVariables(const std::string& text, const TSetupBundleItem* item) const
    {
        return ExpandVariables(text, item, Destination());
    }
    // The same for a run into `destination` rather than the folders chosen so far.
    std::string ExpandVariables(const std::string& text, const TSetupBundleItem* item,
                                const TDestination& destination) const;
    // Text variables ($ProductName, $FullProductName, ...), every occurrence, in their order.
    std::string ExpandText(const std::string& text) const;
    std::string FolderValue(size_t index) const;
    TSettingPath FolderSettingLocation(size_t index, const std::string& versionKey) const;
    // Whether [FoldersRegistry] names where the folder is remembered; without
    // it the folder is not written to the registry.
    bool HasFolderSetting(size_t index) const;
    TSettingPath SplitSettingPath(const std::string& settingName, const std::string& versionKey,
                                  const TSetupBundleItem* item) const;
    std::string GetProductKey(const std::string& subKey) const { return FFacts.RegistryRoot + "\\" + subKey; }
    std::string FullProductName() const;
    // The same with the recorded version, whatever DisplayVersion says: the
    // name of the installed-programs entry's key, which stays as earlier
    // versions wrote it.
    std::string RecordedProductName() const;
    // The version users see: DisplayVersion ("1.2.10"), else the record's text ("1.21").
    std::string VersionText() const
    {
        return FFacts.DisplayVersion.empty() ? FFacts.PackageVersion.AsText() : FFacts.DisplayVersion;
    }
    // Who makes the product, as the installed-programs entry names it: [Setup]
    // Publisher, else the maker level of RegistryRoot below "Software".
    std::string RegisteredPublisher() const;
    // " (64-bit)" for a 64-bit package, in English: the names Windows keeps (the
    // installed-programs entry) never depend on the language of a run.
    std::string BitSuffix() const { return FFacts.Is64Bit ? " (64-bit)" : ""; }
    // The Completed page's text, its variables replaced.
    std::string CompleteMessage() const;
    // The formats the package holds that have no place for one user (their
    // hosts look only in the folders for everyone): "AAX and Photoshop"; empty when none.
    std::string EveryoneOnlyFormats() const;
    // Where the run puts each part it installs, as the choices stand: the
    // program folder, then each plug-in format's folder ("VST 3", folder).
    std::vector<std::pair<std::string, std::string>> InstalledFolders() const;
    std::string FormatVersionKey(int32_t major, int32_t minor) const;
    std::string ProductPath() const { return ExpandVariables(FFacts.CompleteProduct, nullptr); }
    std::string ReadmePath() const { return ExpandVariables(FFacts.CompleteReadme, nullptr); }
    // Stores the folder with a trailing backslash (empty stays empty), and
    // the content folder that follows it.
    void SetInstallFolder(const std::string& folder);
    // The folders chosen so far, and those a run into `folder` would take:
    // what SetInstallFolder would store, without storing it.
    TDestination Destination() const { return {Choices.InstallFolder, Choices.ContentFolder}; }
    TDestination DestinationAt(const std::string& folder) const;
    // The content folder as chosen (one that follows the destination is
    // made anew from it).
    void SetContentFolder(const std::string& folder);
    // Reads the installer's own texts in the languages the package carries
    // (the lines of LanguageTablesFileName).
    void LoadLanguageTables(const std::vector<std::string>& lines);
    // Keeps the licence a language has of its own (the lines of Setup.TAG.lic).
    void LoadLanguageLicense(const std::string& tag, const std::vector<std::string>& lines);
    // The licence in the chosen language, else Setup.lic.
    const std::string& LicenseText() const;
    // The texts of the chosen language, by message: the installer's own table
    // of it, then the maker's texts ([Texts.TAG] of Setup.ini) over it. Each
    // one whose name is a message's and whose "%s" placeholders are the
    // program's text's; "\n" in a text is a line break. The others go to
    // `refused`, each with its reason. Messages without a text keep English.
    std::map<int, std::string> MessageTexts(std::vector<std::string>* refused = nullptr) const;
    // The content folder [Setup] ContentFolder gives with that destination.
    std::string ContentFolderFollowing(const std::string& installFolder) const;

    // The package's facts, read once by LoadConfiguration and the package's survey.
    const TSetupFacts& Facts() const { return FFacts; }
    // The machine's facts for the chosen scope.
    const TMachineFacts& Machine() const { return FMachine; }
    // For a model without a machine (the product check's): the facts to assume.
    void AssumeMachine(const TMachineFacts& machine) { FMachine = machine; }

    // The user's choices, proposed from the above until a page or a switch decides.
    TSetupChoices Choices;

protected:
    TSetupFacts FFacts;
    TMachineFacts FMachine;

    // Reads a remembered folder of an earlier installation (HKEY_CURRENT_USER,
    // the product's view); empty when there is none. Without a registry, none.
    virtual std::string ReadFolderSetting(const TSettingPath&) const { return std::string(); }
};

// The section of Setup.ini with the maker's texts in a language: "Texts.de".
std::string TextsSection(const std::string& tag);

// DefaultFolder with the package's major number: "%d" (and the other integer
// forms, with flags, width and precision) receives it, "%%" is a percent sign.
// Anything that does not fit one integer argument raises EFormatError.
std::string FormatDefaultFolder(const std::string& pattern, int32_t major);

// The name with the version's text after a blank; a name that already ends in
// a blank and the one-digit major number loses those two characters first.
// "Echo 1.20"; with `shown`, that text instead of the record's.
std::string ProductNameWithVersion(const std::string& name, const TProgramVersion& version,
                                   const std::string& shown = std::string());
