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
#include "UninstallRegistration.h"
#include "UninstallerCleanUp.h"

namespace {

TUninstallLog ReadLogAt(TStream& stream)
{
    TUninstallLog log = ReadUninstallLog(stream);
    // An earlier version wrote its log in the ANSI code page.
    for (std::string& line : log.Lines) line = ProcessText(line);
    log.ProductName = ProcessText(log.ProductName);
    // A log written as the run went names the product in a line of its own.
    for (const std::string& line : log.Lines) {
        TLogLine parsed = TLogLine::Parse(line);
        if (log.ProductName.empty() && parsed.Kind == TLineKind::Name) log.ProductName = parsed.Path();
    }
    return log;
}

}  // namespace

namespace {

// A journal beside an uninstaller that carries its own log: a later run of
// the same product was ended before it put its uninstaller there. That run
// carried this log forward, so its lines are this log and what the run did;
// the roots decide what is obeyed, as for every line.
void TakeOverJournal(const std::string& programPath, TUninstallLog& log)
{
    std::string journal = GetProgramFolder(programPath) + "Uninstall.dat";
    if (!FileExists(journal)) return;
    try {
        std::unique_ptr<THandleStream> stream = THandleStream::OpenRead(journal, FILE_SHARE_READ);
        TUninstallLog ended = ReadLogAt(*stream);
        if (ended.ProductName == log.ProductName) log.Lines = CarryForward(log.Lines, ended.Lines);
    } catch (const std::exception&) {
        // Not a journal of ours: left alone.
    }
}

}  // namespace

TUninstallLog ReadUninstallerLog(const std::string& programPath)
{
    std::unique_ptr<TStream> stream = THandleStream::OpenRead(programPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    stream->SetPosition(PackageFormat::SetupDataOffsetWord);
    int32_t offset = stream->ReadInt32();
    if (offset <= 0) {
        stream.reset();
        stream = THandleStream::OpenRead(GetProgramFolder(programPath) + "Uninstall.dat", 0);
        return ReadLogAt(*stream);
    }
    stream->SetPosition(offset);
    TUninstallLog log = ReadLogAt(*stream);
    stream.reset();
    TakeOverJournal(programPath, log);
    return log;
}

TUninstallLog ReadInstallationLog(const std::string& folder)
{
    if (FileExists(folder + "Uninst.exe")) return ReadUninstallerLog(folder + "Uninst.exe");
    std::unique_ptr<TStream> journal = THandleStream::OpenRead(folder + "Uninstall.dat", FILE_SHARE_READ);
    return ReadLogAt(*journal);
}

namespace {

// Nothing of the Windows folder is an installation's, whatever its roots say.
bool InsideWindowsFolder(const std::string& path)
{
    char windows[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    return length > 0 && length <= MAX_PATH && IsInsideFolder(path, std::string(windows, length));
}

}  // namespace

TUninstaller::TUninstaller(const std::string& programPath)
    : FProgramPath(ResolvedPath(programPath)), FProgramFolder(GetProgramFolder(FProgramPath))
{
    TUninstallLog log = ReadUninstallerLog(FProgramPath);
    FVersion = log.Version;
    FLines = std::move(log.Lines);
    FProductName = std::move(log.ProductName);
    NoteUnfinishedFiles();
    FLines = ResolveSharing(FLines);
    FRoots = UninstallerRoots(FProgramPath, FLines);
    ReadNotes();
}

void TUninstaller::NoteUnfinishedFiles()
{
    // A run ended while it wrote the journal or the uninstaller anew leaves
    // them under their unfinished names: they go like any unfinished file.
    for (const std::string& partial : {FProgramFolder + "Uninstall.dat" + PartialSuffix, FProgramPath + PartialSuffix})
        if (FileExists(partial)) FLines.push_back(MakeLogLine(TLineKind::Partial, partial));
}

bool TUninstaller::Obeys(const std::string& line) const
{
    if (!FRoots.Hold(line)) return false;
    for (const auto& place : TLogLine::Parse(line).Places())
        if (place.first != TLineTarget::Key && InsideWindowsFolder(place.second)) return false;
    return true;
}

void TUninstaller::ReadNotes()
{
    // Notes count only where the installation wrote: a shared reference
    // somebody added elsewhere releases nothing.
    for (const std::string& line : FLines) {
        if (!Obeys(line)) continue;
        TLogLine parsed = TLogLine::Parse(line);
        if (parsed.Kind == TLineKind::Stamp)
            FStamps[UpperAscii(parsed.Path())] = parsed.Fields[1] + "|" + parsed.Fields[2];  // the latest stamp counts
        else if (parsed.Kind == TLineKind::Shared)
            FShared.insert(UpperAscii(parsed.Path()));
        else if (parsed.Kind == TLineKind::Partial && !PartialTarget(parsed.Path()).empty())
            FPartial.insert(UpperAscii(PartialTarget(parsed.Path())));
    }
}

bool TUninstaller::Uninstall()
{
    FFailed = false;
    // A folder recorded again by a later run (an upgrade's log carries the
    // earlier one forward) is handled at its first line, after everything
    // that either run put into it.
    auto isFolder = [](TLineKind kind) {
        return kind == TLineKind::Folder || kind == TLineKind::FolderContents || kind == TLineKind::ExistingFolder;
    };
    std::map<std::string, size_t> firstLine;
    for (size_t i = 0; i < FLines.size(); ++i) {
        TLogLine parsed = TLogLine::Parse(FLines[i]);
        if (isFolder(parsed.Kind)) firstLine.emplace(UpperAscii(parsed.Path()), i);
    }
    for (size_t i = FLines.size(); i-- > 0;) {
        const std::string& line = FLines[i];
        if (line.empty()) continue;
        TLogLine parsed = TLogLine::Parse(line);
        const std::string& text = parsed.Path();
        if (isFolder(parsed.Kind) && firstLine[UpperAscii(text)] != i) continue;
        // A folder that was there before is only ever removed as a shared
        // folder; its line (a drive's root among them) is no failure. Stamps,
        // shared references and the name were read first.
        if (parsed.Kind == TLineKind::ExistingFolder && !FShared.count(UpperAscii(text))) continue;
        if (parsed.Kind == TLineKind::Stamp || parsed.Kind == TLineKind::Shared || parsed.Kind == TLineKind::Name)
            continue;
        // A kind this uninstaller does not know (a later version's note) does nothing.
        if (parsed.Kind == TLineKind::Unknown) {
            Note("not obeyed, a kind of line this uninstaller does not know: " + line);
            continue;
        }
        if (!Obeys(line)) {
            FFailed = true;  // not removed, and said so
            Note("not obeyed, not the installation's: " + line);
            continue;
        }
        Remove(parsed);
    }
    return !FFailed;
}

void TUninstaller::Remove(const TLogLine& line)
{
    const std::string& text = line.Path();
    switch (line.Kind) {
    case TLineKind::File:
        RemoveFile(text);
        Note((FileExists(text) ? "file kept: " : "file removed: ") + text);
        break;
    case TLineKind::Folder:
        RemoveFolder(text);
        Note((DirectoryExists(text) ? "folder kept: " : "folder removed: ") + text);
        break;
    case TLineKind::ExistingFolder:
        // There before this installation: it goes only as a shared folder
        // whose last reference this was.
        RemoveFolder(text);
        break;
    case TLineKind::FolderContents:
        RemoveFolderFiles(text);
        RemoveFolder(text);
        break;
    case TLineKind::CurrentUserKey:
    case TLineKind::ClassesRootKey:
    case TLineKind::LocalMachineKey:
    case TLineKind::LocalMachine64Key:
        RemoveRegistryKey(line.Kind == TLineKind::CurrentUserKey   ? HKEY_CURRENT_USER
                          : line.Kind == TLineKind::ClassesRootKey ? HKEY_CLASSES_ROOT
                                                                   : HKEY_LOCAL_MACHINE,
                          text, line.Kind == TLineKind::LocalMachine64Key);
        Note(std::string("registry key removed: ") + line.Info().Letter + " " + text);
        break;
    case TLineKind::Backup:
        RestoreFile(line);
        Note("put back: " + text);
        break;
    case TLineKind::Partial:
        // Written while a run went on: gone when it ended well, and this
        // uninstaller itself is left to the clean-up.
        if (!SameFile(text, FProgramPath)) DeleteFileA(text.c_str());
        break;
    case TLineKind::Aside:
        // The product's earlier file, kept while a run went on that never ended.
        DeleteFileA(line.Fields[1].c_str());
        break;
    default: break;
    }
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

void TUninstaller::RestoreFile(const TLogLine& note)
{
    const std::vector<std::string>& fields = note.Fields;
    if (!FileExists(fields[1])) return;
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
