#include "ShellLinks.h"

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include "Exception.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "Registry.h"
#include "TextUtils.h"

namespace {

// A COM interface pointer owned for its scope.
template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr()
    {
        if (FPointer) FPointer->Release();
    }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    T* operator->() const { return FPointer; }
    T* Get() const { return FPointer; }
    void** Out() { return reinterpret_cast<void**>(&FPointer); }

private:
    T* FPointer = nullptr;
};

bool CreateLinkObject(TComPtr<IShellLinkA>& link, TComPtr<IPersistFile>& file)
{
    return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out())) &&
           SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Out()));
}

}  // namespace

void GetAssociatedIcon(const std::string& target, std::string& iconFile, int& iconIndex)
{
    iconFile = target;
    iconIndex = 0;
    std::string extension = ExtractFileExt(target);
    if (SameTextAscii(extension, ".ico") || SameTextAscii(extension, ".exe")) return;
    try {
        TRegistry registry(KEY_READ);
        registry.RootKey = HKEY_CLASSES_ROOT;
        if (!registry.OpenKey("\\" + extension, false)) return;
        std::string fileType = registry.ReadString("");
        registry.CloseKey();
        if (!registry.OpenKey("\\" + fileType + "\\DefaultIcon", false)) return;
        std::string icon = Trim(registry.ReadString(""));
        iconFile = icon;
        std::string head, tail;
        if (SplitText(icon, ',', head, tail)) {
            int32_t index;
            if (!TryStrToInt(Trim(tail), index, true)) return;
            iconIndex = index;
            iconFile = head;
        }
    } catch (const Exception&) {
    }
}

void CreateShellLink(const std::string& shortcutFile, const std::string& target, const std::string& arguments,
                     int iconIndex)
{
    std::string iconFile = target;
    if (iconIndex == 0) GetAssociatedIcon(target, iconFile, iconIndex);
    TComPtr<IShellLinkA> link;
    TComPtr<IPersistFile> file;
    if (!CreateLinkObject(link, file)) throw ESetupError("The shell's link object is not available");
    link->SetPath(target.c_str());
    if (!arguments.empty()) link->SetArguments(arguments.c_str());
    link->SetWorkingDirectory(ExtractFilePath(target).c_str());
    link->SetIconLocation(iconFile.c_str(), iconIndex);
    file->Save(ToWide(shortcutFile).data(), TRUE);
}

bool ReadShellLink(const std::string& shortcutFile, std::string& target, std::string& arguments)
{
    TComPtr<IShellLinkA> link;
    TComPtr<IPersistFile> file;
    if (!CreateLinkObject(link, file)) return false;
    if (FAILED(file->Load(ToWide(shortcutFile).data(), STGM_READ))) return false;
    char path[MAX_PATH] = {}, args[MAX_PATH] = {};
    if (FAILED(link->GetPath(path, MAX_PATH, nullptr, 0))) return false;
    if (FAILED(link->GetArguments(args, MAX_PATH))) return false;
    target = path;
    arguments = args;
    return true;
}
