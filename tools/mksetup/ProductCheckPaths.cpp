// Where files land on the customer's machine.
#include <algorithm>
#include <map>

#include "Exception.h"
#include "FolderRule.h"
#include "Messages.h"
#include "PathUtils.h"
#include "ProductChecker.h"
#include "ProductFolder.h"
#include "TextUtils.h"

namespace ProductChecks {

namespace {

// Windows' longest path (MAX_PATH less its closing null), and how near to it
// a path may come before a customer's deeper choice of folder breaks it.
constexpr size_t PathLimit = 259;
constexpr size_t PathMargin = 20;
// Paths below a user's profile are judged for the longest name Windows gives a user.
const std::string LongestUser = "C:\\Users\\" + std::string(20, 'U');

struct TPlacedFile {
    std::string Source;       // below the product folder, with "/"
    std::string Destination;  // the installed path, renamed as the installer renames plug-ins
};

// The file name the installer writes a package file under: a line's DLL suffix, and ".vst3" on a VST 3 line.
std::string InstalledName(const std::string& name, const TComponentLine& line)
{
    if (!SameTextAscii(ExtractFileExt(name), ".dll")) return name;
    std::string renamed = ChangeFileExt(name, "") + line.DllSuffix + ".dll";
    return line.Vst3 ? ChangeFileExt(renamed, ".vst3") : renamed;
}

// Every file the lines install, each with where it lands.
std::vector<TPlacedFile> PlacedFiles(const TSetupModel& model, const std::vector<TComponentLine>& lines,
                                     const fs::path& product)
{
    std::vector<TPlacedFile> placed;
    for (const TComponentLine& line : lines) {
        std::vector<const TSetupBundleItem*> items{nullptr};
        if (line.Key.find("$BundleItem") != std::string::npos ||
            line.Destination.find("$BundleItem") != std::string::npos) {
            items.clear();
            for (const TSetupBundleItem& item : model.Facts().BundleItems) items.push_back(&item);
        }
        for (const TSetupBundleItem* item : items) {
            std::string key = model.ExpandVariables(line.Key, item);
            std::string destination = ExcludeDelimiter(model.ExpandVariables(line.Destination, item));
            std::error_code error;
            if (key.empty() || destination.empty() || !fs::is_directory(product / key, error)) continue;
            for (fs::recursive_directory_iterator entry(product / key, error), end; !error && entry != end;
                 entry.increment(error)) {
                bool folder = entry->is_directory(error) && !entry->is_symlink(error);
                if (!JunkKind(entry->path().string(), folder).empty()) {
                    if (folder) entry.disable_recursion_pending();
                    continue;
                }
                if (folder || entry->is_symlink(error)) continue;
                std::string relative = entry->path().lexically_relative(product / key).generic_string();
                std::string path = destination;
                path += "\\";
                path += relative;
                std::replace(path.begin(), path.end(), '/', '\\');
                placed.push_back({entry->path().lexically_relative(product).generic_string(),
                                  ExtractFilePath(path) + InstalledName(ExtractFileName(path), line)});
            }
        }
    }
    return placed;
}

}  // namespace

void TChecker::CheckDestinations()
{
    const TSetupFacts& facts = FModel.Facts();
    // Two files that land on one (Windows folds letter case), on any machine the package installs on.
    std::vector<TMachine> machines = {TMachine::X86};
    if (facts.Is64Bit) machines = {TMachine::X64, TMachine::Arm64};
    std::set<std::string> reported, clashing;
    for (TMachine machine : machines) {
        std::map<std::string, std::vector<const TPlacedFile*>> landing;
        std::vector<TPlacedFile> placed = PlacedFiles(FModel, ComponentLinesFor(facts.ComponentLines, machine), FFolder);
        for (const TPlacedFile& file : placed) landing[Upper(file.Destination)].push_back(&file);
        for (auto& [destination, files] : landing) {
            if (files.size() < 2 || !reported.insert(destination).second) continue;
            std::sort(files.begin(), files.end(),
                      [](const TPlacedFile* a, const TPlacedFile* b) { return a->Source < b->Source; });
            std::string text = "lands on the same file as";
            for (size_t i = 1; i < files.size(); ++i) {
                text += i > 1 ? ", \"" : " \"";
                text += files[i]->Source + "\"";
            }
            text += ": \"" + files.front()->Destination + "\" on the customer's machine; one would silently "
                    "replace the other";
            Add(FFolder / files.front()->Source, 1, true, text);
            for (const TPlacedFile* file : files) clashing.insert(Upper(file->Source));
        }
    }
    // Names in one folder that only letter case tells apart, installed or not: Windows holds one of them.
    auto caseClashes = [&](const fs::path& folder) {
        std::map<std::string, std::vector<std::string>> names;
        std::error_code error;
        for (fs::directory_iterator child(folder, error), none; !error && child != none; child.increment(error))
            names[Upper(child->path().filename().string())].push_back(child->path().filename().string());
        for (auto& [folded, spellings] : names) {
            if (spellings.size() < 2) continue;
            std::sort(spellings.begin(), spellings.end());
            std::string source = (folder / spellings[0]).lexically_relative(FFolder).generic_string();
            if (clashing.count(Upper(source))) continue;
            Add(folder / spellings[1], 1, true,
                "differs from \"" + spellings[0] + "\" only in letter case; Windows cannot hold both in one folder");
        }
    };
    caseClashes(FFolder);
    std::error_code error;
    for (fs::recursive_directory_iterator entry(FFolder, error), end; !error && entry != end; entry.increment(error)) {
        if (!entry->is_directory(error) || entry->is_symlink(error)) continue;
        if (!JunkKind(entry->path().string(), true).empty())
            entry.disable_recursion_pending();
        else
            caseClashes(entry->path());
    }

    // Paths Windows cannot hold, under the default destination and, for a
    // product a user may install alone, under that user's.
    struct TScopeFolders {
        bool OneUser;
        std::string Programs, Vst3, Clap;
    };
    std::string programFiles = facts.Is64Bit ? "C:\\Program Files" : "C:\\Program Files (x86)";
    std::string local = LongestUser + "\\AppData\\Local\\Programs";
    std::vector<TScopeFolders> scopes;
    if (facts.InstallFor != TInstallFor::CurrentUser)
        scopes.push_back({false, programFiles, programFiles + "\\Common Files\\VST3",
                          programFiles + "\\Common Files\\CLAP"});
    if (facts.InstallFor != TInstallFor::AllUsers)
        scopes.push_back({true, local, local + "\\Common\\VST3", local + "\\Common\\CLAP"});
    std::string defaultFolder;
    try {
        defaultFolder = FormatDefaultFolder(facts.DefaultFolder, FVersion ? FVersion->Major : 1);
    } catch (const Exception&) {
        return;  // reported already
    }
    TSetupChoices saved = FModel.Choices;
    std::set<std::string> judged;
    for (const TScopeFolders& scope : scopes) {
        FModel.Choices.ForCurrentUser = scope.OneUser;
        FModel.Choices.InstallFolder = scope.Programs + "\\" + defaultFolder + "\\";
        FModel.Choices.ContentFolderChosen = false;
        FModel.Choices.Vst2Folder = programFiles + "\\Steinberg\\VstPlugins\\";
        FModel.Choices.Vst3Folder = scope.Vst3 + "\\";
        FModel.Choices.ClapFolder = scope.Clap + "\\";
        FModel.Choices.DigiFolder = programFiles + "\\Common Files\\Digidesign\\DAE\\Plug-Ins\\";
        FModel.Choices.AaxFolder = programFiles + "\\Common Files\\Avid\\Audio\\Plug-Ins\\";
        FModel.Choices.PhotoshopFolder = "C:\\Program Files\\Adobe\\Adobe Photoshop 2025\\Plug-ins\\";
        TMachineFacts machine;
        machine.DocumentsFolder = LongestUser + "\\Documents\\";
        machine.AppDataFolder = LongestUser + "\\AppData\\Roaming\\";
        FModel.AssumeMachine(machine);
        for (const TPlacedFile& file : PlacedFiles(FModel, facts.ComponentLines, FFolder)) {
            size_t length = Utf16Length(file.Destination);
            if (length + PathMargin <= PathLimit || !judged.insert(file.Source).second) continue;
            std::string where = scope.OneUser ? "for one user" : "for everyone";
            if (length > PathLimit)
                Add(FFolder / file.Source, 1, true,
                    FormatText("is installed %s as \"%s\", %s characters; Windows allows %s: shorten its folders or "
                               "its name",
                               {where, file.Destination, std::to_string(length), std::to_string(PathLimit)}));
            else
                Add(FFolder / file.Source, 1, false,
                    FormatText("is installed %s as \"%s\", %s characters of the %s Windows allows: a customer who "
                               "chooses a deeper folder cannot install it",
                               {where, file.Destination, std::to_string(length), std::to_string(PathLimit)}));
        }
    }
    FModel.Choices = saved;
    TMachineFacts placeholder;
    placeholder.DocumentsFolder = "C:\\Documents\\";
    placeholder.AppDataFolder = "C:\\AppData\\";
    FModel.AssumeMachine(placeholder);
}

}  // namespace ProductChecks
