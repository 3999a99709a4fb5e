#include "TestFiles.h"

#include <stdexcept>

#include "InstallScope.h"
#include "PackageFormat.h"
#include "Stream.h"
#include "SystemCalls.h"

std::vector<std::vector<std::string>> ElevationRequests;
int ElevationAnswer = -1;

namespace {

const bool ElevationPlayed = [] {
    SystemCalls().RunElevated = [](const std::vector<std::string>& arguments) {
        ElevationRequests.push_back(arguments);
        return ElevationAnswer;
    };
    return true;
}();

}  // namespace

std::string WindowsPath(const std::string& path)
{
    if (path.empty() || path[0] != '/') return path;
    std::string result = "Z:" + path;
    for (char& c : result)
        if (c == '/') c = '\\';
    return result;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    std::vector<uint8_t> bytes(GetFileSize(h, nullptr));
    DWORD got = 0;
    BOOL ok = bytes.empty() || ReadFile(h, bytes.data(), DWORD(bytes.size()), &got, nullptr);
    CloseHandle(h);
    if (!ok || got != bytes.size()) throw std::runtime_error("cannot read " + path);
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
    DWORD put = 0;
    BOOL ok = bytes.empty() || WriteFile(h, bytes.data(), DWORD(bytes.size()), &put, nullptr);
    CloseHandle(h);
    if (!ok || put != bytes.size()) throw std::runtime_error("cannot write " + path);
}

HANDLE LockFile(const std::string& path)
{
    WriteWholeFile(path, {'x'});
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (lock == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot lock " + path);
    return lock;
}

bool GoneWithin(const std::string& path, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > milliseconds) return false;
        Sleep(100);
    }
    return true;
}

namespace {

// The host's name of a Windows path, from Wine's own export; empty elsewhere.
std::string HostPath(const std::string& path)
{
    using TUnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<TUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return std::string();
    std::wstring wide(path.begin(), path.end());
    char* name = unixName(wide.c_str());
    if (!name) return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Starts a program of the host and waits, bounded, until `done` says its
// work is there: Wine tells neither its end nor its exit code.
template <typename TDone>
bool RunHostProgram(std::string command, TDone done)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int wait = 0; wait < 100 && !done(); ++wait) Sleep(50);
    return done();
}

std::string ExcludeBackslash(std::string path)
{
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace

bool MakeHostLink(const std::string& path, const std::string& target)
{
    // The link's own folder exists, so its host name is known; the link's name is added to it.
    std::string link = ExcludeBackslash(path);
    size_t slash = link.rfind('\\');
    std::string folder = HostPath(link.substr(0, slash)), to = HostPath(ExcludeBackslash(target));
    if (folder.empty() || to.empty()) return false;
    return RunHostProgram("/bin/ln -s \"" + to + "\" \"" + folder + "/" + link.substr(slash + 1) + "\"",
                          [&] { return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

bool RemoveHostLink(const std::string& path)
{
    std::string link = HostPath(ExcludeBackslash(path));
    return !link.empty() && RunHostProgram("/bin/rm -f \"" + link + "\"", [&] {
        WIN32_FIND_DATAA data;
        HANDLE found = FindFirstFileA(ExcludeBackslash(path).c_str(), &data);
        if (found != INVALID_HANDLE_VALUE) FindClose(found);
        return found == INVALID_HANDLE_VALUE;
    });
}

void RemoveTree(const std::string& path)
{
    std::string folder = path;
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = folder + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!RemoveHostLink(child) && !RemoveDirectoryA(child.c_str())) DeleteFileA(child.c_str());
                continue;
            }
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(folder.c_str());
}

TTestFolder::TTestFolder(const std::string& name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string root = std::string(temp) + "SetupTests\\";
    CreateDirectoryA(root.c_str(), nullptr);
    FPath = root + name + "\\";
    RemoveTree(FPath);
    if (!CreateDirectoryA(FPath.c_str(), nullptr)) throw std::runtime_error("cannot create " + FPath);
}

TTestFolder::~TTestFolder() { RemoveTree(FPath); }

void SetWord(std::vector<uint8_t>& program, size_t offset, int32_t value) { PutInt32LE(&program[offset], value); }

std::vector<uint8_t> AppendPackage(std::vector<uint8_t> program, const std::vector<uint8_t>& package)
{
    SetWord(program, size_t(PackageFormat::SetupDataOffsetWord), int32_t(program.size()));
    program.insert(program.end(), package.begin(), package.end());
    return program;
}

std::vector<uint8_t> StubProgram(size_t size)
{
    std::vector<uint8_t> program(size, 0);
    program[0] = 'M';
    program[1] = 'Z';
    return program;
}

std::set<std::string> CleanUpFolders()
{
    char windows[MAX_PATH];
    UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    std::set<std::string> found;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((std::string(windows, n) + "\\Temp\\Uninstall-*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return found;
    do
        found.insert(std::string(windows, n) + "\\Temp\\" + data.cFileName);
    while (FindNextFileA(find, &data));
    FindClose(find);
    return found;
}

std::map<std::string, std::string> FolderListing(const std::string& folder)
{
    std::map<std::string, std::string> found;
    std::string base = folder.empty() || folder.back() == '\\' ? folder : folder + "\\";
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((base + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return found;
    do {
        std::string name = data.cFileName, path = base + name;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            found[path + "\\"] = "";
            for (const auto& inner : FolderListing(path)) found.insert(inner);
        } else if (data.nFileSizeHigh != 0 || data.nFileSizeLow > 65536) {
            found[path] = std::to_string((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow) + " bytes";
        } else {
            std::vector<uint8_t> bytes = ReadWholeFile(path);
            found[path] = std::string(bytes.begin(), bytes.end());
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return found;
}

void ForgetSharedFiles(const std::string& folder)
{
    // Everyone's counts, and the user's own of installations for one user.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) ForgetSharedFilesIn(root, folder);
}

void ForgetSharedFilesIn(HKEY root, const std::string& folder)
{
    HKEY shared;
    if (RegOpenKeyExA(root, "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", 0, KEY_ALL_ACCESS,
                      &shared) != ERROR_SUCCESS)
        return;
    std::string prefix = folder.empty() || folder.back() == '\\' ? folder : folder + "\\";
    std::vector<std::string> ours;
    char name[1024];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumValueA(shared, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (_strnicmp(name, prefix.c_str(), prefix.size()) == 0) ours.push_back(name);
    }
    for (const std::string& value : ours) RegDeleteValueA(shared, value.c_str());
    RegCloseKey(shared);
}
