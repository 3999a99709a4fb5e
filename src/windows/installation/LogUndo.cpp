#include "LogUndo.h"

#include <algorithm>

#include "FileEnumerator.h"
#include "FileSystem.h"
#include "InstallationLog.h"
#include "PathUtils.h"
#include "ProgramFile.h"
#include "Registry.h"
#include "SharedFiles.h"
#include "ShellLinks.h"
#include "TextUtils.h"
#include "UninstallRegistration.h"

namespace {

// Nothing of the Windows folder is an installation's, whatever its roots say.
bool InsideWindowsFolder(const std::string& path)
{
    char windows[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    return length > 0 && length <= MAX_PATH && IsInsideFolder(path, std::string(windows, length));
}

bool IsFolderKind(TLineKind kind)
{
    return kind == TLineKind::Folder || kind == TLineKind::FolderContents || kind == TLineKind::ExistingFolder;
}

template <typename F>
void EachBackwards(const std::vector<std::string>& lines, F f)
{
    for (size_t i = lines.size(); i-- > 0;) f(lines[i]);
}

template <typename F>
void EachBackwards(const TLineStore& lines, F f)
{
    lines.ForEachBackwards(f);
}

size_t LineCount(const std::vector<std::string>& lines) { return lines.size(); }
size_t LineCount(const TLineStore& lines) { return lines.Size(); }

}  // namespace

std::string CreatedKeyOf(const TLogLine& line)
{
    std::string key = ExcludeDelimiter(line.Path());
    for (int level = StrToIntDef(line.Fields[2], 0, false); level > 0 && !key.empty(); --level)
        key = ExcludeDelimiter(ExtractFilePath(key));
    return key;
}

void TLogUndo::SetUninstaller(const std::string& programPath, const TInstallationRoots& roots)
{
    FProgramPath = programPath;
    FProgramFolder = GetProgramFolder(programPath);
    FRoots = roots;
}

bool TLogUndo::Obeys(const std::string& line) const
{
    if (!FRoots.Hold(line)) return false;
    for (const auto& place : TLogLine::Parse(line).Places())
        if (place.first != TLineTarget::Key && InsideWindowsFolder(place.second)) return false;
    return true;
}

void TLogUndo::ReadNotes(const std::vector<std::string>& lines)
{
    // Notes count only where the installation wrote: a shared reference
    // somebody added elsewhere releases nothing.
    for (const std::string& line : lines) {
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

bool TLogUndo::Undo(const std::vector<std::string>& lines)
{
    return UndoLines(lines);
}

bool TLogUndo::Undo(const TLineStore& lines)
{
    return UndoLines(lines);
}

template <typename Lines>
bool TLogUndo::UndoLines(const Lines& lines)
{
    FFailed = false;
    FLeftOver.clear();
    FReleased.clear();
    FFirstFolderLines.clear();
    if (FMode == TUndoMode::Removal) {
        FOthers = TOtherInstallations(FScope, FProgramPath);
        // A folder recorded again by a later run (an upgrade's log carries the
        // earlier one forward) is handled at its first line, after everything
        // that either run put into it.
        size_t at = 0;
        for (const std::string& line : lines) {
            TLogLine parsed = TLogLine::Parse(line);
            if (IsFolderKind(parsed.Kind)) FFirstFolderLines.emplace(UpperAscii(parsed.Path()), at);
            ++at;
        }
    }
    size_t index = LineCount(lines);
    FRegistrations.clear();
    EachBackwards(lines, [&](const std::string& line) { Step(--index, line); });
    if (FMode == TUndoMode::RollBack) {
        for (const TRegistrationUndo& registration : FRegistrations)
            if (registration.Existed || !registration.Done)
                Done(registration.Done, "registration put back " + registration.Name);
        return FLeftOver.empty();
    }
    // Last, once every key below them is gone: the keys the installation
    // created above its own, as far as they are empty.
    EachBackwards(lines, [&](const std::string& line) {
        TLogLine parsed = TLogLine::Parse(line);
        if (parsed.Kind == TLineKind::EmptyParents && Obeys(line)) RemoveEmptyParents(parsed);
    });
    return !FFailed;
}

void TLogUndo::Done(bool done, const std::string& what)
{
    Note((done ? "rolled back: " : "could not roll back: ") + what);
    if (!done) FLeftOver.push_back(what);
}

void TLogUndo::Step(size_t index, const std::string& line)
{
    if (line.empty()) return;
    TLogLine parsed = TLogLine::Parse(line);
    if (FMode == TUndoMode::RollBack)
        RollBackStep(parsed);
    else
        RemovalStep(index, line, parsed);
}

void TLogUndo::RollBackStep(const TLogLine& line)
{
    // Notes that name no place: nothing to take back.
    if (line.Kind != TLineKind::Unknown && LineKindInfo(line.Kind).Target == TLineTarget::None) return;
    const std::string& path = line.Path();
    // A folder swapped for a link while the run went on is not reached into:
    // what lies behind the link is somebody else's.
    // (A shared count is the registry's, not reached through the folder.)
    std::vector<TFileHandle> pins;
    if (line.Kind != TLineKind::Shared && line.Kind != TLineKind::Sharing && !ReachedDirectly(line, pins)) {
        Done(false, "reached through a link " + path);
        return;
    }
    switch (line.Kind) {
    case TLineKind::File:
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        Done(DeleteFileA(path.c_str()) || !FileExists(path), "file removed " + path);
        break;
    case TLineKind::Partial:
        if (!FileExists(path)) break;
        if (!SameTextAscii(path, FJournal))
            Done(DeleteFileA(path.c_str()) != 0, "file removed " + path);
        else if (!FEarlierLogReturns)
            // The journal with no earlier log to write back in its place goes
            // here, before the folder that holds it, which the run may have made.
            DeleteFileA(path.c_str());
        break;
    case TLineKind::Backup:
    case TLineKind::Aside:
        // What was there before comes back in place of the run's file.
        if (FileExists(line.Fields[1]))
            Done(MoveFileExA(line.Fields[1].c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0,
                 "file put back " + path);
        break;
    case TLineKind::PriorValue: {
        bool done = PutBackPriorValue(line);
        std::string name = RegistrationNameOfKey(path);
        if (name.empty()) {
            Done(done, "registry value put back " + line.Fields[1] + " " + path + "\\" + line.Fields[2]);
            break;
        }
        // An entry in the list of installed programs comes back as one: told
        // once its values are back, where it was there before the run.
        auto found = std::find_if(FRegistrations.begin(), FRegistrations.end(),
                                  [&](const TRegistrationUndo& undo) { return SameTextAscii(undo.Name, name); });
        if (found == FRegistrations.end()) found = FRegistrations.insert(FRegistrations.end(), {name, false, true});
        found->Existed = found->Existed || line.Fields[3] != "-";
        found->Done = found->Done && done;
        break;
    }
    case TLineKind::Shared:
        FReleased.insert(UpperAscii(path));
        ReleaseSharedFileReference(FScope, path);
        Done(true, "shared reference released " + path);
        break;
    case TLineKind::Sharing:
        // Ended between this line and its H line: the count tells.
        if (!FReleased.count(UpperAscii(path)) && SharedReferenceTakenSince(FScope, path, line.Fields[1])) {
            ReleaseSharedFileReference(FScope, path);
            Done(true, "shared reference released " + path);
        }
        break;
    case TLineKind::Folder:
    case TLineKind::FolderContents:
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
        Done(RemoveDirectoryA(path.c_str()) || !DirectoryExists(path), "folder removed " + path);
        break;
    case TLineKind::CreatedKey: {
        // Only the keys the run created go (a key line alone was there
        // before), with the parents it created for them.
        TKeyRoot root = KeyRootOfLetter(KeyLetterField(line.Fields));
        std::string created = CreatedKeyOf(line);
        TRegistry64 registry(Is64BitView(root));
        registry.RootKey = RootKeyOf(root);
        Done(registry.DeleteKey(created) || !registry.KeyExists(created), "registry key removed " + created);
        break;
    }
    default: break;
    }
}

void TLogUndo::RemovalStep(size_t index, const std::string& line, const TLogLine& parsed)
{
    const std::string& text = parsed.Path();
    if (IsFolderKind(parsed.Kind) && FFirstFolderLines[UpperAscii(text)] != index) return;
    // A folder that was there before is only ever removed as a shared
    // folder; its line (a drive's root among them) is no failure. Stamps,
    // shared references, the values written over and the name were read
    // first; the keys a run created go with its rollback alone.
    if (parsed.Kind == TLineKind::ExistingFolder && !FShared.count(UpperAscii(text))) return;
    if (parsed.Kind == TLineKind::Stamp || parsed.Kind == TLineKind::Shared || parsed.Kind == TLineKind::Name ||
        parsed.Kind == TLineKind::EmptyParents || parsed.Kind == TLineKind::PriorValue ||
        parsed.Kind == TLineKind::CreatedKey || parsed.Kind == TLineKind::Language || parsed.Kind == TLineKind::Wording)
        return;
    // A kind this uninstaller does not know (a later version's note) does nothing.
    if (parsed.Kind == TLineKind::Unknown) {
        Note("not obeyed, a kind of line this uninstaller does not know: " + line);
        return;
    }
    if (!Obeys(line)) {
        if (RemoveEmptyRegistration(FScope, line)) {
            Note(std::string("registry key removed: ") + line[0] + " " + line.substr(1));
            return;
        }
        FFailed = true;  // not removed, and said so
        Note("not obeyed, not the installation's: " + line);
        return;
    }
    std::vector<TFileHandle> pins;
    if (!ReachedDirectly(parsed, pins)) {
        FFailed = true;
        Note("not obeyed, reached through a link: " + line);
        return;
    }
    switch (parsed.Kind) {
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
    case TLineKind::LocalMachine64Key: RemoveRegistryKey(parsed); break;
    case TLineKind::Backup:
        RestoreFile(parsed);
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
        if (!FKeptCopies.count(UpperAscii(parsed.Fields[1]))) DeleteFileA(parsed.Fields[1].c_str());
        break;
    default: break;
    }
}

void TLogUndo::RemoveFile(const std::string& path)
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
bool TLogUndo::IsOtherInstallationsShortcut(const std::string& path) const
{
    std::string target, arguments;
    try {
        return SameTextAscii(ExtractFileExt(path), ".lnk") && ReadShellLink(path, target, arguments) &&
               !target.empty() && !IsInsideFolder(target, FProgramFolder);
    } catch (const std::exception&) {
        return false;  // without the shell's link object it is taken as ours
    }
}

void TLogUndo::DropCopiesKeptByOthers(const std::string& path)
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

void TLogUndo::RestoreFile(const TLogLine& note)
{
    const std::vector<std::string>& fields = note.Fields;
    if (!FileExists(fields[1])) return;
    // The product's file is gone; where the user's changed copy of it stays,
    // the earlier file stays aside, and the user is told where.
    if (FileExists(fields[0]) || !MoveFileA(fields[1].c_str(), fields[0].c_str())) Keep(ExtractFilePath(fields[1]));
}

void TLogUndo::RemoveFolder(const std::string& path)
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

bool TLogUndo::HoldsOthers(const std::string& folder, const std::string& ignored) const
{
    for (const std::string& entry : FolderEntries(folder))
        if (!SameTextAscii(entry, ignored) && !FLeft.count(UpperAscii(entry))) return true;
    return false;
}

void TLogUndo::Keep(const std::string& folder)
{
    FLeft.insert(UpperAscii(folder));
    for (const std::string& kept : FKept)
        if (SameTextAscii(kept, folder)) return;
    FKept.push_back(folder);
}

void TLogUndo::RemoveFolderFiles(const std::string& path)
{
    TFileEnumerator files(path + "*.*", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
    while (files.Next()) {
        if (files.HasAttribute(FILE_ATTRIBUTE_DIRECTORY)) continue;
        std::string file = path + files.Name();
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
    }
}

void TLogUndo::RemoveRegistryKey(const TLogLine& line)
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

void TLogUndo::PutBackPriorValues(char letter, const std::string& key)
{
    for (auto prior = FPriorValues.rbegin(); prior != FPriorValues.rend(); ++prior) {
        if (KeyLetterField(prior->Fields) != letter || !IsInsideFolder(prior->Path(), key)) continue;
        // A value that cannot be put back stays as it is; the others still come back.
        if (PutBackPriorValue(*prior))
            Note(std::string("registry value put back: ") + letter + " " + prior->Path() + "\\" + prior->Fields[2]);
    }
}

void TLogUndo::RemoveEmptyParents(const TLogLine& line)
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
