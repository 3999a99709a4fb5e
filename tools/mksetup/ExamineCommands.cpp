#include <sys/types.h>
#include <utime.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <ostream>

#include "Builder.h"
#include "Checksum.h"
#include "DosDateTime.h"
#include "Exception.h"
#include "Inflate.h"
#include "PackageFile.h"
#include "PackageFormat.h"
#include "PackageReader.h"
#include "PackageVolumes.h"
#include "Stream.h"

namespace fs = std::filesystem;

namespace {

std::string DateText(double creationTime)
{
    TDateParts p;
    if (!DecodeDateTime(creationTime, p)) return "(not a date)";
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                  p.Second);
    return text;
}

// Prints the tree, one line an entry.
class TListVisitor : public TEntryVisitor {
public:
    explicit TListVisitor(std::ostream& out) : FOut(out) {}
    void File(const TEntryHeader& entry, const std::string& path, TStream&) override
    {
        FOut << "  " << std::setw(12) << entry.StoredSize << " " << std::setw(12) << entry.UncompressedSize << "  "
             << path << "\n";
    }
    bool EnterFolder(const TEntryHeader&, const std::string& path) override
    {
        FOut << "  " << std::setw(12) << "" << " " << std::setw(12) << "" << "  " << path << "\\\n";
        return true;
    }

private:
    std::ostream& FOut;
};

// Inflates every file to nowhere and checks that each zlib stream fills its
// stored size exactly and ends at its stated size.
class TVerifyVisitor : public TEntryVisitor {
public:
    void File(const TEntryHeader& entry, const std::string& path, TStream& stream) override
    {
        TNullSink sink;
        TInflateResult result;
        try {
            result = InflateEntry(stream, entry.StoredSize, entry.UncompressedSize, sink);
        } catch (const Exception& e) {
            throw ESetupError("\"" + path + "\": " + e.Message());
        }
        if (!result.StreamEnded || result.InputUsed != entry.StoredSize)
            throw ESetupError("\"" + path + "\": the compressed data does not end at its stated size");
        ++Files;
    }
    bool EnterFolder(const TEntryHeader&, const std::string&) override { return true; }
    int64_t Files = 0;
};

// Writes every entry below the destination, folders as folders, each file with
// its packed time.
class TExtractVisitor : public TEntryVisitor {
public:
    explicit TExtractVisitor(const fs::path& destination) : FDestination(destination) {}
    void File(const TEntryHeader& entry, const std::string& path, TStream& stream) override
    {
        fs::path target = FDestination / NativePath(path);
        {
            TFileStream file(target.string(), TFileStream::Mode::Create);
            TStreamSink sink(file);
            try {
                InflateEntry(stream, entry.StoredSize, entry.UncompressedSize, sink);
            } catch (const Exception& e) {
                throw ESetupError("\"" + path + "\": " + e.Message());
            }
            file.Close();
        }
        SetFileTime(target, entry.FileTime);
        ++Files;
        Bytes += entry.UncompressedSize;
    }
    bool EnterFolder(const TEntryHeader&, const std::string& path) override
    {
        std::error_code ec;
        fs::create_directories(FDestination / NativePath(path), ec);
        if (ec) throw ESetupError((FDestination / NativePath(path)).string() + ": cannot be created (" + ec.message() + ")");
        return true;
    }
    int64_t Files = 0, Bytes = 0;

private:
    static fs::path NativePath(const std::string& packagePath)
    {
        fs::path result;
        size_t start = 0;
        for (;;) {
            size_t end = packagePath.find('\\', start);
            result /= packagePath.substr(start, end - start);
            if (end == std::string::npos) return result;
            start = end + 1;
        }
    }
    static void SetFileTime(const fs::path& target, int32_t dosTime)
    {
        if (dosTime == 0) return;
        TDateParts p = DosDateTimeToParts(dosTime);
        std::tm local{};
        local.tm_year = p.Year - 1900, local.tm_mon = p.Month - 1, local.tm_mday = p.Day;
        local.tm_hour = p.Hour, local.tm_min = p.Minute, local.tm_sec = p.Second, local.tm_isdst = -1;
        std::time_t t = std::mktime(&local);
        if (t == std::time_t(-1)) return;
        struct utimbuf times {t, t};
        utime(target.string().c_str(), &times);
    }

    fs::path FDestination;
};

}  // namespace

bool ExtractPackage(const std::string& fileName, const std::string& destination, std::ostream& out)
{
    TOpenedPackage package = OpenPackage(fileName, true);
    const TPackageInfo& info = package.Info;
    TStream& file = *package.Data;
    file.SetPosition(info.EntriesStart);
    PackageReader::CheckList(file, info.DataEnd, info.Wide);
    std::error_code ec;
    fs::create_directories(destination, ec);
    if (ec) throw ESetupError(destination + ": cannot be created (" + ec.message() + ")");
    TExtractVisitor visitor(destination);
    PackageReader::WalkList(file, info.DataEnd, info.Wide, visitor);
    out << destination << ": " << visitor.Files << " files, " << visitor.Bytes << " bytes (version "
        << info.Version.AsText() << ")\n";
    return true;
}

bool ListPackage(const std::string& fileName, std::ostream& out)
{
    TOpenedPackage package = OpenPackage(fileName, false, -1);
    const TPackageInfo& info = package.Info;
    TFileStream file(fileName, TFileStream::Mode::Read);
    file.SetPosition(package.Offset);
    bool holds = true;
    try {
        CheckPackageData(file, info, VolumesBeside(fileName));
    } catch (const EPackageDamaged&) {
        holds = false;
    }
    out << fileName << "\n"
        << "  package at offset " << package.Offset << (info.Wide ? " (wide: 64-bit sizes)" : "") << "\n"
        << "  created     " << DateText(info.Header.CreationTime) << "\n"
        << "  file count  " << info.Header.FileCount << "\n"
        << "  data size   " << info.Header.DataSize << "\n"
        << "  checksum    " << std::hex << std::setw(8) << std::setfill('0') << info.Header.Checksum << std::dec
        << std::setfill(' ') << (holds ? " (holds)" : " (does not hold)") << "\n";
    for (const TVolumeRecord& volume : info.Volumes)
        out << "  volume      " << volume.Name << ", " << volume.Size << " bytes, checksum " << std::hex << std::setw(8)
            << std::setfill('0') << volume.Checksum << std::dec << std::setfill(' ') << "\n";
    if (!holds) OpenPackage(fileName, true);  // says what does not hold, in the installer's words
    out << "  version     " << info.Version.AsText() << "\n"
        << "  " << std::setw(12) << "stored" << " " << std::setw(12) << "size" << "  name\n";
    TListVisitor visitor(out);
    package.Data->SetPosition(info.EntriesStart);
    PackageReader::WalkList(*package.Data, info.DataEnd, info.Wide, visitor);
    return true;
}

bool VerifyPackage(const std::string& fileName, std::ostream& out)
{
    TOpenedPackage package = OpenPackage(fileName, true);
    const TPackageInfo& info = package.Info;
    TVerifyVisitor visitor;
    package.Data->SetPosition(info.EntriesStart);
    PackageReader::WalkList(*package.Data, info.DataEnd, info.Wide, visitor);
    out << fileName << ": sound (version " << info.Version.AsText() << ", " << visitor.Files << " files";
    if (!info.Volumes.empty()) out << ", " << info.Volumes.size() + 1 << " files with the volumes";
    out << ")\n";
    if (visitor.Files != info.Header.FileCount)
        out << fileName << ": note: the header counts " << info.Header.FileCount << " files; the installer does not read that count\n";
    return true;
}
