#include "PackageFormat.h"

#include <cstring>

#include "Checksum.h"
#include "DosDateTime.h"
#include "Exception.h"
#include "Messages.h"
#include "PathUtils.h"
#include "Stream.h"

TPackageInfo ReadPackageHeader(TStream& stream)
{
    uint8_t raw[PackageFormat::HeaderSize];
    stream.ReadBuffer(raw, sizeof raw);
    TPackageInfo info;
    std::memcpy(info.Header.Signature, raw, 8);
    info.Header.DataSize = GetInt32LE(raw + 8);
    info.Header.Checksum = GetUInt32LE(raw + 12);
    info.Header.CreationTime = GetDoubleLE(raw + 16);
    info.Header.FileCount = GetInt32LE(raw + 24);

    if (std::memcmp(info.Header.Signature, PackageFormat::Signature, 8) != 0)
        throw ESetupError(LoadMessage(Msg::InvalidSetupSignature));
    int64_t dataStart = stream.Position();
    info.DataEnd = dataStart + info.Header.DataSize;
    if (StreamChecksum(stream, info.Header.DataSize) != info.Header.Checksum)
        throw ESetupError(LoadMessage(Msg::InstallerCorrupted));
    stream.SetPosition(dataStart);
    info.PackageDate = DateTimeToDosDateTime(info.Header.CreationTime);
    info.Version.LoadFromStream(stream);
    info.EntriesStart = stream.Position();
    return info;
}

void TEntryHeader::Load(TStream& stream)
{
    uint8_t raw[PackageFormat::EntryHeaderSize];
    stream.ReadBuffer(raw, sizeof raw);
    NameLength = raw[0];
    std::memcpy(Name, raw + 1, sizeof Name);
    FileTime = GetInt32LE(raw + 64);
    StoredSize = GetInt32LE(raw + 68);
    UncompressedSize = GetInt32LE(raw + 72);
}

void TEntryHeader::Save(TStream& stream) const
{
    uint8_t raw[PackageFormat::EntryHeaderSize] = {};
    raw[0] = NameLength;
    std::memcpy(raw + 1, Name, sizeof Name);
    PutInt32LE(raw + 64, FileTime);
    PutInt32LE(raw + 68, StoredSize);
    PutInt32LE(raw + 72, UncompressedSize);
    stream.WriteBuffer(raw, sizeof raw);
}

std::string CheckEntryName(const std::string& name)
{
    if (name.empty()) return "the name is empty";
    if (name.size() > PackageFormat::MaxNameLength) return "the name is longer than 63 bytes";
    if (name == "." || name == "..") return "\".\" and \"..\" cannot be entry names";
    for (unsigned char c : name) {
        if (c == '\\' || c == '/') return "the name contains a path separator";
        if (c == ':') return "the name contains \":\"";
        if (c < 32 || c == 127) return "the name contains a control character";
    }
    return std::string();
}

bool SameEntryName(const std::string& a, const std::string& b) { return SameTextAscii(a, b); }
