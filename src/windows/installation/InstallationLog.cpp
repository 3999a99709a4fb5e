#include "InstallationLog.h"

#include <cstring>
#include <set>

#include "FileSystem.h"
#include "HandleStream.h"
#include "InstallScope.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "ProgramFile.h"
#include "Sha256.h"
#include "SharedFiles.h"
#include "TextUtils.h"

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
    std::string journal = GetProgramFolder(programPath) + UninstallLogFileName;
    if (!FileExists(journal)) return;
    try {
        std::unique_ptr<THandleStream> stream = THandleStream::OpenRead(journal, FILE_SHARE_READ);
        TUninstallLog ended = ReadLogAt(*stream);
        if (ended.ProductName == log.ProductName) log.Lines = CarryForward(log.Lines, ended.Lines).Vector();
    } catch (const std::exception&) {
        // Not a journal of ours: left alone.
    }
}

}  // namespace

namespace {

// The log at the stream's position, with the digest of its bytes to the end.
TUninstallLog ReadDigestedLogAt(TStream& stream)
{
    int64_t start = stream.Position();
    TUninstallLog log = ReadLogAt(stream);
    stream.SetPosition(start);
    log.Digest = StreamSha256(stream);
    return log;
}

}  // namespace

TUninstallLog ReadUninstallerLog(const std::string& programPath, bool takeOverJournal)
{
    std::unique_ptr<TStream> stream = THandleStream::OpenRead(programPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    stream->SetPosition(PackageFormat::SetupDataOffsetWord);
    int32_t offset = stream->ReadInt32();
    if (offset <= 0) {
        stream.reset();
        stream = THandleStream::OpenRead(GetProgramFolder(programPath) + UninstallLogFileName, 0);
        return ReadDigestedLogAt(*stream);
    }
    stream->SetPosition(offset);
    TUninstallLog log = ReadDigestedLogAt(*stream);
    stream.reset();
    if (takeOverJournal) TakeOverJournal(programPath, log);
    return log;
}

TUninstallLog ReadInstallationLog(const std::string& folder)
{
    if (FileExists(folder + UninstallerFileName)) return ReadUninstallerLog(folder + UninstallerFileName);
    std::unique_ptr<TStream> journal = THandleStream::OpenRead(folder + UninstallLogFileName, FILE_SHARE_READ);
    return ReadDigestedLogAt(*journal);
}

TFolderSurvey SurveyFolder(const std::string& folder)
{
    TFolderSurvey survey;
    survey.Folder = IncludeDelimiter(folder);
    if (survey.Folder.empty()) return survey;
    survey.Exists = DirectoryExists(survey.Folder);
    survey.HasUninstaller = FileExists(survey.Folder + UninstallerFileName);
    survey.HasJournal = FileExists(survey.Folder + UninstallLogFileName);
    if (survey.HasUninstaller || survey.HasJournal) {
        try {
            survey.Log = ReadInstallationLog(survey.Folder);
        } catch (const std::exception&) {
            // Not one of ours, or a damaged one: no log.
        }
    }
    return survey;
}

TVouchedLog ReadVouchedLog(const std::string& uninstallerPath, std::optional<TInstallScope> scope)
{
    TVouchedLog vouched;
    bool present = FileExists(uninstallerPath);
    vouched.Log = present ? ReadUninstallerLog(uninstallerPath, false) : ReadInstallationLog(GetProgramFolder(uninstallerPath));
    vouched.Scope = scope ? *scope : InstallationScope(uninstallerPath, vouched.Log.Lines);
    std::string name = FindRegistration(vouched.Scope, uninstallerPath, vouched.Log.Lines);
    bool digested = !RegisteredText(vouched.Scope, name, RegistrationValue::LogDigest).empty();
    if (present && !digested) {
        // No finished log is vouched for: a later run's journal beside it counts, judged by the roots.
        std::string digest = vouched.Log.Digest;
        vouched.Log = ReadUninstallerLog(uninstallerPath, true);
        vouched.Log.Digest = digest;
    }
    vouched.Roots =
        UninstallerRoots(vouched.Scope, uninstallerPath, vouched.Log.Lines, vouched.Log.Digest, &vouched.Changed);
    return vouched;
}

const char PartialSuffix[] = ".partial";

std::string PartialTarget(const std::string& path)
{
    size_t length = std::strlen(PartialSuffix);
    bool partial = path.size() > length && path.compare(path.size() - length, length, PartialSuffix) == 0;
    return partial ? path.substr(0, path.size() - length) : std::string();
}

std::vector<std::string> ResolveSharing(TInstallScope scope, const std::vector<std::string>& lines)
{
    std::set<std::string> held;
    for (const std::string& line : lines) {
        TLogLine parsed = TLogLine::Parse(line);
        if (parsed.Kind == TLineKind::Shared) held.insert(UpperAscii(parsed.Path()));
    }
    std::vector<std::string> resolved;
    for (const std::string& line : lines) {
        TLogLine parsed = TLogLine::Parse(line);
        if (parsed.Kind != TLineKind::Sharing) {
            resolved.push_back(line);
        } else if (!held.count(UpperAscii(parsed.Path())) && SharedReferenceTakenSince(scope, parsed.Path(), parsed.Fields[1])) {
            resolved.push_back(MakeLogLine(TLineKind::Shared, parsed.Path()));
            held.insert(UpperAscii(parsed.Path()));
        }
    }
    return resolved;
}
