#pragma once
// TInstaller: the package reader and low-level installer. It finds the setup
// package (appended to the program file, in Setup.dat beside it, or in a
// resource), validates it once at construction, and opens a fresh stream for
// every later access.
#include <cstdint>
#include <memory>
#include <string>

#include "PackageFormat.h"
#include "ProgramFile.h"
#include "ProgramVersion.h"
#include "Stream.h"

class TInstaller {
public:
    // `programPath` is the program file whose package is read; it defaults to
    // the running module so that tests can point an installer at files they built.
    explicit TInstaller(std::string resourceName = std::string(), std::string programPath = ModuleFileName());
    TInstaller(const TInstaller&) = delete;
    TInstaller& operator=(const TInstaller&) = delete;

    // A new read-only stream standing on the first byte of the package header;
    // the caller owns it.
    std::unique_ptr<TStream> OpenPackageStream() const;

    int32_t PackageDate() const { return FInfo.PackageDate; }
    const TProgramVersion& PackageVersion() const { return FInfo.Version; }
    const TPackageInfo& PackageInfo() const { return FInfo; }
    const std::string& ResourceName() const { return FResourceName; }
    const std::string& ProgramPath() const { return FProgramPath; }

    bool OverwriteFiles = true;

private:
    void ReadPackageHeader();

    std::string FResourceName;
    std::string FProgramPath;
    TPackageInfo FInfo;
};
