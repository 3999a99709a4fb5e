// The installation run and its file steps; its registry settings and its
// shortcuts are in SetupRunSettings.cpp and SetupRunShortcuts.cpp.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "Exception.h"
#include "FileHolders.h"
#include "FileSystem.h"
#include "InstallScope.h"
#include "Languages.h"
#include "Messages.h"
#include "PathUtils.h"
#include "SetupRun.h"
#include "SystemCalls.h"
#include "TextUtils.h"
#include "UninstallRegistration.h"
#include "Uninstaller.h"

void RunInstallation(TSetupInstaller& setup, IInstallProgress& progress)
{
    TSetupRun(setup, setup.Installer()).Install(progress);
}

TSetupRun::TSetupRun(const TSetupInstaller& setup, TInstaller& installer)
    : FSetup(setup), FFacts(setup.Facts()), FMachine(setup.Machine()), Choices(setup.Choices), FInstaller(&installer)
{
    FInstaller->OnInstallFile = [this](TInstaller&, std::string& fileName, int32_t& attributes) {
        BeforeFileInstalled(fileName, attributes);
    };
    FInstaller->OnInstallError = [this](TInstaller&, const std::exception&, const std::string& fileName, bool& retry) {
        FileInstallFailed(fileName, retry);
    };
}

TSetupRun::~TSetupRun()
{
    FInstaller->OnInstallFile = nullptr;
    FInstaller->OnInstallError = nullptr;
}

void TSetupRun::Install(IInstallProgress& progress)
{
    progress.SetProgress(0);
    WaitForPackageCheck(progress);
    progress.SetStatus(LoadMessage(Msg::StatusPreparing));
    LockFolder();
    // The run's alone in the folder until it has ended, well or rolled back;
    // after it Setup writes nothing more there, and the folder's uninstaller
    // may start while the last page is still shown.
    struct TUnlock {
        std::unique_ptr<TFolderLock>& Lock;
        ~TUnlock() { Lock.reset(); }
    } unlock{FFolderLock};
    FSetup.CheckDiskSpace(FSetup.Destination());
    FInstaller->OnNote = FSetup.OnNote;
    FInstaller->Values().OnNote = FSetup.OnNote;
    struct TQuiet {
        TInstaller& Installer;
        ~TQuiet()
        {
            Installer.OnNote = nullptr;
            Installer.Values().OnNote = nullptr;
        }
    } quiet{*FInstaller};
    try {
        RunSteps(progress);
    } catch (...) {
        // Nothing of a failed run stays: the machine is as it was before, or
        // the user is told what could not be put back.
        Note("the run failed: rolling back");
        FInstaller->RollBack();
        if (FInstaller->LeftOver().empty()) throw;
        std::string items, reason;
        for (const std::string& item : FInstaller->LeftOver()) items += "\r" + item;
        try {
            throw;
        } catch (const std::exception& error) {
            reason = error.what();
        }
        throw ESetupError(FormatMessageText(Msg::RollbackIncomplete, {reason, items.substr(1)}));
    }
}

void TSetupRun::WaitForPackageCheck(IInstallProgress& progress)
{
    // A large package is still being checked when Install is pressed at once:
    // the bar shows the check until it is done, and nothing is written before.
    bool told = false;
    try {
        FInstaller->WaitForPackageCheck([&](int64_t done, int64_t total) {
            if (!told) {
                progress.SetStatus(LoadMessage(Msg::StatusChecking));
                Note("waiting for the check of the package's data");
                told = true;
            }
            progress.SetProgress(total > 0 ? int(int64_t{24} * std::min(done, total) / total) : 0);
            progress.Working();
        });
    } catch (...) {
        std::string note = FInstaller->PackageCheckNote();
        if (!note.empty()) Note("package check: " + note);
        throw;
    }
}

void TSetupRun::LockFolder()
{
    // Never at once with the folder's uninstaller, its clean-up or another Setup.
    auto lock = std::make_unique<TFolderLock>(Choices.InstallFolder, FSetup.Scope());
    if (!lock->Acquire(FSetup.FolderLockWait)) {
        std::string message = FormatMessageText(Msg::FolderInUse, {ExcludeDelimiter(Choices.InstallFolder)});
        Note("refused: " + message);
        throw EFolderInUse(message);
    }
    FFolderLock = std::move(lock);
}

void TSetupRun::RunSteps(IInstallProgress& progress)
{
    progress.SetProgress(25);
    progress.SetStatus(LoadMessage(Msg::StatusCopying));
    PrepareOwnFolder();
    // The product's own folders that an installation for everyone makes
    // outside Program Files get its rights: nobody without them may replace
    // the uninstaller, its log or the program later run with them.
    FInstaller->ProtectedFolders.clear();
    if (FSetup.Scope() == TInstallScope::Everyone)
        for (const std::string& folder : {Choices.InstallFolder, Choices.ContentFolder})
            if (!folder.empty() && !IsInsideFolder(folder, FMachine.ProgramFilesFolder) &&
                !IsInsideFolder(folder, FMachine.CommonFilesFolder))
                FInstaller->ProtectedFolders.push_back(folder);
    // From the first write on, Uninst.exe is in place and registered, and the
    // log goes to disk as the run goes.
    FInstaller->ForceFolder(Choices.InstallFolder, false);
    std::string name = FSetup.FullProductName() + FSetup.BitSuffix();
    FInstaller->RegistrationValues = RegistrationValues();
    FRegistrationKey = FreeRegistrationKey(FSetup.Scope(), Choices.InstallFolder + UninstallerFileName,
                                           FSetup.RecordedProductName() + FSetup.BitSuffix());
    FInstaller->BeginJournal(Choices.InstallFolder + UninstallerFileName, FRegistrationKey, FFacts.ProductName, name);
    // The uninstaller speaks the language of the installation: its texts in it travel in the log.
    FInstaller->RecordItem(TLineKind::Language, Choices.Language);
    if (Choices.Language != "en")
        for (int id : UninstallerMessages)
            FInstaller->RecordItem(TLineKind::Wording,
                                   MessageName(id) + "=" + ReplaceAll(LoadMessage(id), "\r", "\\n"));
    bool libraries = !FFacts.CallLibraries.empty();
    int end = libraries ? 50 : 75;
    InstallComponents(progress, 25, end);
    FInstaller->FlushJournal();  // every file's line on the disk before the next phase

    if (libraries) {
        progress.SetProgress(50);
        progress.SetStatus(LoadMessage(Msg::StatusInitializing));
        CallLibraries();
    }

    progress.SetProgress(75);
    progress.SetStatus(LoadMessage(Msg::StatusSettings));
    std::string productKey = FSetup.GetProductKey(FFacts.VersionKey);
    FInstaller->RecordRegistryKey(HKEY_CURRENT_USER, productKey, FFacts.Is64Bit);
    if (FSetup.Scope() == TInstallScope::Everyone)
        FInstaller->RecordRegistryKey(HKEY_LOCAL_MACHINE, productKey, FFacts.Is64Bit);
    WriteLocation();
    WriteFolderSettings();
    WriteOwner();
    WriteRegistrySettings();
    FInstaller->FlushJournal();

    progress.SetProgress(100);
    CreateShortcuts();
    CreateUninstaller();
}

void TSetupRun::PrepareOwnFolder()
{
    // Checked again where nothing can have changed it since: the run never
    // writes over another product's installation.
    std::string other = FSetup.OtherInstallationIn(SurveyFolder(Choices.InstallFolder));
    if (!other.empty())
        throw ESetupError(
            FormatMessageText(Msg::FolderHoldsOtherProduct, {ExcludeDelimiter(Choices.InstallFolder), other}));
    FInstaller->OwnFolder = Choices.InstallFolder;
    FInstaller->BackupFolder = Choices.InstallFolder + "Replaced Files\\";
    // The earlier installation's log, as far as its registration vouches for it.
    std::vector<std::string> earlier;
    TInstallationRoots roots;
    try {
        TVouchedLog vouched = ReadVouchedLog(Choices.InstallFolder + UninstallerFileName, FSetup.Scope());
        if (vouched.Log.ProductName == FFacts.ProductName) {
            if (vouched.Changed && FSetup.OnNote)
                FSetup.OnNote("the earlier log was changed since it was finished: only what lies in " +
                              Choices.InstallFolder + " is taken over");
            earlier = std::move(vouched.Log.Lines);
            roots = std::move(vouched.Roots);
        }
    } catch (const std::exception&) {
        // No installation there, not one of ours, or a damaged one: nothing to carry forward.
    }
    FInstaller->CarryForward(earlier, roots);
}

void TSetupRun::InstallComponents(IInstallProgress& progress, int start, int end)
{
    // The time left is estimated from the bytes of every pass together.
    FCopyClock = std::make_shared<TCopyClock>();
    FCopyClock->Started = GetTickCount();
    for (const TSetupBundleItem* item : FSetup.Passes()) FCopyClock->Total += FSetup.ComponentBytes(item);
    std::vector<const TSetupBundleItem*> items = FSetup.Passes();
    items.pop_back();  // the pass without an item comes last, with no step of its own
    int count = int(items.size());
    for (int k = 0; k < count; ++k) {
        int from = start + (end - start) * k / count;
        progress.SetProgress(from);
        InstallPassWithProgress(progress, items[size_t(k)], from, start + (end - start) * (k + 1) / count);
    }
    InstallPassWithProgress(progress, nullptr, count > 0 ? end : start, end);
}

void TSetupRun::InstallPassWithProgress(IInstallProgress& progress, const TSetupBundleItem* item, int from, int to)
{
    // The bar moves with the bytes written, also within one large file, and
    // the window hears from the run several times a second. The counts live
    // as long as the callback that moves them.
    struct TPassProgress {
        IInstallProgress* Progress;
        int From, To, Shown;
        int64_t Total, Done = 0;
        DWORD Heard = GetTickCount();
    };
    auto pass = std::make_shared<TPassProgress>(TPassProgress{&progress, from, to, from, FSetup.ComponentBytes(item)});
    std::shared_ptr<TCopyClock> clock = FCopyClock;
    FInstaller->OnProgress = [pass, clock](size_t bytes) {
        TPassProgress& p = *pass;
        p.Done += int64_t(bytes);
        if (clock) clock->Add(int64_t(bytes), *p.Progress);
        int position = p.Total > 0 ? p.From + int((p.To - p.From) * std::min(p.Done, p.Total) / p.Total) : p.From;
        if (position > p.Shown && position < p.To) {
            p.Shown = position;
            p.Progress->SetProgress(position);
            p.Heard = GetTickCount();
        } else if (GetTickCount() - p.Heard >= 50) {
            p.Progress->Working();
            p.Heard = GetTickCount();
        }
    };
    try {
        InstallComponentPass(item);
    } catch (...) {
        FInstaller->OnProgress = nullptr;
        throw;
    }
    FInstaller->OnProgress = nullptr;
}

void TSetupRun::TCopyClock::Add(int64_t bytes, IInstallProgress& progress)
{
    Done += bytes;
    uint32_t now = GetTickCount(), elapsed = now - Started;
    // Once a second and a hundredth of the bytes have gone, once a second.
    if (elapsed < 1000 || Done * 100 < Total || now - Told < 1000 || Done >= Total) return;
    Told = now;
    progress.SetTimeLeft(int(double(elapsed) / 1000 * double(Total - Done) / double(Done) + 0.5));
}

void TSetupRun::InstallComponentPass(const TSetupBundleItem* item)
{
    for (const TComponentLine& line : FFacts.ComponentLines) {
        std::string folderName = FSetup.ExpandVariables(line.Key, item);
        std::string destination = FSetup.ExpandVariables(line.Destination, item);
        if (folderName.empty() || destination.empty()) continue;
        FLine = &line;
        FInstaller->OverwriteFiles = !line.NoOverwrite;
        struct TLineEnd {
            TSetupRun& Run;
            ~TLineEnd()
            {
                Run.FLine = nullptr;
                Run.FInstaller->OverwriteFiles = true;
            }
        } lineEnd{*this};
        FInstaller->ExtractFolder(folderName, destination, item ? item->ItemDate : 0);
    }
}

void TSetupRun::BeforeFileInstalled(std::string& fileName, int32_t& attributes)
{
    if (SameTextAscii(ExtractFileExt(fileName), ".dll")) {
        fileName = ChangeFileExt(fileName, "") + (FLine ? FLine->DllSuffix : std::string()) + ".dll";
        if (FLine && FLine->Vst3) fileName = ChangeFileExt(fileName, ".vst3");
    }
    std::string name = ExtractFileName(fileName);
    bool desktopIni = SameTextAscii(name, "desktop.ini");
    if (desktopIni || SameTextAscii(name, "PlugIn.ico"))
        attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    // The shell reads a folder's desktop.ini only when the folder is read-only.
    if (desktopIni) SetFileAttributesA(ExcludeDelimiter(ExtractFilePath(fileName)).c_str(), FILE_ATTRIBUTE_READONLY);
}

void TSetupRun::FileInstallFailed(const std::string& fileName, bool& retry)
{
    // The question names the programs that hold the file, where Windows can tell.
    std::string names;
    for (const std::string& name : ProgramsHolding(fileName)) names += (names.empty() ? "" : ", ") + name;
    if (!names.empty() && FSetup.OnNote) FSetup.OnNote("held by " + names + ": " + fileName);
    retry = FSetup.OnFileQuestion &&
            FSetup.OnFileQuestion(names.empty() ? FormatMessageText(Msg::FileInstallFailed, {fileName})
                                                : FormatMessageText(Msg::FileHeldBy, {fileName, names, names}));
}

void TSetupRun::CallLibraries()
{
    for (const std::string& line : FFacts.CallLibraries) {
        std::string library = FSetup.ExpandVariables(LineValue(line), nullptr);
        if (library.empty()) continue;
        HMODULE module = LoadLibraryA(library.c_str());
        if (!module) continue;
        using TExport = void (*)();
        auto function =
            reinterpret_cast<TExport>(reinterpret_cast<void*>(GetProcAddress(module, LineName(line).c_str())));
        if (function) function();
        FreeLibrary(module);
    }
}

std::vector<TRegistrationValue> TSetupRun::RegistrationValues() const
{
    std::string about;
    for (const std::vector<std::string>* lines : {&FFacts.RegistrySettings, &FFacts.GlobalRegistrySettings})
        for (const std::string& line : *lines)
            if (SameTextAscii(ExtractFileName(LineName(line)), "PurchaseUrl"))
                about = FSetup.ExpandVariables(LineValue(line), nullptr);
    // The numbers of the version users see: 1 and 21 of "1.21", 1 and 2 of "1.2.10".
    std::string version = FSetup.VersionText();
    size_t dot = version.find('.');
    auto number = [](const std::string& text) {
        return std::to_string(std::strtoul(text.substr(0, text.find_first_not_of("0123456789")).c_str(), nullptr, 10));
    };
    std::string major = number(version), minor = dot == std::string::npos ? "0" : number(version.substr(dot + 1));
    SYSTEMTIME today;
    GetLocalTime(&today);
    char date[16];
    std::snprintf(date, sizeof date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    const TLanguage* language = FindLanguage(Choices.Language);
    std::string uninstaller = Choices.InstallFolder + UninstallerFileName;
    namespace Value = RegistrationValue;
    return {{Value::QuietUninstallString, "\"" + uninstaller + "\" /S"},
            {Value::DisplayVersion, version},
            {Value::VersionMajor, major, true},
            {Value::VersionMinor, minor, true},
            {Value::InstallDate, date},
            {Value::Language, std::to_string(language ? language->Lcid : 0x0409), true},
            {Value::Publisher, FSetup.RegisteredPublisher()},
            {Value::DisplayIcon, uninstaller},
            {Value::InstallLocation, ExcludeDelimiter(Choices.InstallFolder)},
            {Value::EstimatedSize, std::to_string((FSetup.GetRequiredSpace() + 1023) / 1024), true},
            {Value::NoModify, "1", true},
            {Value::NoRepair, "1", true},
            {Value::UrlInfoAbout, about},
            {Value::HelpLink, FFacts.HelpLink},
            {Value::UrlUpdateInfo, FFacts.UpdateInfoUrl}};
}

void TSetupRun::CreateUninstaller()
{
    std::string name = FSetup.FullProductName() + FSetup.BitSuffix();
    FInstaller->WriteUninstaller(Choices.InstallFolder + UninstallerFileName, FRegistrationKey, FFacts.ProductName,
                                 name);
}
