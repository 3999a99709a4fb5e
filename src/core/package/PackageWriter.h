#pragma once
// Writes setup packages: what the builder uses to turn a product folder into
// the data an installer carries. Entries are written in the order given.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Exception.h"
#include "PackageFormat.h"
#include "ProgramVersion.h"

class TStream;

struct TPackageItem {
    std::string Name;
    bool IsFolder = false;
    int32_t FileTime = 0;                              // DOS date-time; folders carry 0
    std::vector<TPackageItem> Children;                // folders
    std::function<std::unique_ptr<TStream>()> Open;    // files: opens the content
    int64_t SizeHint = 0;                              // files: expected size, for progress

    static TPackageItem Folder(std::string name, std::vector<TPackageItem> children = {});
    static TPackageItem File(std::string name, std::string content, int32_t fileTime = 0);
};

struct TWriteProgress {
    int64_t FilesDone = 0, FilesTotal = 0;
    int64_t BytesDone = 0, BytesTotal = 0;
};

struct TPackageWriteOptions {
    TProgramVersion Version;
    double CreationTime = 0;  // days since 1899-12-30, local time
    // 0 (stored) to 9. Below 9 the level as such; 9 asks for output no larger
    // than zlib's best, the strategy picked per file by its data (see
    // WholeFileLevel). Files too large to hold are streamed through zlib.
    int Level = 9;
    // Every file through zlib's own deflate at Level, as earlier versions did.
    bool ZlibOnly = false;
    // Files are compressed on this many threads (0: one per processor); the
    // package's bytes are the same whatever the number.
    unsigned Threads = 0;
    std::function<void(const TWriteProgress&)> Progress;
    // A wide package (64-bit sizes, "KX/ISB/4"); a narrow one that outgrows
    // 2 GiB raises EPackageTooLarge.
    bool Wide = false;
    // Wide packages: the data past this many bytes in the output goes to
    // volumes of this size, each made by NewVolume and named in the table by
    // VolumeName (index from 1); 0 keeps all data in the output.
    int64_t VolumeSize = 0;
    std::function<std::unique_ptr<TStream>(size_t index)> NewVolume;
    std::function<std::string(size_t index)> VolumeName;
};

// A narrow package that would pass what its 32-bit sizes can say.
class EPackageTooLarge : public ESetupError {
public:
    using ESetupError::ESetupError;
};

// The whole-buffer compressor's level for a file at `level`, from a sample of
// its first bytes. At 9: data that resists compression (audio, images: a fast
// pass over the sample keeps more than 80% of it) takes the near-optimal
// parser (10), which beats zlib's best there; other data takes 6, already
// smaller than zlib's best on code and text, at a fraction of the time.
int WholeFileLevel(int level, const uint8_t* data, size_t size);

struct TPackageWriteResult {
    int64_t Size = 0;  // header and data (of a wide package: in the output, with the volume table)
    int32_t FileCount = 0;
    uint32_t Checksum = 0;
    bool Wide = false;
    int64_t DataSize = 0;  // all of it, volumes included
    std::vector<TVolumeRecord> Volumes;
};

// Writes a whole package at the stream's position. The stream must be readable
// and seekable: folder sizes are filled in after their children, and the
// checksum is computed over the finished data. Raises ESetupError for a name or
// size the format cannot carry.
TPackageWriteResult WritePackage(TStream& out, const std::vector<TPackageItem>& items,
                                 const TPackageWriteOptions& options);
