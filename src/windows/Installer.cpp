#include "Installer.h"

#include <windows.h>

#include <algorithm>

#include "Exception.h"
#include "FileSystem.h"
#include "HandleStream.h"
#include "Inflate.h"
#include "Messages.h"
#include "PackageReader.h"
#include "PathUtils.h"
#include "Registry.h"
#include "SharedFiles.h"
#include "ShellLinks.h"
#include "TextUtils.h"
#include "WinHandle.h"

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
    TFileSink(HANDLE file, const std::function<void(size_t)>& progress) : FFile(file), FProgress(progress) {}
    void Put(const uint8_t* data, size_t size) override
    {
        if (FProgress) FProgress(size);
        while (size > 0) {
            DWORD written = 0;
            if (!WriteFile(FFile, data, DWORD(std::min<size_t>(size, 1u << 30)), &written, nullptr) || written == 0)
                throw EWriteError(LoadMessage(Msg::StreamWriteError));
            data += written;
            size -= written;
        }
    }

private:
    HANDLE FFile;
    const std::function<void(size_t)>& FProgress;
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
            FInstaller.InstallFile(stream, entry, FDestination + path, FFileTime);
    }
    bool EnterFolder(const TEntryHeader&, const std::string& path) override
    {
        if (!FDestination.empty()) FInstaller.ForceFolder(FDestination + path + "\\", false);
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
    TExtractor extractor(*this, target, fileTime);
    PackageReader::WalkList(*package, childrenEnd, extractor);
    return int32_t(extractor.Total);
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
    FLog.push_back(NoteLine(UninstallNote::Shared, path));
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
    // it replaces) nor counted as another installation's is somebody's own.
    bool aside = FWritten.count(key) || FEarlier.count(key) || counted || !FileExists(target);
    int64_t dataStart = package.Position();
    for (;;) {
        try {
            // A file that cannot be copied aside (held open) is asked about like one that cannot be written.
            if (!aside) KeepAside(target);
            aside = true;
            package.SetPosition(dataStart);
            WriteFileOnce(package, entry, target, fileTime, extraAttributes);
            break;
        } catch (const std::exception& error) {
            bool retry = false;
            if (OnInstallError) OnInstallError(*this, error, target, retry);
            if (!retry) throw;
        }
    }
    RecordItem(ikFile, target);
    RecordStamp(target);
    if (shared)
        HoldSharedReference(target);
    else
        FWritten.insert(key);
}

void TInstaller::KeepAside(const std::string& target)
{
    if (BackupFolder.empty()) return;
    bool made = DirectoryExists(BackupFolder);
    ForceFolder(BackupFolder, false);
    if (!made) SetFileAttributesA(ExcludeDelimiter(BackupFolder).c_str(), FILE_ATTRIBUTE_HIDDEN);
    std::string copy;
    for (int number = 1; copy.empty() || FileExists(copy) || DirectoryExists(copy); ++number)
        copy = BackupFolder + std::to_string(number) + " " + ExtractFileName(target);
    // The user's file is never replaced before its copy is safe.
    if (!CopyFileA(target.c_str(), copy.c_str(), TRUE)) {
        DWORD error = GetLastError();
        throw EFCreateError(FormatMessageText(Msg::FileCreateError, {copy, SysErrorMessage(error)}));
    }
    FLog.push_back(NoteLine(UninstallNote::Backup, target, {copy}));
}

void TInstaller::RecordStamp(const std::string& target)
{
    std::vector<std::string> stamp = FileStamp(target);
    if (!stamp.empty()) FLog.push_back(NoteLine(UninstallNote::Stamp, target, stamp));
}

void TInstaller::CarryForward(const std::vector<std::string>& earlierLog)
{
    FEarlierLog = earlierLog;
    for (const std::string& line : earlierLog)
        if (!line.empty() && std::string("FDTE").find(line[0]) != std::string::npos)
            FEarlier.insert(UpperAscii(line.substr(1)));
}

std::vector<std::string> TInstaller::UninstallerLog() const { return ::CarryForward(FEarlierLog, FLog); }

void TInstaller::WriteFileOnce(TStream& package, const TEntryHeader& entry, const std::string& target,
                               int32_t fileTime, int32_t extraAttributes)
{
    DWORD existing = GetFileAttributesA(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & ClearedAttributes))
        SetFileAttributesA(target.c_str(), existing & ~ClearedAttributes);
    {
        std::unique_ptr<THandleStream> file = THandleStream::Create(target);
        TFileSink sink(file->Handle(), OnProgress);
        if (entry.UncompressedSize > 0) InflateEntry(package, entry.StoredSize, entry.UncompressedSize, sink);
        SetLastWriteTimeFromDos(file->Handle(), fileTime);
    }
    if (extraAttributes != 0) {
        DWORD now = GetFileAttributesA(target.c_str());
        if (now != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(target.c_str(), now | DWORD(extraAttributes));
    }
}

void TInstaller::CreateShortcut(const std::string& shortcutFile, const std::string& target,
                                const std::string& arguments, int iconIndex)
{
    CreateShellLink(shortcutFile, target, arguments, iconIndex);
    RecordItem(ikFile, shortcutFile);
}

void TInstaller::RecordItem(int kind, const std::string& text) { FLog.push_back(UninstallItemLetter(kind) + text); }

void TInstaller::RecordRegistryKey(HKEY root, const std::string& keyPath, bool use64BitView)
{
    if (root == HKEY_CLASSES_ROOT)
        RecordItem(ikClassesRootKey, keyPath);
    else if (root == HKEY_CURRENT_USER)
        RecordItem(ikCurrentUserKey, keyPath);
    else if (root == HKEY_LOCAL_MACHINE)
        RecordItem(use64BitView ? ikLocalMachine64Key : ikLocalMachineKey, keyPath);
}

void TInstaller::WriteUninstallLog(TStream& stream, const std::string& productName) const
{
    ::WriteUninstallLog(stream, FInfo.Version, UninstallerLog(), productName);
}

void TInstaller::WriteUninstaller(const std::string& uninstallerPath, const std::string& keyName,
                                  const std::string& productName, const std::string& displayName)
{
    RecordItem(ikLocalMachineKey, UninstallRegistryKey + keyName);
    {
        std::unique_ptr<THandleStream> uninstaller = THandleStream::Create(uninstallerPath);
        int64_t copyLength;
        {
            std::unique_ptr<THandleStream> program =
                THandleStream::OpenRead(FProgramPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
            program->SetPosition(PackageFormat::SetupDataOffsetWord);
            copyLength = program->ReadInt32();
            // No appended package (0, or the negative value the reader treats
            // alike): the whole program file is the program part.
            if (copyLength <= 0) copyLength = program->Size();
            program->SetPosition(0);
            uninstaller->CopyFrom(*program, copyLength);
        }
        uninstaller->SetPosition(PackageFormat::SetupDataOffsetWord);
        uninstaller->WriteInt32(int32_t(copyLength));
        uninstaller->WriteInt32(1);
        uninstaller->SetPosition(copyLength);
        WriteUninstallLog(*uninstaller, productName);
    }
    RegisterUninstaller(uninstallerPath, keyName, displayName);
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
                if (SameTextAscii(Unquoted(registry.ReadString("UninstallString")), uninstallerPath)) {
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
        }
    } catch (const Exception&) {
    }
}
