#include "RunLog.h"

#include <cstdio>

#include "Platform.h"
#include "ProcessText.h"

namespace {

// Text in the process code page as UTF-8, whichever code page that is.
std::string Utf8(const std::string& text)
{
    if (GetACP() == CP_UTF8) return text;
    TWideText wide = ToWide(text);
    int length = int(wide.size()) - 1;
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &utf8[0], size, nullptr, nullptr);
    return utf8;
}

std::string WindowsVersion()
{
    // GetVersionEx answers what the manifest claims to support; ntdll tells the truth.
    using RtlGetVersionProc = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto getVersion = ntdll ? reinterpret_cast<RtlGetVersionProc>(
                                  reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                            : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!getVersion || getVersion(&info) != 0) return "unknown";
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
           std::to_string(info.dwBuildNumber);
}

}  // namespace

bool TRunLog::Open(const std::string& path)
{
    FFile.Reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FFile.Valid()) return false;
    DWORD written = 0;
    WriteFile(FFile.Get(), "\xEF\xBB\xBF", 3, &written, nullptr);  // so that Notepad reads it as UTF-8
    return true;
}

void TRunLog::Line(const std::string& text)
{
    if (!FFile.Valid()) return;
    char stamp[32];
    DWORD elapsed = GetTickCount() - FStart;
    std::snprintf(stamp, sizeof stamp, "[%4lu.%03lu] ", static_cast<unsigned long>(elapsed / 1000),
                  static_cast<unsigned long>(elapsed % 1000));
    std::string line = stamp + Utf8(text) + "\r\n";
    DWORD written = 0;
    WriteFile(FFile.Get(), line.data(), DWORD(line.size()), &written, nullptr);
}

void TRunLog::Decision(const std::string& what, const std::string& value, const std::string& source)
{
    Line(what + ": " + (value.empty() ? "(none)" : value) + " (" + source + ")");
}

void TRunLog::Phase(const std::string& name)
{
    DWORD now = GetTickCount();
    char took[32];
    std::snprintf(took, sizeof took, "%.3f s", double(now - FPhaseStart) / 1000.0);
    Line("phase " + name + " took " + took);
    FPhaseStart = now;
}

void TRunLog::Facts(const std::string& program)
{
    if (!IsOpen()) return;  // the rights check makes a trial folder: only for a log
    Line(program);
    Line("Windows " + WindowsVersion() + (IsWow64() ? ", 64-bit" : ", 32-bit") +
         (AdminRightsCheck() ? ", administrator rights" : ", no administrator rights") + ", code page " +
         std::to_string(GetACP()));
}
