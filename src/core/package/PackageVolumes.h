#pragma once
// The volumes of a wide package: the files beside the program that carry its
// data past the first part. A package read through them is one stream whose
// positions are the program file's own up to the end of the first part and go
// on through the volumes in order, so every reader walks it as it walks a
// package in one file.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PackageFormat.h"
#include "Stream.h"

// Opens volume `index` (from 1) of the package, standing anywhere; raises
// EVolumeMissing (or another stream error) when it cannot.
using TVolumeOpener = std::function<std::unique_ptr<TStream>(const TVolumeRecord& volume, size_t index)>;

// One stream over consecutive parts: the first file up to `firstEnd`, then
// each volume's data after its head.
class TSpannedStream : public TStream {
public:
    // Reading: the parts the package's table names, opened when first read.
    TSpannedStream(std::unique_ptr<TStream> first, int64_t firstEnd, const std::vector<int64_t>& volumeSizes,
                   std::function<std::unique_ptr<TStream>(size_t index)> open);
    // Writing: `first` (not owned) takes bytes up to `firstEnd`; each further
    // `volumeSize` bytes go to a new volume that `make` creates, its head
    // left for the writer to fill in.
    TSpannedStream(TStream& first, int64_t firstEnd, int64_t volumeSize,
                   std::function<std::unique_ptr<TStream>(size_t index)> make);

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;

    // Volumes so far (parts after the first), their data sizes and streams.
    size_t VolumeCount() const { return FParts.size() - 1; }
    int64_t VolumeSize(size_t index) const { return FParts[index].Length; }
    TStream& Volume(size_t index);

private:
    struct TPart {
        int64_t Start = 0, Length = 0, Capacity = 0;
        int64_t Base = 0;  // where the part's bytes begin in its stream
        std::unique_ptr<TStream> Owned;
        TStream* Stream = nullptr;
    };
    TPart* PartAt(int64_t position, bool writing);
    TStream& Open(TPart& part, size_t index);

    std::vector<TPart> FParts;
    std::function<std::unique_ptr<TStream>(size_t)> FOpen;
    int64_t FVolumeSize = 0;
    int64_t FPosition = 0;
};

// A volume's head, as the builder writes it and the reader checks it.
struct TVolumeHead {
    int32_t Index = 0;
    uint32_t Checksum = 0;
    int64_t PackageDataSize = 0;
    double CreationTime = 0;
};
void WriteVolumeHead(TStream& volume, const TVolumeHead& head);

// Checks that the stream is volume `index` of this package by its head (a
// volume of another build, or not a volume, is the damaged-package error,
// after `note` has heard which and why) and leaves it at its data.
void CheckVolumeHead(TStream& volume, const TPackageInfo& info, size_t index,
                     const std::function<void(const std::string&)>& note = nullptr);

// The package's data as one stream, standing where `first` stood; a package
// in one file comes back as it is. The stream keeps copies of `info`, `open`
// and `note`: what they refer to must outlive it.
std::unique_ptr<TStream> OpenSpannedPackage(std::unique_ptr<TStream> first, const TPackageInfo& info,
                                            const TVolumeOpener& open,
                                            const std::function<void(const std::string&)>& note = nullptr);

// Checks every byte of the package's data against its checksums: a narrow
// package's whole data, a wide one's first part with its table, then each
// volume's head and data against the table. `progress` hears of the bytes
// summed, out of PackageCheckBytes; `note` hears which volume was found wrong.
// Raises the damaged-package error, or the opener's.
void CheckPackageData(TStream& first, const TPackageInfo& info, const TVolumeOpener& open,
                      const std::function<void(int64_t)>& progress = nullptr,
                      const std::function<void(const std::string&)>& note = nullptr);
int64_t PackageCheckBytes(const TPackageInfo& info);

// The name of volume `index` of an installer or data file: "EchoSetup.exe"
// gives "EchoSetup-1.bin".
std::string VolumeFileName(const std::string& packageFileName, size_t index);
