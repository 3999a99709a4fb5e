#include "Uninstaller.h"

#include <algorithm>
#include <cstring>

#include "FileEnumerator.h"
#include "FileSystem.h"
#include "HandleStream.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "Registry.h"
#include "InstallScope.h"
#include "SharedFiles.h"
#include "Sha256.h"
#include "ShellLinks.h"
#include "TextUtils.h"
#include "UninstallLog.h"
#include "UninstallRegistration.h"
#include "UninstallerCleanUp.h"

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
    // Its registration and shared counts are where its registration says the installation was for.
    TVouchedLog vouched = ReadVouchedLog(FProgramPath);
    FScope = vouched.Scope;
    FVersion = vouched.Log.Version;
    FLines = std::move(vouched.Log.Lines);
    FProductName = std::move(vouched.Log.ProductName);
    FRoots = std::move(vouched.Roots);
    FLogChanged = vouched.Changed;
    NoteUnfinishedFiles();
    FLines = ResolveSharing(FScope, FLines);
    ReadNotes();
}

void TUninstaller::NoteUnfinishedFiles()
{
    // A run ended while it wrote the journal or the uninstaller anew leaves
    // them under their unfinished names: they go like any unfinished file.
    for (const std::string& partial : {FProgramFolder + UninstallLogFileName + PartialSuffix, FProgramPath + PartialSuffix})
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
        else if (parsed.Kind == TLineKind::Backup && FileExists(parsed.Fields[1])) {
            FReplaced.insert(UpperAscii(parsed.Path()));
            FKeptCopies.insert(UpperAscii(parsed.Fields[1]));
        }
        else if (parsed.Kind == TLineKind::PriorValue)
            FPriorValues.push_back(parsed);
        else if (parsed.Kind == TLineKind::Partial && !PartialTarget(parsed.Path()).empty())
            FPartial.insert(UpperAscii(PartialTarget(parsed.Path())));
    }
}

bool TUninstaller::Uninstall()
{
    FFailed = false;
    if (FLogChanged)
        Note("the log was changed since the installation finished it: only what lies in " + FProgramFolder + " is removed");
    FOthers = TOtherInstallations(FScope, FProgramPath);
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
        if (parsed.Kind == TLineKind::Stamp || parsed.Kind == TLineKind::Shared || parsed.Kind == TLineKind::Name ||
            parsed.Kind == TLineKind::EmptyParents || parsed.Kind == TLineKind::PriorValue)
            continue;
        // A kind this uninstaller does not know (a later version's note) does nothing.
        if (parsed.Kind == TLineKind::Unknown) {
            Note("not obeyed, a kind of line this uninstaller does not know: " + line);
            continue;
        }
        if (!Obeys(line)) {
            if (RemoveEmptyRegistration(FScope, line)) {
                Note(std::string("registry key removed: ") + line[0] + " " + line.substr(1));
                continue;
            }
            FFailed = true;  // not removed, and said so
            Note("not obeyed, not the installation's: " + line);
            continue;
        }
        std::vector<TFileHandle> pins;
        if (!ReachedDirectly(parsed, pins)) {
            FFailed = true;
            Note("not obeyed, reached through a link: " + line);
            continue;
        }
        Remove(parsed);
    }
    // Last, once every key below them is gone: the keys the installation
    // created above its own, as far as they are empty.
    for (size_t i = FLines.size(); i-- > 0;) {
        TLogLine parsed = TLogLine::Parse(FLines[i]);
        if (parsed.Kind == TLineKind::EmptyParents && Obeys(FLines[i])) RemoveEmptyParents(parsed);
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
    case TLineKind::LocalMachine64Key: RemoveRegistryKey(line); break;
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
        // The product's earlier file, kept while a run went on that never
        // ended; never a copy of somebody's file that comes back (a B line)
        // and was given the same name once the earlier copy had gone.
        if (!FKeptCopies.count(UpperAscii(line.Fields[1]))) DeleteFileA(line.Fields[1].c_str());
        break;
    default: break;
    }
}

void TUninstaller::RemoveFile(const std::string& path)
{
    std::string key = UpperAscii(path);
    // A file recorded twice (written by two passes) is handled once.
    if (!FHandled.insert(key).second) return;
    // The count this installation took goes back, whatever it stands at: a
    // count alone never makes a file another installation's.
    if (FShared.count(key)) ReleaseSharedFileReference(FScope, path);
    // Where this installation kept aside what was there, its own file goes and
    // the copy comes back (below); otherwise the last installation out removes it.
    if (!FReplaced.count(key) && (FOthers.NamesPath(path) || IsOtherInstallationsShortcut(path))) {
        Note("file left to another installation: " + path);
        FLeft.insert(key);
        DropCopiesKeptByOthers(path);
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

void TUninstaller::DropCopiesKeptByOthers(const std::string& path)
{
    auto stamp = FStamps.find(UpperAscii(path));
    for (const std::string& copy : FOthers.CopiesOf(path)) {
        if (!FileExists(copy)) continue;
        std::vector<std::string> now = FileStamp(copy);
        std::string target, arguments;
        bool ours = stamp != FStamps.end() ? now.size() == 2 && now[0] + "|" + now[1] == stamp->second
                                           : ReadShellLink(copy, target, arguments) && IsInsideFolder(target, FProgramFolder);
        if (!ours) continue;
        SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileA(copy.c_str())) Note("our copy kept by another installation removed: " + copy);
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
    if (FShared.count(key)) ReleaseSharedFileReference(FScope, path);
    if (FOthers.NamesPath(path)) {
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
    } else if (FShared.count(key)) {
        // A shared folder (a plug-in folder, outside the product's own) that
        // holds other products' files: it stays, and that is nobody's news.
        FLeft.insert(key);
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

void TUninstaller::RemoveRegistryKey(const TLogLine& line)
{
    char letter = line.Info().Letter;
    if (FOthers.NamesKey(letter, line.Path())) {
        // Both installations write it (a settings key): the last one out
        // removes it, and what this one replaced there comes back.
        Note(std::string("registry key left to another installation: ") + letter + " " + line.Path());
        PutBackPriorValues(letter, line.Path());
        return;
    }
    TRegistry64 registry(Is64BitView(line.Info().KeyRoot));
    registry.RootKey = RootKeyOf(line.Info().KeyRoot);
    registry.DeleteKey(line.Path());
    Note(std::string("registry key removed: ") + letter + " " + line.Path());
}

void TUninstaller::PutBackPriorValues(char letter, const std::string& key)
{
    for (auto prior = FPriorValues.rbegin(); prior != FPriorValues.rend(); ++prior) {
        if (KeyLetterField(prior->Fields) != letter || !IsInsideFolder(prior->Path(), key)) continue;
        // A value that cannot be put back stays as it is; the others still come back.
        if (PutBackPriorValue(*prior))
            Note(std::string("registry value put back: ") + letter + " " + prior->Path() + "\\" + prior->Fields[2]);
    }
}

void TUninstaller::RemoveEmptyParents(const TLogLine& line)
{
    char letter = KeyLetterField(line.Fields);
    TKeyRoot root = KeyRootOfLetter(letter);
    if (root == TKeyRoot::None) return;
    TRegistry64 registry(Is64BitView(root));
    registry.RootKey = RootKeyOf(root);
    std::string key = ExcludeDelimiter(line.Path());
    for (int level = StrToIntDef(line.Fields[2], 0, false); level > 0; --level) {
        key = ExcludeDelimiter(ExtractFilePath(key));
        if (key.empty() || !registry.OpenKey(key, false)) return;
        bool empty = registry.IsEmptyKey();
        registry.CloseKey();
        if (!empty || !registry.DeleteKey(key)) return;
        Note(std::string("empty registry key removed: ") + letter + " " + key);
    }
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
