#include "Installer.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "Exception.h"
#include "FileSystem.h"
#include "HandleStream.h"
#include "Inflate.h"
#include "Messages.h"
#include "OtherInstallations.h"
#include "PackageReader.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "ProgramFile.h"
#include "Registry.h"
#include "Sha256.h"
#include "SharedFiles.h"
#include "InstallScope.h"
#include "ShellLinks.h"
#include "SystemCalls.h"
#include "TextUtils.h"
#include "UninstallRegistration.h"
#include "WinHandle.h"

namespace {

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
            if (!SystemCalls().Write(FFile, data, DWORD(std::min<size_t>(size, 1u << 30)), &written, nullptr) || written == 0) {
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

// A partial file that will not be put in place goes: closed first, since the
// handle that wrote it shares nothing, not even with its own deletion.
void DiscardPartial(std::unique_ptr<THandleStream>& file, const std::string& partial)
{
    file.reset();
    DeleteFileA(partial.c_str());
}

}  // namespace

TInstaller::TInstaller(std::string resourceName, std::string programPath)
    : FPackage(std::move(resourceName), std::move(programPath))
{
    FJournal.OnNote = [this](const std::string& text) {
        if (OnNote) OnNote(text);
    };
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
            Total += entry.UncompressedSize;
        else
            FInstaller.InstallFile(stream, entry, FDestination + ProcessText(path), FFileTime);
    }
    bool EnterFolder(const TEntryHeader&, const std::string& path) override
    {
        if (!FDestination.empty()) FInstaller.ForceFolder(FDestination + ProcessText(path) + "\\", false);
        return true;
    }

    int64_t Total = 0;

private:
    TInstaller& FInstaller;
    std::string FDestination;
    int32_t FFileTime;
};

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

int64_t TInstaller::ExtractFolder(const std::string& name, const std::string& destination, int32_t fileTime)
{
    // Nothing is written from a package whose checksums do not hold.
    FPackage.WaitChecked();
    if (fileTime == 0) fileTime = FPackage.Info().PackageDate;
    bool wide = FPackage.Info().Wide;
    std::string target = IncludeDelimiter(destination);
    std::unique_ptr<TStream> package = OpenPackageStream();
    TEntryHeader entry;
    if (!PackageReader::FindTopLevel(*package, FPackage.Info(), name, true, entry)) return 0;
    int64_t childrenEnd = package->Position() + entry.StoredSize;
    // The whole tree is checked first: a damaged entry anywhere in it is
    // refused before any file of the folder is written.
    PackageReader::CheckList(*package, childrenEnd, wide);
    ForceFolder(target, false);
    StartInflatingAhead(*package, childrenEnd);
    struct TStopAhead {
        std::unique_ptr<TInflateAhead>& Ahead;
        ~TStopAhead() { Ahead.reset(); }
    } stopAhead{FAhead};
    TExtractor extractor(*this, target, fileTime);
    PackageReader::WalkList(*package, childrenEnd, wide, extractor);
    return extractor.Total;
}

void TInstaller::StartInflatingAhead(TStream& package, int64_t childrenEnd)
{
    int64_t start = package.Position();
    TFileEntries files;
    PackageReader::WalkList(package, childrenEnd, FPackage.Info().Wide, files);
    package.SetPosition(start);
    if (files.Entries.size() < 2) return;
    try {
        FAhead = std::make_unique<TInflateAhead>(OpenPackageStream(), files.Entries);
    } catch (const std::system_error&) {
        // No second thread: every file is inflated as it is written.
    } catch (const std::bad_alloc&) {
        // No memory for the ring: the same.
    }
}

bool TInstaller::ForceFolder(const std::string& path, bool removeContents)
{
    if (path.empty()) return false;
    if (!removeContents && DirectoryExists(path)) {
        RecordItem(TLineKind::ExistingFolder, path);
        // A folder that another installation created outside its own folder is
        // shared like a file: it goes with the last installation that uses it.
        // One user's installation shares those of installations for everyone
        // too: whichever of them goes last takes the folder.
        if (IsSharedPlace(path) && CountedByAnotherInstallation(Scope(), path)) HoldSharedReference(path);
        return true;
    }
    std::string parent = ExtractFilePath(ExcludeDelimiter(path));
    if (!parent.empty() && parent != path) ForceFolder(parent, false);
    // Logged before it is made: a run ended in between still removes it.
    RecordItem(removeContents ? TLineKind::FolderContents : TLineKind::Folder, path);
    bool protect = std::any_of(ProtectedFolders.begin(), ProtectedFolders.end(),
                               [&](const std::string& folder) { return IsInsideFolder(folder, path); });
    if (protect)
        CreateProtectedFolder(path);
    else
        CreateDirectoryA(path.c_str(), nullptr);
    if (!DirectoryExists(path)) {
        FJournal.Retract();  // not this run's: there is no such folder
        return false;
    }
    if (IsSharedPlace(path)) HoldSharedReference(path);
    return true;
}

bool TInstaller::IsSharedPlace(const std::string& path) const
{
    std::string key = UpperAscii(path);
    return !OwnFolder.empty() && !IsInsideFolder(path, OwnFolder) && !FEarlier.count(key) && !FWritten.Contains(key);
}

void TInstaller::HoldSharedReference(const std::string& path)
{
    // The count as it was goes to the journal first: a run ended before the
    // H line tells by the count whether it took the reference, so neither one
    // too many nor one too few is left.
    Log(MakeLogLine(TLineKind::Sharing, path, {std::to_string(SharedFileCount(Scope(), path))}));
    AddSharedFileReference(Scope(), path);
    FWritten.Insert(path);
    Log(MakeLogLine(TLineKind::Shared, path));
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
    bool counted = shared && SharedFileCount(Scope(), target) > 0;
    if (!OverwriteFiles && FileExists(target)) {
        // Kept as it is. Another installation's file that this product relies
        // on too takes one more reference, so neither removal takes it alone.
        if (counted) {
            RecordItem(TLineKind::File, target);
            HoldSharedReference(target);
        }
        return;
    }
    // A file that is not the product's (this run's, or the installation's it
    // replaces) is somebody's: the user's own, or another installation's
    // (a count alone says nothing). It is kept aside and removal puts it back.
    // So is a file of the earlier installation that the user changed since
    // (its stamp differs): the upgrade never writes over an edit. Any other
    // file replaced is kept only until the run has ended, so that a failure
    // can put it back.
    bool changed = FEarlier.count(key) && UserChanged(target);
    bool somebodys = (!FWritten.Contains(key) && !FEarlier.count(key)) || changed;
    if (changed) {
        FKeptChanged.push_back(target);
        if (OnNote) OnNote("changed since it was installed, kept aside: " + target);
    }
    // Written in full under another name first: no host ever sees a partial
    // plug-in under its real name, and a damaged package replaces nothing.
    std::string partial = target + PartialSuffix;
    Log(MakeLogLine(TLineKind::Partial, partial));
    std::unique_ptr<THandleStream> file = WritePartialFile(package, entry, partial, fileTime);
    for (;;) {
        try {
            PutInPlace(file, partial, target, somebodys);
            break;
        } catch (const EFileInUse& error) {
            bool retry = false;
            if (OnInstallError) OnInstallError(*this, error, target, retry);
            if (!retry) {
                DiscardPartial(file, partial);
                throw;
            }
        }
    }
    // Size and last-write time, so that removal can tell a file the user changed since.
    std::vector<std::string> stamp = file ? FileStamp(file->Handle()) : FileStamp(target);
    file.reset();
    if (extraAttributes != 0) {
        DWORD now = GetFileAttributesA(target.c_str());
        if (now != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(target.c_str(), now | DWORD(extraAttributes));
    }
    if (!stamp.empty()) Log(MakeLogLine(TLineKind::Stamp, target, stamp));
    if (shared)
        HoldSharedReference(target);
    else
        FWritten.Insert(key);
}

std::unique_ptr<THandleStream> TInstaller::WritePartialFile(TStream& package, const TEntryHeader& entry,
                                                           const std::string& partial, int32_t fileTime)
{
    std::unique_ptr<THandleStream> file;
    try {
        file = THandleStream::Create(partial, DELETE);
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
        DiscardPartial(file, partial);
        throw EPackageDamaged(LoadMessage(Msg::InstallerCorrupted));
    } catch (const EReadError&) {
        DiscardPartial(file, partial);
        throw EPackageDamaged(LoadMessage(Msg::InstallerCorrupted));
    } catch (...) {
        DiscardPartial(file, partial);
        throw;
    }
    return file;
}

void TInstaller::PutInPlace(std::unique_ptr<THandleStream>& file, const std::string& partial,
                            const std::string& target, bool somebodys)
{
    DWORD existing = GetFileAttributesA(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if (existing & ClearedAttributes) SetFileAttributesA(target.c_str(), existing & ~ClearedAttributes);
        if (!BackupFolder.empty()) MoveAside(target, somebodys);
    }
    // Logged before it is in place: a run ended between the two still removes it.
    RecordItem(TLineKind::File, target);
    // Renamed through the handle that wrote it; a target in another form by name.
    DWORD error = file ? RenameOpenFile(file->Handle(), target, true) : ERROR_INVALID_NAME;
    if (error == ERROR_INVALID_NAME) {
        file.reset();
        error = MoveFileExA(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : GetLastError();
    }
    if (error != 0) {
        FJournal.Retract();  // what is there is not this run's file
        if (existing != INVALID_FILE_ATTRIBUTES && FileExists(target)) SetFileAttributesA(target.c_str(), existing);
        ThrowReplaceError(target, error);
    }
}

void TInstaller::MoveAside(const std::string& target, bool somebodys)
{
    std::string copy = BackupCopyName(target);
    // Logged first: a run that ends here still knows where the file went.
    Log(MakeLogLine(somebodys ? TLineKind::Backup : TLineKind::Aside, target, {copy}));
    if (!MoveFileExA(target.c_str(), copy.c_str(), MOVEFILE_COPY_ALLOWED)) {
        // The note stays: a copy that is not there is never put back.
        ThrowReplaceError(target, GetLastError());
    }
}

std::string TInstaller::BackupCopyName(const std::string& target)
{
    bool made = DirectoryExists(BackupFolder);
    ForceFolder(BackupFolder, false);
    if (!made) SetFileAttributesA(ExcludeDelimiter(BackupFolder).c_str(), FILE_ATTRIBUTE_HIDDEN);
    std::string copy;
    for (int number = 1; copy.empty() || FileExists(copy) || DirectoryExists(copy); ++number)
        copy = BackupFolder + std::to_string(number) + " " + ExtractFileName(target);
    return copy;
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

void TInstaller::CarryForward(const std::vector<std::string>& earlierLog, const TInstallationRoots& earlierRoots)
{
    // Only what the earlier installation's own roots hold is taken over: a
    // line somebody added to its log is neither obeyed here nor handed on.
    // A journal taken over carries what only its own run's rollback needed
    // (the keys it made, its registrations' values as they were): left out,
    // as its finished log would have left them, rather than told of as foreign.
    std::vector<std::string> lines;
    for (const std::string& line : earlierLog) {
        TLogLine parsed = TLogLine::Parse(line);
        if (parsed.Kind != TLineKind::CreatedKey && !IsRegistrationPriorValue(parsed)) lines.push_back(line);
    }
    std::vector<std::string> dropped;
    FEarlierLog = ResolveSharing(Scope(), TrustedLines(lines, earlierRoots, &dropped));
    if (OnNote)
        for (const std::string& line : dropped) OnNote("earlier log line not taken over, outside its roots: " + line);
    std::vector<std::string> kept;
    for (const std::string& line : FEarlierLog) {
        TLogLine parsed = TLogLine::Parse(line);
        // A copy kept for an earlier run's failure is gone once this run has
        // taken over: its line is not handed on, lest its name, free again,
        // be given to a copy of somebody's file that the line would then delete.
        if (parsed.Kind != TLineKind::Aside) kept.push_back(line);
        switch (parsed.Kind) {
        case TLineKind::File:
        case TLineKind::Folder:
        case TLineKind::FolderContents:
        case TLineKind::ExistingFolder: FEarlier.insert(UpperAscii(parsed.Path())); break;
        case TLineKind::Stamp: FEarlierStamps[UpperAscii(parsed.Path())] = parsed.Fields[1] + "|" + parsed.Fields[2]; break;
        // What a run that never ended kept for its own failure, and its
        // unfinished files: this run takes over from it.
        case TLineKind::Aside: DeleteFileA(parsed.Fields[1].c_str()); break;
        case TLineKind::Partial:
            if (!PartialTarget(parsed.Path()).empty()) DeleteFileA(parsed.Path().c_str());
            break;
        default: break;
        }
    }
    FEarlierLog = std::move(kept);
}

TLineStore TInstaller::UninstallerLog(bool keptCopies) const
{
    // The notes that only matter while a run goes on stay out of the finished
    // log; the journal's own note stays, so that a run ended between the
    // uninstaller's last write and the journal's removal leaves nothing.
    TLineStore log;
    for (const std::string& line : ::CarryForward(FEarlierLog, FJournal.Lines())) {
        TLogLine parsed = TLogLine::Parse(line);
        if (IsRegistrationPriorValue(parsed)) continue;
        if (parsed.Info().Finished || line.empty() || (keptCopies && parsed.Kind == TLineKind::Aside) ||
            (parsed.Kind == TLineKind::Partial && !FJournal.Path().empty() && SameTextAscii(parsed.Path(), FJournal.Path())))
            log.Append(line);
    }
    return log;
}

bool TInstaller::UserChanged(const std::string& path) const
{
    auto stamp = FEarlierStamps.find(UpperAscii(path));
    if (stamp == FEarlierStamps.end() || !FileExists(path)) return false;
    std::vector<std::string> now = FileStamp(path);
    return now.size() == 2 && now[0] + "|" + now[1] != stamp->second;
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
    // The product's own shortcut is replaced; anybody else's (the user's, or
    // another installation's of the same name) is kept aside and comes back
    // on removal, as a file would.
    std::string key = UpperAscii(shortcutFile);
    if (FileExists(shortcutFile) && (FWritten.Contains(key) || FEarlier.count(key) || BackupFolder.empty()))
        SetAside(shortcutFile);
    else if (FileExists(shortcutFile))
        MoveAside(shortcutFile, true);
    FWritten.Insert(key);
    // Logged before it is written: a run ended in between still removes it.
    RecordItem(TLineKind::File, shortcutFile);
    CreateShellLink(shortcutFile, target, arguments, iconIndex);
}

void TInstaller::RecordItem(TLineKind kind, const std::string& text) { Log(MakeLogLine(kind, text)); }

void TInstaller::Log(const std::string& line) { FJournal.Append(line); }

void TInstaller::RecordRegistryKey(HKEY root, const std::string& keyPath, bool use64BitView)
{
    // A failed run takes away only the keys it created, with the parents it created for them.
    TRegistry64 existing(use64BitView);
    existing.RootKey = root;
    std::string created;
    for (std::string key = keyPath; !key.empty() && key != "\\" && !existing.KeyExists(key);
         key = ExcludeDelimiter(ExtractFilePath(key)))
        created = key;
    size_t before = FJournal.Lines().Size();
    TKeyRoot recorded = KeyRootOf(root, use64BitView);
    if (recorded != TKeyRoot::None) RecordItem(KeyLineKind(recorded), keyPath);
    if (FJournal.Lines().Size() == before) return;
    char letter = TLogLine::Parse(FJournal.Lines().Back()).Info().Letter;
    // The levels above the key that this run created, or that another
    // installation created and relies on with it: whichever goes last takes
    // them away once they are empty, and never a key that was there before.
    int levels = 0;
    if (!created.empty()) {
        for (std::string key = ExcludeDelimiter(ExtractFilePath(keyPath)); key.size() >= created.size() && !key.empty();
             key = ExcludeDelimiter(ExtractFilePath(key)))
            ++levels;
        Log(MakeLogLine(TLineKind::CreatedKey, keyPath, {std::string(1, letter), std::to_string(levels)}));
    } else if (!OwnFolder.empty()) {
        levels = TOtherInstallations(Scope(), OwnFolder + UninstallerFileName).ParentLevels(letter, keyPath);
    }
    if (levels > 0)
        Log(MakeLogLine(TLineKind::EmptyParents, keyPath, {std::string(1, letter), std::to_string(levels)}));
}

std::string TInstaller::WriteUninstallLog(TStream& stream, const std::string& productName, bool keptCopies) const
{
    TDigestingStream digesting(stream);
    ::WriteUninstallLog(digesting, FPackage.Info().Version, UninstallerLog(keptCopies), productName, true);
    return digesting.Hex();
}

void TInstaller::WriteUninstaller(const std::string& uninstallerPath, const std::string& keyName,
                                  const std::string& productName, const std::string& displayName)
{
    std::string registration = RegistrationLine(Scope(), keyName);
    if (!FJournal.Lines().Contains(registration)) Log(registration);
    bool signedUninstaller = SignedUninstaller() != nullptr;
    // The finished log names the copies kept for a failure too: a run ended
    // before they go leaves them to the uninstaller, as the journal would have.
    std::string digest;
    if (signedUninstaller) {
        // The maker's signature covers the uninstaller's bytes, so the log
        // cannot be appended: the finished log replaces the journal beside it,
        // which the uninstaller (in place since the start) reads.
        const std::string journal = FJournal.Path();
        FJournal.Close();
        DWORD error = WriteWholeAndReplace(journal, journal + PartialSuffix, [&](THandleStream& file) {
            digest = WriteUninstallLog(file, productName, true);
        });
        if (error != 0) ThrowReplaceError(journal, error);
    } else {
        digest = PlaceUninstaller(uninstallerPath, true, productName);
    }
    RegisterUninstaller(Scope(), uninstallerPath, keyName, displayName, RegistrationValues, &Values());
    WriteRegisteredRoots(Scope(), keyName, InstallationRoots(UninstallerLog()), &Values());
    DropEarlierRegistrations(Scope(), uninstallerPath, keyName, &Values());
    // Last: from here on the log is obeyed only as it is now.
    WriteLogDigest(Scope(), keyName, digest, &Values());
    // Done: the journal (unless it is the log now) and the product's earlier files kept for a failure go.
    FJournal.Finish(signedUninstaller);
}

const TMemoryStream* TInstaller::SignedUninstaller() const
{
    if (!FSignedUninstallerRead) {
        FSignedUninstaller = FPackage.ExtractFileToMemory(UninstallerFileName);
        FSignedUninstallerRead = true;
    }
    return FSignedUninstaller.get();
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

std::string TInstaller::WriteProgramPart(THandleStream& uninstaller, bool log, const std::string& productName) const
{
    if (const TMemoryStream* program = SignedUninstaller()) {
        // Made by the builder with the uninstaller's mode and no log of its own, then signed.
        uninstaller.WriteBuffer(program->Data().data(), program->Data().size());
        return std::string();
    }
    int64_t copyLength;
    {
        std::unique_ptr<THandleStream> program = THandleStream::OpenRead(ProgramPath(), FILE_SHARE_READ | FILE_SHARE_WRITE);
        program->SetPosition(PackageFormat::SetupDataOffsetWord);
        copyLength = program->ReadInt32();
        // No appended package (0, or the negative value the reader treats
        // alike): the whole program file is the program part.
        if (copyLength <= 0) copyLength = program->Size();
        program->SetPosition(0);
        uninstaller.CopyFrom(*program, copyLength);
        ClearSignature(*program, uninstaller, copyLength);
    }
    uninstaller.SetPosition(PackageFormat::SetupDataOffsetWord);
    uninstaller.WriteInt32(log ? int32_t(copyLength) : 0);
    uninstaller.WriteInt32(1);
    if (!log) return std::string();
    uninstaller.SetPosition(copyLength);
    return WriteUninstallLog(uninstaller, productName, true);
}

std::string TInstaller::PlaceUninstaller(const std::string& path, bool log, const std::string& productName)
{
    // Written in full under another name and on the disk before it replaces
    // the one there: the list of installed programs never points at half an
    // uninstaller, or at none.
    std::string partial = path + PartialSuffix;
    std::string line = MakeLogLine(TLineKind::Partial, partial);
    if (!FJournal.Lines().Contains(line)) Log(line);
    std::string digest;
    DWORD error =
        WriteWholeAndReplace(path, partial, [&](THandleStream& file) { digest = WriteProgramPart(file, log, productName); });
    if (error != 0) ThrowReplaceError(path, error);
    return digest;
}

void TInstaller::BeginJournal(const std::string& uninstallerPath, const std::string& keyName,
                              const std::string& productName, const std::string& displayName)
{
    std::string journal = ExtractFilePath(uninstallerPath) + UninstallLogFileName;
    // An earlier installation's uninstaller comes back if the run fails. It is
    // copied, not moved: until the new one replaces it, it stays in place. Its
    // line comes first, so that a rollback puts it back last.
    if (Scope() == TInstallScope::OneUser) Log(MakeLogLine(TLineKind::OneUser, WindowsUserName()));
    std::string earlierCopy;
    if (FileExists(uninstallerPath)) {
        earlierCopy = BackupCopyName(uninstallerPath);
        Log(MakeLogLine(TLineKind::Aside, uninstallerPath, {earlierCopy}));
    }
    // An earlier uninstaller without a log of its own (a signed one, or one a
    // run ended early left) reads the file the journal replaces. A rollback
    // writes that file back as it was; a run ended before leaves the journal,
    // which carries the earlier lines forward, for the uninstaller to read.
    if (!earlierCopy.empty() && FileExists(journal) && ReadProgramWord(uninstallerPath, PackageFormat::SetupDataOffsetWord) <= 0)
    {
        std::unique_ptr<THandleStream> earlier = THandleStream::OpenRead(journal, FILE_SHARE_READ);
        std::vector<uint8_t> bytes(size_t(earlier->Size()));
        if (!bytes.empty()) earlier->ReadBuffer(bytes.data(), bytes.size());
        FJournal.RestoredOnRollBack(std::move(bytes));
    }
    Log(MakeLogLine(TLineKind::Partial, journal));
    // From the journal's first byte on, the earlier log is no longer the one its digest vouches for.
    ForgetLogDigest(Scope(), uninstallerPath, &Values());
    // Only an uninstaller this run brings is this run's to take away again.
    if (earlierCopy.empty()) Log(MakeLogLine(TLineKind::Partial, uninstallerPath));
    std::string registration = RegistrationLine(Scope(), keyName);
    {
        TRegistry registry(KEY_READ);
        registry.RootKey = ScopeRoot(Scope());
        bool existed = registry.KeyExists(UninstallRegistryKey + keyName);
        Log(registration);
        char letter = TLogLine::Parse(registration).Info().Letter;
        if (!existed) Log(MakeLogLine(TLineKind::CreatedKey, UninstallRegistryKey + keyName, {std::string(1, letter), "0"}));
    }
    FJournal.Open(journal, FPackage.Info().Version, productName, FEarlierLog);
    // The uninstaller is written like any file of the run, but its lines (P,
    // or R over an earlier one) are not the F line that names a file in the run log.
    if (OnNote) OnNote(LineNote(MakeLogLine(TLineKind::File, uninstallerPath)));
    if (!earlierCopy.empty()) {
        if (!CopyFileA(uninstallerPath.c_str(), earlierCopy.c_str(), TRUE))
            ThrowReplaceError(uninstallerPath, GetLastError());
    }
    PlaceUninstaller(uninstallerPath, false, productName);
    RegisterUninstaller(Scope(), uninstallerPath, keyName, displayName, RegistrationValues, &Values());
    FJournal.KeepRootsIn(keyName, InstallationRoots(FEarlierLog));
    FJournal.Flush();
    DropEarlierRegistrations(Scope(), uninstallerPath, keyName, &Values());
}

void TInstaller::FlushJournal() { FJournal.Flush(); }

void TInstaller::RollBack()
{
    FLeftOver = FJournal.RollBack();
    FWritten.Clear();
}

