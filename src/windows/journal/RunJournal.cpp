#include "RunJournal.h"

#include <algorithm>

#include "Exception.h"
#include "FileSystem.h"
#include "InstallationLog.h"
#include "Messages.h"
#include "PathUtils.h"
#include "SharedFiles.h"
#include "InstallScope.h"
#include "SystemCalls.h"
#include "TextUtils.h"
#include "UninstallRegistration.h"

namespace {

std::string JournalText(const std::string& line) { return line + "\r\n"; }

}  // namespace

TRunJournal::TRunJournal()
{
    FValues.OnFirstWrite = [this](const TRegistryUndo::TPrior& prior) {
        // A key this run made goes whole, on a rollback and on removal.
        if (InCreatedKey(prior.Letter, prior.Key)) return;
        static const char digits[] = "0123456789ABCDEF";
        std::string data = "-";
        if (prior.Existed) {
            data = std::to_string(prior.Type) + ":";
            for (BYTE byte : prior.Data) data += std::string{digits[byte >> 4], digits[byte & 15]};
        }
        Append(MakeLogLine(TLineKind::PriorValue, prior.Key, {std::string(1, prior.Letter), prior.Name, data}));
    };
}

void TRunJournal::Append(const std::string& line)
{
    if (!FKeyName.empty() && ExtendRoots(FRoots, {line})) WriteRegisteredRoots(FScope, FKeyName, FRoots);
    FLines.Append(line);
    if (FFile) WriteLine(line);
    if (!OnNote) return;
    std::string note = LineNote(line);
    if (!note.empty()) Note(note);
}

void TRunJournal::WriteLine(const std::string& line)
{
    std::string text = JournalText(line);
    // Where the text ends is known: asking the file for its size costs a call per line.
    FFile->SetPosition(FTextStart + FLength);
    FFile->WriteBuffer(text.data(), text.size());
    FLength += int32_t(text.size());
    FFile->SetPosition(UninstallLogFormat::HeaderSize + TProgramVersion::RecordSize);
    FFile->WriteInt32(FLength);
    if (!line.empty() && LineKindInfo(LineKindOf(line[0])).Flush) Flush();
}

void TRunJournal::Open(const std::string& path, const TProgramVersion& version, const std::string& productName,
                       const std::vector<std::string>& earlier)
{
    FPath = path;
    // A journal a run ended earlier left there is replaced only by a complete one.
    std::string text = JournalText(MakeLogLine(TLineKind::Name, productName));
    for (const std::string& line : earlier) text += JournalText(line);
    for (const std::string& line : FLines) text += JournalText(line);
    FLength = int32_t(text.size());
    DWORD error = WriteWholeAndReplace(path, path + PartialSuffix, [&](THandleStream& journal) {
        TMemoryStream header;
        WriteUninstallLog(header, version, {}, std::string());
        journal.WriteBuffer(header.Data().data(), header.Data().size());
        FTextStart = int64_t(header.Data().size());
        journal.WriteBuffer(text.data(), text.size());
        journal.SetPosition(UninstallLogFormat::HeaderSize + TProgramVersion::RecordSize);
        journal.WriteInt32(FLength);
    });
    if (error != 0) throw EFCreateError(FormatMessageText(Msg::FileCreateError, {path, SysErrorMessage(error)}));
    FFile = THandleStream::OpenWrite(path);
}

void TRunJournal::Flush()
{
    if (FFile) FlushToDisk(FFile->Handle());
}

void TRunJournal::KeepRootsIn(const std::string& keyName, const TInstallationRoots& roots)
{
    FKeyName = keyName;
    FRoots = roots;
    ExtendRoots(FRoots, FLines);
    WriteRegisteredRoots(FScope, FKeyName, FRoots);
}

void TRunJournal::RegistrationsReplaced(const std::vector<TSavedRegistration>& saved)
{
    for (const TSavedRegistration& registration : saved)
        if (std::none_of(FReplacedRegistrations.begin(), FReplacedRegistrations.end(), [&](const TSavedRegistration& kept) {
                return SameTextAscii(kept.KeyName, registration.KeyName);
            }))
            FReplacedRegistrations.push_back(registration);  // as it was before the run, not since
}

void TRunJournal::Finish(bool keepFile)
{
    FFile.reset();
    if (!FPath.empty() && !keepFile) SystemCalls().Delete(FPath.c_str());
    // The product's earlier files that the run set aside (its R lines) were
    // kept only for a failure.
    FLines.ForEachBackwards([&](const std::string& line) {
        TLogLine parsed = TLogLine::Parse(line);
        if (parsed.Kind == TLineKind::Aside && parsed.WellFormed()) SystemCalls().Delete(parsed.Fields[1].c_str());
    });
    FReplacedRegistrations.clear();
    FCreatedKeys.clear();
    FKeyName.clear();
    FValues.Forget();
    FEarlierFile.reset();
}

std::vector<std::string> TRunJournal::RollBack()
{
    FFile.reset();
    FKeyName.clear();
    FLeftOver.clear();
    FReleased.clear();
    FLines.ForEachBackwards([&](const std::string& line) { RollBackLine(TLogLine::Parse(line)); });
    RestoreRegistrations();
    // Last, the journal: the earlier installation's uninstaller, put back
    // above, reads its own log again, or the earlier log that was in the
    // journal's place, written back now.
    if (!FPath.empty() && FEarlierFile) {
        DWORD error = WriteWholeAndReplace(FPath, FPath + PartialSuffix, [&](THandleStream& file) {
            file.WriteBuffer(FEarlierFile->data(), FEarlierFile->size());
        });
        std::string what = "file put back " + FPath;
        Note((error == 0 ? "rolled back: " : "could not roll back: ") + what);
        if (error != 0) FLeftOver.push_back(what);
    } else if (!FPath.empty()) {
        DeleteFileA(FPath.c_str());
    }
    FEarlierFile.reset();
    FLines.Clear();
    FCreatedKeys.clear();
    FReplacedRegistrations.clear();
    FValues.Forget();
    return FLeftOver;
}

void TRunJournal::RollBackLine(const TLogLine& line)
{
    const std::string& path = line.Path();
    auto result = [&](bool done, const std::string& what) {
        Note((done ? "rolled back: " : "could not roll back: ") + what);
        if (!done) FLeftOver.push_back(what);
    };
    // A folder swapped for a link while the run went on is not reached into:
    // what lies behind the link is somebody else's.
    // (A shared count is the registry's, not reached through the folder.)
    std::vector<TFileHandle> pins;
    if (line.Kind != TLineKind::Shared && line.Kind != TLineKind::Sharing && !ReachedDirectly(line, pins)) {
        result(false, "reached through a link " + path);
        return;
    }
    switch (line.Kind) {
    case TLineKind::File:
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        result(DeleteFileA(path.c_str()) || !FileExists(path), "file removed " + path);
        break;
    case TLineKind::Partial:
        if (!FileExists(path)) break;
        if (!SameTextAscii(path, FPath))
            result(DeleteFileA(path.c_str()) != 0, "file removed " + path);
        else if (!FEarlierFile)
            // The journal with no earlier log to write back in its place goes
            // here, before the folder that holds it, which the run may have made.
            DeleteFileA(path.c_str());
        break;
    case TLineKind::Backup:
    case TLineKind::Aside:
        if (FileExists(line.Fields[1]))
            result(MoveFileExA(line.Fields[1].c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0,
                   "file put back " + path);
        break;
    case TLineKind::PriorValue:
        result(PutBackPriorValue(line), "registry value put back " + line.Fields[1] + " " + path + "\\" + line.Fields[2]);
        break;
    case TLineKind::Shared:
        FReleased.insert(UpperAscii(path));
        ReleaseSharedFileReference(FScope, path);
        result(true, "shared reference released " + path);
        break;
    case TLineKind::Sharing:
        // Ended between this line and its H line: the count tells.
        if (!FReleased.count(UpperAscii(path)) && SharedReferenceTakenSince(FScope, path, line.Fields[1])) {
            ReleaseSharedFileReference(FScope, path);
            result(true, "shared reference released " + path);
        }
        break;
    case TLineKind::Folder:
    case TLineKind::FolderContents:
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
        result(RemoveDirectoryA(path.c_str()) || !DirectoryExists(path), "folder removed " + path);
        break;
    case TLineKind::CurrentUserKey:
    case TLineKind::ClassesRootKey:
    case TLineKind::LocalMachineKey:
    case TLineKind::LocalMachine64Key: {
        // Only the keys the run created go, with the parents it created for them.
        auto created = FCreatedKeys.find(MakeLogLine(line.Kind, path));
        if (created == FCreatedKeys.end()) break;
        TRegistry64 registry(Is64BitView(line.Info().KeyRoot));
        registry.RootKey = RootKeyOf(line.Info().KeyRoot);
        result(registry.DeleteKey(created->second) || !registry.KeyExists(created->second),
               "registry key removed " + created->second);
        break;
    }
    default: break;
    }
}

void TRunJournal::RestoreRegistrations()
{
    // The registrations that the run's own replaced come back as they were.
    for (const TSavedRegistration& saved : FReplacedRegistrations) {
        bool restored = RestoreRegistration(saved);
        std::string what = "registration put back " + saved.KeyName;
        Note((restored ? "rolled back: " : "could not roll back: ") + what);
        if (!restored) FLeftOver.push_back(what);
    }
}

bool TRunJournal::InCreatedKey(char letter, const std::string& key) const
{
    for (const auto& created : FCreatedKeys)
        if (TLogLine::Parse(created.first).Info().Letter == letter && IsInsideFolder(key, created.second)) return true;
    return false;
}
