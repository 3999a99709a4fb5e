#include "ProductFolder.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

#include "DosDateTime.h"
#include "Exception.h"
#include "PackageFormat.h"
#include "SetupFacts.h"
#include "Stream.h"

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

class TScanner {
public:
    explicit TScanner(std::optional<int32_t> fixedFileTime) : FFixedTime(fixedFileTime) {}

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

    std::optional<int32_t> FFixedTime;
};

bool HasTopLevelFile(const std::vector<TPackageItem>& items, const std::string& name)
{
    return std::any_of(items.begin(), items.end(),
                       [&](const TPackageItem& item) { return !item.IsFolder && SameEntryName(item.Name, name); });
}

}  // namespace

TProductTree ScanProductFolder(const std::string& folder, std::optional<int32_t> fixedFileTime)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) Refuse(folder, "is not a product folder (no such folder)");
    TScanner scanner(fixedFileTime);
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
    return tree;
}
