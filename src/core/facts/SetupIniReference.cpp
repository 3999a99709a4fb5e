#include "SetupIniReference.h"

#include "Messages.h"
#include "TextUtils.h"

namespace {

// [Texts.TAG]: one key per text, its English beside it.
TIniSectionReference TextsSectionReference()
{
    TIniSectionReference section{
        "Texts.TAG", false, "",
        "The product's own words for the installer's texts in one language (TAG: a tag of /LANG=, such as en, de or "
        "pt-BR), used when Setup speaks that language: a key per text, by name: each message, each caption of the "
        "wizard (named after its control) and each button. A text keeps the %s placeholders of the English one, in "
        "number (the installer keeps its own text otherwise, and so does an empty one); \\n is a line break; a text "
        "that begins or ends with a blank is written in double quotes. Texts not named keep the installer's own in "
        "that language, else the English below.",
        {},
        {"NotEnoughSpace=The destination drive is full.\\nFree some space for the plug-ins and try again."}};
#define SETUP_MESSAGE(id, name, english) \
    section.Keys.push_back({#name, "text", "the installer's", ReplaceAll(english, "\r", "\\n")});
#include "Messages.def"
#undef SETUP_MESSAGE
    return section;
}

}  // namespace

const std::vector<TIniSectionReference>& SetupIniSections()
{
    static const std::vector<TIniSectionReference> sections = {
        {"Setup", false, "", "The product: its names, where it goes, where its settings live.",
         {
             {"ProductName", "text", "(none)", "The product's name, shown on every page and in the list of installed programs."},
             {"ProductSuffix", "text", "(none)", "Added after the name and version in the full product name (\"Studio\")."},
             {"DisplayVersion", "text", "the version given to mksetup", "The version users see, when it differs from the version record given to mksetup build --version (which has one digit each for minor and release, and orders versions): DisplayVersion=1.2.10 with --version 1.30 when 1.2.9 was 1.29 (the record must grow with every release). Shown in $ProductVersion, $FullProductName, the wizard and the list of installed programs; the installation's key and folder still take the record's numbers."},
             {"Publisher", "text", "the level of RegistryRoot below Software", "Who makes the product, for the list of installed programs."},
             {"HelpLink", "web address", "(none)", "The product's support page, for the list of installed programs (its HelpLink)."},
             {"URLUpdateInfo", "web address", "(none)", "Where updates of the product are found, for the list of installed programs (its URLUpdateInfo)."},
             {"RegistryRoot", "registry key", "required", "The product's key below HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE; version keys and settings go below it."},
             {"DefaultFolder", "folder, %d for the major version", "required", "The proposed destination below Program Files (\"Maker\\Product %d\")."},
             {"ContentFolder", "folder", "$ProgramFolder\\Content", "Where $ContentFolder proposes the product's content (samples, libraries): for example $Documents\\Space Echo Library. While it names $ProgramFolder it follows the destination the user chooses."},
             {"InstallDescription", "text", "$ProductName", "What the Destination and shortcut pages call the product ($InstallDescription)."},
             {"WelcomeWin64", "text", "(none)", "A note on the Welcome page, shown for a 64-bit package or on 64-bit Windows."},
             {"IgnoreMinorVersion", "0 or 1", "1", "1: version keys carry the major number only (\"2.0\"); 0: major and minor (\"2.2\")."},
             {"InstallFor", "AllUsers, CurrentUser or Either", "AllUsers", "Whom the product is installed for. AllUsers: everyone on the computer; Setup asks Windows for administrator rights. CurrentUser: only the user who runs Setup, without administrator rights: the program in %LOCALAPPDATA%\\Programs, VST 3 and CLAP plug-ins in %LOCALAPPDATA%\\Programs\\Common\\VST3 and ...\\CLAP, the registration, settings and shared counts below HKEY_CURRENT_USER, and no AAX, RTAS or Photoshop plug-ins (their hosts look only in the folders for everyone). Either: the Welcome page asks (for everyone unless the user ticks \"only for me\"), and /ALLUSERS or /CURRENTUSER chooses without a window."},
             {"Is64Bit", "0 or 1", "0", "1: the installer of a 64-bit product; it refuses 32-bit Windows and writes the 64-bit registry view."},
             {"PersonalizeOwner", "registry setting", "(none)", "Where the Personalization page's name is written (KEY\\VALUE below RegistryRoot's version key)."},
             {"PersonalizeInfo", "text", "(none)", "The Personalization page's text ($PersonalizeInfo)."},
             {"IsBundle", "0 or 1", "0", "1: a bundle of products listed in BundleInfo.ini, chosen on the bundle page."},
             {"BundleSelectHeading", "text", "(none)", "The bundle page's heading ($BundleSelectHeading)."},
             {"BundleSelectDescription", "text", "(none)", "The bundle page's text ($BundleSelectDescription)."},
             {"BundleRegistryRoot", "registry key", "required for a bundle", "The key below which each bundle item's settings go."},
             {"BundleItemName", "text with $BundleItem", "(none)", "How a bundle item is named on the bundle page."},
             {"ShowLanguageDialog", "0 or 1", "0", "1: a small first dialog lists the product's languages in their own names, the one the user's preferred languages choose already chosen; /LANG= and /S skip it."},
             {"Languages", "language tags, by commas", "all", "The languages the installer speaks besides English (de, ja, pt-BR, ...: the tags of /LANG=). mksetup packs the installer's texts in each; Setup speaks the first of the user's preferred Windows display languages among them, else English. \"en\" alone ships English only, which adds nothing to the installer."},
         },
         {"ProductName=Space Echo", "Publisher=Example Audio", "RegistryRoot=Software\\Example Audio\\Space Echo",
          "DefaultFolder=Example Audio\\Space Echo %d"}},
        {"Pages", false, "", "Which optional pages the wizard shows (0 hides, 1 shows).",
         {
             {"VstPluginFolder", "0 or 1", "0", "The VST page: the VST 2 folder and the VST 3 choice."},
             {"DigiPluginFolder", "0 or 1", "0", "The Pro Tools page (AAX, and RTAS for 32-bit packages), when the package carries either."},
             {"PhotoshopPluginFolder", "0 or 1", "0", "The Photoshop plug-in folder page."},
             {"Personalization", "0 or 1", "0", "The page that asks for the user's name."},
         },
         {"VstPluginFolder=1", "DigiPluginFolder=1"}},
        {"Complete", false, "", "The last page.",
         {
             {"Message", "text", "$ProductName has been installed successfully. ...", "The last page's text."},
             {"Readme", "file", "(none)", "A file the last page offers to open."},
             {"Product", "file", "(none)", "A program the last page offers to start."},
         },
         {"Readme=$ProgramFolder\\Readme.txt"}},
        {"InstalledFiles", true, "MAJOR=FILE", "A file that marks an installation of that major version, so that the next version finds it.", {},
         {"1=Readme.txt"}},
        {"Package", true, "Include=PATH", "Read by mksetup build alone. The build leaves out what no customer's machine needs (.git, .svn and .hg folders, .DS_Store, __MACOSX, AppleDouble ._ files, Thumbs.db, a desktop.ini without a PlugIn.ico beside it, editor backups NAME~, .bak, .swp, .#NAME) and says how many of which kind; an Include line packs one of them on purpose, by its path below the product folder.", {},
         {"Include=Main\\Presets\\.DS_Store"}},
        {"Folders", true, "NAME=FOLDER", "Further folders of the product: %NAME stands for the folder in other lines.", {},
         {"Presets=$Documents\\Space Echo Presets"}},
        {"FoldersRegistry", true, "NAME=KEY\\VALUE", "Where a [Folders] folder is recorded (below RegistryRoot's version key).", {},
         {"Presets=Paths\\Presets"}},
        {"Components", true, "FOLDER=DESTINATION[,DLLSuffix: SUFFIX][,Machine: MACHINE]", "Every file of the product's FOLDER goes to DESTINATION (a folder variable or %NAME; $BundleItem in FOLDER for each bundle item). With DLLSuffix: every .dll of the line is installed with a blank and SUFFIX before its extension (Echo.dll as \"Echo (Mono).dll\"); on a VST 3 line (a destination with \"Vst3\") every .dll becomes .vst3. With Machine: (x64, arm64, arm64ec or arm64x) the line's binaries are for that machine, and only a machine of that kind installs them: x64 Windows the x64 lines, ARM64 Windows the arm64, arm64ec and arm64x lines, and an x64 line only when no ARM64 line goes to the same destination (Windows runs it emulated). A VST 3 bundle carries every architecture in its own folders and needs no Machine.", {},
         {"Main=$ProgramFolder", "VstX=$VstPluginFolder", "Vst3=$Vst3PluginFolder", "Aax=$AaxPluginFolder",
          "Mono=$VstPluginFolder,DLLSuffix: (Mono)", "VstArm=$VstPluginFolder,Machine: arm64"}},
        {"ComponentsOptions", true, "FOLDER=NoOverwrite", "NoOverwrite: files of that [Components] folder that exist already are kept.", {},
         {"Presets=NoOverwrite"}},
        {"CallLibraries", true, "FUNCTION=LIBRARY", "After the files: the library is loaded and FUNCTION (no arguments) is called.", {},
         {"Register=$ProgramFolder\\Setup.dll"}},
        {"RegistrySettings", true, "KEY\\VALUE=TEXT or #NUMBER", "Values written below HKEY_CURRENT_USER\\RegistryRoot's version key; #250 is a number.", {},
         {"Settings\\Delay=#250", "Settings\\Skin=Dark"}},
        {"GlobalRegistrySettings", true, "KEY\\VALUE=TEXT or #NUMBER", "The same below HKEY_LOCAL_MACHINE; PurchaseUrl also becomes the product's web page in the list of installed programs.", {},
         {"HelpFileName=$ProgramFolder\\Manual.pdf", "PurchaseUrl=https://example.com/space-echo"}},
        {"Shortcuts", true, "LOCATION=TARGET,CAPTION[,ARGUMENTS[,ICON]]", "A shortcut to TARGET at LOCATION (StartMenu, Desktop or ProgramFolder); ICON is the icon's index in TARGET.", {},
         {"StartMenu=$ProgramFolder\\Readme.txt,$ProductName Readme", "Desktop=$ProgramFolder\\Editor.exe,$ProductName Editor"}},
        TextsSectionReference(),
    };
    return sections;
}

const std::vector<TNameReference>& SetupIniFolderVariables()
{
    static const std::vector<TNameReference> variables = {
        {"$ProgramFolder", "The destination the user chose."},
        {"$Documents", "The user's Documents folder."},
        {"$ApplicationData", "The user's Application Data (Roaming) folder."},
        {"$VstPluginFolder", "The VST 2 plug-in folder (VstPluginsPath of HKEY_LOCAL_MACHINE\\Software\\VST, for one user of HKEY_CURRENT_USER's); a line with it is left out when VST 2 is not chosen."},
        {"$Vst3PluginFolder", "Common Files\\VST3 (for one user: %LOCALAPPDATA%\\Programs\\Common\\VST3); DLLs in such a line are installed as .vst3. Left out without VST 3."},
        {"$ClapPluginFolder", "Common Files\\CLAP (for one user: %LOCALAPPDATA%\\Programs\\Common\\CLAP), where CLAP hosts look besides the folders in CLAP_PATH. Left out without CLAP (/FORMATS without clap)."},
        {"$Vst3ProgramFolder", "The destination, for VST 3 files kept with the product. Left out without VST 3."},
        {"$ContentFolder", "The folder of the product's content (sample and impulse-response libraries), which may be on another drive: [Setup] ContentFolder proposes it, the Destination page asks for it below the destination when a line with files goes there, /CONTENTDIR= chooses it silently, and the next version proposes it again. Setup checks its drive's free space, and the uninstaller removes what was installed there."},
        {"$DigiPluginFolder", "The RTAS plug-in folder. Left out without RTAS, and for one user."},
        {"$AaxPluginFolder", "The AAX plug-in folder. Left out without AAX, and for one user."},
        {"$PhotoshopPluginFolder", "The Photoshop plug-in folder. Left out without the Photoshop plug-in, and for one user."},
        {"$BundleItem", "In a bundle: the item's name (its line in BundleInfo.ini); a line with it runs once per chosen item."},
        {"$BundleItemProductName", "In a bundle: the item's product name."},
    };
    return variables;
}

const std::vector<TNameReference>& SetupIniTextVariables()
{
    static const std::vector<TNameReference> variables = {
        {"$ProductName", "ProductName."},
        {"$FullProductName", "The name with the version and ProductSuffix (\"Space Echo 1.20 Studio\")."},
        {"$ProductVersion", "DisplayVersion, else the version given to mksetup (\"1.20\")."},
        {"$BitSuffix", "\" (64-bit)\" for a 64-bit package, else nothing."},
        {"$InstallDescription", "InstallDescription."},
        {"$PersonalizeInfo", "PersonalizeInfo."},
        {"$BundleSelectHeading", "BundleSelectHeading."},
        {"$BundleSelectDescription", "BundleSelectDescription."},
    };
    return variables;
}

const std::vector<TNameReference>& ShortcutLocations()
{
    static const std::vector<TNameReference> locations = {
        {"StartMenu", "The Start Menu's Programs folder. The shortcuts page offers its box only when a StartMenu line exists."},
        {"Desktop", "The desktop. The shortcuts page offers its box only when a Desktop line exists."},
        {"ProgramFolder", "The destination itself."},
    };
    return locations;
}

const std::vector<TNameReference>& PercentPlaceholders()
{
    static const std::vector<TNameReference> placeholders = {
        {"%NAME", "In a [Components] destination or a setting: the folder NAME of [Folders]."},
        {"%d", "In DefaultFolder: the major version number. %.2d pads it with zeros (01); a width pads with blanks (%2d gives \" 1\", and so does %02d); %x is hexadecimal; %% is a percent sign."},
    };
    return placeholders;
}

std::string SetupIniReferenceText()
{
    std::string text =
        "# Setup.ini reference\n\n"
        "Generated by `mksetup reference` from the description the installer's checks use; do not edit by hand.\n\n"
        "`Setup.ini` is a text file (ANSI or UTF-8) of sections. A line starting with `;` is a comment. Key sections\n"
        "hold `KEY=VALUE` lines; list sections hold lines the installer reads in order. Names of sections and keys\n"
        "are read in any letter case; shortcut locations and `[ComponentsOptions]` folder names must match exactly.\n";
    for (const TIniSectionReference& section : SetupIniSections()) {
        text += "\n## [" + section.Name + "]\n\n" + section.Help + "\n\n";
        if (section.List) {
            text += "Lines: `" + section.LineForm + "`\n\n";
        } else {
            text += "| key | value | default | meaning |\n|---|---|---|---|\n";
            for (const TIniKeyReference& key : section.Keys)
                text += "| `" + key.Name + "` | " + key.Form + " | " + key.Default + " | " + key.Help + " |\n";
            text += "\n";
        }
        text += "```ini\n[" + section.Name + "]\n";
        for (const std::string& line : section.Example) text += line + "\n";
        text += "```\n";
    }
    auto names = [&](const char* heading, const std::vector<TNameReference>& list) {
        text += "\n## " + std::string(heading) + "\n\n| name | meaning |\n|---|---|\n";
        for (const TNameReference& item : list) text += "| `" + item.Name + "` | " + item.Help + " |\n";
    };
    names("Folder variables (in destinations, settings, shortcuts and [Complete])", SetupIniFolderVariables());
    names("Text variables (in texts and captions; a setting value takes folder variables only and keeps these as written)", SetupIniTextVariables());
    names("Shortcut locations", ShortcutLocations());
    names("Placeholders", PercentPlaceholders());
    return text;
}
