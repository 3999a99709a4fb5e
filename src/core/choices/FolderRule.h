#pragma once
// The one rule for every folder a run writes into, whatever named it: the
// Destination page, the plug-in pages, a switch, a Setup.ini line, an earlier
// installation. This half needs no machine: the form of the text. The Windows
// layer adds what only the machine can tell (the Windows folder, resolved).
#include <cstddef>
#include <string>

enum class TFolderFault {
    None,
    Empty,          // nothing named
    Relative,       // "Rel\\Sub" or "C:Rel": it would land relative to the current folder
    NoDrive,        // "\\X": rooted on whatever drive is current
    NotLocal,       // "\\\\server\\share", "\\\\?\\..." or "\\\\.\\...": a network or device path
    DriveRoot,      // "C:\\" as the product's own folder
    WindowsFolder,  // the Windows folder or a folder inside it
    TooLong,        // the deepest file would have a longer path than Windows allows
};

// The longest path Windows opens without its long-path form, in UTF-16 units.
constexpr size_t WindowsPathLimit = 259;

struct TFolderVerdict {
    TFolderFault Fault = TFolderFault::None;
    // The folder as Windows reads it, with a trailing backslash (see NormalizeFolder).
    std::string Folder;
    // For TooLong: the length the deepest file's path would have.
    size_t DeepestLength = 0;
    bool Ok() const { return Fault == TFolderFault::None; }
};

// The form of `text` as a folder: full, on a drive of this computer, and (for
// the product's own folder) not a drive's root; `deepest` is the length in
// UTF-16 units of the longest path the run writes below it (0 when none), which
// must stay within WindowsPathLimit.
TFolderVerdict CheckFolderForm(const std::string& text, bool ownFolder, size_t deepest);

// The length of a UTF-8 text in UTF-16 units, as Windows counts a path.
size_t Utf16Length(const std::string& text);
