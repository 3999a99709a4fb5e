#include "Registry.h"

#include "Messages.h"
#include "PathUtils.h"
#include "ProcessText.h"
#include "SystemCalls.h"
#include "TextUtils.h"

std::string TRegistry::WithoutLeadingBackslash(const std::string& path)
{
    return !path.empty() && path[0] == '\\' ? path.substr(1) : path;
}

bool TRegistry::NamesNoKey(const std::string& path) { return path.find_first_not_of('\\') == std::string::npos; }

HKEY TRegistry::BaseKey(const std::string& path) const
{
    bool relative = path.empty() || path[0] != '\\';
    return relative && FCurrent.Valid() ? FCurrent.Get() : RootKey;
}

TRegKey TRegistry::OpenRawKey(const std::string& path) const
{
    if (NamesNoKey(path)) return TRegKey();
    HKEY key = nullptr;
    if (RegOpenKeyExA(BaseKey(path), WithoutLeadingBackslash(path).c_str(), 0, FAccess, &key) != ERROR_SUCCESS)
        return TRegKey();
    return TRegKey(key);
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate)
{
    // The Win32 calls would hand back the base key itself for an empty name,
    // and every later write would land in the hive's root or the last key opened.
    if (NamesNoKey(path)) return false;
    HKEY key = nullptr;
    std::string sub = WithoutLeadingBackslash(path);
    LONG result = canCreate ? RegCreateKeyExA(BaseKey(path), sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, FAccess,
                                              nullptr, &key, nullptr)
                            : RegOpenKeyExA(BaseKey(path), sub.c_str(), 0, FAccess, &key);
    if (result != ERROR_SUCCESS) return false;
    bool relative = !path.empty() && path[0] != '\\' && FCurrent.Valid();
    FCurrentPath = relative ? FCurrentPath + "\\" + sub : sub;
    FCurrent.Reset(key);
    return true;
}

bool TRegistry::KeyExists(const std::string& path) { return OpenRawKey(path).Valid(); }

template <typename DeleteOne>
bool TRegistry::DeleteTree(const std::string& path, DeleteOne deleteOne)
{
    // Without a name the tree would be the base key's: every subkey of the hive or the current key.
    if (NamesNoKey(path)) return false;
    HKEY base = BaseKey(path);
    TRegKey opened = OpenRawKey(path);
    if (opened.Valid()) {
        TRegKey remembered(FCurrent.Release());
        FCurrent = std::move(opened);
        DWORD count = 0, longest = 0;
        if (RegQueryInfoKeyA(FCurrent.Get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            std::vector<char> name(longest + 1);
            for (DWORD i = count; i-- > 0;) {
                DWORD length = DWORD(name.size());
                if (RegEnumKeyExA(FCurrent.Get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS)
                    DeleteKey(std::string(name.data(), length));
            }
        }
        FCurrent = std::move(remembered);
    }
    return deleteOne(base, WithoutLeadingBackslash(path));
}

bool TRegistry::DeleteKey(const std::string& path)
{
    return DeleteTree(path, [](HKEY base, const std::string& sub) {
        return RegDeleteKeyA(base, sub.c_str()) == ERROR_SUCCESS;
    });
}

std::string TRegistry::ReadString(const std::string& name)
{
    // The wide form: the ANSI one miscounts multi-byte text on some systems
    // and cuts the value short.
    TWideText wideName = ToWide(name);
    DWORD type = 0, size = 0;
    LONG result = RegQueryValueExW(FCurrent.Get(), wideName.data(), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException("Invalid data type for '" + name + "'");
    TWideText value(size / sizeof(wchar_t) + 1, L'\0');
    if (size > 0 && RegQueryValueExW(FCurrent.Get(), wideName.data(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
        return std::string();
    size_t length = size / sizeof(wchar_t);
    while (length > 0 && value[length - 1] == L'\0') --length;
    return FromWide(value.data(), int(length));
}

void TRegistryUndo::Remember(HKEY key, const std::string& name, char letter, const std::string& path)
{
    if (!letter || !FSeen.insert(UpperAscii(std::string(1, letter) + path + "|" + name)).second) return;
    TPrior prior{letter, path, name, false, 0, {}};
    DWORD size = 0;
    prior.Existed = RegQueryValueExA(key, name.c_str(), nullptr, &prior.Type, nullptr, &size) == ERROR_SUCCESS;
    if (prior.Existed) {
        prior.Data.resize(size);
        if (RegQueryValueExA(key, name.c_str(), nullptr, &prior.Type, prior.Data.data(), &size) != ERROR_SUCCESS) return;
        prior.Data.resize(size);
    }
    if (OnFirstWrite) OnFirstWrite(prior);
}

bool PutBackPriorValue(const TLogLine& line)
{
    TKeyRoot root = KeyRootOfLetter(KeyLetterField(line.Fields));
    if (root == TKeyRoot::None) return false;
    TRegistry64 registry(Is64BitView(root));
    registry.RootKey = RootKeyOf(root);
    const std::string& name = line.Fields[2];
    const std::string& data = line.Fields[3];
    // A key the run deleted (a registration it took over) comes back with its values.
    if (!registry.OpenKey(line.Path(), data != "-")) return data == "-";
    if (data == "-") {
        LONG result = RegDeleteValueA(registry.CurrentKey(), name.c_str());
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }
    size_t colon = data.find(':');
    if (colon == std::string::npos || (data.size() - colon - 1) % 2 != 0) return false;
    auto digit = [](char c) { return c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= '0' && c <= '9' ? c - '0' : -1; };
    std::vector<BYTE> bytes;
    for (size_t i = colon + 1; i + 1 < data.size(); i += 2) {
        int high = digit(data[i]), low = digit(data[i + 1]);
        if (high < 0 || low < 0) return false;  // written by this program: nothing but hexadecimal digits
        bytes.push_back(BYTE(high * 16 + low));
    }
    return RegSetValueExA(registry.CurrentKey(), name.c_str(), 0, DWORD(StrToIntDef(data.substr(0, colon), REG_SZ, false)),
                          bytes.data(), DWORD(bytes.size())) == ERROR_SUCCESS;
}

HKEY RootKeyOf(TKeyRoot root)
{
    switch (root) {
    case TKeyRoot::CurrentUser: return HKEY_CURRENT_USER;
    case TKeyRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case TKeyRoot::LocalMachine:
    case TKeyRoot::LocalMachine64: return HKEY_LOCAL_MACHINE;
    default: return nullptr;
    }
}

TKeyRoot KeyRootOf(HKEY rootKey, bool use64BitView)
{
    if (rootKey == HKEY_CURRENT_USER) return TKeyRoot::CurrentUser;
    if (rootKey == HKEY_CLASSES_ROOT) return TKeyRoot::ClassesRoot;
    if (rootKey == HKEY_LOCAL_MACHINE) return use64BitView ? TKeyRoot::LocalMachine64 : TKeyRoot::LocalMachine;
    return TKeyRoot::None;
}

char TRegistry::KeyLetter() const
{
    TKeyRoot root = KeyRootOf(RootKey, (FAccess & KEY_WOW64_64KEY) != 0);
    return root == TKeyRoot::None ? 0 : LineKindInfo(KeyLineKind(root)).Letter;
}

std::string TRegistry::HiveName() const
{
    const char* hive = RootKey == HKEY_LOCAL_MACHINE ? "HKLM" : RootKey == HKEY_CURRENT_USER ? "HKCU"
                       : RootKey == HKEY_CLASSES_ROOT ? "HKCR" : "HKEY";
    return hive + std::string(FAccess & KEY_WOW64_64KEY ? " (64-bit)" : "");
}

void TRegistry::NoteWrite(const std::string& name, const std::string& value) const
{
    if (!Undo || !Undo->OnNote) return;
    Undo->OnNote("registry value " + HiveName() + "\\" +
                 FCurrentPath + "\\" + name + " = " + value);
}

void TRegistry::WriteString(const std::string& name, const std::string& value)
{
    if (Undo) Undo->Remember(FCurrent.Get(), name, KeyLetter(), "\\" + FCurrentPath);
    NoteWrite(name, value);
    if (SystemCalls().SetValue(FCurrent.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD(value.size() + 1)) != ERROR_SUCCESS)
        throw ERegistryException("Failed to set data for '" + name + "'");
}

int32_t TRegistry::ReadInteger(const std::string& name)
{
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(FCurrent.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        throw ERegistryException("Invalid data type for '" + name + "'");
    return int32_t(value);
}

void TRegistry::WriteInteger(const std::string& name, int32_t value)
{
    if (Undo) Undo->Remember(FCurrent.Get(), name, KeyLetter(), "\\" + FCurrentPath);
    NoteWrite(name, std::to_string(value));
    DWORD data = DWORD(value);
    if (SystemCalls().SetValue(FCurrent.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof data) != ERROR_SUCCESS)
        throw ERegistryException("Failed to set data for '" + name + "'");
}

bool TRegistry::ValueExists(const std::string& name)
{
    return RegQueryValueExA(FCurrent.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void TRegistry::RememberValue(TRegistryUndo* undo, const std::string& name) const
{
    if (undo) undo->Remember(FCurrent.Get(), name, KeyLetter(), "\\" + FCurrentPath);
}

void TRegistry::RememberValues(TRegistryUndo* undo) const
{
    if (!undo) return;
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD length = sizeof name;
        if (RegEnumValueA(FCurrent.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    for (const std::string& name : names) RememberValue(undo, name);
}

bool TRegistry::DeleteValue(const std::string& name)
{
    return RegDeleteValueA(FCurrent.Get(), name.c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> TRegistry::GetKeyNames()
{
    std::vector<std::string> names;
    DWORD count = 0, longest = 0;
    if (!FCurrent.Valid() || RegQueryInfoKeyA(FCurrent.Get(), nullptr, nullptr, nullptr, &count, &longest, nullptr,
                                              nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::vector<char> name(longest + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = DWORD(name.size());
        if (RegEnumKeyExA(FCurrent.Get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            names.emplace_back(name.data(), length);
    }
    return names;
}

bool TRegistry::IsEmptyKey()
{
    DWORD keys = 0, values = 0;
    return FCurrent.Valid() &&
           RegQueryInfoKeyA(FCurrent.Get(), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           keys == 0 && values == 0;
}

TRegistry64::TRegistry64(bool use64BitView) : TRegistry(KEY_ALL_ACCESS | (use64BitView ? KEY_WOW64_64KEY : 0)) {}

bool TRegistry64::DeleteKey(const std::string& path)
{
    if (!(FAccess & KEY_WOW64_64KEY)) return TRegistry::DeleteKey(path);
    TRegDeleteKeyEx deleteKeyEx = SystemCalls().FindRegDeleteKeyEx();
    if (!deleteKeyEx) return false;
    return DeleteTree(path, [deleteKeyEx](HKEY base, const std::string& sub) {
        return deleteKeyEx(base, sub.c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;
    });
}
