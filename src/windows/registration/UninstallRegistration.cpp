#include "UninstallRegistration.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "Exception.h"
#include "FileSystem.h"
#include "InstallScope.h"
#include "PathUtils.h"
#include "ProgramFile.h"
#include "Registry.h"
#include "TextUtils.h"

std::string RegistrationLine(TInstallScope scope, const std::string& keyName)
{
    return MakeLogLine(ScopeKeyKind(scope), UninstallRegistryKey + keyName);
}

namespace {

// The key name a line records as a registration below the scope's root, or
// below either root without a scope.
std::string RegistrationNameIn(const std::string& line, std::optional<TInstallScope> scope)
{
    TLogLine parsed = TLogLine::Parse(line);
    bool registrationKind = !scope ? parsed.Kind == TLineKind::CurrentUserKey || parsed.Kind == TLineKind::LocalMachineKey
                                   : parsed.Kind == ScopeKeyKind(*scope);
    if (!registrationKind || !parsed.WellFormed()) return std::string();
    return RegistrationNameOfKey(parsed.Path());
}

}  // namespace

bool IsRegistrationPriorValue(const TLogLine& line)
{
    return line.Kind == TLineKind::PriorValue && IsInsideFolder(line.Path(), UninstallRegistryKey);
}

std::string RegistrationNameOfKey(std::string key)
{
    if (key.empty() || key[0] != '\\') key = "\\" + key;
    size_t prefix = std::strlen(UninstallRegistryKey);
    if (key.size() <= prefix || !SameTextAscii(key.substr(0, prefix), UninstallRegistryKey)) return std::string();
    std::string name = key.substr(prefix);
    return name.find('\\') == std::string::npos ? name : std::string();
}

std::string RegistrationKeyName(TInstallScope scope, const std::string& line) { return RegistrationNameIn(line, scope); }

bool RemoveEmptyRegistration(TInstallScope scope, const std::string& line)
{
    std::string name = RegistrationKeyName(scope, line);
    if (name.empty()) return false;
    TRegistry registry;
    registry.RootKey = ScopeRoot(scope);
    if (!registry.OpenKey(UninstallRegistryKey + name, false) || !registry.IsEmptyKey()) return false;
    registry.CloseKey();
    return registry.DeleteKey(UninstallRegistryKey + name);
}

namespace {

bool NamesUninstaller(TRegistry& registry, const std::string& keyName, const std::string& uninstallerPath)
{
    // Somebody else's registration with a value of another type is passed over.
    try {
        if (!registry.OpenKey(UninstallRegistryKey + keyName, false)) return false;
        std::string named = Unquoted(registry.ReadString(RegistrationValue::UninstallString));
        return !named.empty() && SameFile(named, uninstallerPath);
    } catch (const Exception&) {
        return false;
    }
}

}  // namespace

namespace {

std::string FindRegistrationIn(HKEY root, const std::string& uninstallerPath, const std::vector<std::string>& logLines)
{
    TRegistry registry(KEY_READ);
    registry.RootKey = root;
    std::vector<std::string> named;
    // The names the log records are tried first; they are only a guess.
    for (const std::string& line : logLines) {
        std::string name = RegistrationNameIn(line, std::nullopt);
        if (!name.empty()) named.push_back(name);
    }
    for (auto name = named.rbegin(); name != named.rend(); ++name)
        if (NamesUninstaller(registry, *name, uninstallerPath)) return *name;
    if (!registry.OpenKey(UninstallRegistryKey, false)) return std::string();
    for (const std::string& name : registry.GetKeyNames())
        if (NamesUninstaller(registry, name, uninstallerPath)) return name;
    return std::string();
}

}  // namespace

std::string FindRegistration(TInstallScope scope, const std::string& uninstallerPath,
                             const std::vector<std::string>& logLines)
{
    return FindRegistrationIn(ScopeRoot(scope), uninstallerPath, logLines);
}

std::vector<std::string> RegistrationsNaming(TInstallScope scope, const std::string& uninstallerPath)
{
    std::vector<std::string> names;
    TRegistry registry(KEY_READ);
    registry.RootKey = ScopeRoot(scope);
    if (!registry.OpenKey(UninstallRegistryKey, false)) return names;
    for (const std::string& name : registry.GetKeyNames())
        if (NamesUninstaller(registry, name, uninstallerPath)) names.push_back(name);
    return names;
}

TRegistrationScope RegistrationScope(const std::string& uninstallerPath, const std::vector<std::string>& logLines)
{
    if (!FindRegistrationIn(HKEY_LOCAL_MACHINE, uninstallerPath, logLines).empty()) return TRegistrationScope::Everyone;
    if (!FindRegistrationIn(HKEY_CURRENT_USER, uninstallerPath, logLines).empty()) return TRegistrationScope::OneUser;
    return TRegistrationScope::None;
}

TInstallScope InstallationScope(const std::string& uninstallerPath, const std::vector<std::string>& logLines)
{
    TRegistrationScope registered = RegistrationScope(uninstallerPath, logLines);
    bool oneUser = registered == TRegistrationScope::None ? IsOneUserLog(logLines) : registered == TRegistrationScope::OneUser;
    return oneUser ? TInstallScope::OneUser : TInstallScope::Everyone;
}

std::vector<TRegistrationEntry> AllRegistrations(TInstallScope scope)
{
    std::vector<TRegistrationEntry> entries;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        if (root == HKEY_CURRENT_USER && scope != TInstallScope::OneUser) break;
        TRegistry registry(KEY_READ);
        registry.RootKey = root;
        if (!registry.OpenKey(UninstallRegistryKey, false)) continue;
        for (const std::string& name : registry.GetKeyNames()) {
            TRegistrationEntry entry{name, std::string(), std::string(), std::string()};
            try {
                if (!registry.OpenKey(UninstallRegistryKey + name, false)) continue;
                entry.Uninstaller = Unquoted(registry.ReadString(RegistrationValue::UninstallString));
            } catch (const Exception&) {
                continue;
            }
            try {
                entry.DisplayName = registry.ReadString(RegistrationValue::DisplayName);
            } catch (const Exception&) {
                // A name that is no text is no name.
            }
            try {
                entry.LogDigest = registry.ReadString(RegistrationValue::LogDigest);
            } catch (const Exception&) {
                entry.LogDigest = "-";  // a digest that is no text matches no log
            }
            entries.push_back(entry);
        }
    }
    return entries;
}

std::string RegisteredText(TInstallScope scope, const std::string& keyName, const char* valueName)
{
    TRegistry registry(KEY_READ);
    registry.RootKey = ScopeRoot(scope);
    try {
        if (!keyName.empty() && registry.OpenKey(UninstallRegistryKey + keyName, false))
            return registry.ReadString(valueName);
    } catch (const Exception&) {
        // A value of another type is no text.
    }
    return std::string();
}

std::string FreeRegistrationKey(TInstallScope scope, const std::string& uninstallerPath, const std::string& keyName)
{
    TRegistry registry(KEY_READ);
    registry.RootKey = ScopeRoot(scope);
    for (int number = 1; number < 100; ++number) {
        std::string name = number == 1 ? keyName : keyName + " (" + std::to_string(number) + ")";
        if (!registry.KeyExists(UninstallRegistryKey + name) || NamesUninstaller(registry, name, uninstallerPath))
            return name;
        std::string named;
        try {
            if (registry.OpenKey(UninstallRegistryKey + name, false))
                named = Unquoted(registry.ReadString(RegistrationValue::UninstallString));
        } catch (const Exception&) {
        }
        // An entry whose uninstaller is gone belongs to nobody: it is taken over.
        if (named.empty() || !FileExists(named)) return name;
    }
    return keyName;
}

bool ReadRegisteredRoots(TInstallScope scope, const std::string& keyName, TInstallationRoots& roots)
{
    TRegistry registry(KEY_READ);
    registry.RootKey = ScopeRoot(scope);
    try {
        if (keyName.empty() || !registry.OpenKey(UninstallRegistryKey + keyName, false)) return false;
        // Both or none: a run ended between the two writes of its first roots
        // is judged as one that had none yet (its lines so far lie in its own
        // folder and its registration). Later writes only widen what is there.
        if (!registry.ValueExists(RegistrationValue::InstallFolders) || !registry.ValueExists(RegistrationValue::InstallKeys))
            return false;
        roots.Folders = TInstallationRoots::Split(registry.ReadString(RegistrationValue::InstallFolders));
        roots.Keys = TInstallationRoots::Split(registry.ReadString(RegistrationValue::InstallKeys));
        return true;
    } catch (const Exception&) {
        return false;
    }
}

bool WriteRegisteredRoots(TInstallScope scope, const std::string& keyName, const TInstallationRoots& roots,
                          TRegistryUndo* undo)
{
    try {
        TRegistry registry;
        registry.RootKey = ScopeRoot(scope);
        if (!registry.OpenKey(UninstallRegistryKey + keyName, false)) return false;
        registry.RememberValue(undo, RegistrationValue::InstallFolders);
        registry.RememberValue(undo, RegistrationValue::InstallKeys);
        registry.WriteString(RegistrationValue::InstallFolders, TInstallationRoots::Joined(roots.Folders));
        registry.WriteString(RegistrationValue::InstallKeys, TInstallationRoots::Joined(roots.Keys));
        return true;
    } catch (const Exception&) {
        return false;
    }
}

TInstallationRoots UninstallerRoots(TInstallScope scope, const std::string& uninstallerPath,
                                    const std::vector<std::string>& logLines, const std::string& logDigest,
                                    bool* distrusted)
{
    std::string name = FindRegistration(scope, uninstallerPath, logLines);
    std::string digest = RegisteredText(scope, name, RegistrationValue::LogDigest);
    bool changed = !digest.empty() && !SameTextAscii(digest, logDigest);
    if (distrusted) *distrusted = changed;
    TInstallationRoots roots;
    if (!changed && ReadRegisteredRoots(scope, name, roots)) return roots;
    roots = TInstallationRoots();
    roots.Folders.push_back(GetProgramFolder(ResolvedPath(uninstallerPath)));
    if (!name.empty()) ExtendRoots(roots, {RegistrationLine(scope, name)});
    if (changed) return roots;
    // A run ended while it registered anew under another name: until it had
    // written the new registration whole, the earlier one keeps the roots.
    for (const std::string& earlier : RegistrationsNaming(scope, uninstallerPath)) {
        TInstallationRoots kept;
        if (SameTextAscii(earlier, name) || !ReadRegisteredRoots(scope, earlier, kept)) continue;
        roots.Folders.insert(roots.Folders.end(), kept.Folders.begin(), kept.Folders.end());
        roots.Keys.insert(roots.Keys.end(), kept.Keys.begin(), kept.Keys.end());
        ExtendRoots(roots, {RegistrationLine(scope, earlier)});
    }
    return roots;
}

void DropEarlierRegistrations(TInstallScope scope, const std::string& uninstallerPath, const std::string& keyName,
                              TRegistryUndo* undo)
{
    TRegistry registry;
    registry.RootKey = ScopeRoot(scope);
    for (const std::string& name : RegistrationsNaming(scope, uninstallerPath)) {
        if (SameTextAscii(name, keyName) || !registry.OpenKey(UninstallRegistryKey + name, false)) continue;
        registry.RememberValues(undo);
        registry.CloseKey();
        registry.DeleteKey(UninstallRegistryKey + name);
    }
}

void ForgetLogDigest(TInstallScope scope, const std::string& uninstallerPath, TRegistryUndo* undo)
{
    TRegistry registry;
    registry.RootKey = ScopeRoot(scope);
    if (!registry.OpenKey(UninstallRegistryKey, false)) return;
    for (const std::string& name : registry.GetKeyNames()) {
        if (!NamesUninstaller(registry, name, uninstallerPath) || !registry.ValueExists(RegistrationValue::LogDigest))
            continue;
        registry.RememberValue(undo, RegistrationValue::LogDigest);
        registry.DeleteValue(RegistrationValue::LogDigest);
    }
}

void WriteLogDigest(TInstallScope scope, const std::string& keyName, const std::string& digest, TRegistryUndo* undo)
{
    try {
        TRegistry registry;
        registry.RootKey = ScopeRoot(scope);
        if (!registry.OpenKey(UninstallRegistryKey + keyName, false)) return;
        registry.RememberValue(undo, RegistrationValue::LogDigest);
        registry.WriteString(RegistrationValue::LogDigest, digest);
    } catch (const Exception&) {
        // Without it the log is judged by its roots alone, as an earlier version's is.
    }
}

void RegisterUninstaller(TInstallScope scope, const std::string& uninstallerPath, const std::string& keyName,
                         const std::string& displayName, const std::vector<TRegistrationValue>& values,
                         TRegistryUndo* undo)
{
    TRegistry registry;
    registry.RootKey = ScopeRoot(scope);
    try {
        if (registry.OpenKey(UninstallRegistryKey + keyName, true)) {
            // Quoted, so that Windows never runs "C:\Program.exe" for a path with
            // blanks. First: a run ended after any later value leaves an entry
            // that its uninstaller finds and removes, never a name in the list
            // of installed programs that nothing can remove.
            auto write = [&](const std::string& name, const std::string& text) {
                registry.RememberValue(undo, name);
                registry.WriteString(name, text);
            };
            write(RegistrationValue::UninstallString, "\"" + uninstallerPath + "\"");
            write(RegistrationValue::DisplayName, displayName);
            for (const TRegistrationValue& value : values) {
                if (value.Number) {
                    registry.RememberValue(undo, value.Name);
                    registry.WriteInteger(value.Name, StrToIntDef(value.Text, 0, false));
                } else if (!value.Text.empty()) {
                    write(value.Name, value.Text);
                }
            }
        }
    } catch (const Exception&) {
    }
}
