// Checks a product folder before anything is built from it: here the run of
// the checks, Setup.ini as text, and the report.
#include "ProductCheck.h"

#include <algorithm>
#include <ostream>

#include "DosDateTime.h"
#include "Exception.h"
#include "IniFile.h"
#include "Messages.h"
#include "NewProduct.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "ProductChecker.h"
#include "ProductFolder.h"
#include "SetupBundleItem.h"
#include "SetupIniReference.h"
#include "TextUtils.h"
#include "UninstallLog.h"

namespace ProductChecks {

std::vector<TDiagnostic> TChecker::Run()
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
    if (fs::exists(FFolder / UninstallerFileName))
        Add(FFolder / UninstallerFileName, 1, true,
            "is a name the package keeps for the uninstaller that build --sign signs; put the file into a "
            "component folder");
    if (!fs::is_regular_file(ini)) return Sorted();
    FIniPath = ini;
    if (!CheckEncoding()) return Sorted();
    FRaw = ReadLines(ini);
    FLines = ReadIniLines(FRaw);
    CheckHeadersAndLines();
    if (fs::is_regular_file(lic) && ReadText(lic).find(PlaceholderLicenceLine) != std::string::npos)
        Add(lic, 3, false, "is still the placeholder that mksetup new wrote; put your licence here");
    CheckPictures();
    CheckNames();
    LoadModel();
    CheckComponents();
    CheckMachines();
    CheckOptions();
    CheckShortcuts();
    CheckVariables();
    CheckFoldersRegistry();
    CheckRegistryValues();
    CheckFolderIcons();
    CheckInstalledFiles();
    CheckDisplayVersion();
    CheckDeployment();
    CheckInstallFor();
    CheckLanguages();
    CheckPackedFolders();
    CheckBitness();
    CheckDestinations();
    CheckPluginLayouts();
    CheckTexts();
    return Sorted();
}

void TChecker::Add(const fs::path& file, int line, bool error, const std::string& text)
{
    FFound.push_back({file.string(), line, error, text});
}

std::vector<TDiagnostic> TChecker::Sorted()
{
    std::stable_sort(FFound.begin(), FFound.end(), [](const TDiagnostic& a, const TDiagnostic& b) {
        return a.File != b.File ? a.File < b.File : a.Line < b.Line;
    });
    return FFound;
}

// The line of a key in the last section of that name (0 when absent).
int TChecker::LineOf(const std::string& section, const std::string& key) const
{
    int found = 0;
    for (const TIniLine& line : FLines)
        if (!line.IsSection && SameTextAscii(line.Section, section) && line.Text.find('=') != std::string::npos &&
            SameTextAscii(Trim(LineName(line.Text)), key))
            found = line.Number;
    return found;
}

int TChecker::SectionLine(const std::string& section) const
{
    int found = 0;
    for (const TIniLine& line : FLines)
        if (line.IsSection && SameTextAscii(line.Section, section)) found = line.Number;
    return found;
}

// Lines of the section that counts (the last of that name), with numbers.
std::vector<std::pair<int, std::string>> TChecker::SectionLines(const std::string& section) const
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

// UTF-16 without its byte-order mark is no text the installer reads: every name would be wrong.
bool TChecker::CheckEncoding()
{
    std::string text = ReadText(FIniPath);
    bool marked = text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0;
    bool unmarked = !marked && text.size() >= 4 && (text[1] == '\0' || text[0] == '\0');
    if (unmarked)
        Add(FIniPath, 1, true,
            "is saved as UTF-16 without a byte-order mark, which the installer cannot read; save it as UTF-8, "
            "or as UTF-16 with its mark");
    return !unmarked;
}

void TChecker::CheckHeadersAndLines()
{
    std::string section;
    for (size_t i = 0; i < FRaw.size(); ++i) {
        std::string line = Trim(FRaw[i]);
        if (line.empty() || line[0] == ';') continue;
        int number = int(i) + 1;
        if (line[0] == '[') {
            if (line.back() != ']') {
                Add(FIniPath, number, true, "\"" + line + "\" is a section header without its \"]\": the installer "
                                            "reads its lines into the section before");
                continue;
            }
            section = Trim(line.substr(1, line.size() - 2));
            continue;
        }
        bool list = std::any_of(ListSections.begin(), ListSections.end(),
                                [&](const std::string& s) { return SameTextAscii(s, section); });
        if (list && line.find('=') == std::string::npos)
            Add(FIniPath, number, false, FormatText("\"%s\" has no \"=\"; the installer passes it over in [%s]", {line, section}));
    }
}

void TChecker::LoadModel()
{
    FModel.SetPackageStamp(FVersion ? *FVersion : TProgramVersion(), PartsToDosDateTime({2024, 1, 1, 0, 0, 0}));
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
        if (FModel.Facts().IsBundle)
            Add(FFolder / "BundleInfo.ini", 1, true, "is missing; a bundle lists its products there");
    } catch (const ESetupError& e) {
        int line = SectionLine("Setup");
        if (FModel.Facts().RegistryRoot.empty()) Add(FIniPath, line, true, e.Message() + ": RegistryRoot is missing");
        if (FModel.Facts().DefaultFolder.empty()) Add(FIniPath, line, true, e.Message() + ": DefaultFolder is missing");
        if (FModel.Facts().IsBundle && FModel.Facts().BundleRegistryRoot.empty())
            Add(FIniPath, line, true, e.Message() + ": a bundle needs BundleRegistryRoot");
    } catch (const Exception& e) {
        // A bundle item's version: find the line that carries it.
        CheckBundleInfo(e.Message());
    }
    try {
        FormatDefaultFolder(FModel.Facts().DefaultFolder, FVersion ? FVersion->Major : 1);
    } catch (const Exception& e) {
        Add(FIniPath, LineOf("Setup", "DefaultFolder"), true, e.Message());
    }
    // The installer puts DefaultFolder below Program Files.
    const std::string& folder = FModel.Facts().DefaultFolder;
    for (size_t at = folder.find("%0"); at != std::string::npos; at = folder.find("%0", at + 1))
        if (at + 2 < folder.size() && std::isdigit(static_cast<unsigned char>(folder[at + 2]))) {
            std::string width = folder.substr(at + 2, folder.find_first_not_of("0123456789", at + 2) - at - 2);
            Add(FIniPath, LineOf("Setup", "DefaultFolder"), false,
                FormatText("\"%%0%sd\" pads the number with blanks, not zeros; write \"%%.%sd\" for a zero-padded one",
                           {width, width}));
        }
    if ((folder.size() >= 2 && folder[1] == ':') || folder.compare(0, 1, "\\") == 0 || folder.compare(0, 1, "/") == 0)
        Add(FIniPath, LineOf("Setup", "DefaultFolder"), true,
            "DefaultFolder \"" + folder + "\" is a full path; the installer puts it below Program Files, so write "
            "it without a drive or leading backslash (such as \"Maker\\Product %d\")");
    FModel.Choices.InstallFolder = "C:\\Program Files\\Product\\";
    // Folders of their own for the plug-in variables, so that a shortcut's target can be placed.
    FModel.Choices.Vst2Folder = "C:\\VST2\\";
    FModel.Choices.Vst3Folder = "C:\\VST3\\";
    FModel.Choices.DigiFolder = "C:\\RTAS\\";
    FModel.Choices.AaxFolder = "C:\\AAX\\";
    FModel.Choices.PhotoshopFolder = "C:\\Photoshop\\";
    TMachineFacts machine;
    machine.DocumentsFolder = "C:\\Documents\\";
    machine.AppDataFolder = "C:\\AppData\\";
    FModel.AssumeMachine(machine);
    if (Trim(FModel.Facts().ProductName).empty())
        Add(FIniPath, SectionLine("Setup"), true,
            "ProductName is missing; the wizard and the list of installed programs would show no name");
    if (FModel.Facts().Components.empty())
        Add(FIniPath, std::max(SectionLine("Components"), SectionLine("Setup")), true,
            "no [Components] line: the installer would install nothing");
}

}  // namespace ProductChecks

std::vector<TDiagnostic> CheckProduct(const std::string& folder, const std::optional<TProgramVersion>& version)
{
    return ProductChecks::TChecker(folder, version).Run();
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
