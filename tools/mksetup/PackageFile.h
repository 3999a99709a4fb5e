#pragma once
// Where a package lies in a file the builder is given: an installer program
// (the offset in its header word 0x30) or a bare Setup.dat; and the package
// opened as the builder's commands read it.
#include <cstdint>
#include <memory>
#include <string>

#include "PackageFormat.h"
#include "PackageVolumes.h"

class TStream;

// The offset of the package in the file; ESetupError naming the file when it
// is neither an installer with a package nor a setup package.
int64_t LocatePackage(TStream& file, const std::string& fileName);

// Checks that the file can serve as the program part of an installer: a PE
// program that carries no package yet. ESetupError naming the file otherwise.
void CheckStub(TStream& file, const std::string& fileName);

// A package as the builder's commands read it: the header checked, the data
// one stream over the file and its volumes beside it.
struct TOpenedPackage {
    int64_t Offset = 0;
    TPackageInfo Info;
    std::unique_ptr<TStream> Data;
};

// Opens each volume of the package from the folder of `fileName`; a missing
// one is EVolumeMissing naming where it belongs.
TVolumeOpener VolumesBeside(const std::string& fileName);

// The package in the file, its data's checksum checked when the first file
// holds at most `checkUpTo` bytes of it; `checkAll` checks every volume's
// checksum too, before anything is read.
TOpenedPackage OpenPackage(const std::string& fileName, bool checkAll, int64_t checkUpTo = INT64_MAX);
