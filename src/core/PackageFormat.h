#pragma once
// The setup package: a 28-byte header, a version record, then a tree of entries.
//
//   header   "KX/ISB/3", data size, Adler-32 of the data, creation time, file count
//   data     version record (25 bytes), top-level entry list
//   entry    76-byte header (name, DOS time, stored size, uncompressed size or -1
//            for a folder) followed by a zlib stream or the folder's children list
//   list     entries one after another, closed by an end record (name length 0)
#include <cstdint>
#include <string>

#include "ProgramVersion.h"

class TStream;

namespace PackageFormat {
constexpr char Signature[9] = "KX/ISB/3";
constexpr size_t HeaderSize = 28;
constexpr size_t EntryHeaderSize = 76;
constexpr size_t MaxNameLength = 63;
constexpr int32_t FolderMark = -1;
// Words in the reserved part of the program file's MZ header.
constexpr int64_t SetupDataOffsetWord = 0x30;
constexpr int64_t UninstallerModeWord = 0x34;
}  // namespace PackageFormat

struct TPackageHeader {
    char Signature[8] = {};
    int32_t DataSize = 0;
    uint32_t Checksum = 0;
    double CreationTime = 0;
    int32_t FileCount = 0;
};

// What reading and validating a package yields.
struct TPackageInfo {
    TPackageHeader Header;
    int64_t EntriesStart = 0;  // stream position of the first top-level entry
    int64_t DataEnd = 0;       // stream position just after the package's data
    int32_t PackageDate = 0;   // creation time as a DOS date-time
    TProgramVersion Version;
};

// Reads the header at the stream's position, checks signature and checksum,
// converts the creation time and reads the version record. Raises ESetupError
// with the installer's messages; a header shorter than 28 bytes is the stream's
// read error; a bad version record is EProgramVersionError.
TPackageInfo ReadPackageHeader(TStream& stream);

struct TEntryHeader {
    uint8_t NameLength = 0;
    char Name[PackageFormat::MaxNameLength] = {};
    int32_t FileTime = 0;
    int32_t StoredSize = 0;
    int32_t UncompressedSize = 0;

    bool IsEnd() const { return NameLength == 0; }
    bool IsFolder() const { return UncompressedSize == PackageFormat::FolderMark; }
    std::string NameText() const { return std::string(Name, NameLength); }

    void Load(TStream& stream);
    void Save(TStream& stream) const;
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
