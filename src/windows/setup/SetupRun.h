#pragma once
// TSetupRun: one installation run, built from what Setup knows and what the
// user chose. It reads the package's facts, the machine's and the choices
// through a read-only setup model, and writes only to the machine (through
// the installer, which journals every step) and to its own state: the
// folder's lock, the line being installed, the copying's clock.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FolderLock.h"
#include "InstallProgress.h"
#include "Installer.h"
#include "SetupInstaller.h"
#include "UninstallRegistration.h"

class TSetupRun {
public:
    // The run of `setup` (its facts and choices as they stand now) through
    // `installer`, which it tells of every file it writes while it lasts.
    TSetupRun(const TSetupInstaller& setup, TInstaller& installer);
    ~TSetupRun();
    TSetupRun(const TSetupRun&) = delete;
    TSetupRun& operator=(const TSetupRun&) = delete;

    // Disk space, components and files, library calls, the product keys
    // recorded, registry settings, shortcuts, and last the uninstaller. A
    // failure is rolled back and leaves as an exception.
    void Install(IInstallProgress& progress);
    void CreateShortcuts();

private:
    // Waits for the package's check, showing it when it is not done yet.
    void WaitForPackageCheck(IInstallProgress& progress);
    // Takes the install folder's lock, waiting FolderLockWait; EFolderInUse when it cannot.
    void LockFolder();
    // The installation run's steps after the disk-space check.
    void RunSteps(IInstallProgress& progress);
    // The installation folder becomes the product's own: files outside it are
    // shared, files it replaces are kept aside, and an earlier installation
    // there is carried forward.
    void PrepareOwnFolder();
    void InstallComponents(IInstallProgress& progress, int start, int end);
    void InstallComponentPass(const TSetupBundleItem* item);
    // One pass with the bar moving from `from` towards `to` as its bytes are written.
    void InstallPassWithProgress(IInstallProgress& progress, const TSetupBundleItem* item, int from, int to);
    void CallLibraries();
    void WriteLocation();
    void WriteFolderSettings();
    void WriteOwner();
    void WriteRegistrySettings();
    void WriteSettingList(const std::vector<std::string>& lines, HKEY root, const TSetupBundleItem* item);
    void DeleteStaleShortcuts(const std::string& folder, const std::string& target, const std::string& arguments);
    void CreateUninstaller();
    // The registration's values beyond its name and command: version,
    // publisher, icon, folder, size in KiB, no Modify or Repair, and the
    // product's web page when a PurchaseUrl setting names one.
    std::vector<TRegistrationValue> RegistrationValues() const;
    void BeforeFileInstalled(std::string& fileName, int32_t& attributes);
    void FileInstallFailed(const std::string& fileName, bool& retry);
    void Note(const std::string& text) const
    {
        if (FSetup.OnNote) FSetup.OnNote(text);
    }

    // The copying's bytes so far and in all, for the time left.
    struct TCopyClock {
        int64_t Total = 0, Done = 0;
        uint32_t Started = 0, Told = 0;  // tick counts
        void Add(int64_t bytes, IInstallProgress& progress);
    };

    const TSetupInstaller& FSetup;
    const TSetupFacts& FFacts;
    const TMachineFacts& FMachine;
    const TSetupChoices& Choices;
    TInstaller* FInstaller;
    // The product folder's lock, while the run goes on.
    std::unique_ptr<TFolderLock> FFolderLock;
    std::shared_ptr<TCopyClock> FCopyClock;
    // The key of this installation's entry in the installed-programs list.
    std::string FRegistrationKey;
    // The [Components] line being installed.
    const TComponentLine* FLine = nullptr;
};

// The installation run of `setup`, its facts and choices as they stand.
void RunInstallation(TSetupInstaller& setup, IInstallProgress& progress);
