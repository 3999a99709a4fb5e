#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "Builder.h"
#include "DosDateTime.h"
#include "Exception.h"
#include "PackageFile.h"
#include "PackageFormat.h"
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
    if (!options.Uninstaller.empty()) {
        // The installer writes this program as the uninstaller, byte for byte, instead of a copy of itself.
        std::ifstream in(options.Uninstaller, std::ios::binary);
        std::string program((std::istreambuf_iterator<char>(in)), {});
        if (!in.good() && !in.eof()) throw ESetupError(options.Uninstaller + ": cannot be read");
        tree.Items.push_back(TPackageItem::File(UninstallerFileName, program, fixedTime ? *fixedTime : PartsToDosDateTime(created)));
        std::sort(tree.Items.begin(), tree.Items.end(),
                  [](const TPackageItem& a, const TPackageItem& b) { return a.Name < b.Name; });
    }

    TTemporaryOutput output(options.Output);
    TBuildResult result;
    result.FileCount = tree.FileCount;
    result.TotalBytes = tree.TotalBytes;
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
    }
    output.Commit();
    return result;
}
