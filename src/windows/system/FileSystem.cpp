#include "FileSystem.h"

#include <sddl.h>

#include <cctype>
#include <cstddef>
#include <cstring>

#include "PathUtils.h"
#include "ProcessText.h"
#include "SystemCalls.h"
#include "TextUtils.h"

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateProtectedFolder(const std::string& path)
{
    // Not inherited (P): administrators and the system full control, users
    // read and run; passed on to everything below.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)",
                                                              SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    bool made = CreateDirectoryA(path.c_str(), &attributes);
    LocalFree(descriptor);
    return made;
}

bool SetLastWriteTimeFromDos(HANDLE file, int32_t dosDateTime)
{
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(WORD(uint32_t(dosDateTime) >> 16), WORD(dosDateTime & 0xFFFF), &local)) return false;
    if (!LocalFileTimeToFileTime(&local, &utc)) return false;
    return SetFileTime(file, nullptr, nullptr, &utc) != 0;
}

namespace {

std::vector<std::string> StampText(DWORD sizeHigh, DWORD sizeLow, const FILETIME& written)
{
    uint64_t size = (uint64_t(sizeHigh) << 32) | sizeLow;
    return {std::to_string(size), UnsignedText(written.dwHighDateTime, 16, 8) + UnsignedText(written.dwLowDateTime, 16, 8)};
}

}  // namespace

std::vector<std::string> FileStamp(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return StampText(data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
}

std::vector<std::string> FileStamp(HANDLE file)
{
    // Size and time alone: the whole file information asks for the volume's
    // serial number too, a round trip to another process under Wine.
    LARGE_INTEGER size{};
    FILETIME written{};
    if (!GetFileSizeEx(file, &size) || !GetFileTime(file, nullptr, nullptr, &written)) return {};
    return StampText(DWORD(uint64_t(size.QuadPart) >> 32), DWORD(size.QuadPart), written);
}

DWORD RenameOpenFile(HANDLE file, const std::string& target, bool replace)
{
    // The name in the form the system's own layer takes: \??\C:\... or \??\UNC\server\share\...
    std::string name;
    if (target.size() > 2 && target[1] == ':' && target[2] == '\\' && std::isalpha(static_cast<unsigned char>(target[0])))
        name = "\\??\\" + target;
    else if (target.size() > 2 && target.compare(0, 2, "\\\\") == 0 && target[2] != '?' && target[2] != '.')
        name = "\\??\\UNC\\" + target.substr(2);
    else
        return ERROR_INVALID_NAME;
    TWideText wide = ToWide(name);
    size_t bytes = (wide.size() - 1) * sizeof(wchar_t);
    std::vector<uint8_t> buffer(offsetof(FILE_RENAME_INFO, FileName) + bytes + sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD(bytes);
    std::memcpy(info->FileName, wide.data(), bytes + sizeof(wchar_t));
    if (SetFileInformationByHandle(file, FileRenameInfo, info, DWORD(buffer.size()))) return 0;
    return GetLastError();
}

namespace {

// A Windows call that fills a wide buffer and returns the length, or the
// size it needs; empty text when it fails.
template <typename Call>
std::string WidePathCall(const std::string& path, Call call)
{
    TWideText wide = ToWide(path);
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    DWORD length = call(wide.data(), buffer.data(), DWORD(buffer.size()));
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = call(wide.data(), buffer.data(), DWORD(buffer.size()));
    }
    return length > 0 && length < buffer.size() ? FromWide(buffer.data(), int(length)) : std::string();
}

}  // namespace

std::string ResolvedPath(const std::string& path)
{
    if (path.empty()) return path;
    std::string resolved = WidePathCall(path, [](const wchar_t* in, wchar_t* out, DWORD size) {
        return GetFullPathNameW(in, size, out, nullptr);
    });
    if (resolved.empty()) resolved = path;
    bool trailing = resolved.back() == '\\';
    std::string bare = trailing && resolved.size() > 3 ? resolved.substr(0, resolved.size() - 1) : resolved;
    // The longest part that exists is made long; the levels below it, which
    // have no short names yet, stay as written.
    std::string tail;
    while (!bare.empty()) {
        std::string longer = WidePathCall(bare, [](const wchar_t* in, wchar_t* out, DWORD size) {
            return GetLongPathNameW(in, out, size);
        });
        if (!longer.empty()) {
            bare = longer;
            break;
        }
        size_t slash = bare.find_last_of('\\');
        if (slash == std::string::npos || slash < 3) break;
        tail = bare.substr(slash) + tail;
        bare.resize(slash);
    }
    std::string result = bare + tail;
    if (trailing && (result.empty() || result.back() != '\\')) result += '\\';
    return result;
}

std::string FileIdentityText(const std::string& path)
{
    // Reading attributes only: a holder that shares nothing does not keep this out.
    HANDLE file = CreateFileW(ToWide(path).data(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    BY_HANDLE_FILE_INFORMATION info{};
    bool got = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!got) return std::string();
    char text[25];
    wsprintfA(text, "%08lX%08lX%08lX", info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
    return text;
}

bool ReachedDirectly(const TLogLine& line, std::vector<TFileHandle>& pins)
{
    const TLineKindInfo& info = line.Info();
    if (info.Target != TLineTarget::File && info.Target != TLineTarget::Folder) return true;
    for (size_t i = 0; i < size_t(info.Places) && i < line.Fields.size(); ++i) {
        // A folder's files are reached through it; anything else through the folder that holds it.
        const std::string& place = line.Fields[i];
        std::string folder = line.Kind == TLineKind::FolderContents ? IncludeDelimiter(place)
                                                                    : ExtractFilePath(ExcludeDelimiter(place));
        if (folder.empty() || !DirectoryExists(folder)) continue;  // nothing there to reach
        pins.emplace_back();
        std::string final = PinFolder(folder, pins.back());
        if (final.empty() || !SameTextAscii(ExcludeDelimiter(final), ExcludeDelimiter(ResolvedPath(folder)))) return false;
        // A file that is a link Windows knows (a reparse point) goes as a
        // link; one that leads elsewhere without saying so is not touched.
        DWORD attributes = GetFileAttributesA(place.c_str());
        if (info.Target == TLineTarget::File && attributes != INVALID_FILE_ATTRIBUTES &&
            !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
            TFileHandle file(CreateFileA(place.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
            if (file.Valid() && !SameTextAscii(FinalPath(file.Get()), ResolvedPath(place))) return false;
        }
    }
    return true;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::string first = FileIdentityText(a), second = FileIdentityText(b);
    if (!first.empty() && !second.empty()) return first == second;
    return SameTextAscii(ResolvedPath(a), ResolvedPath(b));
}

void FlushToDisk(HANDLE file)
{
    if (file != INVALID_HANDLE_VALUE) SystemCalls().Flush(file);
}

std::string FinalPath(HANDLE file)
{
    std::vector<wchar_t> path(MAX_PATH + 1);
    DWORD length = GetFinalPathNameByHandleW(file, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= path.size()) {
        path.resize(length + 1);
        length = GetFinalPathNameByHandleW(file, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    if (length == 0 || length >= path.size()) return std::string();
    std::string text = FromWide(path.data(), int(length));
    if (text.rfind("\\\\?\\UNC\\", 0) == 0) return "\\" + text.substr(7);
    if (text.rfind("\\\\?\\", 0) == 0) return text.substr(4);
    return text;
}

std::string PinFolder(const std::string& folder, TFileHandle& pin)
{
    // Without FILE_SHARE_DELETE nobody renames it, and Windows renames no
    // folder that holds an open one. "C:" alone would be the drive's current
    // folder, not its root.
    std::string name = ExcludeDelimiter(folder);
    if (!name.empty() && name.back() == ':') name += '\\';
    pin.Reset(CreateFileW(ToWide(name).data(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!pin.Valid()) return std::string();
    std::string final = FinalPath(pin.Get());
    if (final.empty()) pin.Reset();
    return final;
}
