#include "FolderBrowser.h"

#include <shlobj.h>

namespace {

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM parameter, LPARAM data)
{
    if (message == BFFM_INITIALIZED) {
        std::string folder = reinterpret_cast<const char*>(data);
        if (!folder.empty() && folder.back() == '\\') folder.pop_back();
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    } else if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(parameter), path))
            SendMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
    }
    return 0;
}

}  // namespace

std::string BrowseForFolder(HWND owner, const std::string& prompt, const std::string& initialFolder)
{
    std::string result = initialFolder;
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator))) return result;
    char displayName[MAX_PATH] = {};
    BROWSEINFOA request{};
    request.hwndOwner = owner;
    request.pszDisplayName = displayName;
    request.lpszTitle = prompt.c_str();
    request.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_NEWDIALOGSTYLE;
    request.lpfn = BrowseCallback;
    request.lParam = reinterpret_cast<LPARAM>(initialFolder.c_str());
    LPITEMIDLIST chosen = SHBrowseForFolderA(&request);
    if (chosen) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(chosen, path)) result = path;
        allocator->Free(chosen);
    }
    allocator->Release();
    return result;
}
