#include "Installer.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "Exception.h"
#include "FileSystem.h"
#include "HandleStream.h"
#include "Inflate.h"
#include "Messages.h"
#include "PackageReader.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "Registry.h"
#include "SharedFiles.h"
#include "ShellLinks.h"
#include "TextUtils.h"
#include "WinHandle.h"

const char PartialSuffix[] = ".partial";

std::string PartialTarget(const std::string& path)
{
    size_t length = std::strlen(PartialSuffix);
    bool partial = path.size() > length && path.compare(path.size() - length, length, PartialSuffix) == 0;
    return partial ? path.substr(0, path.size() - length) : std::string();
}

const char InstallFoldersValue[] = "InstallFolders";
const char InstallKeysValue[] = "InstallKeys";
const char UninstallRegistryKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

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

// Inflated data goes straight to the target file in the decompressor's large blocks.
class TFileSink : public TByteSink {
public:
    TFileSink(HANDLE file, const std::string& name, const std::function<void(size_t)>& progress,
              const std::function<void(const std::string&)>& note)
        : FFile(file), FName(name), FProgress(progress), FNote(note)
    {
    }
    void Put(const uint8_t* data, size_t size) override
    {
        if (FProgress) FProgress(size);
        while (size > 0) {
            DWORD written = 0;
            if (!FileWriteCall(FFile, data, DWORD(std::min<size_t>(size, 1u << 30)), &written, nullptr) || written == 0) {
                DWORD error = written == 0 && GetLastError() == 0 ? ERROR_DISK_FULL : GetLastError();
                std::string message = FormatMessageText(Msg::FileWriteError, {FName, SysErrorMessage(error)});
                if (FNote) FNote("error " + std::to_string(error) + ": " + message);
                throw EWriteError(message);
            }
            data += written;
            size -= written;
        }
    }

private:
    HANDLE FFile;
    std::string FName;
    const std::function<void(size_t)>& FProgress;
    const std::function<void(const std::string&)>& FNote;
};

constexpr DWORD ClearedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

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

TInstaller::TInstaller(std::string resourceName, std::string programPath)
    : FResourceName(std::move(resourceName)), FProgramPath(std::move(programPath))
{
    ReadPackageHeader();
}

std::unique_ptr<TStream> TInstaller::OpenPackageStream() const
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
    return THandleStream::OpenRead(GetProgramFolder(FProgramPath) + "Setup.dat", 0);
}

void TInstaller::ReadPackageHeader()
{
    std::unique_ptr<TStream> stream = OpenPackageStream();
    FInfo = ::ReadPackageHeader(*stream);
}

// Walks a folder's tree: with a destination it creates folders and installs
// files; without one it only sums file sizes.
class TInstaller::TExtractor : public TEntryVisitor {
public:
    TExtractor(TInstaller& installer, const std::string& destination, int32_t fileTime)
        : FInstaller(installer), FDestination(destination), FFileTime(fileTime) {}

    void File(const TEntryHeader& entry, const std::string& path, TStream& stream) override
    {
        if (FDestination.empty())
            Total += uint32_t(entry.UncompressedSize);
        else
            FInstaller.InstallFile(stream, entry, FDestination + ProcessText(path), FFileTime);
    }
    bool EnterFolder(const TEntryHeader&, const std::string& path) override
    {
        if (!FDestination.empty()) FInstaller.ForceFolder(FDestination + ProcessText(path) + "\\", false);
        return true;
    }

    uint32_t Total = 0;

private:
    TInstaller& FInstaller;
    std::string FDestination;
    int32_t FFileTime;
};

std::unique_ptr<TMemoryStream> TInstaller::ExtractFileToMemory(const std::string& name)
{
    std::unique_ptr<TStream> package = OpenPackageStream();
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

namespace {

// Where each file's data lies, by the headers alone.
class TFileEntries : public TEntryVisitor {
public:
    void File(const TEntryHeader& entry, const std::string&, TStream& stream) override
    {
        if (entry.UncompressedSize > 0) Entries.push_back({stream.Position(), entry.StoredSize, entry.UncompressedSize});
    }
    bool EnterFolder(const TEntryHeader&, const std::string&) override { return true; }
    std::vector<TInflateAhead::TEntry> Entries;
};

}  // namespace

int32_t TInstaller::ExtractFolder(const std::string& name, const std::string& destination, int32_t fileTime)
{
    if (fileTime == 0) fileTime = FInfo.PackageDate;
    std::string target = IncludeDelimiter(destination);
    std::unique_ptr<TStream> package = OpenPackageStream();
    TEntryHeader entry;
    if (!PackageReader::FindTopLevel(*package, FInfo, name, true, entry)) return 0;
    int64_t childrenEnd = package->Position() + entry.StoredSize;
    // The whole tree is checked first: a damaged entry anywhere in it is
    // refused before any file of the folder is written.
    PackageReader::CheckList(*package, childrenEnd);
    ForceFolder(target, false);
    StartInflatingAhead(*package, childrenEnd);
    struct TStopAhead {
        std::unique_ptr<TInflateAhead>& Ahead;
        ~TStopAhead() { Ahead.reset(); }
    } stopAhead{FAhead};
    TExtractor extractor(*this, target, fileTime);
    PackageReader::WalkList(*package, childrenEnd, extractor);
    return int32_t(extractor.Total);
}

void TInstaller::StartInflatingAhead(TStream& package, int64_t childrenEnd)
{
    int64_t start = package.Position();
    TFileEntries files;
    PackageReader::WalkList(package, childrenEnd, files);
    package.SetPosition(start);
    if (files.Entries.size() < 2) return;
    try {
        FAhead = std::make_unique<TInflateAhead>(OpenPackageStream(), files.Entries);
    } catch (const std::system_error&) {
        // No second thread: every file is inflated as it is written.
    }
}

int64_t TInstaller::GetFolderSize(const std::string& name)
{
    std::unique_ptr<TStream> package = OpenPackageStream();
    TEntryHeader entry;
    if (!PackageReader::FindTopLevel(*package, FInfo, name, true, entry)) return 0;
    return PackageReader::ListFileSize(*package, package->Position() + entry.StoredSize);
}

bool TInstaller::ForceFolder(const std::string& path, bool removeContents)
{
    if (path.empty()) return false;
    if (!removeContents && DirectoryExists(path)) {
        RecordItem(ikExistingFolder, path);
        // A folder that another installation created outside its own folder is
        // shared like a file: it goes with the last installation that uses it.
        if (IsSharedPlace(path) && SharedFileCount(path) > 0) HoldSharedReference(path);
        return true;
    }
    std::string parent = ExtractFilePath(ExcludeDelimiter(path));
    if (!parent.empty() && parent != path) ForceFolder(parent, false);
    CreateDirectoryA(path.c_str(), nullptr);
    if (!DirectoryExists(path)) return false;
    RecordItem(removeContents ? ikFolderContents : ikFolder, path);
    if (IsSharedPlace(path)) HoldSharedReference(path);
    return true;
}

bool TInstaller::IsSharedPlace(const std::string& path) const
{
    std::string key = UpperAscii(path);
    return !OwnFolder.empty() && !IsInsideFolder(path, OwnFolder) && !FEarlier.count(key) && !FWritten.count(key);
}

void TInstaller::HoldSharedReference(const std::string& path)
{
    AddSharedFileReference(path);
    FWritten.insert(UpperAscii(path));
    Log(NoteLine(UninstallNote::Shared, path));
}

void TInstaller::InstallFile(TStream& package, const TEntryHeader& entry, const std::string& defaultTarget,
                             int32_t fileTime)
{
    std::string target = defaultTarget;
    int32_t extraAttributes = 0;
    if (OnInstallFile) OnInstallFile(*this, target, extraAttributes);
    if (target.empty()) return;
    std::string key = UpperAscii(target);
    bool shared = IsSharedPlace(target);
    bool counted = shared && SharedFileCount(target) > 0;
    if (!OverwriteFiles && FileExists(target)) {
        // Kept as it is. Another installation's file that this product relies
        // on too takes one more reference, so neither removal takes it alone.
        if (counted) {
            RecordItem(ikFile, target);
            HoldSharedReference(target);
        }
        return;
    }
    // A file that is neither the product's (this run's, or the installation's
    // it replaces) nor counted as another installation's is somebody's own:
    // removal puts it back. Any other file replaced is kept only until the run
    // has ended, so that a failure can put it back.
    bool somebodys = !FWritten.count(key) && !FEarlier.count(key) && !counted;
    // Written in full under another name first: no host ever sees a partial
    // plug-in under its real name, and a damaged package replaces nothing.
    std::string partial = target + PartialSuffix;
    Log(NoteLine(UninstallNote::Partial, partial));
    WritePartialFile(package, entry, partial, fileTime);
    for (;;) {
        try {
            PutInPlace(partial, target, somebodys);
            break;
        } catch (const EFileInUse& error) {
            bool retry = false;
            if (OnInstallError) OnInstallError(*this, error, target, retry);
            if (!retry) {
                DeleteFileA(partial.c_str());
                throw;
            }
        }
    }
    if (extraAttributes != 0) {
        DWORD now = GetFileAttributesA(target.c_str());
        if (now != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(target.c_str(), now | DWORD(extraAttributes));
    }
    RecordStamp(target);
    if (shared)
        HoldSharedReference(target);
    else
        FWritten.insert(key);
}

void TInstaller::WritePartialFile(TStream& package, const TEntryHeader& entry, const std::string& partial,
                                  int32_t fileTime)
{
    try {
        std::unique_ptr<THandleStream> file = THandleStream::Create(partial);
        TFileSink sink(file->Handle(), partial, OnProgress, OnNote);
        // The stream must also end where the entry says, with its own
        // checksum: the package's checksum can fit a damaged entry.
        const uint8_t* inflated = nullptr;
        size_t size = 0;
        if (entry.UncompressedSize > 0 && FAhead && FAhead->Take(package.Position(), inflated, size))
            sink.Put(inflated, size);
        else if (entry.UncompressedSize > 0 &&
                 !InflateEntry(package, entry.StoredSize, entry.UncompressedSize, sink).StreamEnded)
            throw EZDecompressionError(LoadMessage(Msg::DecompressionError));
        SetLastWriteTimeFromDos(file->Handle(), fileTime);
    } catch (const EZDecompressionError&) {
        DeleteFileA(partial.c_str());
        throw ESetupError(LoadMessage(Msg::InstallerCorrupted));
    } catch (const EReadError&) {
        DeleteFileA(partial.c_str());
        throw ESetupError(LoadMessage(Msg::InstallerCorrupted));
    } catch (...) {
        DeleteFileA(partial.c_str());
        throw;
    }
}

void TInstaller::PutInPlace(const std::string& partial, const std::string& target, bool somebodys)
{
    DWORD existing = GetFileAttributesA(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if (existing & ClearedAttributes) SetFileAttributesA(target.c_str(), existing & ~ClearedAttributes);
        if (!BackupFolder.empty()) MoveAside(target, somebodys);
    }
    // Logged before it is in place: a run ended between the two still removes it.
    RecordItem(ikFile, target);
    if (!MoveFileExA(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DWORD error = GetLastError();
        FLog.pop_back();  // what is there is not this run's file
        if (existing != INVALID_FILE_ATTRIBUTES && FileExists(target)) SetFileAttributesA(target.c_str(), existing);
        ThrowReplaceError(target, error);
    }
}

void TInstaller::MoveAside(const std::string& target, bool somebodys)
{
    bool made = DirectoryExists(BackupFolder);
    ForceFolder(BackupFolder, false);
    if (!made) SetFileAttributesA(ExcludeDelimiter(BackupFolder).c_str(), FILE_ATTRIBUTE_HIDDEN);
    std::string copy;
    for (int number = 1; copy.empty() || FileExists(copy) || DirectoryExists(copy); ++number)
        copy = BackupFolder + std::to_string(number) + " " + ExtractFileName(target);
    // Logged first: a run that ends here still knows where the file went.
    Log(NoteLine(somebodys ? UninstallNote::Backup : UninstallNote::Aside, target, {copy}));
    if (!MoveFileExA(target.c_str(), copy.c_str(), MOVEFILE_COPY_ALLOWED)) {
        // The note stays: a copy that is not there is never put back.
        ThrowReplaceError(target, GetLastError());
    }
    if (!somebodys) FAside.push_back(copy);
}

void TInstaller::ThrowReplaceError(const std::string& target, DWORD error) const
{
    std::string message = FormatMessageText(Msg::FileCreateError, {target, SysErrorMessage(error)});
    if (OnNote) OnNote("error " + std::to_string(error) + ": " + message);
    // Held open by a running program: the user can close it and try again.
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED)
        throw EFileInUse(message);
    throw EFCreateError(message);
}

void TInstaller::RecordStamp(const std::string& target)
{
    std::vector<std::string> stamp = FileStamp(target);
    if (!stamp.empty()) Log(NoteLine(UninstallNote::Stamp, target, stamp));
}

void TInstaller::CarryForward(const std::vector<std::string>& earlierLog)
{
    FEarlierLog = earlierLog;
    for (const std::string& line : earlierLog) {
        if (line.empty()) continue;
        std::vector<std::string> fields = NoteFields(line);
        if (std::string("FDTE").find(line[0]) != std::string::npos) FEarlier.insert(UpperAscii(line.substr(1)));
        // What a run that never ended kept for its own failure, and its
        // unfinished files: this run takes over from it.
        if (line[0] == UninstallNote::Aside && fields.size() == 2) DeleteFileA(fields[1].c_str());
        if (line[0] == UninstallNote::Partial && !PartialTarget(fields[0]).empty()) DeleteFileA(fields[0].c_str());
    }
}

std::vector<std::string> TInstaller::UninstallerLog() const
{
    // The notes that only matter while a run goes on stay out of the finished log.
    std::vector<std::string> log;
    for (const std::string& line : ::CarryForward(FEarlierLog, FLog))
        if (line.empty() || (line[0] != UninstallNote::Partial && line[0] != UninstallNote::Aside)) log.push_back(line);
    return log;
}

void TInstaller::SetAside(const std::string& path)
{
    if (BackupFolder.empty())
        DeleteFileA(path.c_str());
    else
        MoveAside(path, false);
}

void TInstaller::CreateShortcut(const std::string& shortcutFile, const std::string& target,
                                const std::string& arguments, int iconIndex)
{
    if (FileExists(shortcutFile)) SetAside(shortcutFile);
    CreateShellLink(shortcutFile, target, arguments, iconIndex);
    RecordItem(ikFile, shortcutFile);
}

void TInstaller::RecordItem(int kind, const std::string& text) { Log(UninstallItemLetter(kind) + text); }

void TInstaller::Log(const std::string& line)
{
    FLog.push_back(line);
    AppendJournalLine(line);
    if (!OnNote || line.size() < 2) return;
    static const std::pair<char, const char*> kinds[] = {
        {'F', "file "}, {'D', "folder created "}, {'E', "folder there before "}, {'T', "folder emptied on removal "},
        {'U', "registry key HKCU"}, {'C', "registry key HKCR"}, {'M', "registry key HKLM"},
        {'6', "registry key HKLM (64-bit)"}, {UninstallNote::Backup, "kept aside "},
        {UninstallNote::Shared, "shared reference "}};
    for (const auto& kind : kinds)
        if (line[0] == kind.first) OnNote(kind.second + ReplaceAll(line.substr(1), "|", " as "));
}

void TInstaller::RecordRegistryKey(HKEY root, const std::string& keyPath, bool use64BitView)
{
    // A failed run takes away only the keys it created, with the parents it created for them.
    TRegistry64 existing(use64BitView);
    existing.RootKey = root;
    std::string created;
    for (std::string key = keyPath; !key.empty() && key != "\\" && !existing.KeyExists(key);
         key = ExcludeDelimiter(ExtractFilePath(key)))
        created = key;
    size_t before = FLog.size();
    if (root == HKEY_CLASSES_ROOT)
        RecordItem(ikClassesRootKey, keyPath);
    else if (root == HKEY_CURRENT_USER)
        RecordItem(ikCurrentUserKey, keyPath);
    else if (root == HKEY_LOCAL_MACHINE)
        RecordItem(use64BitView ? ikLocalMachine64Key : ikLocalMachineKey, keyPath);
    if (!created.empty() && FLog.size() > before) FCreatedKeys[FLog.back()] = created;
}

void TInstaller::WriteUninstallLog(TStream& stream, const std::string& productName) const
{
    ::WriteUninstallLog(stream, FInfo.Version, UninstallerLog(), productName);
}

void TInstaller::WriteUninstaller(const std::string& uninstallerPath, const std::string& keyName,
                                  const std::string& productName, const std::string& displayName)
{
    std::string registration = std::string(1, UninstallItemLetter(ikLocalMachineKey)) + UninstallRegistryKey + keyName;
    if (std::find(FLog.begin(), FLog.end(), registration) == FLog.end()) Log(registration);
    WriteProgramPart(uninstallerPath, true, productName);
    RegisterUninstaller(uninstallerPath, keyName, displayName);
    RecordRoots(keyName, InstallationRoots(UninstallerLog()));
    // Done: the journal and the product's earlier files kept for a failure go.
    if (FJournal) {
        FJournal.reset();
        DeleteFileA(FJournalPath.c_str());
    }
    for (const std::string& copy : FAside) DeleteFileA(copy.c_str());
    FAside.clear();
    FReplacedRegistrations.clear();
}

void TInstaller::ClearSignature(TStream& program, TStream& copy, int64_t length)
{
    // A signed installer's certificate table lies past the program part, and
    // any signature would no longer fit the uninstaller's bytes: the copy
    // carries no certificate-table entry and no checksum, as an unsigned
    // program does.
    if (length < 0x40) return;
    program.SetPosition(0x3C);
    int64_t header = program.ReadInt32();
    if (header <= 0 || header + 24 + 2 > length) return;
    program.SetPosition(header);
    if (program.ReadInt32() != 0x00004550) return;  // "PE\0\0"
    int64_t optional = header + 24;
    program.SetPosition(optional);
    uint8_t magic[2];
    program.ReadBuffer(magic, 2);
    int64_t directories = optional + (magic[0] == 0x0B && magic[1] == 0x02 ? 112 : 96);
    int64_t security = directories + 4 * 8;  // the fifth data directory
    if (security + 8 > length) return;
    copy.SetPosition(optional + 64);  // CheckSum
    copy.WriteInt32(0);
    copy.SetPosition(security);
    copy.WriteInt32(0);
    copy.WriteInt32(0);
}

void TInstaller::WriteProgramPart(const std::string& path, bool log, const std::string& productName) const
{
    std::unique_ptr<THandleStream> uninstaller = THandleStream::Create(path);
    int64_t copyLength;
    {
        std::unique_ptr<THandleStream> program = THandleStream::OpenRead(FProgramPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
        program->SetPosition(PackageFormat::SetupDataOffsetWord);
        copyLength = program->ReadInt32();
        // No appended package (0, or the negative value the reader treats
        // alike): the whole program file is the program part.
        if (copyLength <= 0) copyLength = program->Size();
        program->SetPosition(0);
        uninstaller->CopyFrom(*program, copyLength);
        ClearSignature(*program, *uninstaller, copyLength);
    }
    uninstaller->SetPosition(PackageFormat::SetupDataOffsetWord);
    uninstaller->WriteInt32(log ? int32_t(copyLength) : 0);
    uninstaller->WriteInt32(1);
    if (!log) return;
    uninstaller->SetPosition(copyLength);
    WriteUninstallLog(*uninstaller, productName);
}

void TInstaller::BeginJournal(const std::string& uninstallerPath, const std::string& keyName,
                              const std::string& productName, const std::string& displayName)
{
    std::string folder = ExtractFilePath(uninstallerPath);
    FJournalPath = folder + "Uninstall.dat";
    // An earlier installation's uninstaller comes back if the run fails.
    if (FileExists(uninstallerPath)) MoveAside(uninstallerPath, false);
    Log(NoteLine(UninstallNote::Partial, FJournalPath));
    Log(NoteLine(UninstallNote::Partial, uninstallerPath));
    {
        TMemoryStream header;
        ::WriteUninstallLog(header, FInfo.Version, {}, std::string());
        FJournal = THandleStream::Create(FJournalPath);
        FJournal->WriteBuffer(header.Data().data(), header.Data().size());
        FJournalLength = 0;
    }
    // The product's name, the earlier installation's lines, then this run's.
    AppendJournalLine(NoteLine(UninstallNote::Name, productName));
    for (const std::string& line : FEarlierLog) AppendJournalLine(line);
    for (const std::string& line : FLog) AppendJournalLine(line);
    WriteProgramPart(uninstallerPath, false, productName);
    std::string registration = std::string(1, UninstallItemLetter(ikLocalMachineKey)) + UninstallRegistryKey + keyName;
    TRegistry registry(KEY_READ);
    registry.RootKey = HKEY_LOCAL_MACHINE;
    if (!registry.KeyExists(UninstallRegistryKey + keyName)) FCreatedKeys[registration] = UninstallRegistryKey + keyName;
    Log(registration);
    RegisterUninstaller(uninstallerPath, keyName, displayName);
}

void TInstaller::AppendJournalLine(const std::string& line)
{
    if (!FJournal) return;
    std::string text = line + "\r\n";
    FJournal->SetPosition(FJournal->Size());
    FJournal->WriteBuffer(text.data(), text.size());
    FJournalLength += int32_t(text.size());
    FJournal->SetPosition(UninstallLogFormat::HeaderSize + TProgramVersion::RecordSize);
    FJournal->WriteInt32(FJournalLength);
}

void TInstaller::RollBack()
{
    FJournal.reset();
    for (auto line = FLog.rbegin(); line != FLog.rend(); ++line) {
        if (line->empty()) continue;
        std::vector<std::string> fields = NoteFields(*line);
        const std::string& path = fields[0];
        switch ((*line)[0]) {
        case 'F':
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
            break;
        case UninstallNote::Partial: DeleteFileA(path.c_str()); break;
        case UninstallNote::Backup:
        case UninstallNote::Aside:
            if (fields.size() == 2 && FileExists(fields[1]))
                MoveFileExA(fields[1].c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
            break;
        case UninstallNote::Shared: ReleaseSharedFileReference(path); break;
        case 'D':
        case 'T':
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
            RemoveDirectoryA(path.c_str());
            break;
        case 'U':
        case 'C':
        case 'M':
        case '6':
            if (FCreatedKeys.count(*line)) {
                TRegistry64 registry((*line)[0] == '6');
                registry.RootKey = (*line)[0] == 'U' ? HKEY_CURRENT_USER
                                   : (*line)[0] == 'C' ? HKEY_CLASSES_ROOT
                                                       : HKEY_LOCAL_MACHINE;
                registry.DeleteKey(FCreatedKeys[*line]);
            }
            break;
        default: break;
        }
    }
    // The registrations that the run's own replaced come back as they were.
    for (const auto& entry : FReplacedRegistrations) {
        TRegistry registry;
        registry.RootKey = HKEY_LOCAL_MACHINE;
        if (!registry.OpenKey(UninstallRegistryKey + entry.first, true)) continue;
        for (const TSavedValue& value : entry.second)
            RegSetValueExW(registry.CurrentKey(), value.Name.data(), 0, value.Type, value.Data.data(),
                           DWORD(value.Data.size()));
    }
    FLog.clear();
    FWritten.clear();
    FAside.clear();
    FCreatedKeys.clear();
    FReplacedRegistrations.clear();
}

std::vector<TInstaller::TSavedValue> TInstaller::SavedValues(HKEY key)
{
    std::vector<TSavedValue> values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = sizeof name / sizeof name[0], type = 0, size = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        TSavedValue value{std::vector<wchar_t>(name, name + nameLength + 1), type, std::vector<BYTE>(size)};
        nameLength = sizeof name / sizeof name[0];
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, value.Data.data(), &size) != ERROR_SUCCESS)
            break;
        value.Data.resize(size);
        values.push_back(std::move(value));
    }
    return values;
}

void TInstaller::RecordRoots(const std::string& keyName, const TInstallationRoots& roots)
{
    // Beside the registration, where only administrators can write: the
    // uninstaller obeys no line of its log outside them.
    auto joined = [](const std::vector<std::string>& list) {
        std::string text;
        for (const std::string& item : list) text += (text.empty() ? "" : "|") + item;
        return text;
    };
    try {
        TRegistry registry;
        registry.RootKey = HKEY_LOCAL_MACHINE;
        if (registry.OpenKey(UninstallRegistryKey + keyName, false)) {
            registry.WriteString(InstallFoldersValue, joined(roots.Folders));
            registry.WriteString(InstallKeysValue, joined(roots.Keys));
        }
    } catch (const Exception&) {
    }
}

void TInstaller::RegisterUninstaller(const std::string& uninstallerPath, const std::string& keyName,
                                     const std::string& displayName)
{
    // Registry trouble never fails the installation: without the rights, or
    // with a damaged entry, the registration is skipped or partial.
    TRegistry registry;
    registry.RootKey = HKEY_LOCAL_MACHINE;
    if (registry.OpenKey(UninstallRegistryKey, false)) {
        for (const std::string& name : registry.GetKeyNames()) {
            try {
                if (!registry.OpenKey(UninstallRegistryKey + name, false)) continue;
                // Earlier installations into the same folder, whatever their
                // key name, and whether or not they quoted the path.
                std::string uninstall = registry.ReadString("UninstallString");
                if (SameTextAscii(Unquoted(uninstall), uninstallerPath) || SameTextAscii(name, keyName)) {
                    FReplacedRegistrations.push_back({name, SavedValues(registry.CurrentKey())});
                    if (!SameTextAscii(Unquoted(uninstall), uninstallerPath)) continue;
                    registry.CloseKey();
                    registry.DeleteKey(UninstallRegistryKey + name);
                }
            } catch (const Exception&) {
            }
        }
    }
    try {
        if (registry.OpenKey(UninstallRegistryKey + keyName, true)) {
            registry.WriteString("DisplayName", displayName);
            // Quoted, so that Windows never runs "C:\Program.exe" for a path with blanks.
            registry.WriteString("UninstallString", "\"" + uninstallerPath + "\"");
            for (const TRegistrationValue& value : RegistrationValues) {
                if (value.Number)
                    registry.WriteInteger(value.Name, StrToIntDef(value.Text, 0, false));
                else if (!value.Text.empty())
                    registry.WriteString(value.Name, value.Text);
            }
        }
    } catch (const Exception&) {
    }
}
