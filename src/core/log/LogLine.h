#pragma once
// The lines of the uninstall log and of a run's journal: one kind letter, then
// the item's text. One table says, for every kind, its letter, what its fields
// name (files, folders or registry keys), how many there are, whether the
// finished uninstaller keeps it, whether the journal must reach the disk before
// its step, and how the run's log names it. Every reader of a log goes through
// this table: a line of a kind it does not know, with fields it does not
// expect, or naming a place outside the installation's roots is never obeyed.
#include <string>
#include <vector>

// Numbered as the log's first eight letters F, D, T, U, C, M, E, 6; the kinds
// after them are notes only this program's uninstaller acts on.
enum class TLineKind : int {
    File = 0,               // F<file>: a file the installation wrote
    Folder = 1,             // D<folder\>: a folder it created
    FolderContents = 2,     // T<folder\>: a folder whose files all go on removal
    CurrentUserKey = 3,     // U<key>: HKEY_CURRENT_USER key
    ClassesRootKey = 4,     // C<key>: HKEY_CLASSES_ROOT key
    LocalMachineKey = 5,    // M<key>: HKEY_LOCAL_MACHINE key, default view
    ExistingFolder = 6,     // E<folder\>: a folder that existed before
    LocalMachine64Key = 7,  // 6<key>: HKEY_LOCAL_MACHINE key, 64-bit view
    Stamp,                  // S<file>|<size>|<last-write time>: the file as installed
    Backup,                 // B<file>|<copy>: somebody's file that was there before, kept as <copy>
    Shared,                 // H<file or folder>: the installation holds one of its shared references
    Partial,                // P<file>: written while the run went on; removed when there, never missed
    Name,                   // N<product name>: the name, in a log written as the run goes
    Aside,                  // R<file>|<copy>: the product's earlier file, kept only until the run has ended
    Sharing,                // Q<file or folder>|<count before>: about to take a shared reference
    EmptyParents,           // K<key>|<key letter>|<levels>: levels above a recorded key the run created
    PriorValue,             // V<key>|<key letter>|<name>|<type>:<hex data>, or "-": a value as it was before
    OneUser,                // O<user name>: the installation is for that user alone (HKEY_CURRENT_USER)
    CreatedKey,             // X<key>|<key letter>|<levels>: the run created the key and that many levels above it
    Language,               // L<tag>: the language the installation was made in
    Wording,                // W<name>=<text>: a text of the uninstaller's in that language, "\n" for a line break
    Unknown
};

// What the fields of a line name.
enum class TLineTarget { None, File, Folder, Key };
// The registry root and view of the key a key line names (U, C, M, 6); None
// for every other kind, also for K, V and X lines, which name theirs by letter.
enum class TKeyRoot { None, CurrentUser, ClassesRoot, LocalMachine, LocalMachine64 };

struct TLineKindInfo {
    TLineKind Kind;
    char Letter;
    TLineTarget Target;
    TKeyRoot KeyRoot;
    // The number of "|"-separated fields; 1 takes the whole text as one field
    // (a key or a name may hold a "|").
    int Fields;
    // How many leading fields name a place of the target kind; the others
    // are data (a stamp's size and time).
    int Places;
    // Whether its places count as where the installation wrote (its roots).
    bool Root;
    // Whether the finished uninstaller keeps it; notes that matter only while
    // a run goes on stay out.
    bool Finished;
    // Whether the journal reaches the disk before the step it announces: the
    // steps that replace or move something that was there before.
    bool Flush;
    // How the run's log names it, before its fields.
    const char* Note;
};

// The table, one row per kind in the order of TLineKind (less Unknown).
const std::vector<TLineKindInfo>& LineKinds();
const TLineKindInfo& LineKindInfo(TLineKind kind);
// The kind of a letter; Unknown for any letter the table does not hold.
TLineKind LineKindOf(char letter);

// The key kind letter (U, C, M or 6) a K, V or X line names in its second field, or 0.
char KeyLetterField(const std::vector<std::string>& fields);
// The root and view of the key lines of that letter; None for any other letter.
TKeyRoot KeyRootOfLetter(char letter);
// The kind of the key lines below that root and view (Unknown for None).
TLineKind KeyLineKind(TKeyRoot root);

// A line taken apart by the table.
struct TLogLine {
    TLineKind Kind = TLineKind::Unknown;
    std::vector<std::string> Fields;

    // Unknown, with no fields, for an empty line or a letter the table lacks;
    // fields split as the kind's row says.
    static TLogLine Parse(const std::string& line);
    // The first field: the file, folder, key or name the line is about.
    const std::string& Path() const;
    const TLineKindInfo& Info() const { return LineKindInfo(Kind); }
    // Whether the table knows the kind, the line has its fields and every
    // place in it has the form an installation writes: a full path on a
    // drive or share of plain names, not a drive's root; a named key, nothing
    // of Windows' own below Software\Microsoft but one uninstall registration.
    bool WellFormed() const;
    // Each place the line acts on, as a root of its kind: a file's folder, a
    // folder, a key with its root letter first ("M\\Software\\Maker").
    std::vector<std::pair<TLineTarget, std::string>> Places() const;
};

// A line of that kind: the letter, then the fields joined by "|".
std::string MakeLogLine(TLineKind kind, const std::string& path, const std::vector<std::string>& fields = {});
// The run log's words for a line ("file C:\\X\\a.dll"); empty for kinds the
// run log does not list.
std::string LineNote(const std::string& line);

// The key below HKEY_LOCAL_MACHINE that holds the Windows uninstall registrations.
extern const char UninstallRegistryKey[];

// The path forms an installation writes (see TLogLine::WellFormed).
bool IsInstallationPathForm(const std::string& path);
bool IsInstallationKeyForm(const std::string& key);
