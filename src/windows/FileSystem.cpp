#include "FileSystem.h"

#include "PathUtils.h"
#include "ProcessText.h"
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

bool SetLastWriteTimeFromDos(HANDLE file, int32_t dosDateTime)
{
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(WORD(uint32_t(dosDateTime) >> 16), WORD(dosDateTime & 0xFFFF), &local)) return false;
    if (!LocalFileTimeToFileTime(&local, &utc)) return false;
    return SetFileTime(file, nullptr, nullptr, &utc) != 0;
}

std::vector<std::string> FileStamp(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    uint64_t size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    std::string time = UnsignedText(data.ftLastWriteTime.dwHighDateTime, 16, 8) +
                       UnsignedText(data.ftLastWriteTime.dwLowDateTime, 16, 8);
    return {std::to_string(size), time};
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

bool SameFile(const std::string& a, const std::string& b)
{
    std::string first = FileIdentityText(a), second = FileIdentityText(b);
    if (!first.empty() && !second.empty()) return first == second;
    return SameTextAscii(ResolvedPath(a), ResolvedPath(b));
}

void FlushToDisk(HANDLE file)
{
    if (file != INVALID_HANDLE_VALUE) FlushFileBuffers(file);
}
