#pragma once
// The setup package: a header, a version record, then a tree of entries.
//
//   header   "KX/ISB/3", data size, Adler-32 of the data, creation time, file count
//   data     version record (25 bytes), top-level entry list
//   entry    76-byte header (name, DOS time, stored size, uncompressed size or -1
//            for a folder) followed by a zlib stream or the folder's children list
//   list     entries one after another, closed by an end record (name length 0)
//
// A package of 2 GiB or more, or with a file of 2 GiB or more, is wide: its
// sizes are 64-bit and its data may go on in volume files beside the program.
//
//   header   "KX/ISB/4" (48 bytes): data size (64-bit), Adler-32 of the first
//            part's data and the volume table, creation time, file count, the
//            first part's data size (64-bit), the volume count, flags (32-bit)
//   data     as above, with 84-byte entry headers (sizes 64-bit); the first
//            part holds its start, each volume the next bytes in order
//   table    after the first part: per volume its name (length byte and 63
//            bytes), data size (64-bit), Adler-32 of its data, 4 reserved
//            bytes; with flag 1, then each volume's SHA-256 (32 bytes) in order
//   volume   "KX/ISV/4" (32 bytes): its number from 1, the Adler-32 of its
//            data, the package's data size and creation time; then its data
//
// The table lies in the program file: a signature over the program covers
// every volume's name, size, checksum and digest. Adler-32 finds damage; only
// the digest tells a volume somebody made to fit the checksum.
#include <cstdint>
#include <string>
#include <vector>

#include "ProgramVersion.h"

class TStream;

namespace PackageFormat {
constexpr char Signature[9] = "KX/ISB/3";
constexpr char WideSignature[9] = "KX/ISB/4";
constexpr char VolumeSignature[9] = "KX/ISV/4";
constexpr size_t HeaderSize = 28;
constexpr size_t WideHeaderSize = 48;
constexpr size_t EntryHeaderSize = 76;
constexpr size_t WideEntryHeaderSize = 84;
constexpr size_t VolumeRecordSize = 80;
constexpr size_t VolumeHeaderSize = 32;
constexpr size_t VolumeDigestSize = 32;
// The wide header's flags.
constexpr int32_t VolumeDigestsFlag = 1;
// The most a narrow package's data, or any of its sizes, can be.
constexpr int64_t NarrowLimit = INT32_MAX;
// Volumes a package can name, and the sizes a volume can have: the program
// file with its part stays below 4 GiB, where a signature can still follow.
constexpr int32_t MaxVolumes = 100000;
constexpr int64_t MinVolumeSize = int64_t{64} << 10;
constexpr int64_t MaxVolumeSize = int64_t{3} << 30;
constexpr size_t MaxNameLength = 63;
constexpr int32_t FolderMark = -1;
// Words in the reserved part of the program file's MZ header.
constexpr int64_t SetupDataOffsetWord = 0x30;
constexpr int64_t UninstallerModeWord = 0x34;
}  // namespace PackageFormat

struct TPackageHeader {
    char Signature[8] = {};
    int64_t DataSize = 0;
    uint32_t Checksum = 0;
    double CreationTime = 0;
    int32_t FileCount = 0;
    int64_t FirstPartSize = 0;  // wide packages: the data in the program file
    int32_t VolumeCount = 0;    // wide packages
    int32_t Flags = 0;          // wide packages: VolumeDigestsFlag
};

// A volume file as the package's table names it.
struct TVolumeRecord {
    std::string Name;
    int64_t Size = 0;  // its data, without its 32-byte head
    uint32_t Checksum = 0;
    // The SHA-256 of its data (32 bytes); empty in a package built before
    // volumes carried one.
    std::string Digest;
};

// What reading and validating a package yields.
struct TPackageInfo {
    TPackageHeader Header;
    bool Wide = false;
    int64_t DataStart = 0;     // stream position of the version record
    int64_t EntriesStart = 0;  // stream position of the first top-level entry
    int64_t DataEnd = 0;       // stream position just after the package's data
    int32_t PackageDate = 0;   // creation time as a DOS date-time
    TProgramVersion Version;
    std::vector<TVolumeRecord> Volumes;

    // Where the data in the first file ends (the volumes go on from there).
    int64_t FirstPartEnd() const { return Wide ? DataStart + Header.FirstPartSize : DataEnd; }
    size_t EntryHeaderSize() const
    {
        return Wide ? PackageFormat::WideEntryHeaderSize : PackageFormat::EntryHeaderSize;
    }
};

// Reads the header at the stream's position, checks the signature, converts
// the creation time and reads the version record and a wide package's volume
// table. The checksum of the data in this file (all of a narrow package's)
// is checked first when that data is at most `checkUpTo` bytes; else the
// caller checks it later (CheckPackageData). Raises ESetupError with the installer's messages;
// a header shorter than 28 bytes is the stream's read error; a bad version
// record is EProgramVersionError.
TPackageInfo ReadPackageHeader(TStream& stream, int64_t checkUpTo = INT64_MAX);

// Writes a wide package's 48-byte header at the stream's position.
void WriteWideHeader(TStream& stream, const TPackageHeader& header);
// A volume's 80-byte record of the table, as written and as summed.
void PutVolumeRecord(uint8_t* raw, const TVolumeRecord& volume);
// The table as it follows the first part: the records, then (with the flag)
// the digests; the header's checksum goes on over these bytes.
std::vector<uint8_t> VolumeTableBytes(const std::vector<TVolumeRecord>& volumes, int32_t flags);

struct TEntryHeader {
    uint8_t NameLength = 0;
    char Name[PackageFormat::MaxNameLength] = {};
    int32_t FileTime = 0;
    int64_t StoredSize = 0;
    int64_t UncompressedSize = 0;

    bool IsEnd() const { return NameLength == 0; }
    bool IsFolder() const { return UncompressedSize == PackageFormat::FolderMark; }
    std::string NameText() const { return std::string(Name, NameLength); }

    // `wide`: the 84-byte header of a wide package, else the 76-byte one.
    void Load(TStream& stream, bool wide);
    void Save(TStream& stream, bool wide) const;
};

// Whether a name can be carried by an entry and written on Windows as one path
// component: 1 to 63 bytes, not "." or "..", no path separator, ":", control
// character or other character Windows refuses, no dot or blank at the end, no
// device name. Returns the reason when not, else an empty string.
std::string CheckEntryName(const std::string& name);
// The same without the entry's length limit: whether Windows keeps the name as
// one path component just as written.
std::string CheckWindowsName(const std::string& name);
// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, with or without an extension.
bool IsReservedDeviceName(const std::string& name);

// Package names compare without regard to the case of the ASCII letters A to Z.
bool SameEntryName(const std::string& a, const std::string& b);
