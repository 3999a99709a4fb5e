#include "ProductCheck.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "DosDateTime.h"
#include "Exception.h"
#include "IniFile.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "ProductFolder.h"
#include "SetupBundleItem.h"
#include "SetupModel.h"
#include "TextUtils.h"
#include "UninstallLog.h"

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::vector<std::string>> KnownKeys = {
    {"Setup", {"Is64Bit", "IsBundle", "ProductName", "ProductSuffix", "RegistryRoot", "InstallDescription",
               "WelcomeWin64", "IgnoreMinorVersion", "DefaultFolder", "PersonalizeOwner", "PersonalizeInfo",
               "BundleSelectHeading", "BundleSelectDescription", "BundleRegistryRoot", "BundleItemName", "Publisher"}},
    {"Pages", {"VstPluginFolder", "DigiPluginFolder", "PhotoshopPluginFolder", "Personalization"}},
    {"Complete", {"Message", "Readme", "Product"}},
};
const std::vector<std::string> ListSections = {"InstalledFiles", "Folders", "FoldersRegistry", "Components",
                                               "ComponentsOptions", "CallLibraries", "RegistrySettings",
                                               "GlobalRegistrySettings", "Shortcuts"};
const std::set<std::string> KnownVariables = {
    "$Documents", "$ProgramFolder", "$VstPluginFolder", "$Vst3ProgramFolder", "$Vst3PluginFolder",
    "$DigiPluginFolder", "$AaxPluginFolder", "$PhotoshopPluginFolder", "$ApplicationData",
    "$BundleItemProductName", "$BundleItem", "$ProductName", "$FullProductName", "$ProductVersion",
    "$PersonalizeInfo", "$InstallDescription", "$BundleSelectHeading", "$BundleSelectDescription", "$BitSuffix"};

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return text;
}

size_t Distance(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (Upper(a.substr(i - 1, 1)) == Upper(b.substr(j - 1, 1)) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string Nearest(const std::string& name, const std::vector<std::string>& candidates)
{
    std::string best;
    size_t bestDistance = 3;  // suggest only what is close
    for (const std::string& candidate : candidates) {
        size_t d = Distance(name, candidate);
        if (d < bestDistance) {
            bestDistance = d;
            best = candidate;
        }
    }
    return best;
}

// Setup.ini read as the installer reads it, but keeping line numbers.
struct TIniLine {
    int Number;
    std::string Section;  // as written
    std::string Text;     // trimmed
    bool IsSection;
};

std::vector<TIniLine> ReadIniLines(const std::vector<std::string>& raw)
{
    std::vector<TIniLine> lines;
    std::string section;
    bool inSection = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        std::string line = Trim(raw[i]);
        if (line.empty() || line[0] == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = Trim(line.substr(1, line.size() - 2));
            inSection = true;
            lines.push_back({int(i) + 1, section, line, true});
        } else if (inSection) {
            lines.push_back({int(i) + 1, section, line, false});
        }
    }
    return lines;
}

std::vector<std::string> ReadLines(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    return SplitLines(text);
}

class TChecker {
public:
    TChecker(const fs::path& folder, const std::optional<TProgramVersion>& version) : FFolder(folder), FVersion(version) {}

    std::vector<TDiagnostic> Run()
    {
        fs::path ini = FFolder / "Setup.ini", lic = FFolder / "Setup.lic";
        if (!fs::is_directory(FFolder)) {
            Add(FFolder, 1, true, "is not a product folder (no such folder)");
            return FFound;
        }
        for (const fs::path& required : {ini, lic})
            if (!fs::is_regular_file(required)) Add(required, 1, true, "is missing; the installer cannot run without it");
        if (!fs::is_regular_file(FFolder / "Setup.jpg"))
            Add(FFolder / "Setup.jpg", 1, true, "is missing; the wizard's side picture is required");
        CheckEntryNames();
        if (!fs::is_regular_file(ini)) return Sorted();
        FIniPath = ini;
        FRaw = ReadLines(ini);
        FLines = ReadIniLines(FRaw);
        CheckNames();
        LoadModel();
        CheckComponents();
        CheckOptions();
        CheckShortcuts();
        CheckVariables();
        CheckFoldersRegistry();
        CheckRegistryValues();
        CheckFolderIcons();
        CheckInstalledFiles();
        return Sorted();
    }

private:
    void Add(const fs::path& file, int line, bool error, const std::string& text)
    {
        FFound.push_back({file.string(), line, error, text});
    }

    std::vector<TDiagnostic> Sorted()
    {
        std::stable_sort(FFound.begin(), FFound.end(), [](const TDiagnostic& a, const TDiagnostic& b) {
            return a.File != b.File ? a.File < b.File : a.Line < b.Line;
        });
        return FFound;
    }

    // The line of a key in the last section of that name (0 when absent).
    int LineOf(const std::string& section, const std::string& key) const
    {
        int found = 0;
        for (const TIniLine& line : FLines)
            if (!line.IsSection && SameTextAscii(line.Section, section) && line.Text.find('=') != std::string::npos &&
                SameTextAscii(Trim(LineName(line.Text)), key))
                found = line.Number;
        return found;
    }

    int SectionLine(const std::string& section) const
    {
        int found = 0;
        for (const TIniLine& line : FLines)
            if (line.IsSection && SameTextAscii(line.Section, section)) found = line.Number;
        return found;
    }

    // Lines of the section that counts (the last of that name), with numbers.
    std::vector<std::pair<int, std::string>> SectionLines(const std::string& section) const
    {
        int start = SectionLine(section);
        std::vector<std::pair<int, std::string>> result;
        for (const TIniLine& line : FLines)
            if (!line.IsSection && line.Number > start && SameTextAscii(line.Section, section)) {
                std::string text = line.Text;
                size_t equals = text.find('=');
                if (equals != std::string::npos) text = Trim(text.substr(0, equals)) + "=" + Trim(text.substr(equals + 1));
                result.push_back({line.Number, text});
            }
        // Only the lines after the last header of that name count.
        return result;
    }

    void CheckEntryNames()
    {
        try {
            ScanProductFolder(FFolder.string(), 0);
        } catch (const Exception& e) {
            const std::string& message = e.Message();
            size_t colon = message.find(": ");
            if (colon != std::string::npos && message.find("is missing") == std::string::npos)
                Add(message.substr(0, colon), 1, true, message.substr(colon + 2));
        }
    }

    void CheckNames()
    {
        std::vector<std::string> sections = ListSections;
        for (const auto& [name, keys] : KnownKeys) sections.push_back(name);
        for (const TIniLine& line : FLines) {
            if (line.IsSection) {
                bool known = std::any_of(sections.begin(), sections.end(),
                                         [&](const std::string& s) { return SameTextAscii(s, line.Section); });
                if (!known) {
                    std::string nearest = Nearest(line.Section, sections);
                    Add(FIniPath, line.Number, false,
                        "\"[" + line.Section + "]\" is no section the installer reads" +
                            (nearest.empty() ? std::string() : "; did you mean \"[" + nearest + "]\"?"));
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
                        (nearest.empty() ? std::string() : "; did you mean \"" + nearest + "\"?"));
            }
        }
    }

    void LoadModel()
    {
        FModel.PackageDate = PartsToDosDateTime({2024, 1, 1, 0, 0, 0});
        if (FVersion) FModel.PackageVersion = *FVersion;
        try {
            FModel.LoadConfiguration(
                [&](const std::string& name) {
                    fs::path path = FFolder / name;
                    // A missing licence is reported already; the rest is still checked.
                    if (name == "Setup.lic" && !fs::is_regular_file(path)) return std::vector<std::string>();
                    if (!fs::is_regular_file(path)) throw EFOpenError(name + " is missing");
                    return ReadLines(path);
                },
                true);
        } catch (const EFOpenError&) {
            if (FModel.IsBundle)
                Add(FFolder / "BundleInfo.ini", 1, true, "is missing; a bundle lists its products there");
        } catch (const ESetupError& e) {
            int line = SectionLine("Setup");
            if (FModel.RegistryRoot.empty()) Add(FIniPath, line, true, e.Message() + ": RegistryRoot is missing");
            if (FModel.DefaultFolder.empty()) Add(FIniPath, line, true, e.Message() + ": DefaultFolder is missing");
            if (FModel.IsBundle && FModel.BundleRegistryRoot.empty())
                Add(FIniPath, line, true, e.Message() + ": a bundle needs BundleRegistryRoot");
        } catch (const Exception& e) {
            // A bundle item's version: find the line that carries it.
            CheckBundleInfo(e.Message());
        }
        try {
            FormatDefaultFolder(FModel.DefaultFolder, FVersion ? FVersion->Major : 1);
        } catch (const Exception& e) {
            Add(FIniPath, LineOf("Setup", "DefaultFolder"), true, e.Message());
        }
        FModel.InstallFolder = "C:\\Program Files\\Product\\";
    }

    void CheckBundleInfo(const std::string& message)
    {
        std::vector<std::string> lines = ReadLines(FFolder / "BundleInfo.ini");
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string name = LineName(lines[i]);
            if (name.empty()) continue;
            std::string value = LineValue(lines[i]);
            std::string versionText = value.substr(0, value.find(','));
            try {
                TSetupBundleItem item("", FModel.PackageDate, name, versionText, name);
            } catch (const Exception& e) {
                Add(FFolder / "BundleInfo.ini", int(i) + 1, true, e.Message());
                return;
            }
        }
        Add(FFolder / "BundleInfo.ini", 1, true, message);
    }

    bool PackageFolderExists(const std::string& name) const
    {
        if (name.empty()) return false;
        for (const auto& entry : fs::directory_iterator(FFolder))
            if (entry.is_directory() && SameTextAscii(entry.path().filename().string(), name)) return true;
        return false;
    }

    void CheckComponents()
    {
        for (const auto& [number, line] : SectionLines("Components")) {
            std::string key = LineName(line);
            std::string destination = LineValue(line).substr(0, LineValue(line).find(','));
            std::vector<std::string> names;
            if (key.find("$BundleItem") != std::string::npos) {
                for (const TSetupBundleItem& item : FModel.BundleItems) names.push_back(FModel.ExpandVariables(key, &item));
            } else {
                names.push_back(FModel.ExpandVariables(key, nullptr));
            }
            for (const std::string& name : names)
                if (!name.empty() && !PackageFolderExists(name))
                    Add(FIniPath, number, false, "\"" + name + "\" names no folder of the product");
            if (TSetupModelVst3(destination)) {
                bool dll = false;
                for (const std::string& name : names) {
                    fs::path folder = FFolder / name;
                    if (!fs::is_directory(folder)) continue;
                    for (const auto& entry : fs::recursive_directory_iterator(folder))
                        if (SameTextAscii(entry.path().extension().string(), ".dll")) dll = true;
                }
                if (!dll && !names.empty())
                    Add(FIniPath, number, false, "a VST 3 line whose folder holds no DLL: nothing is renamed to .vst3");
            }
        }
    }

    static bool TSetupModelVst3(const std::string& destination) { return destination.find("Vst3") != std::string::npos; }

    void CheckOptions()
    {
        std::set<std::string> keys;
        for (const std::string& line : FModel.Components) keys.insert(LineName(line));
        for (const auto& [number, line] : SectionLines("ComponentsOptions")) {
            if (LineValue(line) != "NoOverwrite")
                Add(FIniPath, number, false, "\"" + LineValue(line) + "\" is no option; the only one is \"NoOverwrite\"");
            if (!keys.count(LineName(line)))
                Add(FIniPath, number, false,
                    "\"" + LineName(line) + "\" matches no [Components] key exactly (the match is case-sensitive)");
        }
    }

    void CheckShortcuts()
    {
        for (const auto& [number, line] : SectionLines("Shortcuts")) {
            std::string location = LineName(line);
            if (location == "StartMenu" || location == "Desktop" || location == "ProgramFolder") continue;
            for (const char* known : {"StartMenu", "Desktop", "ProgramFolder"})
                if (SameTextAscii(location, known)) {
                    Add(FIniPath, number, false,
                        "\"" + location + "\" is skipped by the installation; write \"" + known + "\"");
                    location.clear();
                }
            if (!location.empty()) Add(FIniPath, number, false, "\"" + location + "\" is no shortcut location");
        }
    }

    void CheckVariables()
    {
        for (const TIniLine& line : FLines) {
            if (line.IsSection) continue;
            const std::string& text = line.Text;
            for (size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + 1)) {
                size_t end = at + 1;
                while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
                std::string name = text.substr(at, end - at);
                if (name.size() < 2) continue;
                bool known = std::any_of(KnownVariables.begin(), KnownVariables.end(),
                                         [&](const std::string& v) { return name.compare(0, v.size(), v) == 0 && name.size() == v.size(); });
                if (!known) Add(FIniPath, line.Number, false, "\"" + name + "\" is no variable the installer knows");
            }
        }
    }

    void CheckFoldersRegistry()
    {
        for (const auto& numbered : SectionLines("FoldersRegistry")) {
            std::string name = LineName(numbered.second);
            bool paired = std::any_of(FModel.Folders.begin(), FModel.Folders.end(),
                                      [&](const std::string& folder) { return SameTextAscii(LineName(folder), name); });
            if (!paired) Add(FIniPath, numbered.first, false, "\"" + name + "\" has no [Folders] entry");
        }
    }

    void CheckRegistryValues()
    {
        for (const char* section : {"RegistrySettings", "GlobalRegistrySettings"})
            for (const auto& [number, line] : SectionLines(section)) {
                std::string value = LineValue(line);
                int32_t ignored;
                if (value.size() > 1 && value[0] == '#' && !TryStrToInt(value.substr(1), ignored, true))
                    Add(FIniPath, number, false, "\"" + value + "\" is written as text, not as a number");
            }
    }

    void CheckFolderIcons()
    {
        for (const auto& entry : fs::recursive_directory_iterator(FFolder)) {
            if (!entry.is_regular_file() || !SameTextAscii(entry.path().filename().string(), "desktop.ini")) continue;
            bool icon = false;
            for (const auto& sibling : fs::directory_iterator(entry.path().parent_path()))
                if (SameTextAscii(sibling.path().filename().string(), "PlugIn.ico")) icon = true;
            if (!icon) Add(entry.path(), 1, false, "has no PlugIn.ico beside it; the folder shows no icon");
        }
    }

    void CheckInstalledFiles()
    {
        if (!FVersion || FModel.InstalledFiles.empty()) return;
        std::string major = std::to_string(FVersion->Major);
        bool matched = std::any_of(FModel.InstalledFiles.begin(), FModel.InstalledFiles.end(),
                                   [&](const std::string& line) { return LineName(line) == major; });
        if (!matched)
            Add(FIniPath, SectionLine("InstalledFiles"), false,
                "no line for major version " + major + ": an installation of this version is never found again");
    }

    fs::path FFolder, FIniPath;
    std::optional<TProgramVersion> FVersion;
    std::vector<std::string> FRaw;
    std::vector<TIniLine> FLines;
    TSetupModel FModel;
    std::vector<TDiagnostic> FFound;
};

}  // namespace

std::vector<TDiagnostic> CheckProduct(const std::string& folder, const std::optional<TProgramVersion>& version)
{
    return TChecker(folder, version).Run();
}

int ReportDiagnostics(const std::vector<TDiagnostic>& diagnostics, bool warningsAreErrors, std::ostream& out)
{
    int errors = 0, warnings = 0;
    for (const TDiagnostic& d : diagnostics) {
        bool error = d.Error || warningsAreErrors;
        out << d.File << ":" << d.Line << ": " << (error ? "error" : "warning") << ": " << d.Text << "\n";
        (error ? errors : warnings)++;
    }
    out << errors << (errors == 1 ? " error, " : " errors, ") << warnings << (warnings == 1 ? " warning" : " warnings")
        << "\n";
    return errors;
}
