#include "PackageWriter.h"

#include <zlib.h>

#include <cstring>

#include "Checksum.h"
#include "Exception.h"
#include "PackageFormat.h"
#include "Stream.h"

namespace {

constexpr size_t BlockSize = 256 * 1024;

class TDeflater {
public:
    explicit TDeflater(int level)
    {
        if (deflateInit(&FZ, level) != Z_OK) throw EZCompressionError("zlib could not start compressing");
    }
    ~TDeflater() { deflateEnd(&FZ); }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;
    z_stream& Z() { return FZ; }

private:
    z_stream FZ{};
};

[[noreturn]] void Refuse(const std::string& path, const std::string& why)
{
    throw ESetupError("\"" + path + "\": " + why);
}

class TWriter {
public:
    TWriter(TStream& out, const TPackageWriteOptions& options) : FOut(out), FOptions(options) {}

    void CountAll(const std::vector<TPackageItem>& items)
    {
        for (const auto& item : items) {
            if (item.IsFolder) {
                CountAll(item.Children);
            } else {
                ++FProgress.FilesTotal;
                FProgress.BytesTotal += item.SizeHint;
            }
        }
    }

    void WriteList(const std::vector<TPackageItem>& items, const std::string& prefix)
    {
        for (const auto& item : items) {
            std::string path = prefix.empty() ? item.Name : prefix + "\\" + item.Name;
            std::string why = CheckEntryName(item.Name);
            if (!why.empty()) Refuse(path, why);
            TEntryHeader header;
            header.NameLength = uint8_t(item.Name.size());
            std::memcpy(header.Name, item.Name.data(), item.Name.size());
            header.FileTime = item.IsFolder ? 0 : item.FileTime;
            header.UncompressedSize = item.IsFolder ? PackageFormat::FolderMark : 0;
            int64_t headerAt = FOut.Position();
            header.Save(FOut);
            int64_t dataAt = FOut.Position();
            if (item.IsFolder) {
                WriteList(item.Children, path);
            } else {
                header.UncompressedSize = WriteFile(item, path);
                ++FFileCount;
            }
            int64_t end = FOut.Position();
            if (end - dataAt > INT32_MAX) Refuse(path, "its stored data would pass 2 GiB");
            header.StoredSize = int32_t(end - dataAt);
            FOut.SetPosition(headerAt);
            header.Save(FOut);
            FOut.SetPosition(end);
        }
        TEntryHeader endRecord;
        endRecord.UncompressedSize = PackageFormat::FolderMark;
        endRecord.Save(FOut);
    }

    int32_t FileCount() const { return FFileCount; }

private:
    // Deflates one file into the package; returns its uncompressed size.
    int32_t WriteFile(const TPackageItem& item, const std::string& path)
    {
        std::unique_ptr<TStream> in = item.Open();
        TDeflater deflater(FOptions.Level);
        z_stream& z = deflater.Z();
        std::vector<uint8_t> input(BlockSize), output(BlockSize);
        int64_t total = 0;
        int flush = Z_NO_FLUSH;
        do {
            size_t got = in->Read(input.data(), input.size());
            total += int64_t(got);
            if (total > INT32_MAX) Refuse(path, "the file is 2 GiB or larger");
            flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
            z.next_in = input.data();
            z.avail_in = uInt(got);
            do {
                z.next_out = output.data();
                z.avail_out = uInt(output.size());
                if (deflate(&z, flush) == Z_STREAM_ERROR) throw EZCompressionError("zlib failed");
                FOut.WriteBuffer(output.data(), output.size() - z.avail_out);
            } while (z.avail_out == 0);
            FProgress.BytesDone += int64_t(got);
            ReportProgress(false);
        } while (flush != Z_FINISH);
        ++FProgress.FilesDone;
        ReportProgress(true);
        return int32_t(total);
    }

    void ReportProgress(bool fileDone)
    {
        if (!FOptions.Progress) return;
        // Between files report at most every 8 MiB, so progress costs nothing.
        if (!fileDone && FProgress.BytesDone - FLastReported < (8 << 20)) return;
        FLastReported = FProgress.BytesDone;
        FOptions.Progress(FProgress);
    }

    TStream& FOut;
    const TPackageWriteOptions& FOptions;
    TWriteProgress FProgress;
    int64_t FLastReported = 0;
    int32_t FFileCount = 0;
};

}  // namespace

TPackageItem TPackageItem::Folder(std::string name, std::vector<TPackageItem> children)
{
    TPackageItem item;
    item.Name = std::move(name);
    item.IsFolder = true;
    item.Children = std::move(children);
    return item;
}

TPackageItem TPackageItem::File(std::string name, std::string content, int32_t fileTime)
{
    TPackageItem item;
    item.Name = std::move(name);
    item.FileTime = fileTime;
    item.SizeHint = int64_t(content.size());
    item.Open = [content = std::move(content)]() -> std::unique_ptr<TStream> {
        return std::make_unique<TMemoryStream>(std::vector<uint8_t>(content.begin(), content.end()));
    };
    return item;
}

TPackageWriteResult WritePackage(TStream& out, const std::vector<TPackageItem>& items,
                                 const TPackageWriteOptions& options)
{
    int64_t start = out.Position();
    uint8_t header[PackageFormat::HeaderSize] = {};
    out.WriteBuffer(header, sizeof header);
    options.Version.SaveToStream(out);

    TWriter writer(out, options);
    writer.CountAll(items);
    writer.WriteList(items, std::string());

    int64_t end = out.Position();
    int64_t dataSize = end - start - int64_t(PackageFormat::HeaderSize);
    if (dataSize > INT32_MAX) throw ESetupError("the package data would pass 2 GiB, the most a package can hold");

    out.SetPosition(start + int64_t(PackageFormat::HeaderSize));
    TPackageWriteResult result;
    result.Checksum = StreamChecksum(out, dataSize);
    result.FileCount = writer.FileCount();
    result.Size = end - start;

    std::memcpy(header, PackageFormat::Signature, 8);
    PutInt32LE(header + 8, int32_t(dataSize));
    PutUInt32LE(header + 12, result.Checksum);
    PutDoubleLE(header + 16, options.CreationTime);
    PutInt32LE(header + 24, result.FileCount);
    out.SetPosition(start);
    out.WriteBuffer(header, sizeof header);
    out.SetPosition(end);
    return result;
}
