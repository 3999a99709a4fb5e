#include "Uninstaller.h"

#include <algorithm>
#include <cstring>

#include "FileEnumerator.h"
#include "FileSystem.h"
#include "HandleStream.h"
#include "Installer.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "Registry.h"
#include "SharedFiles.h"
#include "ShellLinks.h"
#include "TextUtils.h"
#include "UninstallLog.h"
#include "UninstallerCleanUp.h"

TUninstallLog ReadUninstallerLog(const std::string& programPath)
{
    std::unique_ptr<TStream> stream = THandleStream::OpenRead(programPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    stream->SetPosition(PackageFormat::SetupDataOffsetWord);
    int32_t offset = stream->ReadInt32();
    if (offset > 0) {
        stream->SetPosition(offset);
    } else {
        stream.reset();
        stream = THandleStream::OpenRead(GetProgramFolder(programPath) + "Uninstall.dat", 0);
    }
    TUninstallLog log = ReadUninstallLog(*stream);
    // An earlier version wrote its log in the ANSI code page.
    for (std::string& line : log.Lines) line = ProcessText(line);
    log.ProductName = ProcessText(log.ProductName);
    // A log written as the run went names the product in a line of its own.
    for (const std::string& line : log.Lines)
        if (log.ProductName.empty() && !line.empty() && line[0] == UninstallNote::Name) log.ProductName = line.substr(1);
    return log;
}

namespace {

// A path an installation can have written: a full path on a drive or share,
// every level a plain name (no ".", "..", device or name Windows cannot hold),
// not a drive's root and nothing of the Windows folder. A log that says
// otherwise was not written by an installation, and is not obeyed.
bool IsInstallationPath(const std::string& path)
{
    std::string drive = ExtractFileDrive(path);
    if (drive.empty() || path.size() <= drive.size() + 1 || path[drive.size()] != '\\') return false;
    if (path.compare(0, 4, "\\\\.\\") == 0 || path.compare(0, 4, "\\\\?\\") == 0) return false;
    std::string rest = ExcludeDelimiter(path.substr(drive.size() + 1));
    for (size_t start = 0; start <= rest.size();) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos) end = rest.size();
        if (!CheckWindowsName(rest.substr(start, end - start)).empty()) return false;
        start = end + 1;
    }
    char windows[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    return length == 0 || length > MAX_PATH || !IsInsideFolder(path, std::string(windows, length));
}

// A registry key an installation can have created: a named key, and nothing
// of Windows' own below Software\Microsoft but the uninstall registrations.
bool IsInstallationKey(const std::string& key)
{
    std::string path = key.find_first_not_of('\\') == std::string::npos ? std::string() : key;
    if (path.empty()) return false;
    if (path[0] != '\\') path = "\\" + path;
    if (!IsInsideFolder(path, "\\Software\\Microsoft")) return true;
    std::string name = path.substr(std::min(path.size(), std::strlen(UninstallRegistryKey)));
    return IsInsideFolder(path, UninstallRegistryKey) && !name.empty() && name.find('\\') == std::string::npos;
}

// The items removal acts on must be the installation's own; other lines only inform.
bool IsInstallationItem(const std::string& line)
{
    if (std::string("UCM6").find(line[0]) != std::string::npos) return IsInstallationKey(line.substr(1));
    if (std::string("FDTEP").find(line[0]) != std::string::npos) return IsInstallationPath(line.substr(1));
    if (line[0] != UninstallNote::Backup) return true;
    std::vector<std::string> fields = NoteFields(line);
    return std::all_of(fields.begin(), fields.end(), IsInstallationPath);
}

// The roots its installation recorded beside the registration that names this
// uninstaller; none for an installation that recorded none.
TInstallationRoots RegisteredRoots(const std::string& programPath)
{
    TInstallationRoots roots;
    TRegistry registry(KEY_READ);
    registry.RootKey = HKEY_LOCAL_MACHINE;
    if (!registry.OpenKey(UninstallRegistryKey, false)) return roots;
    for (const std::string& name : registry.GetKeyNames()) {
        // Somebody else's registration with a value of another type is passed over.
        try {
            if (!registry.OpenKey(UninstallRegistryKey + name, false)) continue;
            if (!SameTextAscii(Unquoted(registry.ReadString("UninstallString")), programPath)) continue;
            for (auto list : {std::make_pair(&roots.Folders, InstallFoldersValue),
                              std::make_pair(&roots.Keys, InstallKeysValue)}) {
                std::string text = registry.ReadString(list.second);
                for (size_t start = 0; start < text.size();) {
                    size_t end = std::min(text.find('|', start), text.size());
                    list.first->push_back(text.substr(start, end - start));
                    start = end + 1;
                }
            }
        } catch (const Exception&) {
        }
    }
    return roots;
}

}  // namespace

TUninstaller::TUninstaller(const std::string& programPath)
    : FProgramPath(programPath), FProgramFolder(GetProgramFolder(programPath))
{
    TUninstallLog log = ReadUninstallerLog(FProgramPath);
    FVersion = log.Version;
    FLines = std::move(log.Lines);
    FProductName = std::move(log.ProductName);
    FRoots = RegisteredRoots(FProgramPath);
    ReadNotes();
}

void TUninstaller::ReadNotes()
{
    for (const std::string& line : FLines) {
        if (line.empty()) continue;
        std::vector<std::string> fields = NoteFields(line);
        if (line[0] == UninstallNote::Stamp && fields.size() == 3)
            FStamps[UpperAscii(fields[0])] = fields[1] + "|" + fields[2];  // the latest stamp counts
        else if (line[0] == UninstallNote::Shared)
            FShared.insert(UpperAscii(fields[0]));
        else if (line[0] == UninstallNote::Partial && !PartialTarget(fields[0]).empty())
            FPartial.insert(UpperAscii(PartialTarget(fields[0])));
    }
}

bool TUninstaller::Uninstall()
{
    FFailed = false;
    // A folder recorded again by a later run (an upgrade's log carries the
    // earlier one forward) is handled at its first line, after everything
    // that either run put into it.
    std::map<std::string, size_t> firstLine;
    for (size_t i = 0; i < FLines.size(); ++i)
        if (!FLines[i].empty() && std::string("DTE").find(FLines[i][0]) != std::string::npos)
            firstLine.emplace(UpperAscii(FLines[i].substr(1)), i);
    for (size_t i = FLines.size(); i-- > 0;) {
        const std::string& line = FLines[i];
        if (line.empty()) continue;
        std::string text = line.substr(1);
        if (std::string("DTE").find(line[0]) != std::string::npos && firstLine[UpperAscii(text)] != i) continue;
        // A folder that was there before is only ever removed as a shared
        // folder; its line (a drive's root among them) is no failure.
        if (line[0] == 'E' && !FShared.count(UpperAscii(text))) continue;
        if (!IsInstallationItem(line) || (!FRoots.Empty() && !FRoots.Hold(line))) {
            FFailed = true;  // not removed, and said so
            Note("not obeyed, not the installation's: " + line);
            continue;
        }
        switch (line[0]) {
        case 'F':
            RemoveFile(text);
            Note((FileExists(text) ? "file kept: " : "file removed: ") + text);
            break;
        case 'D':
            RemoveFolder(text);
            Note((DirectoryExists(text) ? "folder kept: " : "folder removed: ") + text);
            break;
        case 'E':
            // There before this installation: it goes only as a shared folder
            // whose last reference this was.
            if (FShared.count(UpperAscii(text))) RemoveFolder(text);
            break;
        case 'T':
            RemoveFolderFiles(text);
            RemoveFolder(text);
            break;
        case 'U':
        case 'C':
        case 'M':
        case '6':
            RemoveRegistryKey(line[0] == 'U' ? HKEY_CURRENT_USER : line[0] == 'C' ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE,
                              text, line[0] == '6');
            Note(std::string("registry key removed: ") + line[0] + " " + text);
            break;
        case UninstallNote::Backup:
            RestoreFile(line);
            Note("put back: " + NoteFields(line)[0]);
            break;
        case UninstallNote::Partial:
            // Written while a run went on: gone when it ended well, and this
            // uninstaller itself is left to the clean-up.
            if (!SameTextAscii(text, FProgramPath)) DeleteFileA(text.c_str());
            break;
        case UninstallNote::Aside: {
            // The product's earlier file, kept while a run went on that never ended.
            std::vector<std::string> fields = NoteFields(line);
            if (fields.size() == 2) DeleteFileA(fields[1].c_str());
            break;
        }
        default: break;  // S and H were read first
        }
    }
    return !FFailed;
}

void TUninstaller::RemoveFile(const std::string& path)
{
    std::string key = UpperAscii(path);
    // A file recorded twice (written by two passes) is handled once.
    if (!FHandled.insert(key).second) return;
    if ((FShared.count(key) && ReleaseSharedFileReference(path) > 0) || IsOtherInstallationsShortcut(path)) {
        FLeft.insert(key);
        return;
    }
    auto stamp = FStamps.find(key);
    if (stamp != FStamps.end() && FileExists(path)) {
        std::vector<std::string> now = FileStamp(path);
        if (now.size() == 2 && now[0] + "|" + now[1] != stamp->second) {
            // Changed since it was installed: it is the user's now.
            Keep(ExtractFilePath(path));
            return;
        }
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    // A file of a run that was ended before it was in place is not missed.
    if (!DeleteFileA(path.c_str()) && (FileExists(path) || !FPartial.count(key))) FFailed = true;
}

// A shortcut of the same name that a later installation elsewhere wrote over ours.
bool TUninstaller::IsOtherInstallationsShortcut(const std::string& path) const
{
    std::string target, arguments;
    try {
        return SameTextAscii(ExtractFileExt(path), ".lnk") && ReadShellLink(path, target, arguments) &&
               !target.empty() && !IsInsideFolder(target, FProgramFolder);
    } catch (const std::exception&) {
        return false;  // without the shell's link object it is taken as ours
    }
}

void TUninstaller::RestoreFile(const std::string& note)
{
    std::vector<std::string> fields = NoteFields(note);
    if (fields.size() != 2 || !FileExists(fields[1])) return;
    // The product's file is gone; where the user's changed copy of it stays,
    // the earlier file stays aside, and the user is told where.
    if (FileExists(fields[0]) || !MoveFileA(fields[1].c_str(), fields[0].c_str())) Keep(ExtractFilePath(fields[1]));
}

void TUninstaller::RemoveFolder(const std::string& path)
{
    std::string key = UpperAscii(path);
    if (!FHandled.insert(key).second) return;
    if (FShared.count(key) && ReleaseSharedFileReference(path) > 0) {
        FLeft.insert(key);  // another installation still uses it
        return;
    }
    // The uninstaller's own folder and its parents cannot go while it runs:
    // the clean-up takes them once it has ended.
    if (DirectoryExists(path) && IsInsideFolder(FProgramFolder, path)) {
        FDeferred.push_back(path);
        if (HoldsOthers(path, FProgramPath)) Keep(path);
        FLeft.insert(key);  // the clean-up takes it: no parent holds it as somebody's
        return;
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    if (RemoveDirectoryA(path.c_str())) return;
    if (!DirectoryExists(path)) {
        FFailed = true;  // gone before its time
    } else if (HoldsOthers(path)) {
        Keep(path);
    } else {
        // It holds only what another installation still relies on: it stays
        // with it. An empty folder that will not go is a failure.
        FFailed = FFailed || FolderEntries(path).empty();
        FLeft.insert(key);
    }
}

bool TUninstaller::HoldsOthers(const std::string& folder, const std::string& ignored) const
{
    for (const std::string& entry : FolderEntries(folder))
        if (!SameTextAscii(entry, ignored) && !FLeft.count(UpperAscii(entry))) return true;
    return false;
}

void TUninstaller::Keep(const std::string& folder)
{
    FLeft.insert(UpperAscii(folder));
    for (const std::string& kept : FKept)
        if (SameTextAscii(kept, folder)) return;
    FKept.push_back(folder);
}

void TUninstaller::RemoveFolderFiles(const std::string& path)
{
    TFileEnumerator files(path + "*.*", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
    while (files.Next()) {
        if (files.HasAttribute(FILE_ATTRIBUTE_DIRECTORY)) continue;
        std::string file = path + files.Name();
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
    }
}

void TUninstaller::RemoveRegistryKey(HKEY root, const std::string& key, bool use64BitView)
{
    TRegistry64 registry(use64BitView);
    registry.RootKey = root;
    registry.DeleteKey(key);
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> entries;
    TFileEnumerator found(folder + "*.*", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
    while (found.Next()) {
        if (found.Name() == "." || found.Name() == "..") continue;
        std::string entry = folder + found.Name();
        entries.push_back(found.HasAttribute(FILE_ATTRIBUTE_DIRECTORY) ? IncludeDelimiter(entry) : entry);
    }
    return entries;
}

std::string TUninstaller::StartCleanUp()
{
    return StartUninstallerCleanUp(ModuleFileName(), FProgramPath, FDeferred, GetCurrentProcess());
}
