#include "PackageWriter.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "Checksum.h"
#include "Exception.h"
#include "Inflate.h"
#include "PackageFormat.h"
#include "PackageVolumes.h"
#include "Sha256.h"
#include "Stream.h"

namespace {

constexpr size_t BlockSize = size_t{256} * 1024;

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

// A narrow package's file or entry that passes 2 GiB: the builder starts over wide.
[[noreturn]] void TooLarge(const std::string& path, const std::string& why)
{
    throw EPackageTooLarge("\"" + path + "\": " + why);
}

// Whole-buffer compressors by level, made when first asked for and kept for
// the next file: one set for each thread that compresses. (Owned by the
// thread's code, not thread_local: mingw's thread-local objects with
// destructors are not safe at thread exit.)
class TWholeCompressors {
public:
    TWholeCompressors() = default;
    ~TWholeCompressors()
    {
        for (libdeflate_compressor* compressor : FByLevel)
            if (compressor) libdeflate_free_compressor(compressor);
    }
    TWholeCompressors(const TWholeCompressors&) = delete;
    TWholeCompressors& operator=(const TWholeCompressors&) = delete;

    libdeflate_compressor* Get(int level)
    {
        libdeflate_compressor*& compressor = FByLevel[level];
        if (!compressor) compressor = libdeflate_alloc_compressor(level);
        if (!compressor) throw std::bad_alloc();
        return compressor;
    }

private:
    libdeflate_compressor* FByLevel[13] = {};
};

int ChooseWholeLevel(int level, const uint8_t* data, size_t size, TWholeCompressors& compressors)
{
    level = std::max(0, std::min(level, 9));
    if (level < 9) return level;
    size_t sample = std::min<size_t>(size, size_t(16) * 1024);
    if (sample == 0) return 6;
    libdeflate_compressor* fast = compressors.Get(1);
    std::vector<uint8_t> trial(libdeflate_zlib_compress_bound(fast, sample));
    size_t kept = libdeflate_zlib_compress(fast, data, sample, trial.data(), trial.size());
    return kept == 0 || kept * 5 > sample * 4 ? 10 : 6;
}

// Whether a block resists compression: a fast trial of its first 16 KiB saves
// less than 2%. Noise-like samples and impulse responses are such data, and
// zlib's search finds nothing there at a fortieth of the speed of storing.
bool Resists(const uint8_t* data, size_t size, TWholeCompressors& compressors)
{
    size_t sample = std::min<size_t>(size, size_t(16) * 1024);
    if (sample < 1024) return false;
    libdeflate_compressor* fast = compressors.Get(1);
    std::vector<uint8_t> trial(libdeflate_zlib_compress_bound(fast, sample));
    size_t kept = libdeflate_zlib_compress(fast, data, sample, trial.data(), trial.size());
    return kept == 0 || kept * 50 > sample * 49;
}

// Changes the level of a running zlib stream, writing out what it flushes.
void SetDeflateLevel(z_stream& z, int level, std::vector<uint8_t>& output, TStream& out)
{
    for (;;) {
        z.next_out = output.data();
        z.avail_out = uInt(output.size());
        int rc = deflateParams(&z, level, Z_DEFAULT_STRATEGY);
        out.WriteBuffer(output.data(), output.size() - z.avail_out);
        if (rc == Z_OK) return;
        if (rc != Z_BUF_ERROR) throw EZCompressionError("zlib failed");
    }
}

// Deflates one file into `out` as a zlib stream in blocks, never holding it
// whole; returns its uncompressed size. With `adaptive`, blocks that resist
// compression are stored. `onBlock` hears of every block read, for progress.
int64_t StreamFile(std::unique_ptr<TStream> in, const std::string& path, int level, bool wide, bool adaptive,
                   TWholeCompressors& compressors, TStream& out, const std::function<void(int64_t)>& onBlock)
{
    level = std::max(0, std::min(level, 9));
    TDeflater deflater(level);
    z_stream& z = deflater.Z();
    std::vector<uint8_t> input(BlockSize), output(BlockSize);
    int64_t total = 0;
    int current = level;
    int flush = Z_NO_FLUSH;
    do {
        size_t got = ReadUpTo(*in, input.data(), input.size());
        total += int64_t(got);
        if (!wide && total > PackageFormat::NarrowLimit) TooLarge(path, "the file is 2 GiB or larger");
        if (adaptive && level > 0 && got > 0) {
            int wanted = Resists(input.data(), got, compressors) ? 0 : level;
            if (wanted != current) SetDeflateLevel(z, current = wanted, output, out);
        }
        flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = input.data();
        z.avail_in = uInt(got);
        do {
            z.next_out = output.data();
            z.avail_out = uInt(output.size());
            if (deflate(&z, flush) == Z_STREAM_ERROR) throw EZCompressionError("zlib failed");
            out.WriteBuffer(output.data(), output.size() - z.avail_out);
        } while (z.avail_out == 0);
        if (onBlock) onBlock(int64_t(got));
    } while (flush != Z_FINISH);
    return total;
}

// Files up to this size are read whole and compressed in one piece.
constexpr int64_t WholeFileLimit = 64ll << 20;

// Deflates one file into `out`; returns its uncompressed size.
int64_t DeflateFile(const TPackageItem& item, const std::string& path, int level, bool zlibOnly, bool wide,
                    TWholeCompressors& compressors, TStream& out, const std::function<void(int64_t)>& onBlock)
{
    std::unique_ptr<TStream> in = item.Open();
    if (zlibOnly || item.SizeHint > WholeFileLimit)
        return StreamFile(std::move(in), path, level, wide, !zlibOnly, compressors, out, onBlock);
    const size_t announced = static_cast<size_t>(std::max<int64_t>(item.SizeHint, 0));
    std::vector<uint8_t> data(announced + 1);
    size_t size = 0;
    for (;;) {
        if (size == data.size()) {
            // Larger than announced: past the limit it is streamed after all.
            if (int64_t(size) > WholeFileLimit)
                return StreamFile(item.Open(), path, level, wide, !zlibOnly, compressors, out, onBlock);
            data.resize(data.size() * 2);
        }
        size_t got = in->Read(data.data() + size, data.size() - size);
        if (got == 0) break;
        size += got;
    }
    libdeflate_compressor* compressor = compressors.Get(ChooseWholeLevel(level, data.data(), size, compressors));
    std::vector<uint8_t> compressed(libdeflate_zlib_compress_bound(compressor, size));
    size_t stored = libdeflate_zlib_compress(compressor, data.data(), size, compressed.data(), compressed.size());
    if (stored == 0) throw EZCompressionError("libdeflate failed");
    out.WriteBuffer(compressed.data(), stored);
    if (onBlock) onBlock(int64_t(size));
    return int64_t(size);
}

struct TFileJob {
    const TPackageItem* Item;
    std::string Path;
};

// Compresses the files of a package ahead of the writer on several threads.
// The writer takes the results in package order; workers stay at most a
// window of bytes ahead, and files too large to hold are left to the writer,
// which streams them itself.
class TCompressorPool {
public:
    static constexpr int64_t Window = 256ll << 20;

    TCompressorPool(std::vector<TFileJob> jobs, int level, bool zlibOnly, unsigned threads)
        : FJobs(std::move(jobs)), FLevel(level), FZlibOnly(zlibOnly), FResults(FJobs.size())
    {
        for (unsigned i = 0; i < threads; ++i) FWorkers.emplace_back([this] { Work(); });
    }
    ~TCompressorPool()
    {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FStopping = true;
        }
        FChanged.notify_all();
        for (std::thread& worker : FWorkers) worker.join();
    }

    static bool Streamed(const TPackageItem& item) { return item.SizeHint > WholeFileLimit; }

    // Waits for file `index` and hands over its compressed bytes; the
    // compressor's error, if any, is raised here, in package order.
    std::unique_ptr<TMemoryStream> Take(size_t index, int64_t& size)
    {
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait(lock, [&] { return FResults[index].Done; });
        TResult& result = FResults[index];
        FInFlight -= Weight(*FJobs[index].Item);
        FTaken = index + 1;
        FChanged.notify_all();
        if (result.Error) std::rethrow_exception(result.Error);
        size = result.Size;
        return std::move(result.Data);
    }

private:
    struct TResult {
        bool Done = false;
        std::unique_ptr<TMemoryStream> Data;
        int64_t Size = 0;
        std::exception_ptr Error;
    };

    static int64_t Weight(const TPackageItem& item) { return Streamed(item) ? 0 : item.SizeHint + 1; }

    void Work()
    {
        TWholeCompressors compressors;
        for (;;) {
            size_t index;
            {
                std::unique_lock<std::mutex> lock(FMutex);
                FChanged.wait(lock, [&] {
                    if (FStopping || FNext >= FJobs.size()) return true;
                    // Always allow the file the writer waits for; others only within the window.
                    return FNext == FTaken || FInFlight + Weight(*FJobs[FNext].Item) <= Window;
                });
                if (FStopping || FNext >= FJobs.size()) return;
                index = FNext++;
                FInFlight += Weight(*FJobs[index].Item);
            }
            TResult result;
            if (!Streamed(*FJobs[index].Item)) {
                try {
                    result.Data = std::make_unique<TMemoryStream>();
                    // Pooled files are at most WholeFileLimit: never past what a narrow package says.
                    result.Size = DeflateFile(*FJobs[index].Item, FJobs[index].Path, FLevel, FZlibOnly, true,
                                              compressors, *result.Data, nullptr);
                } catch (...) {
                    result.Error = std::current_exception();
                }
            }
            {
                std::lock_guard<std::mutex> lock(FMutex);
                result.Done = true;
                FResults[index] = std::move(result);
            }
            FChanged.notify_all();
        }
    }

    std::vector<TFileJob> FJobs;
    int FLevel;
    bool FZlibOnly;
    std::vector<TResult> FResults;
    std::vector<std::thread> FWorkers;
    std::mutex FMutex;
    std::condition_variable FChanged;
    size_t FNext = 0, FTaken = 0;
    int64_t FInFlight = 0;
    bool FStopping = false;
};

class TWriter {
public:
    TWriter(TStream& out, const TPackageWriteOptions& options) : FOut(out), FOptions(options) {}

    // Lists the files in package order, for the compressors.
    void CountAll(const std::vector<TPackageItem>& items, const std::string& prefix = std::string())
    {
        for (const auto& item : items) {
            std::string path = prefix.empty() ? item.Name : prefix + "\\" + item.Name;
            if (item.IsFolder) {
                CountAll(item.Children, path);
            } else {
                ++FProgress.FilesTotal;
                FProgress.BytesTotal += item.SizeHint;
                FJobs.push_back({&item, path});
            }
        }
    }

    void StartCompressors(unsigned threads)
    {
        if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
        if (threads > 1 && FJobs.size() > 1)
            FPool = std::make_unique<TCompressorPool>(FJobs, FOptions.Level, FOptions.ZlibOnly, threads);
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
            header.Save(FOut, FOptions.Wide);
            int64_t dataAt = FOut.Position();
            if (item.IsFolder) {
                WriteList(item.Children, path);
            } else {
                header.UncompressedSize = WriteFile(item, path);
                ++FFileCount;
            }
            int64_t end = FOut.Position();
            if (!FOptions.Wide && end - dataAt > PackageFormat::NarrowLimit)
                TooLarge(path, "its stored data would pass 2 GiB");
            header.StoredSize = end - dataAt;
            FOut.SetPosition(headerAt);
            header.Save(FOut, FOptions.Wide);
            FOut.SetPosition(end);
        }
        TEntryHeader endRecord;
        endRecord.UncompressedSize = PackageFormat::FolderMark;
        endRecord.Save(FOut, FOptions.Wide);
    }

    int32_t FileCount() const { return FFileCount; }

private:
    // Puts one file's zlib stream into the package; returns its uncompressed size.
    int64_t WriteFile(const TPackageItem& item, const std::string& path)
    {
        size_t index = FNextFile++;
        int64_t size = 0;
        if (FPool && !TCompressorPool::Streamed(item)) {
            std::unique_ptr<TMemoryStream> compressed = FPool->Take(index, size);
            FOut.WriteBuffer(compressed->Data().data(), compressed->Data().size());
            FProgress.BytesDone += size;
        } else {
            size = DeflateFile(item, path, FOptions.Level, FOptions.ZlibOnly, FOptions.Wide, FCompressors, FOut,
                               [this](int64_t bytes) {
                FProgress.BytesDone += bytes;
                ReportProgress(false);
            });
        }
        ++FProgress.FilesDone;
        ReportProgress(true);
        return size;
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
    std::vector<TFileJob> FJobs;
    size_t FNextFile = 0;
    std::unique_ptr<TCompressorPool> FPool;
    TWholeCompressors FCompressors;
};

}  // namespace

int WholeFileLevel(int level, const uint8_t* data, size_t size)
{
    TWholeCompressors compressors;
    return ChooseWholeLevel(level, data, size, compressors);
}

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

namespace {

// Fills in a wide package: each volume's head, the table after the first
// part, the header with the checksum of both.
void FinishWide(TStream& out, TSpannedStream* spanned, int64_t start, int64_t end, const TPackageWriteOptions& options,
                TPackageWriteResult& result)
{
    int64_t dataStart = start + int64_t(PackageFormat::WideHeaderSize);
    TPackageHeader header;
    header.DataSize = end - dataStart;
    header.CreationTime = options.CreationTime;
    header.FileCount = result.FileCount;
    header.FirstPartSize = header.DataSize;
    if (spanned && spanned->VolumeCount() > 0) {
        header.FirstPartSize = options.VolumeSize;
        header.Flags = PackageFormat::VolumeDigestsFlag;
        for (size_t index = 1; index <= spanned->VolumeCount(); ++index) {
            TVolumeRecord record;
            record.Name = options.VolumeName(index);
            record.Size = spanned->VolumeSize(index);
            if (!CheckEntryName(record.Name).empty()) Refuse(record.Name, "cannot name a volume: " + CheckEntryName(record.Name));
            TStream& volume = spanned->Volume(index);
            volume.SetPosition(int64_t(PackageFormat::VolumeHeaderSize));
            TSha256 digest;
            record.Checksum = StreamChecksum(volume, record.Size, nullptr, &digest);
            TSha256::TDigest bytes = digest.Finish();
            record.Digest.assign(bytes.begin(), bytes.end());
            WriteVolumeHead(volume, {int32_t(index), record.Checksum, header.DataSize, options.CreationTime});
            result.Volumes.push_back(std::move(record));
        }
    }
    std::vector<uint8_t> table = VolumeTableBytes(result.Volumes, header.Flags);
    header.VolumeCount = int32_t(result.Volumes.size());
    out.SetPosition(dataStart);
    header.Checksum = StreamChecksum(out, header.FirstPartSize);
    if (!table.empty()) header.Checksum = Adler32(header.Checksum, table.data(), table.size());
    int64_t tableAt = dataStart + header.FirstPartSize;
    out.SetPosition(tableAt);
    out.WriteBuffer(table.data(), table.size());
    out.SetPosition(start);
    WriteWideHeader(out, header);
    out.SetPosition(tableAt + int64_t(table.size()));
    result.Checksum = header.Checksum;
    result.DataSize = header.DataSize;
    result.Size = tableAt + int64_t(table.size()) - start;
}

}  // namespace

TPackageWriteResult WritePackage(TStream& out, const std::vector<TPackageItem>& items,
                                 const TPackageWriteOptions& options)
{
    int64_t start = out.Position();
    size_t headerSize = options.Wide ? PackageFormat::WideHeaderSize : PackageFormat::HeaderSize;
    uint8_t header[PackageFormat::WideHeaderSize] = {};
    out.WriteBuffer(header, headerSize);
    std::unique_ptr<TSpannedStream> spanned;
    if (options.Wide && options.VolumeSize > 0)
        spanned = std::make_unique<TSpannedStream>(out, out.Position() + options.VolumeSize, options.VolumeSize,
                                                   options.NewVolume);
    TStream& data = spanned ? static_cast<TStream&>(*spanned) : out;
    options.Version.SaveToStream(data);

    TWriter writer(data, options);
    writer.CountAll(items);
    writer.StartCompressors(options.Threads);
    writer.WriteList(items, std::string());

    TPackageWriteResult result;
    result.FileCount = writer.FileCount();
    result.Wide = options.Wide;
    int64_t end = data.Position();
    if (options.Wide) {
        FinishWide(out, spanned.get(), start, end, options, result);
        return result;
    }
    int64_t dataSize = end - start - int64_t(PackageFormat::HeaderSize);
    if (dataSize > PackageFormat::NarrowLimit) TooLarge("the package", "its data would pass 2 GiB");

    out.SetPosition(start + int64_t(PackageFormat::HeaderSize));
    result.Checksum = StreamChecksum(out, dataSize);
    result.Size = end - start;
    result.DataSize = dataSize;

    std::memcpy(header, PackageFormat::Signature, 8);
    PutInt32LE(header + 8, int32_t(dataSize));
    PutUInt32LE(header + 12, result.Checksum);
    PutDoubleLE(header + 16, options.CreationTime);
    PutInt32LE(header + 24, result.FileCount);
    out.SetPosition(start);
    out.WriteBuffer(header, PackageFormat::HeaderSize);
    out.SetPosition(end);
    return result;
}
