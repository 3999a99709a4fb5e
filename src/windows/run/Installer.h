#pragma once
// TInstaller: the low-level installer over the setup package (TSetupPackage).
// It extracts files into memory and folder trees to disk, keeps the uninstall
// log of everything it creates in the run's journal, and writes and registers
// the uninstaller.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "InflateAhead.h"
#include "InstallationLog.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "ProgramFile.h"
#include "ProgramVersion.h"
#include "HandleStream.h"
#include "Registry.h"
#include "RunJournal.h"
#include "SetupPackage.h"
#include "Stream.h"
#include "UninstallLog.h"
#include "UninstallRegistration.h"

class TInstaller {
public:
    // Called before each file is written: the handler may change the target
    // path, clear it to skip the file, or add attribute bits.
    using TInstallFileEvent = std::function<void(TInstaller& sender, std::string& fileName, int32_t& attributes)>;
    // Called when a file could not be put in place because a running program
    // holds it (EFileInUse): setting retry tries again; otherwise the error
    // ends the extraction. Other failures end it at once.
    using TInstallErrorEvent =
        std::function<void(TInstaller& sender, const std::exception& error, const std::string& fileName, bool& retry)>;

    // `programPath` is the program file whose package is read and copied into
    // the uninstaller; it defaults to the running module so that tests can point
    // an installer at files they built.
    explicit TInstaller(std::string resourceName = std::string(), std::string programPath = ModuleFileName());
    TInstaller(const TInstaller&) = delete;
    TInstaller& operator=(const TInstaller&) = delete;

    // Whom the run installs for: where its registration, product keys and
    // shared counts go, and its journal's with them. Set before the run
    // starts; for everyone unless set.
    void SetScope(TInstallScope scope)
    {
        FScope = scope;
        FJournal.SetScope(scope);
    }
    TInstallScope Scope() const { return FScope; }

    // A new read-only stream standing on the first byte of the package header;
    // the caller owns it.
    std::unique_ptr<TStream> OpenPackageStream() const { return FPackage.Open(); }
    // Waits for the check of the package's data (TSetupPackage::WaitChecked).
    void WaitForPackageCheck(const std::function<void(int64_t done, int64_t total)>& progress)
    {
        FPackage.WaitChecked(progress);
    }
    std::string PackageCheckNote() const { return FPackage.CheckNote(); }
    void StopPackageCheck() { FPackage.StopChecking(); }
    void ResumePackageCheck() { FPackage.ResumeChecking(); }

    int32_t PackageDate() const { return FPackage.Info().PackageDate; }
    const TProgramVersion& PackageVersion() const { return FPackage.Info().Version; }
    const TPackageInfo& PackageInfo() const { return FPackage.Info(); }
    const std::string& ResourceName() const { return FPackage.ResourceName(); }
    const std::string& ProgramPath() const { return FPackage.ProgramPath(); }

    // The decompressed content of the top-level file of that name (letter case
    // of A to Z ignored), positioned at 0; null when there is none.
    std::unique_ptr<TMemoryStream> ExtractFileToMemory(const std::string& name)
    {
        return FPackage.ExtractFileToMemory(name);
    }
    // Extracts the top-level folder of that name with everything below it into
    // `destination`. A file time of 0 stamps files with the package date.
    int64_t ExtractFolder(const std::string& name, const std::string& destination, int32_t fileTime);
    // The length in UTF-16 units of the longest path below the top-level
    // folder of that name (0 when it holds no file), as read at construction.
    size_t DeepestPath(const std::string& name) const { return FPackage.DeepestPath(name); }
    // The total uncompressed size of the folder's files, counted in 64 bits so
    // that products past 2 GiB are measured right; creates and records nothing.
    int64_t GetFolderSize(const std::string& name) { return FPackage.FolderSize(name); }
    bool FolderHasData(const std::string& name) const { return FPackage.FolderHasData(name); }
    // Writes a shortcut and records it as a file, whether or not the shell
    // managed to write it.
    void CreateShortcut(const std::string& shortcutFile, const std::string& target, const std::string& arguments,
                        int iconIndex);
    // Makes sure a folder exists, creating missing parents first, and records
    // each level: E for the deepest one that existed, D (or T with
    // removeContents) for each created one.
    bool ForceFolder(const std::string& path, bool removeContents);

    void RecordItem(TLineKind kind, const std::string& text);
    // Takes a file of the product's out of the way until the run has ended:
    // a failure puts it back (deleted when there is no backup folder).
    void SetAside(const std::string& path);
    // From here on every line logged is on disk too, in Uninstall.dat beside an
    // early uninstaller, and the uninstaller is registered: a run that is
    // ended half-way (a crash, a power cut) can be removed with Uninst.exe.
    void BeginJournal(const std::string& uninstallerPath, const std::string& keyName, const std::string& productName,
                      const std::string& displayName);
    // After a failure: everything this run did is undone, last first. Files
    // written go, replaced files come back, created folders and keys go, the
    // earlier uninstaller and its registrations come back.
    void RollBack();
    // Takes over the log of the earlier installation that this run replaces
    // (same folder, same product): its files are the product's own, and the
    // uninstaller written at the end removes what either run created. Only
    // the lines its own roots hold are taken; the others are told to OnNote.
    void CarryForward(const std::vector<std::string>& earlierLog, const TInstallationRoots& earlierRoots);
    // The registry values the run writes, as they were: registry objects of
    // the run remember each value here before they write it.
    TRegistryUndo& Values() { return FJournal.Values(); }
    // What a rollback could not put back as it was, for the user's message.
    const std::vector<std::string>& LeftOver() const { return FLeftOver; }
    // Files of the earlier installation that the user had changed: kept aside
    // in BackupFolder, not written over, and put back on removal.
    const std::vector<std::string>& KeptChanged() const { return FKeptChanged; }
    // Writes what the journal holds through to the disk.
    void FlushJournal();
    // The log the uninstaller receives: the carried-forward lines, then this
    // run's; with `keptCopies` the lines of the copies kept for a failure too.
    TLineStore UninstallerLog(bool keptCopies = false) const;
    // C, U, M or 6 by the root and the view; other roots record nothing.
    void RecordRegistryKey(HKEY root, const std::string& keyPath, bool use64BitView);
    const TLineStore& UninstallLog() const { return FJournal.Lines(); }
    // Returns the SHA-256 of the bytes written, as hexadecimal digits.
    std::string WriteUninstallLog(TStream& stream, const std::string& productName, bool keptCopies = false) const;
    // Writes the uninstaller (the program part, marked, with the log appended)
    // and registers it in the Windows list of installed programs.
    void WriteUninstaller(const std::string& uninstallerPath, const std::string& keyName,
                          const std::string& productName, const std::string& displayName);

    bool OverwriteFiles = true;
    // The product's own folder. A file written outside it may be another
    // installation's too: it is shared through the Windows reference counts.
    std::string OwnFolder;
    // The product's own folders outside Program Files, for an installation
    // for everyone: each level of them (and above them) that the run makes
    // gets the rights of Program Files instead of its parent's.
    std::vector<std::string> ProtectedFolders;
    // Where a file that the run replaces, and that is not the product's, is
    // copied first, so that removal can put it back; empty keeps none.
    std::string BackupFolder;
    // Called as file data is written, with the number of bytes just written,
    // so that a long file moves the progress on.
    std::function<void(size_t bytes)> OnProgress;
    TInstallFileEvent OnInstallFile;
    TInstallErrorEvent OnInstallError;
    // Told of everything the run writes and of every error, for the run's log.
    std::function<void(const std::string&)> OnNote;
    // Further values of the registration in the Windows list of installed
    // programs (version, publisher, size, ...).
    std::vector<TRegistrationValue> RegistrationValues;

private:
    class TExtractor;
    // Starts inflating the small files of the list at the package's position
    // on a second thread, when the list has more than one.
    void StartInflatingAhead(TStream& package, int64_t childrenEnd);
    void InstallFile(TStream& package, const TEntryHeader& entry, const std::string& target, int32_t fileTime);
    // The entry's data in full at `partial`, still open (it can be renamed
    // through its handle); a damaged stream raises the installer's corruption
    // message and leaves nothing behind.
    std::unique_ptr<THandleStream> WritePartialFile(TStream& package, const TEntryHeader& entry,
                                                    const std::string& partial, int32_t fileTime);
    // Renames the complete file over the target, moving the target aside
    // first. `file` is closed when the rename has to go by name.
    void PutInPlace(std::unique_ptr<THandleStream>& file, const std::string& partial, const std::string& target,
                    bool somebodys);
    // The file at `target` goes to the backup folder, logged first: a file of
    // somebody's own comes back on removal, the product's earlier one only
    // after a failure.
    void MoveAside(const std::string& target, bool somebodys);
    // A file of the earlier installation that is no longer as it installed it.
    bool UserChanged(const std::string& path) const;
    [[noreturn]] void ThrowReplaceError(const std::string& target, DWORD error) const;
    void Log(const std::string& line);
    // Writes the program part as an uninstaller; with `log` the log appended,
    // else none (it reads Uninstall.dat beside it). A signed uninstaller is
    // written as it came and never carries the log.
    // Returns the log's digest; empty without one.
    std::string WriteProgramPart(THandleStream& uninstaller, bool log, const std::string& productName) const;
    // Writes the uninstaller beside `path` and renames it over `path`; the
    // log's digest, empty without one.
    std::string PlaceUninstaller(const std::string& path, bool log, const std::string& productName);
    // A free name in the backup folder for a copy of `target`.
    std::string BackupCopyName(const std::string& target);
    // Outside the product's folder and not yet the product's: a file or folder
    // there may be another installation's too.
    bool IsSharedPlace(const std::string& path) const;
    // One more Windows reference to the file or folder, held by this installation.
    void HoldSharedReference(const std::string& path);
    static void ClearSignature(TStream& program, TStream& copy, int64_t length);
    // The uninstaller program a signed package carries, signed by its maker
    // (a top-level Uninst.exe entry), or null: the copy of this program then serves.
    const TMemoryStream* SignedUninstaller() const;

    TSetupPackage FPackage;
    mutable std::unique_ptr<TMemoryStream> FSignedUninstaller;
    mutable bool FSignedUninstallerRead = false;
    std::vector<std::string> FEarlierLog;
    // Files and folders of the earlier installation, as UpperAscii keys.
    std::set<std::string> FEarlier;
    // Files this run wrote or holds a shared reference to.
    TPathSet FWritten;
    // The earlier installation's files as it installed them ("size|time"), by UpperAscii path.
    std::map<std::string, std::string> FEarlierStamps;
    std::vector<std::string> FKeptChanged;
    // The run's write-ahead journal, with what its rollback needs.
    TRunJournal FJournal;
    TInstallScope FScope = TInstallScope::Everyone;
    // What the last rollback could not put back.
    std::vector<std::string> FLeftOver;
    // While a folder is extracted: its small files inflated a step ahead.
    std::unique_ptr<TInflateAhead> FAhead;
};


