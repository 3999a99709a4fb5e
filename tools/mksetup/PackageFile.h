#pragma once
// Where a package lies in a file the builder is given: an installer program
// (the offset in its header word 0x30) or a bare Setup.dat.
#include <cstdint>
#include <string>

class TStream;

// The offset of the package in the file; ESetupError naming the file when it
// is neither an installer with a package nor a setup package.
int64_t LocatePackage(TStream& file, const std::string& fileName);

// Checks that the file can serve as the program part of an installer: a PE
// program that carries no package yet. ESetupError naming the file otherwise.
void CheckStub(TStream& file, const std::string& fileName);
