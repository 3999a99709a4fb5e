#pragma once
// The setup model without the machine: everything Setup.ini, Setup.lic and
// BundleInfo.ini say, the folders and answers filled in later, and the
// expansion of path and text variables over those values. The Windows setup
// model (TSetupInstaller) builds on it and adds what only the machine can tell.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ProgramVersion.h"
#include "SetupBundleItem.h"

enum TPageFlag : unsigned {
    pfVstPluginFolder = 1,
    pfDigiPluginFolder = 2,
    pfPhotoshopPluginFolder = 4,
    pfPersonalization = 8,
};

enum TShortcutKind : unsigned {
    skStartMenu = 1,
    skDesktop = 2,
};

extern const char DefaultCompleteMessage[];

// A registry location below a root key: a key path and a value name.
struct TSettingPath {
    std::string Key;
    std::string ValueName;
};

// One [Components] line as the installer reads it, with its options: the one
// reading the installer and `mksetup check` share.
// The machine Windows runs on (not the one this 32-bit program is built for).
enum class TMachine { X86, X64, Arm64 };

// Whom a product may be installed for ([Setup] InstallFor): everyone on the
// machine (administrator rights), only the user who runs Setup (none), or
// either, as the user chooses.
enum class TInstallFor { AllUsers, CurrentUser, Either };
// "AllUsers", "CurrentUser" or "Either" in any letter case; false for anything else.
bool ParseInstallFor(const std::string& text, TInstallFor& into);

struct TComponentLine {
    std::string Key;          // the line's key as written: the package folder, variables unexpanded
    std::string Destination;  // where it goes, variables unexpanded
    std::string Option;       // the text after the first comma of the value, as written
    std::string DllSuffix;    // " Suffix" for the option "DLLSuffix: Suffix", else empty
    // The option "Machine: x64|arm64|arm64ec|arm64x" (lower case), else empty:
    // the architecture the line's binaries are built for.
    std::string Machine;
    bool NoOverwrite = false; // a [ComponentsOptions] line for exactly this key says NoOverwrite
    bool Vst3 = false;        // a VST 3 destination: its DLLs are installed as .vst3
};
TComponentLine ParseComponentLine(const std::string& line, const std::vector<std::string>& componentsOptions);
// The machine names the option "Machine:" knows.
bool IsComponentMachine(const std::string& name);
// The lines a machine installs: every line without a machine; on x64 the x64
// lines; on ARM64 the arm64, arm64ec and arm64x lines, and an x64 line only
// where no ARM64 line goes to the same destination (Windows runs it emulated);
// on x86 none with a machine.
std::vector<TComponentLine> ComponentLinesFor(const std::vector<TComponentLine>& lines, TMachine machine);
// Whether a destination is a VST 3 one ("Vst3" in its text).
inline bool IsVst3Destination(const std::string& text) { return text.find("Vst3") != std::string::npos; }
// The one value a [ComponentsOptions] line knows.
constexpr char NoOverwriteOption[] = "NoOverwrite";

// Where a run puts the product: its folder and its content folder, each
// ending in a backslash (the content folder empty where there is none).
struct TDestination {
    std::string InstallFolder, ContentFolder;
};

// What the user chose on the pages or by switches, over what Setup found and
// proposed: where the product, its content and each plug-in format go, which
// formats, for whom, the name, the shortcuts. The session writes them when a
// page is left or a switch is read; the run reads them.
struct TSetupChoices {
    // For the user who runs Setup alone: the program and the VST 3 and CLAP
    // plug-ins in that user's folders, the registry below HKEY_CURRENT_USER;
    // the formats without such a place are left out.
    bool ForCurrentUser = false;
    bool InstallVst2 = true, InstallVst3 = true, InstallRtas = true, InstallAax = true, InstallPhotoshop = true,
         InstallClap = true;
    std::string InstallFolder;
    // Content ($ContentFolder): sample and impulse-response libraries a
    // product may keep on another drive. ContentFolder is the folder chosen,
    // which follows the destination until the user, a switch or an earlier
    // installation chose it (ContentFolderChosen).
    std::string ContentFolder;
    bool ContentFolderChosen = false;
    std::string Vst2Folder, Vst3Folder, DigiFolder, AaxFolder, PhotoshopFolder, ClapFolder;
    std::string UserName;
    unsigned ShortcutChoice = 0;
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
    std::string GetProductKey(const std::string& subKey) const { return RegistryRoot + "\\" + subKey; }
    std::string FullProductName() const;
    // The same with the recorded version, whatever DisplayVersion says: the
    // name of the installed-programs entry's key, which stays as earlier
    // versions wrote it.
    std::string RecordedProductName() const;
    // The version users see: DisplayVersion ("1.2.10"), else the record's text ("1.21").
    std::string VersionText() const { return DisplayVersion.empty() ? PackageVersion.AsText() : DisplayVersion; }
    std::string BitSuffix() const { return Is64Bit ? " (64-bit)" : ""; }
    // The formats the package holds that have no place for one user (their
    // hosts look only in the folders for everyone): "AAX and Photoshop"; empty when none.
    std::string EveryoneOnlyFormats() const;
    // Where the run puts each part it installs, as the choices stand: the
    // program folder, then each plug-in format's folder ("VST 3", folder).
    std::vector<std::pair<std::string, std::string>> InstalledFolders() const;
    std::string FormatVersionKey(int32_t major, int32_t minor) const;
    std::string ProductPath() const { return ExpandVariables(CompleteProduct, nullptr); }
    std::string ReadmePath() const { return ExpandVariables(CompleteReadme, nullptr); }
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
    // The content folder [Setup] ContentFolder gives with that destination.
    std::string ContentFolderFollowing(const std::string& installFolder) const;

    // Configuration from Setup.ini.
    bool Is64Bit = false;
    bool IsBundle = false;
    TInstallFor InstallFor = TInstallFor::AllUsers;
    std::string ProductName;
    std::string ProductSuffix;
    // Who makes the product, for the Windows list of installed programs; empty
    // for the maker part of RegistryRoot.
    std::string Publisher;
    // The version as the maker writes it, shown beside the record's ("1.2.10" for 1.21).
    std::string DisplayVersion;
    std::string RegistryRoot;
    std::string InstallDescription;
    std::string WelcomeNote;
    bool IgnoreMinorVersion = true;
    std::string DefaultFolder;
    std::string PersonalizeOwner;
    std::string PersonalizeInfo;
    std::string BundleSelectHeading;
    std::string BundleSelectDescription;
    std::string BundleRegistryRoot;
    std::string BundleItemName;
    unsigned PageFlags = 0;
    std::string CompleteMessage;
    std::string CompleteReadme;
    std::string CompleteProduct;
    std::string LicenseText;
    std::vector<std::string> InstalledFiles, Folders, FoldersRegistry, Components, ComponentsOptions, CallLibraries,
        RegistrySettings, GlobalRegistrySettings, Shortcuts;
    // [Components] with [ComponentsOptions], read once.
    std::vector<TComponentLine> ComponentLines;
    unsigned ShortcutKinds = 0;
    std::vector<TSetupBundleItem> BundleItems;

    // The package and what the machine tells.
    TProgramVersion PackageVersion;
    int32_t PackageDate = 0;
    std::string VersionKey;
    std::string AppDataFolder, DocumentsFolder, ProgramFilesFolder, CommonFilesFolder;
    // %LOCALAPPDATA%: below it, Programs and Programs\Common take the place of
    // Program Files and Common Files for an installation for one user.
    std::string LocalAppDataFolder;
    bool HasPreviousInstall = false;
    TProgramVersion PreviousVersion;
    std::string PreviousVersionKey;
    std::string PreviousInstallFolder;
    // [Setup] ContentFolder as written, and the content folder of the earlier installation.
    std::string ContentFolderDefault, PreviousContentFolder;
    // The package carries content (a line to $ContentFolder with files).
    bool HasContent = false;
    bool HasVst3 = false;
    // The package carries CLAP plug-ins (a line to $ClapPluginFolder with files).
    bool HasClap = false;
    std::string Vst3ItemList;
    // The package carries RTAS (32-bit only) or AAX plug-ins: the Pro Tools page
    // offers only these.
    bool HasRtas = false, HasAax = false;
    // The package carries VST 2 or Photoshop plug-ins: without a folder for them the run cannot be complete.
    bool HasVst2 = false, HasPhotoshop = false;
    std::string PreviousUserName;

    // The user's choices, proposed from the above until a page or a switch decides.
    TSetupChoices Choices;

protected:
    // Reads a remembered folder of an earlier installation (HKEY_CURRENT_USER,
    // the product's view); empty when there is none. Without a registry, none.
    virtual std::string ReadFolderSetting(const TSettingPath&) const { return std::string(); }
};

// DefaultFolder with the package's major number: "%d" (and the other integer
// forms, with flags, width and precision) receives it, "%%" is a percent sign.
// Anything that does not fit one integer argument raises EFormatError.
std::string FormatDefaultFolder(const std::string& pattern, int32_t major);

// The name with the version's text after a blank; a name that already ends in
// a blank and the one-digit major number loses those two characters first.
// "Echo 1.20"; with `shown`, that text instead of the record's.
std::string ProductNameWithVersion(const std::string& name, const TProgramVersion& version,
                                   const std::string& shown = std::string());
