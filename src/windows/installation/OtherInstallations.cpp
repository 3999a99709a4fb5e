#include "OtherInstallations.h"

#include <algorithm>

#include "Exception.h"
#include "FileSystem.h"
#include "InstallationLog.h"
#include "LogLine.h"
#include "PathUtils.h"
#include "ProgramFile.h"
#include "Registry.h"
#include "TextUtils.h"
#include "UninstallRegistration.h"

namespace {

std::string KeyText(char letter, const std::string& key)
{
    size_t start = key.find_first_not_of('\\');
    return std::string(1, letter) + UpperAscii(start == std::string::npos ? std::string() : key.substr(start));
}

std::string PathText(const std::string& path) { return UpperAscii(ExcludeDelimiter(path)); }

}  // namespace

TOtherInstallations::TOtherInstallations(TInstallScope scope, const std::string& ownUninstaller)
{
    for (const TRegistrationEntry& entry : AllRegistrations(scope)) {
        const std::string& uninstaller = entry.Uninstaller;
        if (uninstaller.empty() || !FileExists(uninstaller) || SameFile(uninstaller, ownUninstaller)) continue;
        try {
            // A log its registration vouches for is read alone; one changed since names nothing.
            TUninstallLog log = ReadUninstallerLog(uninstaller, entry.LogDigest.empty());
            if (!entry.LogDigest.empty() && !SameTextAscii(entry.LogDigest, log.Digest)) continue;
            Add(log.Lines, GetProgramFolder(ResolvedPath(uninstaller)));
        } catch (const std::exception&) {
            // Not one of ours, or a damaged one: it names nothing.
        }
    }
}

void TOtherInstallations::Add(const std::vector<std::string>& lines, const std::string& folder)
{
    for (const std::string& line : lines) {
        TLogLine parsed = TLogLine::Parse(line);
        if (!parsed.WellFormed()) continue;
        switch (parsed.Kind) {
        case TLineKind::File:
        case TLineKind::Folder:
        case TLineKind::FolderContents:
        case TLineKind::ExistingFolder:
        case TLineKind::Shared: FPaths.insert(PathText(parsed.Path())); break;
        case TLineKind::CurrentUserKey:
        case TLineKind::ClassesRootKey:
        case TLineKind::LocalMachineKey:
        case TLineKind::LocalMachine64Key:
            if (!IsInsideFolder(parsed.Path(), UninstallRegistryKey)) FKeys.insert(KeyText(parsed.Info().Letter, parsed.Path()));
            break;
        case TLineKind::EmptyParents: {
            int& levels = FParentLevels[KeyText(KeyLetterField(parsed.Fields), parsed.Path())];
            levels = std::max(levels, StrToIntDef(parsed.Fields[2], 0, false));
            break;
        }
        case TLineKind::Backup:
            // Only a copy inside that installation's own Replaced Files.
            if (IsInsideFolder(parsed.Fields[1], folder + "Replaced Files\\"))
                FCopies[PathText(parsed.Path())].push_back(parsed.Fields[1]);
            break;
        default: break;
        }
    }
}

bool TOtherInstallations::NamesPath(const std::string& path) const { return FPaths.count(PathText(path)) != 0; }

bool TOtherInstallations::NamesKey(char letter, const std::string& key) const
{
    return FKeys.count(KeyText(letter, key)) != 0;
}

int TOtherInstallations::ParentLevels(char letter, const std::string& key) const
{
    auto found = FParentLevels.find(KeyText(letter, key));
    return found == FParentLevels.end() ? 0 : found->second;
}

std::vector<std::string> TOtherInstallations::CopiesOf(const std::string& path) const
{
    auto found = FCopies.find(PathText(path));
    return found == FCopies.end() ? std::vector<std::string>() : found->second;
}
