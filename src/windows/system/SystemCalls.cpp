#include "SystemCalls.h"

namespace {

TIsWow64Process FindInKernel32()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return nullptr;
    return reinterpret_cast<TIsWow64Process>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
}

TRegDeleteKeyEx FindInAdvapi32()
{
    // advapi32 is always loaded in this process; it is not loaded for the lookup.
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    if (!advapi) return nullptr;
    return reinterpret_cast<TRegDeleteKeyEx>(reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExA")));
}

bool QueryFreeSpace(const std::string& root, uint64_t& freeBytes)
{
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(root.c_str(), &available, nullptr, nullptr)) return false;
    freeBytes = available.QuadPart;
    return true;
}

int QueryScreenDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

}  // namespace

TSystemCalls& SystemCalls()
{
    // Made at the first call: the system's own entries are known only once
    // the program is loaded, and a test may replace one from a static
    // initializer of its own. In the order of the struct's fields; empty
    // where the caller asks the system itself.
    static TSystemCalls calls = {WriteFile,      FlushFileBuffers, DeleteFileA,    RegSetValueExA, nullptr,
                                 nullptr,        nullptr,          FindInKernel32, FindInAdvapi32, nullptr,
                                 QueryFreeSpace, nullptr,          QueryScreenDpi};
    return calls;
}
