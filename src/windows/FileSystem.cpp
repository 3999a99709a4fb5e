#include "FileSystem.h"

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
