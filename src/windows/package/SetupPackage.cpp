#include "SetupPackage.h"

#include <algorithm>
#include <system_error>

#include "Exception.h"
#include "FileSystem.h"
#include "FolderRule.h"
#include "HandleStream.h"
#include "Inflate.h"
#include "Messages.h"
#include "PackageReader.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "ProgramFile.h"
#include "TextUtils.h"
#include "WinHandle.h"

namespace {

// A resource of the program file, kept readable as long as the stream lives.
class TResourceStream : public TMemoryViewStream {
public:
    TResourceStream(TModule module, const void* data, size_t size)
        : TMemoryViewStream(data, size), FModule(std::move(module)) {}

private:
    TModule FModule;  // empty for the running module, which is never unloaded
};

bool SamePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

std::unique_ptr<TStream> OpenResourceStream(const std::string& programPath, const std::string& name)
{
    TModule loaded;
    HMODULE module = GetModuleHandleA(nullptr);
    if (!SamePath(programPath, ModuleFileName())) {
        loaded.Reset(LoadLibraryExA(programPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!loaded.Valid())
            throw EFOpenError(FormatMessageText(Msg::FileOpenError, {programPath, SysErrorMessage(GetLastError())}));
        module = loaded.Get();
    }
    HRSRC info = FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    HGLOBAL data = info ? LoadResource(module, info) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) {
        DWORD error = GetLastError();
        throw EFOpenError(FormatMessageText(Msg::FileOpenError, {programPath + ", " + name, SysErrorMessage(error)}));
    }
    return std::make_unique<TResourceStream>(std::move(loaded), bytes, SizeofResource(module, info));
}

}  // namespace

std::unique_ptr<TStream> TSetupPackage::OpenFirst() const
{
    if (!FResourceName.empty()) return OpenResourceStream(FProgramPath, FResourceName);

    std::unique_ptr<TStream> program = THandleStream::OpenRead(FProgramPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    program->SetPosition(PackageFormat::SetupDataOffsetWord);
    int32_t offset = program->ReadInt32();
    if (offset > 0) {
        program->SetPosition(offset);
        return program;
    }
    program.reset();
    // Shared with readers only (the check of a large package reads it on a
    // thread of its own): a Setup.dat someone is writing is refused.
    return THandleStream::OpenRead(GetProgramFolder(FProgramPath) + "Setup.dat", FILE_SHARE_READ);
}

void TSetupPackage::Hold(const std::string& path)
{
    // Shared with readers alone, and held for the process's life: nobody may
    // write, rename or replace the file once it is held, so the bytes the
    // check vouched for are the bytes every later read finds. Somebody who
    // holds it open for writing already makes this fail, before anything is read.
    FHeld.push_back(THandleStream::OpenRead(path, FILE_SHARE_READ));
}

std::unique_ptr<TStream> TSetupPackage::OpenVolume(const TVolumeRecord& volume) const
{
    std::string folder = GetProgramFolder(FProgramPath);
    if (!FileExists(folder + volume.Name))
        throw EVolumeMissing(FormatMessageText(Msg::VolumeMissing, {volume.Name, ExcludeDelimiter(folder)}));
    return THandleStream::OpenRead(folder + volume.Name, FILE_SHARE_READ);
}

std::unique_ptr<TStream> TSetupPackage::Open() const
{
    return OpenSpannedPackage(OpenFirst(), FInfo, [this](const TVolumeRecord& volume, size_t) { return OpenVolume(volume); });
}

namespace {

// Every header of the package, read once: a name Windows cannot hold or a
// size that does not fit is found before anything is written, and the
// longest path and the bytes below each top-level folder are measured on the way.
class TTreeSurvey : public TEntryVisitor {
public:
    void File(const TEntryHeader& entry, const std::string& path, TStream&) override
    {
        Measure(path);
        size_t slash = path.find('\\');
        if (slash != std::string::npos) Bytes[UpperAscii(path.substr(0, slash))] += entry.UncompressedSize;
    }
    bool EnterFolder(const TEntryHeader&, const std::string& path) override
    {
        Measure(path);
        return true;
    }
    std::map<std::string, size_t> Deepest;
    std::map<std::string, int64_t> Bytes;

private:
    void Measure(const std::string& path)
    {
        size_t slash = path.find('\\');
        if (slash == std::string::npos) {
            Deepest.emplace(UpperAscii(path), 0);
            return;
        }
        size_t& deepest = Deepest[UpperAscii(path.substr(0, slash))];
        deepest = std::max(deepest, Utf16Length(path.substr(slash + 1)));
    }
};

}  // namespace

TSetupPackage::TSetupPackage(std::string resourceName, std::string programPath)
    : FResourceName(std::move(resourceName)), FProgramPath(std::move(programPath))
{
    if (FResourceName.empty()) {
        Hold(FProgramPath);
        if (ReadProgramWord(FProgramPath, PackageFormat::SetupDataOffsetWord) <= 0)
            Hold(GetProgramFolder(FProgramPath) + "Setup.dat");
    }
    FInfo = ::ReadPackageHeader(*OpenFirst(), CheckedAtOnce);
    // Every volume is there and is this package's: what is missing is asked
    // for now, not half-way through the copy.
    for (size_t index = 1; index <= FInfo.Volumes.size(); ++index) {
        std::unique_ptr<TStream> volume = OpenVolume(FInfo.Volumes[index - 1]);
        Hold(GetProgramFolder(FProgramPath) + FInfo.Volumes[index - 1].Name);
        CheckVolumeHead(*volume, FInfo, index, [this](const std::string& why) { FCheckNote = why; });
    }
    // A small package is checked and surveyed now: its faults end Setup
    // before the first page. A large one is surveyed, then checked, on a
    // thread of its own: walking the headers of many thousand files spread
    // over gigabytes takes seconds, and the first page comes at once.
    if (FInfo.Header.DataSize <= CheckedAtOnce) {
        CheckData();
        WaitChecked();
        Survey();
    }
    ResumeChecking();
}

void TSetupPackage::Survey()
{
    TTreeSurvey survey;
    std::unique_ptr<TStream> stream = Open();
    stream->SetPosition(FInfo.EntriesStart);
    PackageReader::WalkList(*stream, FInfo.DataEnd, FInfo.Wide, survey);
    FDeepest = std::move(survey.Deepest);
    FFolderBytes = std::move(survey.Bytes);
    FSurveyed = true;
}

void TSetupPackage::WaitSurveyed() const
{
    // The thread surveys first, and is only ever stopped after that.
    while (!FSurveyed && !FCheckDone) Sleep(10);
    std::lock_guard<std::mutex> lock(FCheckMutex);
    if (!FSurveyed && FCheckError) std::rethrow_exception(FCheckError);
}

void TSetupPackage::ResumeChecking()
{
    if (FCheckDone || FChecker.joinable()) return;
    FCheckedBytes = 0;
    try {
        FChecker = std::thread([this] { Check(); });
    } catch (const std::system_error&) {
        Check();  // no second thread: checked now, as a small package is
    }
}

void TSetupPackage::StopChecking()
{
    if (!FChecker.joinable()) return;
    FStopCheck = true;
    FChecker.join();
    FStopCheck = false;
}

TSetupPackage::~TSetupPackage()
{
    FStopCheck = true;
    if (FChecker.joinable()) FChecker.join();
}

namespace {
struct TCheckStopped {};
}  // namespace

void TSetupPackage::Check()
{
    if (!FSurveyed) {
        try {
            Survey();
        } catch (const EReadError&) {
            // Headers that run past the data: the package is cut short or damaged.
            std::lock_guard<std::mutex> lock(FCheckMutex);
            FCheckError = std::make_exception_ptr(EPackageDamaged(LoadMessage(Msg::InstallerCorrupted)));
        } catch (...) {
            std::lock_guard<std::mutex> lock(FCheckMutex);
            FCheckError = std::current_exception();
        }
        if (FCheckError) {
            FCheckDone = true;
            return;
        }
    }
    CheckData();
}

void TSetupPackage::CheckData()
{
    try {
        std::unique_ptr<TStream> first = OpenFirst();
        CheckPackageData(
            *first, FInfo, [this](const TVolumeRecord& volume, size_t) { return OpenVolume(volume); },
            [this](int64_t bytes) {
                if (FStopCheck) throw TCheckStopped();
                FCheckedBytes += bytes;
            },
            [this](const std::string& why) {
                std::lock_guard<std::mutex> lock(FCheckMutex);
                FCheckNote = why;
            });
    } catch (const TCheckStopped&) {
        return;  // not done: ResumeChecking starts again
    } catch (...) {
        std::lock_guard<std::mutex> lock(FCheckMutex);
        FCheckError = std::current_exception();
    }
    FCheckDone = true;
}

void TSetupPackage::WaitChecked(const std::function<void(int64_t, int64_t)>& progress)
{
    if (!FCheckDone && !FChecker.joinable()) ResumeChecking();
    while (!FCheckDone) {
        if (progress) progress(FCheckedBytes, PackageCheckBytes(FInfo));
        Sleep(50);
    }
    if (FChecker.joinable()) FChecker.join();
    std::lock_guard<std::mutex> lock(FCheckMutex);
    if (FCheckError) std::rethrow_exception(FCheckError);
}

std::string TSetupPackage::CheckNote() const
{
    std::lock_guard<std::mutex> lock(FCheckMutex);
    return FCheckNote;
}

size_t TSetupPackage::DeepestPath(const std::string& name) const
{
    WaitSurveyed();
    auto found = FDeepest.find(UpperAscii(name));
    return found == FDeepest.end() ? 0 : found->second;
}

std::unique_ptr<TMemoryStream> TSetupPackage::ExtractFileToMemory(const std::string& name) const
{
    std::unique_ptr<TStream> package = Open();
    TEntryHeader entry;
    if (!PackageReader::FindTopLevel(*package, FInfo, name, false, entry)) return nullptr;
    auto content = std::make_unique<TMemoryStream>();
    TStreamSink sink(*content);
    try {
        InflateEntry(*package, entry.StoredSize, entry.UncompressedSize, sink);
    } catch (const std::bad_alloc&) {
        // An entry larger than this process can hold: reported, not a crash.
        throw EOutOfMemory(LoadMessage(Msg::OutOfMemory));
    }
    content->SetPosition(0);
    return content;
}

int64_t TSetupPackage::FolderSize(const std::string& name) const
{
    WaitSurveyed();
    auto found = FFolderBytes.find(UpperAscii(name));
    return found == FFolderBytes.end() ? 0 : found->second;
}

namespace {

// Stops a walk at the first file with data.
struct TFoundData {};
class TDataFinder : public TEntryVisitor {
public:
    void File(const TEntryHeader& entry, const std::string&, TStream&) override
    {
        if (entry.UncompressedSize > 0) throw TFoundData();
    }
    bool EnterFolder(const TEntryHeader&, const std::string&) override { return true; }
};

}  // namespace

bool TSetupPackage::FolderHasData(const std::string& name) const
{
    if (FSurveyed) return FolderSize(name) > 0;
    // Before the survey is done: the folder's first files, not all of them.
    std::unique_ptr<TStream> package = Open();
    TEntryHeader entry;
    if (!PackageReader::FindTopLevel(*package, FInfo, name, true, entry)) return false;
    TDataFinder finder;
    try {
        PackageReader::WalkList(*package, package->Position() + entry.StoredSize, FInfo.Wide, finder);
    } catch (const TFoundData&) {
        return true;
    }
    return false;
}
