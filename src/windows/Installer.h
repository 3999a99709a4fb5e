#pragma once
// TInstaller: the package reader and low-level installer. It finds the setup
// package (appended to the program file, in Setup.dat beside it, or in a
// resource), validates it once at construction and opens a fresh stream for
// every later access. It extracts files into memory and folder trees to disk,
// keeps the uninstall log of everything it creates, and writes the uninstaller.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "PackageFormat.h"
#include "ProgramFile.h"
#include "ProgramVersion.h"
#include "Stream.h"
#include "UninstallLog.h"

class TInstaller {
public:
    // Called before each file is written: the handler may change the target
    // path, clear it to skip the file, or add attribute bits.
    using TInstallFileEvent = std::function<void(TInstaller& sender, std::string& fileName, int32_t& attributes)>;
    // Called when writing a file failed: setting retry starts the file again
    // from the beginning of its data; otherwise the error ends the extraction.
    using TInstallErrorEvent =
        std::function<void(TInstaller& sender, const std::exception& error, const std::string& fileName, bool& retry)>;

    // `programPath` is the program file whose package is read and copied into
    // the uninstaller; it defaults to the running module so that tests can point
    // an installer at files they built.
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

    // The decompressed content of the top-level file of that name (letter case
    // of A to Z ignored), positioned at 0; null when there is none.
    std::unique_ptr<TMemoryStream> ExtractFileToMemory(const std::string& name);
    // Extracts the top-level folder of that name with everything below it into
    // `destination`. A file time of 0 stamps files with the package date.
    int32_t ExtractFolder(const std::string& name, const std::string& destination, int32_t fileTime);
    // The total uncompressed size of the folder's files, counted in 64 bits so
    // that products past 2 GiB are measured right; creates and records nothing.
    int64_t GetFolderSize(const std::string& name);
    // Writes a shortcut and records it as a file, whether or not the shell
    // managed to write it.
    void CreateShortcut(const std::string& shortcutFile, const std::string& target, const std::string& arguments,
                        int iconIndex);
    // Makes sure a folder exists, creating missing parents first, and records
    // each level: E for the deepest one that existed, D (or T with
    // removeContents) for each created one.
    bool ForceFolder(const std::string& path, bool removeContents);

    void RecordItem(int kind, const std::string& text);
    // Takes over the log of the earlier installation that this run replaces
    // (same folder, same product): its files are the product's own, and the
    // uninstaller written at the end removes what either run created.
    void CarryForward(const std::vector<std::string>& earlierLog);
    // The log the uninstaller receives: the carried-forward lines, then this run's.
    std::vector<std::string> UninstallerLog() const;
    // C, U, M or 6 by the root and the view; other roots record nothing.
    void RecordRegistryKey(HKEY root, const std::string& keyPath, bool use64BitView);
    const std::vector<std::string>& UninstallLog() const { return FLog; }
    void WriteUninstallLog(TStream& stream, const std::string& productName) const;
    // Writes the uninstaller (the program part, marked, with the log appended)
    // and registers it in the Windows list of installed programs.
    void WriteUninstaller(const std::string& uninstallerPath, const std::string& keyName,
                          const std::string& productName, const std::string& displayName);

    bool OverwriteFiles = true;
    // The product's own folder. A file written outside it may be another
    // installation's too: it is shared through the Windows reference counts.
    std::string OwnFolder;
    // Where a file that the run replaces, and that is not the product's, is
    // copied first, so that removal can put it back; empty keeps none.
    std::string BackupFolder;
    // Called as file data is written, with the number of bytes just written,
    // so that a long file moves the progress on.
    std::function<void(size_t bytes)> OnProgress;
    TInstallFileEvent OnInstallFile;
    TInstallErrorEvent OnInstallError;

private:
    class TExtractor;
    void ReadPackageHeader();
    void InstallFile(TStream& package, const TEntryHeader& entry, const std::string& target, int32_t fileTime);
    // The file at `target` is somebody else's: a copy goes to the backup
    // folder and the log says where, before the file is replaced.
    void KeepAside(const std::string& target);
    // Outside the product's folder and not yet the product's: a file or folder
    // there may be another installation's too.
    bool IsSharedPlace(const std::string& path) const;
    // One more Windows reference to the file or folder, held by this installation.
    void HoldSharedReference(const std::string& path);
    // Size and last-write time of the file just written, so that removal can
    // tell a file the user changed since.
    void RecordStamp(const std::string& target);
    void WriteFileOnce(TStream& package, const TEntryHeader& entry, const std::string& target, int32_t fileTime,
                       int32_t extraAttributes);
    void RegisterUninstaller(const std::string& uninstallerPath, const std::string& keyName,
                             const std::string& displayName);

    std::string FResourceName;
    std::string FProgramPath;
    TPackageInfo FInfo;
    std::vector<std::string> FLog;
    std::vector<std::string> FEarlierLog;
    // Files and folders of the earlier installation, and those this run wrote
    // or holds a shared reference to, as UpperAscii keys.
    std::set<std::string> FEarlier, FWritten;
};

// The key below HKEY_LOCAL_MACHINE that holds the Windows uninstall registrations.
extern const char UninstallRegistryKey[];
