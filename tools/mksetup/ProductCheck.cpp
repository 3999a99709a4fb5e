#include "ProductCheck.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "DosDateTime.h"
#include "Exception.h"
#include "IniFile.h"
#include "Messages.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "NewProduct.h"
#include "ProductFolder.h"
#include "SetupBundleItem.h"
#include "SetupIniReference.h"
#include "SetupModel.h"
#include "TextUtils.h"
#include "UninstallLog.h"

namespace fs = std::filesystem;

namespace {

// The names the installer knows, from the one description of Setup.ini.
const std::map<std::string, std::vector<std::string>> KnownKeys = [] {
    std::map<std::string, std::vector<std::string>> keys;
    for (const TIniSectionReference& section : SetupIniSections())
        if (!section.List)
            for (const TIniKeyReference& key : section.Keys) keys[section.Name].push_back(key.Name);
    return keys;
}();
const std::vector<std::string> ListSections = [] {
    std::vector<std::string> names;
    for (const TIniSectionReference& section : SetupIniSections())
        if (section.List) names.push_back(section.Name);
    return names;
}();
const std::set<std::string> KnownVariables = [] {
    std::set<std::string> names;
    for (const auto* list : {&SetupIniFolderVariables(), &SetupIniTextVariables()})
        for (const TNameReference& variable : *list) names.insert(variable.Name);
    return names;
}();
std::vector<std::string> LocationNames()
{
    std::vector<std::string> names;
    for (const TNameReference& location : ShortcutLocations()) names.push_back(location.Name);
    return names;
}

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

// "A, B and C".
std::string Listed(const std::vector<std::string>& names)
{
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

// What stops the installer's JPEG reader at a side picture, or the picture's
// size: the frame header's width and height. `problem` is empty for a JPEG.
struct TPictureFacts {
    std::string Problem;
    int Width = 0, Height = 0;
};

TPictureFacts ReadPictureFacts(const std::string& bytes)
{
    auto at = [&](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    if (at(0) != 0xFF || at(1) != 0xD8) {
        if (bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0) return {"is a PNG picture, not a JPEG"};
        if (bytes.compare(0, 3, "GIF") == 0) return {"is a GIF picture, not a JPEG"};
        if (bytes.compare(0, 2, "BM") == 0) return {"is a BMP picture, not a JPEG"};
        bool text = !bytes.empty() && std::all_of(bytes.begin(), bytes.begin() + long(std::min<size_t>(bytes.size(), 512)),
                                                  [](char c) { return c == '\t' || c == '\r' || c == '\n' || static_cast<unsigned char>(c) >= 32; });
        return {text ? "is text, not a JPEG picture" : "is not a JPEG picture (no JPEG start marker)"};
    }
    for (size_t i = 2; i + 3 < bytes.size();) {
        if (at(i) != 0xFF) return {"is a damaged JPEG picture (a marker is missing at byte " + std::to_string(i) + ")"};
        unsigned marker = at(i + 1);
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        size_t length = (at(i + 2) << 8) | at(i + 3);
        // Baseline, extended and progressive Huffman frames are read; the rest is not.
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            if (i + 9 >= bytes.size()) break;
            // The wizard draws grey (1 component) and colour (3) pictures; a
            // CMYK or YCCK one (4) is what print software saves.
            if (at(i + 9) == 4) return {"is a CMYK (or YCCK) JPEG picture; save it in RGB"};
            if (at(i + 9) != 1 && at(i + 9) != 3)
                return {"is a JPEG picture of " + std::to_string(at(i + 9)) + " colour components; save it in RGB"};
            return {"", int((at(i + 7) << 8) | at(i + 8)), int((at(i + 5) << 8) | at(i + 6))};
        }
        if ((marker >= 0xC3 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC))
            return {"is a lossless or arithmetic-coded JPEG, which the installer cannot read"};
        if (marker == 0xD9 || marker == 0xDA) break;
        i += 2 + length;
    }
    return {"is a JPEG picture that ends before its frame header"};
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

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// UTF-16 text after its byte-order mark, as UTF-8.
std::string FromUtf16(const std::string& bytes, bool big)
{
    std::string text;
    auto unit = [&](size_t i) {
        auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
        return uint32_t(big ? (first << 8) | second : (second << 8) | first);
    };
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        uint32_t code = unit(i);
        if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        }
        if (code < 0x80) {
            text += char(code);
        } else if (code < 0x800) {
            text += char(0xC0 | (code >> 6));
            text += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            text += char(0xE0 | (code >> 12));
            text += char(0x80 | ((code >> 6) & 0x3F));
            text += char(0x80 | (code & 0x3F));
        } else {
            text += char(0xF0 | (code >> 18));
            text += char(0x80 | ((code >> 12) & 0x3F));
            text += char(0x80 | ((code >> 6) & 0x3F));
            text += char(0x80 | (code & 0x3F));
        }
    }
    return text;
}

// The text's lines as the installer reads them: a UTF-8 byte-order mark at
// the start is dropped, and UTF-16 with its mark is read as written.
std::vector<std::string> ReadLines(const fs::path& path)
{
    std::string text = ReadText(path);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) text = FromUtf16(text, text[0] == '\xFE');
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
        CheckInstallFor();
        CheckPackedFolders();
        CheckBitness();
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

    // UTF-16 without its byte-order mark is no text the installer reads: every name would be wrong.
    bool CheckEncoding()
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

    void CheckHeadersAndLines()
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

    void CheckPictures()
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
    static unsigned MachineOf(const fs::path& path)
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
    void CheckBitness()
    {
        bool wide = FModel.Is64Bit;
        const char* package = wide ? "a 64-bit package (Is64Bit=1)" : "a 32-bit package (Is64Bit=0)";
        std::error_code error;
        for (const TComponentLine& line : FModel.ComponentLines) {
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
    void CheckPackedFolders()
    {
        std::vector<std::string> installed;
        for (const std::string& line : FModel.Components) {
            std::string key = LineName(line);
            if (key.find("$BundleItem") != std::string::npos) {
                for (const TSetupBundleItem& item : FModel.BundleItems) installed.push_back(FModel.ExpandVariables(key, &item));
            } else {
                installed.push_back(FModel.ExpandVariables(key, nullptr));
            }
        }
        for (const auto& entry : fs::directory_iterator(FFolder)) {
            if (!entry.is_directory()) continue;
            std::string name = entry.path().filename().string();
            if (std::none_of(installed.begin(), installed.end(), [&](const std::string& k) { return SameTextAscii(k, name); }))
                Add(entry.path(), 1, false, "is packed, but no [Components] line installs it");
        }
    }

    void CheckEntryNames()
    {
        // Every name the package cannot carry, in one run. The folder that
        // holds it is the place named, so a ":" in the name never breaks the
        // FILE:LINE form.
        std::vector<std::pair<fs::path, std::string>> refused;  // folder, then the name and why
        std::error_code error;
        for (fs::recursive_directory_iterator entry(FFolder, error), end; !error && entry != end; entry.increment(error)) {
            std::string name = entry->path().filename().string();
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
        // The installer puts DefaultFolder below Program Files.
        const std::string& folder = FModel.DefaultFolder;
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
        FModel.InstallFolder = "C:\\Program Files\\Product\\";
        // Folders of their own for the plug-in variables, so that a shortcut's target can be placed.
        FModel.Vst2Folder = "C:\\VST2\\";
        FModel.Vst3Folder = "C:\\VST3\\";
        FModel.DigiFolder = "C:\\RTAS\\";
        FModel.AaxFolder = "C:\\AAX\\";
        FModel.PhotoshopFolder = "C:\\Photoshop\\";
        FModel.DocumentsFolder = "C:\\Documents\\";
        FModel.AppDataFolder = "C:\\AppData\\";
        if (Trim(FModel.ProductName).empty())
            Add(FIniPath, SectionLine("Setup"), true,
                "ProductName is missing; the wizard and the list of installed programs would show no name");
        if (FModel.Components.empty())
            Add(FIniPath, std::max(SectionLine("Components"), SectionLine("Setup")), true,
                "no [Components] line: the installer would install nothing");
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
            TComponentLine component = ParseComponentLine(line, FModel.ComponentsOptions);
            const std::string& key = component.Key;
            std::vector<std::string> names;
            if (key.find("$BundleItem") != std::string::npos) {
                for (const TSetupBundleItem& item : FModel.BundleItems) names.push_back(FModel.ExpandVariables(key, &item));
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

    void CheckMachines()
    {
        for (const auto& [number, text] : SectionLines("Components")) {
            TComponentLine line = ParseComponentLine(text, {});
            if (!line.Machine.empty() && !IsComponentMachine(line.Machine))
                Add(FIniPath, number, true,
                    "\"" + line.Machine + "\" is no machine; the machines are x64, arm64, arm64ec and arm64x");
        }
    }

    void CheckOptions()
    {
        std::set<std::string> keys;
        for (const std::string& line : FModel.Components) keys.insert(LineName(line));
        for (const auto& [number, line] : SectionLines("ComponentsOptions")) {
            if (LineValue(line) != NoOverwriteOption)
                Add(FIniPath, number, false,
                    "\"" + LineValue(line) + "\" is no option; the only one is \"" + NoOverwriteOption + "\"");
            if (!keys.count(LineName(line)))
                Add(FIniPath, number, false,
                    "\"" + LineName(line) + "\" matches no [Components] key exactly (the match is case-sensitive)");
        }
    }

    // Every file the components install, in capitals, by where it goes.
    // Plug-in lines may rename what they install (.vst3, a DLL suffix): below
    // their folders nothing is judged.
    void CollectInstalledFiles(std::set<std::string>& files, std::vector<std::string>& renaming) const
    {
        auto clean = [](std::string path) {
            for (size_t at; (at = path.find("\\\\")) != std::string::npos;) path.erase(at, 1);
            return Upper(ExcludeDelimiter(path));
        };
        files.insert(clean(FModel.InstallFolder + "\\" + UninstallerFileName));
        for (const TComponentLine& line : FModel.ComponentLines) {
            std::vector<const TSetupBundleItem*> items{nullptr};
            if (line.Key.find("$BundleItem") != std::string::npos || line.Destination.find("$BundleItem") != std::string::npos) {
                items.clear();
                for (const TSetupBundleItem& item : FModel.BundleItems) items.push_back(&item);
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

    // A shortcut into a folder the product installs to must point at a file it installs.
    void CheckShortcutTargets()
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

    void CheckShortcuts()
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

    void CheckVariables()
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

    // The version users see beside the record's: the record decides the
    // folder's %d, the registry's version key and what counts as newer.
    void CheckDisplayVersion()
    {
        const std::string& shown = FModel.DisplayVersion;
        if (!FVersion || shown.empty()) return;
        int32_t major = StrToIntDef(shown.substr(0, shown.find_first_not_of("0123456789")), -1, false);
        if (major != FVersion->Major)
            Add(FIniPath, LineOf("Setup", "DisplayVersion"), false,
                FormatText("DisplayVersion \"%s\" is shown for the version record %s, whose major number %s decides the "
                           "folder, the registry key and upgrades; give a record with the same major number",
                           {shown, FVersion->AsText(), std::to_string(FVersion->Major)}));
    }

    // Whom for: a value the installer does not know would install for everyone
    // unasked; a product for one user alone cannot bring the formats whose
    // hosts look only in the folders for everyone.
    void CheckInstallFor()
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
            for (const TComponentLine& component : FModel.ComponentLines)
                if (component.Destination.find(variable) != std::string::npos &&
                    std::find(everyoneOnly.begin(), everyoneOnly.end(), variable) == everyoneOnly.end())
                    everyoneOnly.push_back(variable);
        if (scope == TInstallFor::CurrentUser && !everyoneOnly.empty())
            Add(FIniPath, line, false,
                "InstallFor=CurrentUser leaves out every line to " + everyoneOnly.front() +
                    ": its hosts look only in the folders for everyone; use Either or AllUsers to ship it");
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
