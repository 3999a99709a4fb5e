#include "ProductFolder.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

#include "DosDateTime.h"
#include "Exception.h"
#include "IniFile.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "SetupFacts.h"
#include "Stream.h"
#include "TextUtils.h"
#include "UninstallLog.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Refuse(const fs::path& path, const std::string& why)
{
    throw ESetupError(path.string() + ": " + why);
}

int32_t LocalDosTime(const fs::path& path)
{
    struct stat info {};
    if (stat(path.string().c_str(), &info) != 0) Refuse(path, "cannot read its time stamp");
    std::time_t t = info.st_mtime;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    TDateParts parts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
    return PartsToDosDateTime(parts);
}

// A path below the product folder as Setup.ini writes it: backslashes, capitals.
std::string Comparable(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return UpperAscii(path);
}

// What [Package] Include= names in the product's Setup.ini, comparable.
std::vector<std::string> IncludedOnPurpose(const fs::path& folder)
{
    std::vector<std::string> included;
    std::error_code ec;
    if (!fs::is_regular_file(folder / "Setup.ini", ec)) return included;
    TFileStream in((folder / "Setup.ini").string(), TFileStream::Mode::Read);
    std::string text(size_t(in.Size()), '\0');
    if (!text.empty()) in.ReadBuffer(&text[0], text.size());
    for (const std::string& line : TIniFile(SplitLines(text)).ReadSection("Package"))
        if (SameTextAscii(Trim(LineName(line)), "Include")) included.push_back(Comparable(Trim(LineValue(line))));
    return included;
}

class TScanner {
public:
    TScanner(const fs::path& root, std::optional<int32_t> fixedFileTime)
        : FRoot(root), FIncluded(IncludedOnPurpose(root)), FFixedTime(fixedFileTime)
    {
    }

    std::vector<TPackageItem> ScanFolder(const fs::path& folder)
    {
        std::error_code ec;
        fs::directory_iterator it(folder, ec);
        if (ec) Refuse(folder, "cannot read the folder (" + ec.message() + ")");
        std::vector<fs::path> children;
        for (; it != fs::directory_iterator(); it.increment(ec)) children.push_back(it->path());
        if (ec) Refuse(folder, "cannot read the folder (" + ec.message() + ")");
        std::sort(children.begin(), children.end(),
                  [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });
        CheckDistinct(children);

        std::vector<TPackageItem> items;
        for (const fs::path& child : children) {
            std::string name = child.filename().string();
            std::string relative = child.lexically_relative(FRoot).generic_string();
            std::string junk = JunkKind(child.string(), fs::is_directory(fs::symlink_status(child, ec)));
            if (!junk.empty() &&
                std::find(FIncluded.begin(), FIncluded.end(), Comparable(relative)) == FIncluded.end()) {
                LeftOut.emplace_back(junk, relative);
                continue;
            }
            std::string link = LinkRefusal(child.string(), FRoot.string());
            if (!link.empty()) Refuse(child, link);
            std::string why = CheckEntryName(name);
            if (!why.empty()) Refuse(child, "cannot go into a package: " + why);
            fs::file_status status = fs::status(child, ec);
            if (ec) Refuse(child, "cannot be read (" + ec.message() + ")");
            if (fs::is_directory(status)) {
                items.push_back(TPackageItem::Folder(name, ScanFolder(child)));
            } else if (fs::is_regular_file(status)) {
                items.push_back(ScanFile(child, name));
            } else {
                Refuse(child, "is neither a file nor a folder");
            }
        }
        return items;
    }

    int64_t FileCount = 0;
    int64_t TotalBytes = 0;
    std::vector<std::pair<std::string, std::string>> LeftOut;

private:
    TPackageItem ScanFile(const fs::path& path, const std::string& name)
    {
        std::error_code ec;
        uintmax_t size = fs::file_size(path, ec);
        if (ec) Refuse(path, "cannot be read (" + ec.message() + ")");
        // Open once now, so an unreadable file stops the build before anything is written.
        TFileStream probe(path.string(), TFileStream::Mode::Read);
        TPackageItem item;
        item.Name = name;
        item.FileTime = FFixedTime ? *FFixedTime : LocalDosTime(path);
        item.SizeHint = int64_t(size);
        item.Open = [file = path.string()]() -> std::unique_ptr<TStream> {
            return std::make_unique<TFileStream>(file, TFileStream::Mode::Read);
        };
        ++FileCount;
        TotalBytes += int64_t(size);
        return item;
    }

    // Windows folds the letters A to Z: two names that differ only there would
    // land on one file.
    static void CheckDistinct(const std::vector<fs::path>& children)
    {
        std::vector<std::pair<std::string, size_t>> folded;
        for (size_t i = 0; i < children.size(); ++i) {
            std::string name = children[i].filename().string();
            for (char& c : name)
                if (c >= 'a' && c <= 'z') c = char(c - 32);
            folded.emplace_back(std::move(name), i);
        }
        std::sort(folded.begin(), folded.end());
        for (size_t i = 1; i < folded.size(); ++i)
            if (folded[i].first == folded[i - 1].first)
                Refuse(children[folded[i].second], "differs from \"" +
                                                       children[folded[i - 1].second].filename().string() +
                                                       "\" only in letter case; Windows cannot hold both");
    }

    fs::path FRoot;
    std::vector<std::string> FIncluded;
    std::optional<int32_t> FFixedTime;
};

bool HasTopLevelFile(const std::vector<TPackageItem>& items, const std::string& name)
{
    return std::any_of(items.begin(), items.end(),
                       [&](const TPackageItem& item) { return !item.IsFolder && SameEntryName(item.Name, name); });
}

}  // namespace

std::string JunkKind(const std::string& path, bool folder)
{
    std::string name = fs::path(path).filename().string();
    if (folder) {
        for (const char* kind : {".git", ".svn", ".hg", "__MACOSX"})
            if (name == kind) return kind;
        return std::string();
    }
    if (name == ".DS_Store" || SameTextAscii(name, "Thumbs.db")) return name == ".DS_Store" ? name : "Thumbs.db";
    if (name.size() > 2 && name.compare(0, 2, "._") == 0) return "AppleDouble";
    if ((name.size() > 1 && name.back() == '~') || (name.size() > 2 && name.compare(0, 2, ".#") == 0) ||
        SameTextAscii(fs::path(name).extension().string(), ".bak") ||
        SameTextAscii(fs::path(name).extension().string(), ".swp"))
        return "backup";
    if (SameTextAscii(name, "desktop.ini")) {
        std::error_code ec;
        for (fs::directory_iterator it(fs::path(path).parent_path(), ec), end; !ec && it != end; it.increment(ec))
            if (SameTextAscii(it->path().filename().string(), "PlugIn.ico")) return std::string();
        return "desktop.ini";
    }
    return std::string();
}

std::string LeftOutSummary(const std::vector<std::pair<std::string, std::string>>& leftOut)
{
    if (leftOut.empty()) return std::string();
    std::vector<std::pair<std::string, int>> kinds;
    for (const auto& item : leftOut) {
        auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const auto& k) { return k.first == item.first; });
        if (kind == kinds.end())
            kinds.emplace_back(item.first, 1);
        else
            ++kind->second;
    }
    std::string text = "left out " + std::to_string(leftOut.size()) + " of no use on Windows:";
    for (size_t i = 0; i < kinds.size(); ++i) {
        text += i ? ", " : " ";
        text += kinds[i].first + " (" + std::to_string(kinds[i].second) + ")";
    }
    text += "; [Package] Include=PATH in Setup.ini packs one on purpose";
    return text;
}

std::string LinkRefusal(const std::string& path, const std::string& productFolder)
{
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) return std::string();
    fs::path target = fs::read_symlink(path, ec);
    fs::path resolved = fs::weakly_canonical(fs::path(path).parent_path() / target, ec);
    fs::path root = fs::weakly_canonical(productFolder, ec);
    std::string relative = resolved.lexically_relative(root).generic_string();
    bool inside = !relative.empty() && relative != "." && relative.compare(0, 2, "..") != 0;
    if (inside)
        return "is a link to \"" + target.string() +
               "\" inside the product folder; links are not packed: put the file or folder itself here";
    return "is a link to \"" + target.string() +
           "\", outside the product folder; links are not packed, and what it points at would reach every "
           "customer: copy what the product needs into the product folder";
}

TProductTree ScanProductFolder(const std::string& folder, std::optional<int32_t> fixedFileTime)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) Refuse(folder, "is not a product folder (no such folder)");
    TScanner scanner(folder, fixedFileTime);
    TProductTree tree;
    tree.Items = scanner.ScanFolder(folder);
    for (const char* required : {"Setup.ini", "Setup.lic"})
        if (!HasTopLevelFile(tree.Items, required))
            Refuse(fs::path(folder) / required, "is missing; the installer cannot run without it");
    if (HasTopLevelFile(tree.Items, LanguageTablesFileName))
        Refuse(fs::path(folder) / LanguageTablesFileName,
               "has the name of the entry that carries the installer's texts in other languages; please rename it");
    tree.FileCount = scanner.FileCount;
    tree.TotalBytes = scanner.TotalBytes;
    tree.LeftOut = scanner.LeftOut;
    return tree;
}
