#pragma once
// The builder's commands, callable from the command line and from tests.
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "DosDateTime.h"
#include "PackageWriter.h"

struct TBuildOptions {
    std::string ProductFolder;
    std::string VersionText;
    std::string Output;               // the finished installer, or Setup.dat with DataOnly
    bool DataOnly = false;
    std::string Stub;                 // the bare Setup.exe (installer output only)
    std::optional<TDateParts> Date;   // creation time and every file's time
    int Level = 9;
    bool ZlibOnly = false;            // zlib's own deflate for every file
    std::string Uninstaller;          // a signed uninstaller program, carried as the top-level Uninst.exe
    // The data past this many bytes goes to volume files beside the output
    // (Setup-1.bin, ...); 0 splits only a package that one file cannot carry,
    // at DefaultVolumeSize.
    int64_t VolumeSize = 0;
    std::function<void(const TWriteProgress&)> Progress;
};

// A package's data past 2 GiB is split at this size unless told otherwise.
constexpr int64_t DefaultVolumeSize = int64_t{2} << 30;

struct TBuildResult {
    int64_t PackageOffset = 0;
    TPackageWriteResult Package;
    int64_t FileCount = 0;
    int64_t TotalBytes = 0;
    std::vector<std::pair<std::string, std::string>> LeftOut;  // as ScanProductFolder left it out
};

// Builds an installer or a Setup.dat, and its volumes if it has any. Writes
// to temporary files beside the output and renames them at the end: on any
// error no output file is left. A package that the 32-bit format cannot
// carry is written wide.
TBuildResult BuildPackage(const TBuildOptions& options);

// Prints the header and the entry tree. Returns false when the package is not sound.
bool ListPackage(const std::string& fileName, std::ostream& out);
// Checks the checksum, the version record and every entry; prints what was
// wrong in the installer's own words. Returns true when sound.
bool VerifyPackage(const std::string& fileName, std::ostream& out);

// Writes every entry of the package below `destination`, after checking the
// whole tree, so a damaged package writes nothing.
bool ExtractPackage(const std::string& fileName, const std::string& destination, std::ostream& out);

// "2G", "512M", "100K" or a count of bytes, within the sizes a volume can
// have; false when not.
bool ParseVolumeSize(const std::string& text, int64_t& bytes);

// "YYYY-MM-DDTHH:MM:SS", taken as local time; false when not a valid date.
bool ParseDateText(const std::string& text, TDateParts& parts);
