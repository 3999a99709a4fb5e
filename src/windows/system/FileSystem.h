#pragma once
// File-system queries and changes the installer and uninstaller share.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LogLine.h"
#include "WinHandle.h"

bool FileExists(const std::string& path);       // a file, not a folder
bool DirectoryExists(const std::string& path);  // a folder
// Makes a folder with the rights of Program Files (administrators and the
// system may change it, users only read and run what it holds) instead of
// its parent's: what an installation for everyone keeps there cannot be
// replaced by a program without rights. True when it was made.
bool CreateProtectedFolder(const std::string& path);
// Sets a file's last-write time from a DOS date-time read as local time;
// creation and access times stay.
bool SetLastWriteTimeFromDos(HANDLE file, int32_t dosDateTime);
// A file's size and last-write time as the uninstall log keeps them (decimal
// bytes, the time as 16 hexadecimal digits); empty when there is no such file.
std::vector<std::string> FileStamp(const std::string& path);
// The same of a file open as `file`; empty when Windows cannot tell.
std::vector<std::string> FileStamp(HANDLE file);
// Renames the file open as `file` (opened with DELETE access) to the full
// path `target`, over a file there only when `replace`: one request to the
// system, where a rename by name opens the file again first. Returns the
// Windows error, 0 when it went; ERROR_INVALID_NAME for a path that is not a
// full one (a drive's or a share's).
DWORD RenameOpenFile(HANDLE file, const std::string& target, bool replace);
// A path as Windows resolves it: made full against the current folder, "."
// and ".." levels resolved, and the short (8.3) names of the levels that
// exist made long; a trailing backslash stays.
std::string ResolvedPath(const std::string& path);
// The identity Windows gives a file (volume serial number and file index, as
// 24 hexadecimal digits); empty when it cannot be opened even to read its
// attributes. A file renamed keeps it; a new file under the old name has another.
std::string FileIdentityText(const std::string& path);
// The path Windows gives what the handle names, once every link and
// junction on the way was followed, in the usual form (C:\..., \\server\...);
// empty when it cannot tell.
std::string FinalPath(HANDLE file);
// Opens the folder so that neither it nor a folder above it can be renamed,
// removed or swapped for a link while `pin` holds it, and returns where it
// leads (FinalPath); empty, with nothing held, when it cannot be opened.
std::string PinFolder(const std::string& folder, TFileHandle& pin);
// Opens the folders the line's step reaches into (see PinFolder) and tells
// whether each is where its path says, with no link or junction on the way;
// `pins` holds them until the step is taken. A folder or file that is itself
// a link goes as a link: removing one never follows it.
bool ReachedDirectly(const TLogLine& line, std::vector<TFileHandle>& pins);
// Whether two paths name the same file, by the volume and file index Windows
// gives it (so an 8.3 name, another letter case or another spelling of the
// drive still match); when either cannot be opened, by their resolved paths.
bool SameFile(const std::string& a, const std::string& b);
// Writes what the file's handle holds through to the disk: a power cut after
// this keeps it.
void FlushToDisk(HANDLE file);
