#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "Builder.h"
#include "DosDateTime.h"
#include "Exception.h"
#include "LanguageTables.h"
#include "SetupFacts.h"
#include "PackageFile.h"
#include "PackageFormat.h"
#include "PackageVolumes.h"
#include "ProductFolder.h"
#include "Stream.h"
#include "UninstallLog.h"

namespace fs = std::filesystem;

namespace {

// A file that disappears unless committed: the output is written under a
// temporary name and renamed only when complete.
class TTemporaryOutput {
public:
    explicit TTemporaryOutput(const std::string& target)
        : FTarget(target), FPath(target + ".tmp" + std::to_string(std::random_device()() % 1000000))
    {
    }
    ~TTemporaryOutput()
    {
        if (!FCommitted) {
            std::error_code ec;
            fs::remove(FPath, ec);
        }
    }
    TTemporaryOutput(const TTemporaryOutput&) = delete;
    TTemporaryOutput& operator=(const TTemporaryOutput&) = delete;

    const std::string& Path() const { return FPath; }
    void Commit()
    {
        std::error_code ec;
        fs::rename(FPath, FTarget, ec);
        if (ec) throw ESetupError(FTarget + ": cannot be written (" + ec.message() + ")");
        FCommitted = true;
    }

private:
    std::string FTarget, FPath;
    bool FCommitted = false;
};

}  // namespace

bool ParseDateText(const std::string& text, TDateParts& p)
{
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &p.Year, &p.Month, &p.Day, &p.Hour, &p.Minute,
                    &p.Second, &tail) != 6)
        return false;
    static const int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (p.Year < 1 || p.Year > 9999 || p.Month < 1 || p.Month > 12 || p.Day < 1 || p.Day > monthDays[p.Month - 1])
        return false;
    bool leap = (p.Year % 4 == 0 && p.Year % 100 != 0) || p.Year % 400 == 0;
    if (p.Month == 2 && p.Day == 29 && !leap) return false;
    return p.Hour <= 23 && p.Minute <= 59 && p.Second <= 59 && p.Hour >= 0 && p.Minute >= 0 && p.Second >= 0;
}

namespace {

// A stream the package writer may hold and drop while its owner closes it
// and hears of a failed flush.
class TBorrowedStream : public TStream {
public:
    explicit TBorrowedStream(TStream& stream) : FStream(stream) {}
    size_t Read(void* buffer, size_t count) override { return FStream.Read(buffer, count); }
    size_t Write(const void* buffer, size_t count) override { return FStream.Write(buffer, count); }
    int64_t Seek(int64_t offset, SeekOrigin origin) override { return FStream.Seek(offset, origin); }

private:
    TStream& FStream;
};

void WriteOutput(const TBuildOptions& options, const TProductTree& tree, TPackageWriteOptions write, bool wide,
                 TBuildResult& result)
{
    TTemporaryOutput output(options.Output);
    std::vector<std::unique_ptr<TTemporaryOutput>> volumes;
    std::vector<std::unique_ptr<TFileStream>> volumeFiles;
    write.Wide = wide;
    if (wide) {
        write.VolumeSize = options.VolumeSize > 0 ? options.VolumeSize : DefaultVolumeSize;
        fs::path folder = fs::path(options.Output).parent_path();
        write.VolumeName = [&](size_t index) { return VolumeFileName(options.Output, index); };
        write.NewVolume = [&, folder](size_t index) -> std::unique_ptr<TStream> {
            volumes.push_back(std::make_unique<TTemporaryOutput>((folder / VolumeFileName(options.Output, index)).string()));
            volumeFiles.push_back(std::make_unique<TFileStream>(volumes.back()->Path(), TFileStream::Mode::Create));
            return std::make_unique<TBorrowedStream>(*volumeFiles.back());
        };
    }
    {
        TFileStream out(output.Path(), TFileStream::Mode::Create);
        if (!options.DataOnly) {
            TFileStream stub(options.Stub, TFileStream::Mode::Read);
            CheckStub(stub, options.Stub);
            int64_t stubSize = stub.Size();
            stub.SetPosition(0);
            out.CopyFrom(stub, stubSize);
            if (stubSize > INT32_MAX) throw ESetupError(options.Stub + ": is too large to carry a package");
            result.PackageOffset = stubSize;
        }
        result.Package = WritePackage(out, tree.Items, write);
        if (!options.DataOnly) {
            out.SetPosition(PackageFormat::SetupDataOffsetWord);
            out.WriteInt32(int32_t(result.PackageOffset));
        }
        out.Close();
        for (auto& file : volumeFiles) file->Close();
    }
    for (auto& volume : volumes) volume->Commit();
    output.Commit();
    // Volumes of an earlier build that this one does not have would only mislead.
    fs::path folder = fs::path(options.Output).parent_path();
    for (size_t index = volumes.size() + 1;; ++index) {
        std::error_code ec;
        if (!fs::remove(folder / VolumeFileName(options.Output, index), ec)) break;
    }
}

// [Setup] Languages of the product's Setup.ini, as listed.
std::vector<std::string> ProductLanguages(const std::string& folder)
{
    std::ifstream in(fs::path(folder) / "Setup.ini", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return ListedLanguages(lines);
}

}  // namespace

TBuildResult BuildPackage(const TBuildOptions& options)
{
    TPackageWriteOptions write;
    write.Version.ParseText(options.VersionText);
    write.Level = options.Level;
    write.ZlibOnly = options.ZlibOnly;
    write.Progress = options.Progress;

    std::optional<int32_t> fixedTime;
    TDateParts created;
    if (options.Date) {
        created = *options.Date;
        fixedTime = PartsToDosDateTime(created);
    } else {
        std::time_t now = std::time(nullptr);
        std::tm local{};
#ifdef _WIN32
        localtime_s(&local, &now);
#else
        localtime_r(&now, &local);
#endif
        created = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
    }
    write.CreationTime = EncodeDateTime(created);

    TProductTree tree = ScanProductFolder(options.ProductFolder, fixedTime);
    // The installer's texts in the languages [Setup] Languages names (all when it names none).
    std::string tables = LanguageTablesEntry(ShippedLanguages(ProductLanguages(options.ProductFolder)));
    if (!tables.empty())
        tree.Items.push_back(
            TPackageItem::File(LanguageTablesFileName, tables, fixedTime ? *fixedTime : PartsToDosDateTime(created)));
    if (!options.Uninstaller.empty()) {
        // The installer writes this program as the uninstaller, byte for byte, instead of a copy of itself.
        std::ifstream in(options.Uninstaller, std::ios::binary);
        std::string program((std::istreambuf_iterator<char>(in)), {});
        if (!in.good() && !in.eof()) throw ESetupError(options.Uninstaller + ": cannot be read");
        tree.Items.push_back(
            TPackageItem::File(UninstallerFileName, program, fixedTime ? *fixedTime : PartsToDosDateTime(created)));
    }
    std::sort(tree.Items.begin(), tree.Items.end(),
              [](const TPackageItem& a, const TPackageItem& b) { return a.Name < b.Name; });

    TBuildResult result;
    result.FileCount = tree.FileCount;
    result.TotalBytes = tree.TotalBytes;
    result.LeftOut = tree.LeftOut;
    // Narrow (today's format, byte for byte) while it can carry the product;
    // wide when it cannot, or when the maker asked for volumes smaller than the data.
    bool wide = tree.TotalBytes >= PackageFormat::NarrowLimit || (options.VolumeSize > 0 && tree.TotalBytes > options.VolumeSize);
    for (;;) {
        try {
            WriteOutput(options, tree, write, wide, result);
            break;
        } catch (const EPackageTooLarge&) {
            if (wide) throw;
            wide = true;  // larger once compressed than its files' sizes said: written again, wide
        }
    }
    return result;
}

bool ParseVolumeSize(const std::string& text, int64_t& bytes)
{
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || value <= 0) return false;
    std::string unit(end);
    double scale = unit.empty() ? 1 : unit == "K" || unit == "k" ? 1024.0 : unit == "M" ? 1048576.0 : unit == "G" ? 1073741824.0 : 0;
    if (scale == 0) return false;
    double total = value * scale;
    if (total < double(PackageFormat::MinVolumeSize) || total > double(PackageFormat::MaxVolumeSize)) return false;
    bytes = int64_t(total);
    return true;
}
