#include "LogLine.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "PackageFormat.h"
#include "PathUtils.h"
#include "TextUtils.h"

const char UninstallRegistryKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

namespace {

using K = TLineKind;
using T = TLineTarget;
using R = TKeyRoot;

const std::vector<TLineKindInfo> Table = {
    // kind                letter target    key root           fields places root  finished flush  note
    {K::File,              'F', T::File,   R::None,           1, 1, true,  true,  false, "file "},
    {K::Folder,            'D', T::Folder, R::None,           1, 1, true,  true,  false, "folder created "},
    {K::FolderContents,    'T', T::Folder, R::None,           1, 1, true,  true,  false, "folder emptied on removal "},
    {K::CurrentUserKey,    'U', T::Key,    R::CurrentUser,    1, 1, true,  true,  false, "registry key HKCU"},
    {K::ClassesRootKey,    'C', T::Key,    R::ClassesRoot,    1, 1, true,  true,  false, "registry key HKCR"},
    {K::LocalMachineKey,   'M', T::Key,    R::LocalMachine,   1, 1, true,  true,  true,  "registry key HKLM"},
    {K::ExistingFolder,    'E', T::Folder, R::None,           1, 1, false, true,  false, "folder there before "},
    {K::LocalMachine64Key, '6', T::Key,    R::LocalMachine64, 1, 1, true,  true,  false, "registry key HKLM (64-bit)"},
    {K::Stamp,             'S', T::File,   R::None,           3, 1, false, true,  false, nullptr},
    {K::Backup,            'B', T::File,   R::None,           2, 2, true,  true,  true,  "kept aside "},
    {K::Shared,            'H', T::File,   R::None,           1, 1, true,  true,  true,  "shared reference "},
    {K::Partial,           'P', T::File,   R::None,           1, 1, true,  false, false, nullptr},
    {K::Name,              'N', T::None,   R::None,           1, 0, false, false, false, nullptr},
    {K::Aside,             'R', T::File,   R::None,           2, 2, true,  false, true,  "set aside until the run has ended "},
    // Before a shared count is raised, with the count as it was: a run ended
    // between the two tells by the count whether the reference was taken.
    {K::Sharing,           'Q', T::File,   R::None,           2, 1, true,  false, true,  nullptr},
    // The keys above a recorded key that did not exist before: removal takes
    // each away once it is empty, and never one that held anything.
    {K::EmptyParents,      'K', T::Key,    R::None,           3, 1, false, true,  false, "empty parent keys of "},
    // A value the run writes into a key that was there before, as it was: the
    // key's last installation but one puts it back when it leaves the key to
    // another. On the disk before the value is written over.
    {K::PriorValue,        'V', T::Key,    R::None,           4, 1, false, true,  true,  nullptr},
    // First in the log of an installation for one user: its registration,
    // product keys and shared counts are below HKEY_CURRENT_USER, and its
    // removal needs no administrator rights.
    {K::OneUser,           'O', T::None,   R::None,           1, 0, false, true,  true,  "for one user: "},
    // Beside a key line, before the key is made: the run made it and the
    // levels above it that were not there either. Only the run's own
    // rollback takes them away (whole); the finished log leaves it out.
    {K::CreatedKey,        'X', T::Key,    R::None,           3, 1, false, false, false, nullptr},
    // The language of the run, and the uninstaller's texts in it: the
    // uninstaller speaks to the user as Setup did. The last of each counts.
    {K::Language,          'L', T::None,   R::None,           1, 0, false, true,  false, nullptr},
    {K::Wording,           'W', T::None,   R::None,           1, 0, false, true,  false, nullptr},
};

const std::string NoPath;

// A folder line names the folder itself; a file line its folder. A shared
// reference may be held on either: the text tells.
std::string RootOfPlace(T target, const std::string& place)
{
    if (target == T::Folder) return IncludeDelimiter(place);
    if (!place.empty() && place.back() == '\\') return place;
    return ExtractFilePath(place);
}

std::string KeyRoot(char letter, const std::string& key)
{
    size_t start = key.find_first_not_of('\\');
    return std::string(1, letter) + "\\" + (start == std::string::npos ? std::string() : key.substr(start));
}

}  // namespace

const std::vector<TLineKindInfo>& LineKinds() { return Table; }

char KeyLetterField(const std::vector<std::string>& fields)
{
    if (fields.size() < 2 || fields[1].size() != 1 || KeyRootOfLetter(fields[1][0]) == R::None) return 0;
    return fields[1][0];
}

TKeyRoot KeyRootOfLetter(char letter) { return LineKindInfo(LineKindOf(letter)).KeyRoot; }

TLineKind KeyLineKind(TKeyRoot root)
{
    for (const TLineKindInfo& info : Table)
        if (root != R::None && info.KeyRoot == root) return info.Kind;
    return K::Unknown;
}

const TLineKindInfo& LineKindInfo(TLineKind kind)
{
    static const TLineKindInfo unknown = {K::Unknown, '?', T::None, R::None, 0, 0, false, false, false, nullptr};
    size_t index = size_t(kind);
    return index < Table.size() ? Table[index] : unknown;
}

TLineKind LineKindOf(char letter)
{
    for (const TLineKindInfo& row : Table)
        if (row.Letter == letter) return row.Kind;
    return K::Unknown;
}

TLogLine TLogLine::Parse(const std::string& line)
{
    TLogLine parsed;
    if (line.empty()) return parsed;
    parsed.Kind = LineKindOf(line[0]);
    if (parsed.Kind == K::Unknown) return parsed;
    std::string text = line.substr(1);
    if (parsed.Info().Fields == 1) {
        parsed.Fields.push_back(text);
        return parsed;
    }
    size_t start = 0;
    for (size_t bar; (bar = text.find('|', start)) != std::string::npos; start = bar + 1)
        parsed.Fields.push_back(text.substr(start, bar - start));
    parsed.Fields.push_back(text.substr(start));
    return parsed;
}

const std::string& TLogLine::Path() const { return Fields.empty() ? NoPath : Fields[0]; }

bool TLogLine::WellFormed() const
{
    const TLineKindInfo& info = Info();
    if (Kind == K::Unknown || int(Fields.size()) != info.Fields) return false;
    for (int i = 0; i < info.Places; ++i) {
        bool form = info.Target == T::Key ? IsInstallationKeyForm(Fields[size_t(i)])
                                          : IsInstallationPathForm(Fields[size_t(i)]);
        if (!form) return false;
    }
    if (Kind == K::EmptyParents || Kind == K::CreatedKey) {
        int levels = 0, least = Kind == K::CreatedKey ? 0 : 1;
        if (!KeyLetterField(Fields) || !TryStrToInt(Fields[2], levels, false) || levels < least || levels > 32) return false;
    }
    if (Kind == K::PriorValue && !KeyLetterField(Fields)) return false;
    return true;
}

std::vector<std::pair<TLineTarget, std::string>> TLogLine::Places() const
{
    std::vector<std::pair<TLineTarget, std::string>> places;
    const TLineKindInfo& info = Info();
    for (int i = 0; i < info.Places && size_t(i) < Fields.size(); ++i) {
        const std::string& place = Fields[size_t(i)];
        if (info.Target == T::Key)
            places.emplace_back(T::Key, KeyRoot(info.KeyRoot == R::None ? KeyLetterField(Fields) : info.Letter, place));
        else
            places.emplace_back(T::Folder, RootOfPlace(info.Target, place));
    }
    return places;
}

std::string MakeLogLine(TLineKind kind, const std::string& path, const std::vector<std::string>& fields)
{
    std::string line = LineKindInfo(kind).Letter + path;
    for (const std::string& field : fields) line += "|" + field;
    return line;
}

std::string LineNote(const std::string& line)
{
    TLogLine parsed = TLogLine::Parse(line);
    const char* note = parsed.Info().Note;
    if (!note || parsed.Fields.empty()) return std::string();
    std::string text = parsed.Fields[0];
    for (size_t i = 1; i < parsed.Fields.size(); ++i) text += " as " + parsed.Fields[i];
    return note + text;
}

bool IsInstallationPathForm(const std::string& path)
{
    if (path.compare(0, 4, "\\\\.\\") == 0 || path.compare(0, 4, "\\\\?\\") == 0) return false;
    std::string drive = ExtractFileDrive(path);
    if (drive.empty() || path.size() <= drive.size() + 1 || path[drive.size()] != '\\') return false;
    // A drive letter, or a share's server and name that are plain names.
    if (drive.size() == 2 ? !std::isalpha(static_cast<unsigned char>(drive[0])) : drive.find('/') != std::string::npos)
        return false;
    std::string rest = ExcludeDelimiter(path.substr(drive.size() + 1));
    for (size_t start = 0; start <= rest.size();) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos) end = rest.size();
        if (!CheckWindowsName(rest.substr(start, end - start)).empty()) return false;
        start = end + 1;
    }
    return true;
}

bool IsInstallationKeyForm(const std::string& key)
{
    size_t start = key.find_first_not_of('\\');
    if (start == std::string::npos) return false;
    std::string path = "\\" + key.substr(start);
    // Every level named: no empty level that Windows would read as the one above.
    if (path.find("\\\\") != std::string::npos || path.back() == '\\') return false;
    if (!IsInsideFolder(path, "\\Software\\Microsoft")) return true;
    std::string name = path.substr(std::min(path.size(), std::strlen(UninstallRegistryKey)));
    return IsInsideFolder(path, UninstallRegistryKey) && !name.empty() && name.find('\\') == std::string::npos;
}
