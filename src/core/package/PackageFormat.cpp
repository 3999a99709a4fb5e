#include "PackageFormat.h"

#include <algorithm>
#include <cstring>

#include "Checksum.h"
#include "DosDateTime.h"
#include "Exception.h"
#include "Messages.h"
#include "PathUtils.h"
#include "Stream.h"

namespace {

[[noreturn]] void Damaged() { throw EPackageDamaged(LoadMessage(Msg::InstallerCorrupted)); }

// A wide package's volume table, checked against its header.
std::vector<TVolumeRecord> ReadVolumeTable(TStream& stream, const TPackageHeader& header, uint32_t& checksum)
{
    std::vector<TVolumeRecord> volumes;
    int64_t total = header.FirstPartSize;
    for (int32_t k = 0; k < header.VolumeCount; ++k) {
        uint8_t raw[PackageFormat::VolumeRecordSize];
        stream.ReadBuffer(raw, sizeof raw);
        checksum = Adler32(checksum, raw, sizeof raw);
        TVolumeRecord volume;
        volume.Name.assign(reinterpret_cast<const char*>(raw + 1), std::min<size_t>(raw[0], 63));
        volume.Size = GetInt64LE(raw + 64);
        volume.Checksum = GetUInt32LE(raw + 72);
        if (raw[0] > PackageFormat::MaxNameLength || !CheckEntryName(volume.Name).empty()) Damaged();
        if (volume.Size <= 0 || volume.Size > header.DataSize - total) Damaged();
        total += volume.Size;
        volumes.push_back(std::move(volume));
    }
    if (total != header.DataSize) Damaged();
    if (header.Flags & PackageFormat::VolumeDigestsFlag)
        for (TVolumeRecord& volume : volumes) {
            volume.Digest.resize(PackageFormat::VolumeDigestSize);
            stream.ReadBuffer(&volume.Digest[0], volume.Digest.size());
            checksum = Adler32(checksum, volume.Digest.data(), volume.Digest.size());
        }
    return volumes;
}

}  // namespace

TPackageInfo ReadPackageHeader(TStream& stream, int64_t checkUpTo)
{
    uint8_t raw[PackageFormat::WideHeaderSize] = {};
    stream.ReadBuffer(raw, PackageFormat::HeaderSize);
    TPackageInfo info;
    std::memcpy(info.Header.Signature, raw, 8);
    info.Wide = std::memcmp(raw, PackageFormat::WideSignature, 8) == 0;
    if (!info.Wide && std::memcmp(raw, PackageFormat::Signature, 8) != 0)
        throw ESetupError(LoadMessage(Msg::InvalidSetupSignature));
    if (info.Wide) {
        stream.ReadBuffer(raw + PackageFormat::HeaderSize, PackageFormat::WideHeaderSize - PackageFormat::HeaderSize);
        info.Header.DataSize = GetInt64LE(raw + 8);
        info.Header.Checksum = GetUInt32LE(raw + 16);
        info.Header.CreationTime = GetDoubleLE(raw + 20);
        info.Header.FileCount = GetInt32LE(raw + 28);
        info.Header.FirstPartSize = GetInt64LE(raw + 32);
        info.Header.VolumeCount = GetInt32LE(raw + 40);
        info.Header.Flags = GetInt32LE(raw + 44);
        if ((info.Header.Flags & ~PackageFormat::VolumeDigestsFlag) != 0 ||info.Header.FirstPartSize < 0 || info.Header.FirstPartSize > info.Header.DataSize ||
            info.Header.VolumeCount < 0 || info.Header.VolumeCount > PackageFormat::MaxVolumes)
            Damaged();
    } else {
        info.Header.DataSize = GetInt32LE(raw + 8);
        info.Header.Checksum = GetUInt32LE(raw + 12);
        info.Header.CreationTime = GetDoubleLE(raw + 16);
        info.Header.FileCount = GetInt32LE(raw + 24);
        info.Header.FirstPartSize = info.Header.DataSize;
    }
    if (info.Header.DataSize < 0) Damaged();
    info.DataStart = stream.Position();
    info.DataEnd = info.DataStart + info.Header.DataSize;
    bool checkData = info.Header.FirstPartSize <= checkUpTo;
    if (checkData || info.Wide) {
        if (checkData) {
            uint32_t checksum = StreamChecksum(stream, info.Header.FirstPartSize);
            if (info.Wide) info.Volumes = ReadVolumeTable(stream, info.Header, checksum);
            if (checksum != info.Header.Checksum) Damaged();
        } else {
            stream.SetPosition(info.FirstPartEnd());
            uint32_t ignored = 0;
            info.Volumes = ReadVolumeTable(stream, info.Header, ignored);
        }
    }
    stream.SetPosition(info.DataStart);
    info.PackageDate = DateTimeToDosDateTime(info.Header.CreationTime);
    info.Version.LoadFromStream(stream);
    info.EntriesStart = stream.Position();
    return info;
}

void WriteWideHeader(TStream& stream, const TPackageHeader& header)
{
    uint8_t raw[PackageFormat::WideHeaderSize] = {};
    std::memcpy(raw, PackageFormat::WideSignature, 8);
    PutInt64LE(raw + 8, header.DataSize);
    PutUInt32LE(raw + 16, header.Checksum);
    PutDoubleLE(raw + 20, header.CreationTime);
    PutInt32LE(raw + 28, header.FileCount);
    PutInt64LE(raw + 32, header.FirstPartSize);
    PutInt32LE(raw + 40, header.VolumeCount);
    PutInt32LE(raw + 44, header.Flags);
    stream.WriteBuffer(raw, sizeof raw);
}

void PutVolumeRecord(uint8_t* raw, const TVolumeRecord& volume)
{
    std::memset(raw, 0, PackageFormat::VolumeRecordSize);
    raw[0] = uint8_t(volume.Name.size());
    std::memcpy(raw + 1, volume.Name.data(), std::min<size_t>(volume.Name.size(), PackageFormat::MaxNameLength));
    PutInt64LE(raw + 64, volume.Size);
    PutUInt32LE(raw + 72, volume.Checksum);
}

std::vector<uint8_t> VolumeTableBytes(const std::vector<TVolumeRecord>& volumes, int32_t flags)
{
    std::vector<uint8_t> table(volumes.size() * PackageFormat::VolumeRecordSize);
    for (size_t i = 0; i < volumes.size(); ++i) PutVolumeRecord(table.data() + i * PackageFormat::VolumeRecordSize, volumes[i]);
    if (flags & PackageFormat::VolumeDigestsFlag)
        for (const TVolumeRecord& volume : volumes) {
            std::string digest = volume.Digest;
            digest.resize(PackageFormat::VolumeDigestSize);
            table.insert(table.end(), digest.begin(), digest.end());
        }
    return table;
}

void TEntryHeader::Load(TStream& stream, bool wide)
{
    uint8_t raw[PackageFormat::WideEntryHeaderSize];
    stream.ReadBuffer(raw, wide ? PackageFormat::WideEntryHeaderSize : PackageFormat::EntryHeaderSize);
    NameLength = raw[0];
    std::memcpy(Name, raw + 1, sizeof Name);
    FileTime = GetInt32LE(raw + 64);
    StoredSize = wide ? GetInt64LE(raw + 68) : GetInt32LE(raw + 68);
    UncompressedSize = wide ? GetInt64LE(raw + 76) : GetInt32LE(raw + 72);
}

void TEntryHeader::Save(TStream& stream, bool wide) const
{
    uint8_t raw[PackageFormat::WideEntryHeaderSize] = {};
    raw[0] = NameLength;
    std::memcpy(raw + 1, Name, sizeof Name);
    PutInt32LE(raw + 64, FileTime);
    if (wide) {
        PutInt64LE(raw + 68, StoredSize);
        PutInt64LE(raw + 76, UncompressedSize);
    } else {
        PutInt32LE(raw + 68, int32_t(StoredSize));
        PutInt32LE(raw + 72, int32_t(UncompressedSize));
    }
    stream.WriteBuffer(raw, wide ? PackageFormat::WideEntryHeaderSize : PackageFormat::EntryHeaderSize);
}

std::string CheckEntryName(const std::string& name)
{
    if (name.size() > PackageFormat::MaxNameLength) return "the name is longer than 63 bytes";
    return CheckWindowsName(name);
}

std::string CheckWindowsName(const std::string& name)
{
    if (name.empty()) return "the name is empty";
    if (name == "." || name == "..") return "\".\" and \"..\" cannot be entry names";
    for (unsigned char c : name) {
        if (c == '\\' || c == '/') return "the name contains a path separator";
        if (c == ':') return "the name contains \":\"";
        if (c < 32 || c == 127) return "the name contains a control character";
        if (std::strchr("<>\"|?*", c)) return "the name contains a character Windows does not allow in file names";
    }
    // Windows drops a dot or blank at the end: the file would land under another name.
    if (name.back() == '.' || name.back() == ' ') return "the name ends in a dot or a blank, which Windows drops";
    if (IsReservedDeviceName(name)) return "the name is a device name that Windows reserves";
    return std::string();
}

bool IsReservedDeviceName(const std::string& name)
{
    // The part before the first dot, blanks at its end ignored: "aux.txt" and "CON .log" are devices too.
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* device : {"CON", "PRN", "AUX", "NUL"})
        if (SameTextAscii(base, device)) return true;
    return base.size() == 4 && (SameTextAscii(base.substr(0, 3), "COM") || SameTextAscii(base.substr(0, 3), "LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

bool SameEntryName(const std::string& a, const std::string& b) { return SameTextAscii(a, b); }
