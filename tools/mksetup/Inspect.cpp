#include <cstring>
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
#include "Stream.h"

namespace {

class TNullSink : public TByteSink {
public:
    void Put(const uint8_t*, size_t) override {}
};

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

}  // namespace

bool ListPackage(const std::string& fileName, std::ostream& out)
{
    TFileStream file(fileName, TFileStream::Mode::Read);
    int64_t offset = LocatePackage(file, fileName);
    file.SetPosition(offset);
    uint8_t raw[PackageFormat::HeaderSize];
    file.ReadBuffer(raw, sizeof raw);
    int32_t dataSize = GetInt32LE(raw + 8);
    uint32_t stored = GetUInt32LE(raw + 12);
    bool holds = StreamChecksum(file, dataSize) == stored;
    out << fileName << "\n"
        << "  package at offset " << offset << "\n"
        << "  created     " << DateText(GetDoubleLE(raw + 16)) << "\n"
        << "  file count  " << GetInt32LE(raw + 24) << "\n"
        << "  data size   " << dataSize << "\n"
        << "  checksum    " << std::hex << std::setw(8) << std::setfill('0') << stored << std::dec
        << std::setfill(' ') << (holds ? " (holds)" : " (does not hold)") << "\n";
    file.SetPosition(offset);
    TPackageInfo info = ReadPackageHeader(file);
    out << "  version     " << info.Version.AsText() << "\n"
        << "  " << std::setw(12) << "stored" << " " << std::setw(12) << "size" << "  name\n";
    TListVisitor visitor(out);
    file.SetPosition(info.EntriesStart);
    PackageReader::WalkList(file, info.DataEnd, visitor);
    return true;
}

bool VerifyPackage(const std::string& fileName, std::ostream& out)
{
    TFileStream file(fileName, TFileStream::Mode::Read);
    int64_t offset = LocatePackage(file, fileName);
    file.SetPosition(offset);
    TPackageInfo info = ReadPackageHeader(file);
    TVerifyVisitor visitor;
    file.SetPosition(info.EntriesStart);
    PackageReader::WalkList(file, info.DataEnd, visitor);
    out << fileName << ": sound (version " << info.Version.AsText() << ", " << visitor.Files << " files)\n";
    if (visitor.Files != info.Header.FileCount)
        out << fileName << ": note: the header counts " << info.Header.FileCount << " files; the installer does not read that count\n";
    return true;
}
