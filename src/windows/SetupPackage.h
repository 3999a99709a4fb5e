#pragma once
// TSetupPackage: access to the setup package. It finds the package (appended
// to the program file, in Setup.dat beside it, or in a resource), validates
// it once at construction (the header's checksum, then every entry header, so
// that a name Windows cannot hold is found before the first page) and opens a
// fresh stream for every later access.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "PackageFormat.h"
#include "Stream.h"

class TSetupPackage {
public:
    TSetupPackage(std::string resourceName, std::string programPath);

    // A new read-only stream standing on the first byte of the package header.
    std::unique_ptr<TStream> Open() const;
    const TPackageInfo& Info() const { return FInfo; }
    const std::string& ResourceName() const { return FResourceName; }
    const std::string& ProgramPath() const { return FProgramPath; }

    // The decompressed content of the top-level file of that name (letter case
    // of A to Z ignored), positioned at 0; null when there is none.
    std::unique_ptr<TMemoryStream> ExtractFileToMemory(const std::string& name) const;
    // The total uncompressed size of the top-level folder's files, in 64 bits.
    int64_t FolderSize(const std::string& name) const;
    // The length in UTF-16 units of the longest path below the top-level
    // folder of that name (0 when it holds no file).
    size_t DeepestPath(const std::string& name) const;

private:
    std::string FResourceName;
    std::string FProgramPath;
    TPackageInfo FInfo;
    // Per top-level folder (upper case): its longest path below it.
    std::map<std::string, size_t> FDeepest;
};
