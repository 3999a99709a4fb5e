#include "RunLog.h"

#include "Platform.h"
#include "ProcessText.h"
#include "TextUtils.h"

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

bool TRunLog::Open(const std::string& path, bool append)
{
    FFile.Reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FFile.Valid()) return false;
    FPath = path;
    DWORD written = 0;
    if (append && SetFilePointer(FFile.Get(), 0, nullptr, FILE_END) != 0) return true;
    WriteFile(FFile.Get(), "\xEF\xBB\xBF", 3, &written, nullptr);  // so that Notepad reads it as UTF-8
    return true;
}

void TRunLog::Line(const std::string& text)
{
    if (!FFile.Valid()) return;
    DWORD elapsed = GetTickCount() - FStart;
    std::string seconds = UnsignedText(elapsed / 1000);
    if (seconds.size() < 4) seconds.insert(0, 4 - seconds.size(), ' ');
    std::string line = "[" + seconds + "." + UnsignedText(elapsed % 1000, 10, 3) + "] " + Utf8(text) + "\r\n";
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
    // Whole milliseconds as seconds with three decimals (as "%.3f" wrote them).
    DWORD took = now - FPhaseStart;
    Line("phase " + name + " took " + UnsignedText(took / 1000) + "." + UnsignedText(took % 1000, 10, 3) + " s");
    FPhaseStart = now;
}

void TRunLog::Facts(const std::string& program)
{
    if (!IsOpen()) return;  // the rights check makes a trial folder: only for a log
    Line(program);
    Line("Windows " + WindowsVersion() + (IsWow64() ? ", 64-bit" : ", 32-bit") + " on " + MachineName(NativeMachine()) +
         (AdminRights() ? ", administrator rights" : ", no administrator rights") + ", code page " +
         std::to_string(GetACP()));
}
