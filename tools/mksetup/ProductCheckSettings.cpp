// The checks of what Setup.ini asks of the installer: names, components,
// options, shortcuts, variables, registry lines, versions and whom for.
#include "ProductChecker.h"

#include <algorithm>

#include "DosDateTime.h"
#include "Exception.h"
#include "IniFile.h"
#include "Messages.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "ProductFolder.h"
#include "SetupBundleItem.h"
#include "Languages.h"
#include "Messages.h"
#include "SetupIniReference.h"
#include "TextUtils.h"
#include "UninstallLog.h"

namespace ProductChecks {

void TChecker::CheckNames()
{
    std::vector<std::string> sections = ListSections;
    for (const auto& [name, keys] : KnownKeys) sections.push_back(name);
    std::vector<std::string> messages;
#define SETUP_MESSAGE(id, name, text) messages.push_back(#name);
#include "Messages.def"
#undef SETUP_MESSAGE
    // [Texts.TAG]: the maker's texts in one of the languages, by message name.
    auto textsTag = [](const std::string& section) {
        return section.size() > 6 && SameTextAscii(section.substr(0, 6), "Texts.") ? section.substr(6) : std::string();
    };
    for (const TIniLine& line : FLines) {
        std::string tag = textsTag(line.Section);
        if (!tag.empty()) {
            if (line.IsSection && !FindLanguage(tag))
                Add(FIniPath, line.Number, true,
                    "\"[" + line.Section + "]\": \"" + tag + "\" is none of the languages " + KnownLanguageTags());
            if (line.IsSection || line.Text.find('=') == std::string::npos) continue;
            std::string name = Trim(LineName(line.Text));
            int id = MessageNamed(name);
            if (!id) {
                std::string nearest = Nearest(name, messages);
                Add(FIniPath, line.Number, false,
                    "\"" + name + "\" is no message; the installer passes it over" +
                        (nearest.empty() ? std::string() : "; did you mean \"" + nearest + "\"?"));
            } else if (!SamePlaceholders(LineValue(line.Text), LoadStoredMessage(id))) {
                Add(FIniPath, line.Number, true,
                    "the text of " + name + " has other %s placeholders than the program's: \"" +
                        ReplaceAll(LoadStoredMessage(id), "\r", "\\n") + "\"; the installer keeps its own");
            }
            continue;
        }
        if (line.IsSection) {
            bool known = std::any_of(sections.begin(), sections.end(),
                                     [&](const std::string& s) { return SameTextAscii(s, line.Section); });
            if (!known) {
                std::string nearest = Nearest(line.Section, sections);
                Add(FIniPath, line.Number, false,
                    "\"[" + line.Section + "]\" is no section the installer reads" +
                        (nearest.empty() ? "; the sections are " + Listed(sections)
                                         : "; did you mean \"[" + nearest + "]\"?"));
            }
            continue;
        }
        auto known = std::find_if(KnownKeys.begin(), KnownKeys.end(),
                                  [&](const auto& entry) { return SameTextAscii(entry.first, line.Section); });
        if (known == KnownKeys.end()) continue;
        std::string key = Trim(LineName(line.Text));
        if (line.Text.find('=') == std::string::npos) key = line.Text;
        bool isKnown = std::any_of(known->second.begin(), known->second.end(),
                                   [&](const std::string& k) { return SameTextAscii(k, key); });
        if (!isKnown) {
            std::string nearest = Nearest(key, known->second);
            Add(FIniPath, line.Number, false,
                "\"" + key + "\" is no key of [" + known->first + "]" +
                    (nearest.empty() ? "; its keys are " + Listed(known->second) : "; did you mean \"" + nearest + "\"?"));
        }
    }
}

void TChecker::CheckBundleInfo(const std::string& message)
{
    std::vector<std::string> lines = ReadLines(FFolder / "BundleInfo.ini");
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name = LineName(lines[i]);
        if (name.empty()) continue;
        std::string value = LineValue(lines[i]);
        std::string versionText = value.substr(0, value.find(','));
        try {
            TSetupBundleItem item("", FModel.Facts().PackageDate, name, versionText, name);
        } catch (const Exception& e) {
            Add(FFolder / "BundleInfo.ini", int(i) + 1, true, e.Message());
            return;
        }
    }
    Add(FFolder / "BundleInfo.ini", 1, true, message);
}

bool TChecker::PackageFolderExists(const std::string& name) const
{
    if (name.empty()) return false;
    for (const auto& entry : fs::directory_iterator(FFolder))
        if (entry.is_directory() && SameTextAscii(entry.path().filename().string(), name)) return true;
    return false;
}

void TChecker::CheckComponents()
{
    for (const auto& [number, line] : SectionLines("Components")) {
        TComponentLine component = ParseComponentLine(line, FModel.Facts().ComponentsOptions);
        const std::string& key = component.Key;
        std::vector<std::string> names;
        if (key.find("$BundleItem") != std::string::npos) {
            for (const TSetupBundleItem& item : FModel.Facts().BundleItems)
                names.push_back(FModel.ExpandVariables(key, &item));
        } else {
            names.push_back(FModel.ExpandVariables(key, nullptr));
        }
        // A line without its folder, or with an empty one, installs nothing:
        // the product would ship without that part.
        for (const std::string& name : names) {
            if (name.empty()) continue;
            if (!PackageFolderExists(name)) {
                Add(FIniPath, number, true,
                    "\"" + name + "\" names no folder of the product; add the folder or remove the line");
            } else if (fs::is_empty(FFolder / name)) {
                Add(FFolder / name, 1, true,
                    "is empty, so its [Components] line installs nothing; put its files here or remove the line");
            }
        }
        if (component.Vst3) {
            // An empty folder installs nothing yet (a new product's); files
            // without a plug-in among them are the mistake.
            bool dll = false, files = false;
            for (const std::string& name : names) {
                fs::path folder = FFolder / name;
                if (!fs::is_directory(folder)) continue;
                for (const auto& entry : fs::recursive_directory_iterator(folder)) {
                    std::string extension = entry.path().extension().string();
                    if (SameTextAscii(extension, ".dll") || SameTextAscii(extension, ".vst3")) dll = true;
                    files = files || entry.is_regular_file();
                }
            }
            if (!dll && files)
                Add(FIniPath, number, false,
                    "a VST 3 line whose folder holds no DLL and no .vst3 file or bundle: nothing is installed as VST 3");
        }
    }
}

void TChecker::CheckMachines()
{
    for (const auto& [number, text] : SectionLines("Components")) {
        TComponentLine line = ParseComponentLine(text, {});
        if (!line.Machine.empty() && !IsComponentMachine(line.Machine))
            Add(FIniPath, number, true,
                "\"" + line.Machine + "\" is no machine; the machines are x64, arm64, arm64ec and arm64x");
    }
}

void TChecker::CheckOptions()
{
    std::set<std::string> keys;
    for (const std::string& line : FModel.Facts().Components) keys.insert(LineName(line));
    for (const auto& [number, line] : SectionLines("ComponentsOptions")) {
        if (LineValue(line) != NoOverwriteOption)
            Add(FIniPath, number, false,
                "\"" + LineValue(line) + "\" is no option; the only one is \"" + NoOverwriteOption + "\"");
        if (!keys.count(LineName(line)))
            Add(FIniPath, number, false,
                "\"" + LineName(line) + "\" matches no [Components] key exactly (the match is case-sensitive)");
    }
}

// A shortcut into a folder the product installs to must point at a file it installs.
void TChecker::CheckShortcutTargets()
{
    std::set<std::string> files;
    std::vector<std::string> renaming;
    CollectInstalledFiles(files, renaming);
    std::set<std::string> folders;
    for (const std::string& file : files) folders.insert(file.substr(0, file.rfind('\\') + 1));
    for (const auto& [number, line] : SectionLines("Shortcuts")) {
        std::string written = Trim(LineValue(line).substr(0, LineValue(line).find(',')));
        std::string target = FModel.ExpandVariables(written, nullptr);
        if (target.empty() || target.find('$') != std::string::npos) continue;
        for (size_t at; (at = target.find("\\\\")) != std::string::npos;) target.erase(at, 1);
        target = Upper(target);
        if (files.count(target)) continue;
        auto below = [&](const std::string& folder) { return target.compare(0, folder.size(), folder) == 0; };
        if (std::any_of(renaming.begin(), renaming.end(), below)) continue;
        if (std::any_of(folders.begin(), folders.end(), below))
            Add(FIniPath, number, true,
                "the shortcut's target \"" + written + "\" is no file that a [Components] line installs; "
                "the shortcut would point at nothing");
    }
}

void TChecker::CheckShortcuts()
{
    CheckShortcutTargets();
    for (const auto& [number, line] : SectionLines("Shortcuts")) {
        std::string location = LineName(line);
        std::string value = LineValue(line);
        size_t comma = value.find(',');
        if (comma == std::string::npos || Trim(value.substr(comma + 1, value.find(',', comma + 1) - comma - 1)).empty())
            Add(FIniPath, number, false, "a shortcut without a caption (\"" + location + "=TARGET,CAPTION\")");
        const std::vector<std::string> locations = LocationNames();
        if (std::find(locations.begin(), locations.end(), location) != locations.end()) continue;
        for (const std::string& known : locations)
            if (SameTextAscii(location, known)) {
                Add(FIniPath, number, false,
                    FormatText("\"%s\" is skipped by the installation; write \"%s\"", {location, known}));
                location.clear();
            }
        if (!location.empty()) {
            std::string nearest = Nearest(location, locations);
            Add(FIniPath, number, false,
                "\"" + location + "\" is no shortcut location; " +
                    (nearest.empty() ? "the locations are " + Listed(locations)
                                     : "did you mean \"" + nearest + "\"?"));
        }
    }
}

void TChecker::CheckVariables()
{
    for (const TIniLine& line : FLines) {
        if (line.IsSection) continue;
        const std::string& text = line.Text;
        for (size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + 1)) {
            size_t end = at + 1;
            while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
            std::string name = text.substr(at, end - at);
            // "$1F" in a value is no variable, and neither is a lone "$".
            if (name.size() < 2 || std::isdigit(static_cast<unsigned char>(name[1]))) continue;
            if (KnownVariables.count(name)) continue;
            // The installer never expands it: a path through it would be written where it ends up.
            std::string nearest;
            for (const std::string& variable : KnownVariables)
                if (SameTextAscii(variable, name)) nearest = variable;
            if (nearest.empty())
                nearest = Nearest(name, std::vector<std::string>(KnownVariables.begin(), KnownVariables.end()));
            Add(FIniPath, line.Number, true,
                "\"" + name + "\" is no variable the installer knows" +
                    (nearest.empty() ? std::string() : "; did you mean \"" + nearest + "\"?"));
        }
    }
}

void TChecker::CheckFoldersRegistry()
{
    for (const auto& numbered : SectionLines("FoldersRegistry")) {
        std::string name = LineName(numbered.second);
        bool paired = std::any_of(FModel.Facts().Folders.begin(), FModel.Facts().Folders.end(),
                                  [&](const std::string& folder) { return SameTextAscii(LineName(folder), name); });
        if (!paired) Add(FIniPath, numbered.first, false, "\"" + name + "\" has no [Folders] entry");
    }
}

void TChecker::CheckRegistryValues()
{
    for (const char* section : {"RegistrySettings", "GlobalRegistrySettings"})
        for (const auto& [number, line] : SectionLines(section)) {
            std::string value = LineValue(line);
            int32_t ignored;
            if (value.size() > 1 && value[0] == '#' && !TryStrToInt(value.substr(1), ignored, true))
                Add(FIniPath, number, false, "\"" + value + "\" is written as text, not as a number");
        }
}

void TChecker::CheckFolderIcons()
{
    for (const auto& entry : fs::recursive_directory_iterator(FFolder)) {
        if (!entry.is_regular_file() || !SameTextAscii(entry.path().filename().string(), "desktop.ini")) continue;
        bool icon = false;
        for (const auto& sibling : fs::directory_iterator(entry.path().parent_path()))
            if (SameTextAscii(sibling.path().filename().string(), "PlugIn.ico")) icon = true;
        if (!icon)
            Add(entry.path(), 1, false,
                "has no PlugIn.ico beside it; the folder shows no icon, and it is left out of the package");
    }
}

// The version users see beside the record's: the record decides the
// folder's %d, the registry's version key and what counts as newer.
void TChecker::CheckDisplayVersion()
{
    const std::string& shown = FModel.Facts().DisplayVersion;
    if (!FVersion || shown.empty()) return;
    int32_t major = StrToIntDef(shown.substr(0, shown.find_first_not_of("0123456789")), -1, false);
    if (major != FVersion->Major)
        Add(FIniPath, LineOf("Setup", "DisplayVersion"), false,
            FormatText("DisplayVersion \"%s\" is shown for the version record %s, whose major number %s decides the "
                       "folder, the registry key and upgrades; give a record with the same major number",
                       {shown, FVersion->AsText(), std::to_string(FVersion->Major)}));
}

// What deployment tools read. winget and Intune's detection rules compare the
// entry's DisplayVersion, each dotted number as a whole: "1.21" is newer than
// "1.3" to them, older here (the record's digits are minor 2, release 1).
// The entry's Publisher names the maker in the list and in a manifest.
void TChecker::CheckDeployment()
{
    const TSetupFacts& facts = FModel.Facts();
    if (FVersion && facts.DisplayVersion.empty() && FVersion->Release != 0)
        Add(FIniPath, 0, false,
            FormatText("the version %s reads as %s.%s.%s here and as %s to winget and other deployment tools, which "
                       "compare each dotted number whole (1.3 comes before 1.21 to them); give DisplayVersion=%s.%s.%s",
                       {FVersion->AsText(), std::to_string(FVersion->Major), std::to_string(FVersion->Minor),
                        std::to_string(FVersion->Release), FVersion->AsText(), std::to_string(FVersion->Major),
                        std::to_string(FVersion->Minor), std::to_string(FVersion->Release)}));
    if (Trim(facts.Publisher).empty())
        Add(FIniPath, 0, false,
            "no Publisher in [Setup]: the list of installed programs and a winget manifest name the maker by "
            "RegistryRoot's level below Software");
}

// Whom for: a value the installer does not know would install for everyone
// unasked; a product for one user alone cannot bring the formats whose
// hosts look only in the folders for everyone.
void TChecker::CheckInstallFor()
{
    int line = LineOf("Setup", "InstallFor");
    if (line == 0) return;
    std::string text;
    for (const TIniLine& each : FLines)
        if (each.Number == line) text = Trim(LineValue(each.Text));
    TInstallFor scope = TInstallFor::AllUsers;
    if (!ParseInstallFor(text, scope)) {
        Add(FIniPath, line, true, "InstallFor \"" + text + "\" is none of AllUsers, CurrentUser and Either");
        return;
    }
    std::vector<std::string> everyoneOnly;
    for (const char* variable : {"$AaxPluginFolder", "$DigiPluginFolder", "$PhotoshopPluginFolder"})
        for (const TComponentLine& component : FModel.Facts().ComponentLines)
            if (component.Destination.find(variable) != std::string::npos &&
                std::find(everyoneOnly.begin(), everyoneOnly.end(), variable) == everyoneOnly.end())
                everyoneOnly.push_back(variable);
    if (scope == TInstallFor::CurrentUser && !everyoneOnly.empty())
        Add(FIniPath, line, false,
            "InstallFor=CurrentUser leaves out every line to " + everyoneOnly.front() +
                ": its hosts look only in the folders for everyone; use Either or AllUsers to ship it");
}

void TChecker::CheckInstalledFiles()
{
    if (!FVersion || FModel.Facts().InstalledFiles.empty()) return;
    std::string major = std::to_string(FVersion->Major);
    bool matched = std::any_of(FModel.Facts().InstalledFiles.begin(), FModel.Facts().InstalledFiles.end(),
                               [&](const std::string& line) { return LineName(line) == major; });
    if (!matched)
        Add(FIniPath, SectionLine("InstalledFiles"), false,
            "no line for major version " + major + ": an installation of this version is never found again");
}

}  // namespace ProductChecks
