#pragma once
// What Setup knows before the user chooses anything: the package's facts
// (its configuration, version and contents; read once when Setup starts,
// read only afterwards) and the machine's for the chosen scope (its folders
// and an earlier installation; found anew when the scope changes).
#include <cstdint>
#include <map>
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
    bool NoOverwrite = false;  // a [ComponentsOptions] line for exactly this key says NoOverwrite
    bool Vst3 = false;         // a VST 3 destination: its DLLs are installed as .vst3
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
// The package entry mksetup writes with the installer's texts in the languages
// the product ships besides English: one [Texts.TAG] section each.
constexpr char LanguageTablesFileName[] = "Setup.lng";
// The licence a language has of its own: "Setup.de.lic".
inline std::string LanguageLicenseFileName(const std::string& tag) { return "Setup." + tag + ".lic"; }

// What the package says: Setup.ini with its lists, Setup.lic, BundleInfo.ini,
// the package's version and date, and which kinds of files it carries.
struct TSetupFacts {
    // [Setup], [Pages], [Complete] and the lists of Setup.ini; Setup.lic.
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
    // Web pages for the list of installed programs: support, and updates; empty for none.
    std::string HelpLink, UpdateInfoUrl;
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
    std::string CompleteMessage;  // [Complete] Message as written; empty for the program's own
    std::string CompleteReadme;
    std::string CompleteProduct;
    std::string LicenseText;
    // A licence per language (Setup.TAG.lic beside Setup.lic), by tag.
    std::map<std::string, std::string> LicenseTexts;
    std::vector<std::string> InstalledFiles, Folders, FoldersRegistry, Components, ComponentsOptions, CallLibraries,
        RegistrySettings, GlobalRegistrySettings, Shortcuts;
    // The maker's texts per language: the lines of [Texts.TAG] by the tag as
    // the list of languages writes it ("de", "pt-BR").
    std::map<std::string, std::vector<std::string>> Texts;
    // The installer's own texts in the languages the package carries besides
    // English (LanguageTablesFileName), by tag in the same way.
    std::map<std::string, std::vector<std::string>> Translations;
    // [Setup] ShowLanguageDialog: the user picks the language in a first dialog.
    bool ShowLanguageDialog = false;
    // [Setup] Languages: the tags the maker ships, as written; empty for all.
    std::vector<std::string> Languages;
    // [Components] with [ComponentsOptions], read once.
    std::vector<TComponentLine> ComponentLines;
    unsigned ShortcutKinds = 0;
    std::vector<TSetupBundleItem> BundleItems;

    // The package's version and date, and the version's key below RegistryRoot.
    TProgramVersion PackageVersion;
    int32_t PackageDate = 0;
    std::string VersionKey;
    // [Setup] ContentFolder as written.
    std::string ContentFolderDefault;

    // What the package carries, for every pass of the run.
    // Content: a line to $ContentFolder with files.
    bool HasContent = false;
    bool HasVst3 = false;
    // The bundle items with VST 3 plug-ins, when not all of them have some ("A, B").
    std::string Vst3ItemList;
    // CLAP plug-ins: a line to $ClapPluginFolder with files.
    bool HasClap = false;
    // RTAS (32-bit only) or AAX plug-ins: the Pro Tools page offers only these.
    bool HasRtas = false, HasAax = false;
    // VST 2 or Photoshop plug-ins: without a folder for them the run cannot be complete.
    bool HasVst2 = false, HasPhotoshop = false;

    // English, then each language whose texts the package carries, in the list's order.
    std::vector<std::string> SpokenLanguages() const;
};

// What the machine tells for the chosen scope (everyone, or the user who
// runs Setup): where its system folders are, and an earlier installation.
struct TMachineFacts {
    std::string AppDataFolder, DocumentsFolder, ProgramFilesFolder, CommonFilesFolder;
    // %LOCALAPPDATA%: below it, Programs and Programs\Common take the place of
    // Program Files and Common Files for an installation for one user.
    std::string LocalAppDataFolder;

    // The newest earlier installation of the product's major version or an
    // older one, as the scope's registry records it, and where it went.
    bool HasPreviousInstall = false;
    TProgramVersion PreviousVersion;
    std::string PreviousVersionKey;
    std::string PreviousInstallFolder;
    std::string PreviousContentFolder;
    std::string PreviousUserName;
};
