#include "PackageVolumes.h"

#include <algorithm>
#include <cstring>

#include "Checksum.h"
#include "Exception.h"
#include "Inflate.h"
#include "Messages.h"
#include "Sha256.h"

namespace {

// A fault of a volume names the file to fetch again; one of the program file is the usual message.
[[noreturn]] void Damaged(const std::function<void(const std::string&)>& note, const std::string& why,
                          const std::string& volume = std::string())
{
    if (note) note(why);
    if (volume.empty()) throw EPackageDamaged(LoadMessage(Msg::InstallerCorrupted));
    throw EPackageDamaged(FormatMessageText(Msg::VolumeDamaged, {volume}));
}

}  // namespace

TSpannedStream::TSpannedStream(std::unique_ptr<TStream> first, int64_t firstEnd, const std::vector<int64_t>& volumeSizes,
                               std::function<std::unique_ptr<TStream>(size_t index)> open)
    : FOpen(std::move(open))
{
    TPart head;
    head.Length = head.Capacity = firstEnd;
    head.Stream = first.get();
    head.Owned = std::move(first);
    FParts.push_back(std::move(head));
    for (int64_t size : volumeSizes) {
        TPart part;
        part.Start = FParts.back().Start + FParts.back().Length;
        part.Length = part.Capacity = size;
        part.Base = int64_t(PackageFormat::VolumeHeaderSize);
        FParts.push_back(std::move(part));
    }
}

TSpannedStream::TSpannedStream(TStream& first, int64_t firstEnd, int64_t volumeSize,
                               std::function<std::unique_ptr<TStream>(size_t index)> make)
    : FOpen(std::move(make)), FVolumeSize(volumeSize)
{
    TPart head;
    FPosition = first.Position();
    head.Length = FPosition;
    head.Capacity = std::max(firstEnd, FPosition);
    head.Stream = &first;
    FParts.push_back(std::move(head));
}

TStream& TSpannedStream::Open(TPart& part, size_t index)
{
    if (!part.Stream) {
        part.Owned = FOpen(index);
        part.Stream = part.Owned.get();
    }
    return *part.Stream;
}

TStream& TSpannedStream::Volume(size_t index) { return Open(FParts[index], index); }

TSpannedStream::TPart* TSpannedStream::PartAt(int64_t position, bool writing)
{
    // Parts are few (a volume is at least 64 KiB, usually gigabytes): a scan from the end finds the one.
    for (size_t k = FParts.size(); k-- > 0;) {
        TPart& part = FParts[k];
        if (position < part.Start) continue;
        int64_t end = writing ? part.Start + part.Capacity : part.Start + part.Length;
        if (position < end) return &part;
        if (!writing || k + 1 < FParts.size() || position != end || FVolumeSize <= 0) return nullptr;
        // The last part is full: the next bytes open a new volume, its head left blank for now.
        TPart next;
        next.Start = end;
        next.Capacity = FVolumeSize;
        next.Base = int64_t(PackageFormat::VolumeHeaderSize);
        FParts.push_back(std::move(next));
        TStream& stream = Open(FParts.back(), FParts.size() - 1);
        uint8_t blank[PackageFormat::VolumeHeaderSize] = {};
        stream.SetPosition(0);
        stream.WriteBuffer(blank, sizeof blank);
        return &FParts.back();
    }
    return nullptr;
}

size_t TSpannedStream::Read(void* buffer, size_t count)
{
    TPart* part = PartAt(FPosition, false);
    if (!part || count == 0) return 0;
    size_t index = size_t(part - FParts.data());
    TStream& stream = Open(*part, index);
    int64_t offset = FPosition - part->Start;
    stream.SetPosition(part->Base + offset);
    size_t wanted = size_t(std::min<int64_t>(int64_t(count), part->Length - offset));
    size_t got = stream.Read(buffer, wanted);
    FPosition += int64_t(got);
    return got;
}

size_t TSpannedStream::Write(const void* buffer, size_t count)
{
    auto* p = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        TPart* part = PartAt(FPosition, true);
        if (!part) break;
        int64_t offset = FPosition - part->Start;
        TStream& stream = *part->Stream;
        stream.SetPosition(part->Base + offset);
        size_t wanted = size_t(std::min<int64_t>(int64_t(count - done), part->Capacity - offset));
        size_t put = stream.Write(p + done, wanted);
        if (put == 0) break;
        done += put;
        FPosition += int64_t(put);
        part->Length = std::max(part->Length, offset + int64_t(put));
    }
    return done;
}

int64_t TSpannedStream::Seek(int64_t offset, SeekOrigin origin)
{
    const TPart& last = FParts.back();
    int64_t end = last.Start + last.Length;
    int64_t target = origin == SeekOrigin::Begin ? offset : origin == SeekOrigin::Current ? FPosition + offset : end + offset;
    if (target < 0) throw EReadError(LoadMessage(Msg::StreamReadError));
    FPosition = target;
    return FPosition;
}

void WriteVolumeHead(TStream& volume, const TVolumeHead& head)
{
    uint8_t raw[PackageFormat::VolumeHeaderSize] = {};
    std::memcpy(raw, PackageFormat::VolumeSignature, 8);
    PutInt32LE(raw + 8, head.Index);
    PutUInt32LE(raw + 12, head.Checksum);
    PutInt64LE(raw + 16, head.PackageDataSize);
    PutDoubleLE(raw + 24, head.CreationTime);
    volume.SetPosition(0);
    volume.WriteBuffer(raw, sizeof raw);
}

void CheckVolumeHead(TStream& volume, const TPackageInfo& info, size_t index,
                     const std::function<void(const std::string&)>& note)
{
    const TVolumeRecord& record = info.Volumes[index - 1];
    uint8_t raw[PackageFormat::VolumeHeaderSize] = {};
    volume.SetPosition(0);
    size_t got = ReadUpTo(volume, raw, sizeof raw);
    std::string name = "volume " + record.Name;
    if (got < sizeof raw || std::memcmp(raw, PackageFormat::VolumeSignature, 8) != 0)
        Damaged(note, name + " is not a volume of an installer", record.Name);
    if (GetInt64LE(raw + 16) != info.Header.DataSize || GetDoubleLE(raw + 24) != info.Header.CreationTime)
        Damaged(note, name + " belongs to another installer", record.Name);
    if (GetInt32LE(raw + 8) != int32_t(index) || GetUInt32LE(raw + 12) != record.Checksum)
        Damaged(note, name + " is another volume of this installer's build", record.Name);
    if (volume.Size() != int64_t(PackageFormat::VolumeHeaderSize) + record.Size)
        Damaged(note, name + " does not have the size the installer names (" + std::to_string(record.Size) + " bytes)",
                record.Name);
    volume.SetPosition(int64_t(PackageFormat::VolumeHeaderSize));
}

std::unique_ptr<TStream> OpenSpannedPackage(std::unique_ptr<TStream> first, const TPackageInfo& info,
                                            const TVolumeOpener& open,
                                            const std::function<void(const std::string&)>& note)
{
    if (info.Volumes.empty()) return first;
    int64_t position = first->Position();
    std::vector<int64_t> sizes;
    for (const TVolumeRecord& volume : info.Volumes) sizes.push_back(volume.Size);
    auto spanned = std::make_unique<TSpannedStream>(
        std::move(first), info.FirstPartEnd(), sizes, [info, open, note](size_t index) {
            std::unique_ptr<TStream> volume = open(info.Volumes[index - 1], index);
            CheckVolumeHead(*volume, info, index, note);
            return volume;
        });
    spanned->SetPosition(position);
    return spanned;
}

int64_t PackageCheckBytes(const TPackageInfo& info) { return info.Header.DataSize; }

void CheckPackageData(TStream& first, const TPackageInfo& info, const TVolumeOpener& open,
                      const std::function<void(int64_t)>& progress,
                      const std::function<void(const std::string&)>& note)
{
    first.SetPosition(info.DataStart);
    uint32_t checksum = StreamChecksum(first, info.Header.FirstPartSize, progress);
    if (info.Wide) {
        // The table lies in the program file and is summed with the first part.
        std::vector<uint8_t> table = VolumeTableBytes(info.Volumes, info.Header.Flags);
        checksum = Adler32(checksum, table.data(), table.size());
    }
    if (checksum != info.Header.Checksum) Damaged(note, "the data in the program file does not match its checksum");
    for (size_t index = 1; index <= info.Volumes.size(); ++index) {
        const TVolumeRecord& record = info.Volumes[index - 1];
        std::unique_ptr<TStream> volume = open(record, index);
        CheckVolumeHead(*volume, info, index, note);
        TSha256 digest;
        if (StreamChecksum(*volume, record.Size, progress, &digest) != record.Checksum)
            Damaged(note, "volume " + record.Name + " is damaged: its data does not match its checksum", record.Name);
        // The checksum can be made to fit; the digest, which the signed program file keeps, cannot.
        TSha256::TDigest bytes = digest.Finish();
        if (!record.Digest.empty() && record.Digest != std::string(bytes.begin(), bytes.end()))
            Damaged(note, "volume " + record.Name + " is not this installer's: its data does not match its digest",
                    record.Name);
    }
}

std::string VolumeFileName(const std::string& packageFileName, size_t index)
{
    size_t slash = packageFileName.find_last_of("/\\");
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = packageFileName.rfind('.');
    if (dot == std::string::npos || dot < nameStart) dot = packageFileName.size();
    return packageFileName.substr(nameStart, dot - nameStart) + "-" + std::to_string(index) + ".bin";
}
