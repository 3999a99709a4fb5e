#pragma once
// Registry access: a root key, a current key, one access mask for every key
// opened or created. Paths that start with "\" are absolute (from the root key);
// others are relative to the current key when one is open. A path without a key
// name ("" or only backslashes) names no key: it is never opened, created,
// found or deleted, so nothing reaches the root key or the current key by it.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Exception.h"
#include "LogLine.h"
#include "WinHandle.h"

// A value of another type than asked for, or a value that cannot be written.
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// Registry values as they were before a run wrote them: a failed run puts
// them back, last written first.
class TRegistryUndo {
public:
    // `letter` and `path`: the key as a log line names it (U, C, M or 6, and
    // the path below the root). A key of no such root is not remembered.
    void Remember(HKEY key, const std::string& name, char letter, const std::string& path);
    // A value as it was before the run first wrote it.
    struct TPrior {
        char Letter = 0;
        std::string Key, Name;
        bool Existed = false;
        DWORD Type = 0;
        std::vector<BYTE> Data;
    };
    // Told of each value the run is about to write for the first time, as it
    // was, before it is written: where the run keeps it on disk, a kill
    // between two values still knows what the first one replaced.
    std::function<void(const TPrior&)> OnFirstWrite;
    // Told of every value written while it is the undo ("HKLM\\Key\\Name = value").
    std::function<void(const std::string&)> OnNote;
    // The run has ended: the next one finds every value anew.
    void Forget() { FSeen.clear(); }

private:
    std::set<std::string> FSeen;  // letter, key and name of each value remembered, as UpperAscii
};

class TRegistry {
public:
    // Where every value this object writes is remembered first, while a run
    // may still fail; none for registry objects outside a run.
    TRegistryUndo* Undo = nullptr;

    TRegistry() = default;
    explicit TRegistry(REGSAM access) : FAccess(access) {}
    virtual ~TRegistry() = default;
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey = HKEY_CURRENT_USER;
    REGSAM Access() const { return FAccess; }
    HKEY CurrentKey() const { return FCurrent.Get(); }

    // Opens (or with canCreate creates) a key and makes it the current key.
    bool OpenKey(const std::string& path, bool canCreate);
    void CloseKey() { FCurrent.Reset(); }
    bool KeyExists(const std::string& path);
    // Deletes the key with all its subkeys; true when the key itself went.
    virtual bool DeleteKey(const std::string& path);

    // Values of the current key. A missing string reads as empty text; a value
    // of another type raises ERegistryException.
    std::string ReadString(const std::string& name);
    void WriteString(const std::string& name, const std::string& value);
    int32_t ReadInteger(const std::string& name);
    void WriteInteger(const std::string& name, int32_t value);
    bool ValueExists(const std::string& name);
    bool DeleteValue(const std::string& name);
    std::vector<std::string> GetKeyNames();
    // The current key holds neither a subkey nor a value (false when none is open).
    bool IsEmptyKey();
    // Tells `undo` (when there is one) of a value of the current key before
    // it is written or deleted, or of each of its values before the key goes,
    // as Undo is told of a write; the run's log hears nothing of it.
    void RememberValue(TRegistryUndo* undo, const std::string& name) const;
    void RememberValues(TRegistryUndo* undo) const;

protected:
    // The key a path starts from: the current key for a relative path when one
    // is open, else the root key.
    HKEY BaseKey(const std::string& path) const;
    static std::string WithoutLeadingBackslash(const std::string& path);
    // Whether a path is empty or only backslashes.
    static bool NamesNoKey(const std::string& path);
    // Opens a key with the access mask without making it current.
    TRegKey OpenRawKey(const std::string& path) const;
    // Deletes the subkeys of `path` from the last index down, then the key
    // itself with `deleteOne`.
    template <typename DeleteOne>
    bool DeleteTree(const std::string& path, DeleteOne deleteOne);

    // "HKLM", "HKCU (64-bit)", ...: the root and view, for the run's log.
    std::string HiveName() const;
    // The letter of the log's key lines for the root and view (0 for another root).
    char KeyLetter() const;
    // Tells the undo's listener of a value written to the current key.
    void NoteWrite(const std::string& name, const std::string& value) const;

    REGSAM FAccess = KEY_ALL_ACCESS;
    TRegKey FCurrent;
    std::string FCurrentPath;  // as opened, for the run's log
};

// TRegistry whose keys all live in the 64-bit view when asked for at
// construction; key deletion then goes through RegDeleteKeyExA.
class TRegistry64 : public TRegistry {
public:
    explicit TRegistry64(bool use64BitView);
    bool DeleteKey(const std::string& path) override;

};

// The root key and view of a log's key lines (the table of line kinds says
// which root each letter names), and back; None for another root.
HKEY RootKeyOf(TKeyRoot root);
inline bool Is64BitView(TKeyRoot root) { return root == TKeyRoot::LocalMachine64; }
TKeyRoot KeyRootOf(HKEY rootKey, bool use64BitView);

// Puts a value back as a V line of a log keeps it (its data, or "-": it was
// not there); false when that could not be done.
bool PutBackPriorValue(const TLogLine& line);
