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
        throw EPackageDamaged(LoadMessage(Msg::InstallerCorrupted));
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
