// The checks of the files a product folder holds: the pictures, the names
// Windows could not hold, the plug-ins' machines, folders nothing installs.
#include "ProductChecker.h"

#include <algorithm>
#include <fstream>

#include "DosDateTime.h"
#include "Exception.h"
#include "IniFile.h"
#include "Messages.h"
#include "NewProduct.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "ProductFolder.h"
#include "SetupBundleItem.h"
#include "SetupIniReference.h"
#include "TextUtils.h"
#include "UninstallLog.h"

namespace ProductChecks {

void TChecker::CheckPictures()
{
    struct Picture {
        const char* name;
        int width, height;
    };
    for (const Picture& picture : {Picture{"Setup.jpg", 150, 350}, Picture{"Setup@2x.jpg", 300, 700}}) {
        fs::path path = FFolder / picture.name;
        if (!fs::is_regular_file(path)) continue;
        std::string bytes = ReadText(path);
        std::vector<uint8_t> placeholder = PlaceholderPicture(picture.width, picture.height);
        if (bytes == std::string(placeholder.begin(), placeholder.end()))
            Add(path, 1, false, "is still the grey placeholder that mksetup new drew; put your side picture here");
        TPictureFacts facts = ReadPictureFacts(bytes);
        if (!facts.Problem.empty()) {
            Add(path, 1, true, facts.Problem + "; the wizard cannot show it");
        } else if (facts.Width != picture.width || facts.Height != picture.height) {
            Add(path, 1, false,
                "is " + std::to_string(facts.Width) + "x" + std::to_string(facts.Height) + "; the side picture is " +
                    std::to_string(picture.width) + "x" + std::to_string(picture.height) + " and is stretched to fit");
        }
    }
}

// The machine a Windows program file is built for (0 when it is none):
// 0x14C x86, 0x8664 x64, 0xAA64 ARM64.
unsigned TChecker::MachineOf(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    char dos[64] = {};
    if (!file.read(dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return 0;
    uint32_t pe = 0;
    for (int i = 3; i >= 0; --i) pe = (pe << 8) | static_cast<unsigned char>(dos[0x3C + i]);
    char header[6] = {};
    file.seekg(std::streamoff(pe));
    if (!file.read(header, sizeof header) || std::string(header, 4) != std::string("PE\0\0", 4)) return 0;
    return static_cast<unsigned char>(header[4]) | (unsigned(static_cast<unsigned char>(header[5])) << 8);
}

// A plug-in built for the other bitness than the package: a 64-bit one in
// a 32-bit package lands where 64-bit hosts never look, and the other way round.
void TChecker::CheckBitness()
{
    bool wide = FModel.Facts().Is64Bit;
    const char* package = wide ? "a 64-bit package (Is64Bit=1)" : "a 32-bit package (Is64Bit=0)";
    std::error_code error;
    for (const TComponentLine& line : FModel.Facts().ComponentLines) {
        std::string key = FModel.ExpandVariables(line.Key, nullptr);
        fs::path folder = FFolder / key;
        if (key.empty() || !fs::is_directory(folder, error)) continue;
        // The machine a line names: x64 and arm64ec binaries carry the x64 machine type, arm64 and arm64x ARM64's.
        unsigned named = line.Machine.empty() ? 0 : line.Machine == "x64" || line.Machine == "arm64ec" ? 0x8664 : 0xAA64;
        for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
            std::string name = entry->path().filename().string();
            // A VST 3 bundle says its architecture by its folder's name.
            if (entry->is_directory(error) && (name == "x86_64-win" || name == "x86-win") &&
                (name == "x86_64-win") != wide)
                Add(entry->path(), 1, true, "holds " + std::string(wide ? "32" : "64") + "-bit plug-ins in " + package +
                                                "; build the package with Is64Bit=" + (wide ? "0" : "1") +
                                                ", or ship the " + (wide ? "x86_64-win" : "x86-win") + " folder");
            std::string extension = entry->path().extension().string();
            if (!entry->is_regular_file(error) ||
                !(SameTextAscii(extension, ".dll") || SameTextAscii(extension, ".vst3") || SameTextAscii(extension, ".clap") ||
                  SameTextAscii(extension, ".aaxplugin")))
                continue;
            unsigned machine = MachineOf(entry->path());
            bool program64 = machine == 0x8664 || machine == 0xAA64;
            if (machine != 0 && program64 != wide)
                Add(entry->path(), 1, true, "is a " + std::string(program64 ? "64" : "32") + "-bit program in " + package +
                                                ": hosts of that bitness never look where it would be installed");
            else if (machine != 0 && named != 0 && machine != named)
                Add(entry->path(), 1, false,
                    "is built for " + std::string(machine == 0xAA64 ? "ARM64" : machine == 0x8664 ? "x64" : "x86") +
                        ", but its [Components] line says Machine: " + line.Machine +
                        "; that machine would get a plug-in it cannot load");
        }
    }
}

// Folders of the product that no [Components] line installs: packed, never written.
void TChecker::CheckPackedFolders()
{
    std::vector<std::string> installed;
    for (const std::string& line : FModel.Facts().Components) {
        std::string key = LineName(line);
        if (key.find("$BundleItem") != std::string::npos) {
            for (const TSetupBundleItem& item : FModel.Facts().BundleItems)
                installed.push_back(FModel.ExpandVariables(key, &item));
        } else {
            installed.push_back(FModel.ExpandVariables(key, nullptr));
        }
    }
    for (const auto& entry : fs::directory_iterator(FFolder)) {
        if (!entry.is_directory() || !JunkKind(entry.path().string(), true).empty()) continue;
        std::string name = entry.path().filename().string();
        if (std::none_of(installed.begin(), installed.end(), [&](const std::string& k) { return SameTextAscii(k, name); }))
            Add(entry.path(), 1, false, "is packed, but no [Components] line installs it");
    }
}

void TChecker::CheckEntryNames()
{
    // Every name the package cannot carry, in one run. The folder that
    // holds it is the place named, so a ":" in the name never breaks the
    // FILE:LINE form.
    std::vector<std::pair<fs::path, std::string>> refused;  // folder, then the name and why
    std::error_code error;
    for (fs::recursive_directory_iterator entry(FFolder, error), end; !error && entry != end; entry.increment(error)) {
        std::string name = entry->path().filename().string();
        bool folder = entry->is_directory(error) && !entry->is_symlink(error);
        if (!JunkKind(entry->path().string(), folder).empty()) {
            if (folder) entry.disable_recursion_pending();
            continue;  // left out of the package
        }
        std::string link = LinkRefusal(entry->path().string(), FFolder.string());
        if (!link.empty()) {
            std::string text = "\"" + name;
            text += "\" ";
            text += link;
            refused.emplace_back(entry->path().parent_path(), text);
            continue;
        }
        std::string why = CheckEntryName(name);
        if (why.empty()) continue;
        if (name.size() > PackageFormat::MaxNameLength) why += " (it has " + std::to_string(name.size()) + ")";
        std::string text = "\"" + name;
        text += "\" cannot go into a package: ";
        text += why;
        refused.emplace_back(entry->path().parent_path(), text);
        if (entry->is_directory(error)) entry.disable_recursion_pending();
    }
    std::sort(refused.begin(), refused.end());  // the same order on every file system
    for (const auto& [folder, text] : refused) Add(folder, 1, true, text);
    if (!refused.empty()) return;
    try {
        ScanProductFolder(FFolder.string(), 0);
    } catch (const Exception& e) {
        const std::string& message = e.Message();
        size_t colon = message.find(": ");
        // Names that differ only in letter case are reported, every one, with where they land.
        if (colon != std::string::npos && message.find("is missing") == std::string::npos &&
            message.find("only in letter case") == std::string::npos)
            Add(message.substr(0, colon), 1, true, message.substr(colon + 2));
    }
}

// Every file the components install, in capitals, by where it goes.
// Plug-in lines may rename what they install (.vst3, a DLL suffix): below
// their folders nothing is judged.
void TChecker::CollectInstalledFiles(std::set<std::string>& files, std::vector<std::string>& renaming) const
{
    auto clean = [](std::string path) {
        for (size_t at; (at = path.find("\\\\")) != std::string::npos;) path.erase(at, 1);
        return Upper(ExcludeDelimiter(path));
    };
    files.insert(clean(FModel.Choices.InstallFolder + "\\" + UninstallerFileName));
    for (const TComponentLine& line : FModel.Facts().ComponentLines) {
        std::vector<const TSetupBundleItem*> items{nullptr};
        if (line.Key.find("$BundleItem") != std::string::npos || line.Destination.find("$BundleItem") != std::string::npos) {
            items.clear();
            for (const TSetupBundleItem& item : FModel.Facts().BundleItems) items.push_back(&item);
        }
        for (const TSetupBundleItem* item : items) {
            std::string name = FModel.ExpandVariables(line.Key, item);
            std::string destination = clean(FModel.ExpandVariables(line.Destination, item));
            if (name.empty() || destination.empty() || !fs::is_directory(FFolder / name)) continue;
            if (line.Vst3 || !line.DllSuffix.empty()) {
                renaming.push_back(destination + "\\");
                continue;
            }
            std::error_code error;
            for (fs::recursive_directory_iterator entry(FFolder / name, error), end; !error && entry != end;
                 entry.increment(error)) {
                std::string path = destination + "\\";
                path += entry->path().lexically_relative(FFolder / name).string();
                std::replace(path.begin(), path.end(), '/', '\\');
                files.insert(clean(path));
            }
        }
    }
}

}  // namespace ProductChecks
