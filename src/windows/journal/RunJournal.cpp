#include "RunJournal.h"

#include <algorithm>

#include "Exception.h"
#include "FileSystem.h"
#include "InstallationLog.h"
#include "LogUndo.h"
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
    if (!FKeyName.empty() && ExtendRoots(FRoots, {line})) WriteRegisteredRoots(FScope, FKeyName, FRoots, &FValues);
    FLines.Append(line);
    if (!line.empty() && LineKindOf(line[0]) == TLineKind::CreatedKey) {
        TLogLine parsed = TLogLine::Parse(line);
        if (parsed.WellFormed()) FCreatedKeys.emplace_back(parsed.Fields[1][0], CreatedKeyOf(parsed));
    }
    if (FFile) WriteLine(line);
    if (!OnNote) return;
    std::string note = LineNote(line);
    if (!note.empty()) Note(note);
}

void TRunJournal::Retract()
{
    if (!FLines.Back().empty() && LineKindOf(FLines.Back()[0]) == TLineKind::CreatedKey && !FCreatedKeys.empty())
        FCreatedKeys.pop_back();
    FLines.PopBack();
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
    WriteRegisteredRoots(FScope, FKeyName, FRoots, &FValues);
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
    FKeyName.clear();
    FCreatedKeys.clear();
    FValues.Forget();
    FEarlierFile.reset();
}

std::vector<std::string> TRunJournal::RollBack()
{
    FFile.reset();
    FKeyName.clear();
    TLogUndo undo(TUndoMode::RollBack, FScope);
    undo.SetJournal(FPath, FEarlierFile.has_value());
    undo.OnNote = OnNote;
    undo.Undo(FLines);
    std::vector<std::string> leftOver = undo.LeftOver();
    // Last, the journal: the earlier installation's uninstaller, put back
    // above, reads its own log again, or the earlier log that was in the
    // journal's place, written back now.
    if (!FPath.empty() && FEarlierFile) {
        DWORD error = WriteWholeAndReplace(FPath, FPath + PartialSuffix, [&](THandleStream& file) {
            file.WriteBuffer(FEarlierFile->data(), FEarlierFile->size());
        });
        std::string what = "file put back " + FPath;
        Note((error == 0 ? "rolled back: " : "could not roll back: ") + what);
        if (error != 0) leftOver.push_back(what);
    } else if (!FPath.empty()) {
        DeleteFileA(FPath.c_str());
    }
    FEarlierFile.reset();
    FLines.Clear();
    FCreatedKeys.clear();
    FValues.Forget();
    return leftOver;
}

bool TRunJournal::InCreatedKey(char letter, const std::string& key) const
{
    for (const auto& created : FCreatedKeys)
        if (created.first == letter && IsInsideFolder(key, created.second)) return true;
    return false;
}
