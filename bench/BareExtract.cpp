// The fixed reference: the package's zlib streams read, inflated with stock
// zlib and written with nothing else around them (no events, no attributes, no
// log). With --write-only, the floor: the same files written from memory,
// nothing read and nothing inflated.
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "PackageFormat.h"
#include "PackageReader.h"
#include "PackageVolumes.h"
#include "Stream.h"

namespace {

struct TStreamToWrite {
    int64_t Offset;
    int64_t Stored, Size;
    std::string Path;
};

// Where each file's stream lies, found by the headers alone.
class TCollect : public TEntryVisitor {
public:
    void File(const TEntryHeader& entry, const std::string& path, TStream& stream) override
    {
        // Only the product's folders, as the installer extracts them.
        if (path.find('\\') == std::string::npos) return;
        Streams.push_back({stream.Position(), entry.StoredSize, entry.UncompressedSize, path});
    }
    bool EnterFolder(const TEntryHeader&, const std::string& path) override
    {
        Folders.push_back(path);
        return true;
    }
    std::vector<TStreamToWrite> Streams;
    std::vector<std::string> Folders;
};

}  // namespace

int main(int argc, char** argv)
{
    bool writeOnly = argc == 4 && std::string(argv[3]) == "--write-only";
    if (argc != 3 && !writeOnly) {
        std::fprintf(stderr, "usage: bench_BareExtract INSTALLER DESTINATION [--write-only]\n");
        return 2;
    }
    std::string destination = std::string(argv[2]) + "\\";
    auto file = std::make_unique<TFileStream>(argv[1], TFileStream::Mode::Read);
    file->SetPosition(PackageFormat::SetupDataOffsetWord);
    int32_t offset = file->ReadInt32();
    file->SetPosition(offset);
    TPackageInfo info = ReadPackageHeader(*file, -1);
    std::string folder = argv[1];
    folder = folder.substr(0, folder.find_last_of("\\/") + 1);
    std::unique_ptr<TStream> package = OpenSpannedPackage(std::move(file), info, [&](const TVolumeRecord& volume, size_t) {
        return std::make_unique<TFileStream>(folder + volume.Name, TFileStream::Mode::Read);
    });
    package->SetPosition(info.EntriesStart);
    TCollect collect;
    PackageReader::WalkList(*package, info.DataEnd, info.Wide, collect);
    if (info.Wide && !writeOnly) {
        std::fprintf(stderr, "the stock-zlib reference reads packages in one file only\n");
        return 2;
    }

    CreateDirectoryA(argv[2], nullptr);
    for (const std::string& folder : collect.Folders) CreateDirectoryA((destination + folder).c_str(), nullptr);
    HANDLE in = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<uint8_t> input(1 << 16), output(1 << 18);
    if (writeOnly) {
        int64_t largest = 0;
        for (const TStreamToWrite& file : collect.Streams) largest = std::max(largest, file.Size);
        // Files past 64 MiB are written in 64 MiB pieces from one buffer.
        std::vector<uint8_t> content(size_t(std::min<int64_t>(largest, int64_t{64} << 20)), 0x5A);
        for (const TStreamToWrite& file : collect.Streams) {
            HANDLE out = CreateFileA((destination + file.Path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
            for (int64_t left = file.Size; left > 0;) {
                DWORD piece = DWORD(std::min<int64_t>(left, int64_t(content.size()))), written = 0;
                if (!WriteFile(out, content.data(), piece, &written, nullptr) || written == 0) break;
                left -= written;
            }
            CloseHandle(out);
        }
        CloseHandle(in);
        std::printf("%zu files written\n", collect.Streams.size());
        return 0;
    }
    for (const TStreamToWrite& file : collect.Streams) {
        LARGE_INTEGER at;
        at.QuadPart = file.Offset;
        SetFilePointerEx(in, at, nullptr, FILE_BEGIN);
        HANDLE out = CreateFileA((destination + file.Path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        z_stream z{};
        inflateInit(&z);
        int64_t left = file.Stored;
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            if (z.avail_in == 0 && left > 0) {
                DWORD got = 0;
                ReadFile(in, input.data(), DWORD(std::min<int64_t>(left, int64_t(input.size()))), &got, nullptr);
                left -= int64_t(got);
                z.next_in = input.data();
                z.avail_in = got;
            }
            z.next_out = output.data();
            z.avail_out = uInt(output.size());
            rc = inflate(&z, Z_NO_FLUSH);
            DWORD written = 0;
            WriteFile(out, output.data(), DWORD(output.size() - z.avail_out), &written, nullptr);
            if (rc != Z_OK && rc != Z_STREAM_END) break;
        }
        inflateEnd(&z);
        CloseHandle(out);
    }
    CloseHandle(in);
    std::printf("%zu files\n", collect.Streams.size());
    return 0;
}
