#pragma once
// Files and folders for the Windows tests: each test works in a folder of its
// own under the temporary folder and removes it afterwards.
#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// Every request for administrator rights a test makes (RunElevated), with
// its arguments: none starts a program. The request would start the test
// program itself again, with every test in it.
extern std::vector<std::vector<std::string>> ElevationRequests;
// What a played request returns: -1 (the user said No), or an exit code.
extern int ElevationAnswer;

// A Linux path handed over by CTest ("/work/...") as Wine sees it ("Z:\work\...").
std::string WindowsPath(const std::string& path);

std::vector<uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
// Writes a file and holds it open without sharing, as a running host holds a
// plug-in: writing it fails until the handle is closed.
HANDLE LockFile(const std::string& path);
// Waits, bounded, until nothing is at the path any more; false on time-out.
bool GoneWithin(const std::string& path, DWORD milliseconds);
// Puts a link of the host's file system at `path` (which must not exist),
// leading to `target`: under Wine it stands in for a junction or a symbolic
// link. RemoveHostLink takes such a link away again, never what it leads to.
bool MakeHostLink(const std::string& path, const std::string& target);
bool RemoveHostLink(const std::string& path);
// Deletes a folder tree, clearing read-only bits on the way; a link in it
// goes as a link, never followed.
void RemoveTree(const std::string& path);
// Drops the Windows shared-file counts of everything below a folder: they
// outlive a test's folder and would make the next run's files look shared.
void ForgetSharedFilesIn(HKEY root, const std::string& folder);
void ForgetSharedFiles(const std::string& folder);
// What a person would find below a folder: every folder (ending in "\\", with
// an empty text) and every file with its content, or "<size> bytes" for a
// file over 64 KiB.
std::map<std::string, std::string> FolderListing(const std::string& folder);

// The clean-up folders of uninstallers, in the Windows folder's Temp.
std::set<std::string> CleanUpFolders();

// A fresh folder under %TEMP%\SetupTests, removed when the object goes.
class TTestFolder {
public:
    explicit TTestFolder(const std::string& name);
    ~TTestFolder();
    TTestFolder(const TTestFolder&) = delete;
    TTestFolder& operator=(const TTestFolder&) = delete;
    // The folder with a trailing backslash.
    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& name) const { return FPath + name; }

private:
    std::string FPath;
};

// Program bytes with the package appended and its offset in word 0x30, as the
// builder makes them.
std::vector<uint8_t> AppendPackage(std::vector<uint8_t> program, const std::vector<uint8_t>& package);
void SetWord(std::vector<uint8_t>& program, size_t offset, int32_t value);
// A minimal stand-in program file: an MZ header and nothing else of use.
std::vector<uint8_t> StubProgram(size_t size = 512);
