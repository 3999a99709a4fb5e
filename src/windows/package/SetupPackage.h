#pragma once
// TSetupPackage: access to the setup package. It finds the package (appended
// to the program file, in Setup.dat beside it, or in a resource) and its
// volumes, validates it at construction (every entry header, so that a name
// Windows cannot hold is found before the first page) and opens a fresh
// stream for every later access. The data's checksums are checked at once
// for a small package and on a thread of their own for a large one, while
// the pages are read: WaitChecked stands before the first write.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PackageFormat.h"
#include "PackageVolumes.h"
#include "Stream.h"

class TSetupPackage {
public:
    // Packages up to this size are checked before the constructor returns.
    static constexpr int64_t CheckedAtOnce = int64_t{32} << 20;

    TSetupPackage(std::string resourceName, std::string programPath);
    ~TSetupPackage();
    TSetupPackage(const TSetupPackage&) = delete;
    TSetupPackage& operator=(const TSetupPackage&) = delete;

    // A new read-only stream over the package's data (volumes included),
    // positions as TPackageInfo gives them.
    std::unique_ptr<TStream> Open() const;
    // Waits until the data's checksums are checked, telling `progress` the
    // bytes done and in all several times a second; raises the damaged-
    // package error (the same each time) when they do not hold.
    void WaitChecked(const std::function<void(int64_t done, int64_t total)>& progress = nullptr);
    // Stops the check for a while (another process does the run) and starts
    // it again from the beginning; WaitChecked starts it again too.
    void StopChecking();
    void ResumeChecking();
    // What the check found wrong, for the log (empty while none).
    std::string CheckNote() const;
    const TPackageInfo& Info() const { return FInfo; }
    const std::string& ResourceName() const { return FResourceName; }
    const std::string& ProgramPath() const { return FProgramPath; }

    // The decompressed content of the top-level file of that name (letter case
    // of A to Z ignored), positioned at 0; null when there is none.
    std::unique_ptr<TMemoryStream> ExtractFileToMemory(const std::string& name) const;
    // The total uncompressed size of the top-level folder's files, in 64 bits
    // (once the survey of the headers is done: for a large package it may
    // have to be waited for).
    int64_t FolderSize(const std::string& name) const;
    // Whether the top-level folder holds a file with data; never waits.
    bool FolderHasData(const std::string& name) const;
    // The length in UTF-16 units of the longest path below the top-level
    // folder of that name (0 when it holds no file).
    size_t DeepestPath(const std::string& name) const;

private:
    // The program file (or Setup.dat, or the resource) at the package header.
    std::unique_ptr<TStream> OpenFirst() const;
    std::unique_ptr<TStream> OpenVolume(const TVolumeRecord& volume) const;
    // Keeps the file open for reading only, with nobody else allowed to write it.
    void Hold(const std::string& path);
    // The thread's work: the survey, then the data's checksums.
    void Check();
    void CheckData();
    void Survey();
    void WaitSurveyed() const;

    std::string FResourceName;
    std::string FProgramPath;
    TPackageInfo FInfo;
    std::thread FChecker;
    std::atomic<int64_t> FCheckedBytes{0};
    std::atomic<bool> FCheckDone{false}, FStopCheck{false}, FSurveyed{false};
    mutable std::mutex FCheckMutex;
    std::exception_ptr FCheckError;
    std::string FCheckNote;
    // Per top-level folder (upper case): its longest path below it, and the
    // bytes of its files.
    std::map<std::string, size_t> FDeepest;
    std::map<std::string, int64_t> FFolderBytes;
    // The program file (or Setup.dat) and the volumes, held from the first
    // read to the end (see Hold).
    std::vector<std::unique_ptr<TStream>> FHeld;
};
