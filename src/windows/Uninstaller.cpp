#include "Uninstaller.h"

#include <shellapi.h>

#include "FileEnumerator.h"
#include "FileSystem.h"
#include "HandleStream.h"
#include "PackageFormat.h"
#include "PathUtils.h"
#include "Registry.h"
#include "TextUtils.h"
#include "UninstallLog.h"

DWORD(WINAPI* TUninstaller::TempPathQuery)(DWORD, LPSTR) = GetTempPathA;

TUninstaller::TUninstaller(const std::string& programPath)
    : FProgramPath(programPath), FProgramFolder(GetProgramFolder(programPath))
{
    FDeferred.push_back(FProgramFolder);
    std::unique_ptr<TStream> stream = THandleStream::OpenRead(FProgramPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    stream->SetPosition(PackageFormat::SetupDataOffsetWord);
    int32_t offset = stream->ReadInt32();
    if (offset > 0) {
        stream->SetPosition(offset);
    } else {
        stream.reset();
        stream = THandleStream::OpenRead(FProgramFolder + "Uninstall.dat", 0);
    }
    TUninstallLog log = ReadUninstallLog(*stream);
    FVersion = log.Version;
    FLines = std::move(log.Lines);
    FProductName = std::move(log.ProductName);
}

bool TUninstaller::Uninstall()
{
    FFailed = false;
    for (auto line = FLines.rbegin(); line != FLines.rend(); ++line) {
        if (line->empty()) continue;
        std::string text = line->substr(1);
        switch ((*line)[0]) {
        case 'F': RemoveFile(text); break;
        case 'D': RemoveFolder(text); break;
        case 'T':
            RemoveFolderFiles(text);
            RemoveFolder(text);
            break;
        case 'U': RemoveRegistryKey(HKEY_CURRENT_USER, text, false); break;
        case 'C': RemoveRegistryKey(HKEY_CLASSES_ROOT, text, false); break;
        case 'M': RemoveRegistryKey(HKEY_LOCAL_MACHINE, text, false); break;
        case '6': RemoveRegistryKey(HKEY_LOCAL_MACHINE, text, true); break;
        default: break;  // E: the folder was there before
        }
    }
    return !FFailed;
}

void TUninstaller::RemoveFile(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(path.c_str())) FFailed = true;
}

void TUninstaller::RemoveFolder(const std::string& path)
{
    // The uninstaller's own folder and its parents cannot go while it runs:
    // the removal script takes them once it has ended.
    if (DirectoryExists(path) && path.size() <= FProgramFolder.size() &&
        SameTextAscii(path, FProgramFolder.substr(0, path.size()))) {
        FDeferred.push_back(path);
        return;
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    if (!RemoveDirectoryA(path.c_str())) FFailed = true;
}

void TUninstaller::RemoveFolderFiles(const std::string& path)
{
    TFileEnumerator files(path + "*.*", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
    while (files.Next()) {
        if (files.HasAttribute(FILE_ATTRIBUTE_DIRECTORY)) continue;
        std::string file = path + files.Name();
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
    }
}

void TUninstaller::RemoveRegistryKey(HKEY root, const std::string& key, bool use64BitView)
{
    TRegistry64 registry(use64BitView);
    registry.RootKey = root;
    registry.DeleteKey(key);
}

std::string BatchPath(const std::string& path) { return ReplaceAll(path, "%", "%%"); }

std::string TUninstaller::WriteRemovalScript()
{
    char buffer[MAX_PATH + 1] = {};
    DWORD length = TempPathQuery(MAX_PATH, buffer);
    std::string folder = length == 0 || length > MAX_PATH ? "C:\\" : std::string(buffer, length);
    std::string script = IncludeDelimiter(folder) + "Uninstall.bat";

    std::string text = ":Repeat\r\n";
    text += "del \"" + BatchPath(FProgramPath) + "\"\r\n";
    text += "if exist \"" + BatchPath(FProgramPath) + "\" goto Repeat\r\n";
    for (const std::string& deferred : FDeferred) text += "rd \"" + BatchPath(ExcludeDelimiter(deferred)) + "\"\r\n";
    text += "del \"" + BatchPath(script) + "\"\r\n";
    {
        std::unique_ptr<THandleStream> file = THandleStream::Create(script);
        file->WriteBuffer(text.data(), text.size());
    }
    // Neither the script nor this process may hold the uninstaller's folder as
    // its working folder, or the script could never remove it.
    SetCurrentDirectoryA(ExtractFilePath(script).c_str());
    ShellExecuteA(nullptr, nullptr, script.c_str(), nullptr, ExtractFilePath(script).c_str(), SW_HIDE);
    return script;
}
