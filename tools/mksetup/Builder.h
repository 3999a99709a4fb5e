#pragma once
// The builder's commands, callable from the command line and from tests.
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

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
    std::function<void(const TWriteProgress&)> Progress;
};

struct TBuildResult {
    int64_t PackageOffset = 0;
    TPackageWriteResult Package;
    int64_t FileCount = 0;
    int64_t TotalBytes = 0;
};

// Builds an installer or a Setup.dat. Writes to a temporary file beside the
// output and renames it at the end: on any error no output file is left.
TBuildResult BuildPackage(const TBuildOptions& options);

// Prints the header and the entry tree. Returns false when the package is not sound.
bool ListPackage(const std::string& fileName, std::ostream& out);
// Checks the checksum, the version record and every entry; prints what was
// wrong in the installer's own words. Returns true when sound.
bool VerifyPackage(const std::string& fileName, std::ostream& out);

// Writes every entry of the package below `destination`, after checking the
// whole tree, so a damaged package writes nothing.
bool ExtractPackage(const std::string& fileName, const std::string& destination, std::ostream& out);

// "YYYY-MM-DDTHH:MM:SS", taken as local time; false when not a valid date.
bool ParseDateText(const std::string& text, TDateParts& parts);
