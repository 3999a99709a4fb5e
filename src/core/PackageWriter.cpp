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
#include "PackageFormat.h"
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

// Deflates one file into `out` as a zlib stream in blocks, never holding it
// whole; returns its uncompressed size. `onBlock` hears of every block read,
// for progress.
int32_t StreamFile(std::unique_ptr<TStream> in, const std::string& path, int level, TStream& out,
                   const std::function<void(int64_t)>& onBlock)
{
    TDeflater deflater(std::min(level, 9));
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
            out.WriteBuffer(output.data(), output.size() - z.avail_out);
        } while (z.avail_out == 0);
        if (onBlock) onBlock(int64_t(got));
    } while (flush != Z_FINISH);
    return int32_t(total);
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

// Files up to this size are read whole and compressed in one piece.
constexpr int64_t WholeFileLimit = 64ll << 20;

// Deflates one file into `out`; returns its uncompressed size.
int32_t DeflateFile(const TPackageItem& item, const std::string& path, int level, bool zlibOnly,
                    TWholeCompressors& compressors, TStream& out, const std::function<void(int64_t)>& onBlock)
{
    std::unique_ptr<TStream> in = item.Open();
    if (zlibOnly || item.SizeHint > WholeFileLimit) return StreamFile(std::move(in), path, level, out, onBlock);
    const size_t announced = static_cast<size_t>(std::max<int64_t>(item.SizeHint, 0));
    std::vector<uint8_t> data(announced + 1);
    size_t size = 0;
    for (;;) {
        if (size == data.size()) {
            // Larger than announced: past the limit it is streamed after all.
            if (int64_t(size) > WholeFileLimit) return StreamFile(item.Open(), path, level, out, onBlock);
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
    return int32_t(size);
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
    std::unique_ptr<TMemoryStream> Take(size_t index, int32_t& size)
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
        int32_t Size = 0;
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
                    result.Size = DeflateFile(*FJobs[index].Item, FJobs[index].Path, FLevel, FZlibOnly, compressors,
                                              *result.Data, nullptr);
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
    // Puts one file's zlib stream into the package; returns its uncompressed size.
    int32_t WriteFile(const TPackageItem& item, const std::string& path)
    {
        size_t index = FNextFile++;
        int32_t size = 0;
        if (FPool && !TCompressorPool::Streamed(item)) {
            std::unique_ptr<TMemoryStream> compressed = FPool->Take(index, size);
            FOut.WriteBuffer(compressed->Data().data(), compressed->Data().size());
            FProgress.BytesDone += size;
        } else {
            size = DeflateFile(item, path, FOptions.Level, FOptions.ZlibOnly, FCompressors, FOut, [this](int64_t bytes) {
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

TPackageWriteResult WritePackage(TStream& out, const std::vector<TPackageItem>& items,
                                 const TPackageWriteOptions& options)
{
    int64_t start = out.Position();
    uint8_t header[PackageFormat::HeaderSize] = {};
    out.WriteBuffer(header, sizeof header);
    options.Version.SaveToStream(out);

    TWriter writer(out, options);
    writer.CountAll(items);
    writer.StartCompressors(options.Threads);
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
