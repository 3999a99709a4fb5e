// The package reader on any bytes: header, version record, the whole entry
// walk and every file inflated to nowhere. Only the reader's own errors may
// come out; the sanitizers catch everything else.
#include <cstring>

#include "Checksum.h"
#include "Exception.h"
#include "FuzzTarget.h"
#include "Inflate.h"
#include "PackageFormat.h"
#include "PackageReader.h"
#include "Stream.h"

namespace {

class TInflateAll : public TEntryVisitor {
public:
    void File(const TEntryHeader& entry, const std::string&, TStream& stream) override
    {
        TNullSink sink;
        try {
            InflateEntry(stream, entry.StoredSize, entry.UncompressedSize, sink);
        } catch (const Exception&) {
        }
    }
    bool EnterFolder(const TEntryHeader&, const std::string&) override { return true; }
};

}  // namespace

FUZZ_TARGET(Package)
{
    // The fuzzer's bytes stand for the package's data: the header is made to
    // fit them, so the walk itself is reached, not only the checksum; once
    // with a narrow header, once with a wide one (64-bit sizes, no volumes).
    enum { Raw, Narrow, Wide };
    for (int trusted : {Raw, Narrow, Wide}) {
        std::vector<uint8_t> bytes(data, data + size);
        if (trusted == Narrow) {
            std::vector<uint8_t> package(PackageFormat::HeaderSize);
            std::memcpy(package.data(), PackageFormat::Signature, 8);
            PutInt32LE(&package[8], int32_t(size));
            PutUInt32LE(&package[12], Adler32(1, data, size));
            package.insert(package.end(), bytes.begin(), bytes.end());
            bytes.swap(package);
        } else if (trusted == Wide) {
            TMemoryStream header;
            TPackageHeader wide;
            wide.DataSize = wide.FirstPartSize = int64_t(size);
            wide.Checksum = Adler32(1, data, size);
            WriteWideHeader(header, wide);
            header.Data().insert(header.Data().end(), bytes.begin(), bytes.end());
            bytes.swap(header.Data());
        }
        TMemoryStream stream(bytes);
        try {
            TPackageInfo info = ReadPackageHeader(stream);
            stream.SetPosition(info.EntriesStart);
            TInflateAll visitor;
            PackageReader::WalkList(stream, info.DataEnd, info.Wide, visitor);
            TEntryHeader found;
            PackageReader::FindTopLevel(stream, info, "Setup.ini", false, found);
        } catch (const Exception&) {
        }
    }
}
