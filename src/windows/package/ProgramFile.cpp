#include "ProgramFile.h"

#include <windows.h>

#include <vector>

#include "HandleStream.h"
#include "PackageFormat.h"

std::string ModuleFileName()
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::string GetProgramFolder(const std::string& programPath)
{
    size_t slash = programPath.find_last_of("\\/:");
    std::string folder = slash == std::string::npos ? std::string() : programPath.substr(0, slash + 1);
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

int32_t ReadProgramWord(const std::string& programPath, int64_t offset)
{
    auto file = THandleStream::OpenRead(programPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    file->SetPosition(offset);
    return file->ReadInt32();
}

bool IsUninstallerMode(const std::string& programPath)
{
    return ReadProgramWord(programPath, PackageFormat::UninstallerModeWord) == 1;
}
