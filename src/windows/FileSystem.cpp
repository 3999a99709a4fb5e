#include "FileSystem.h"

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
