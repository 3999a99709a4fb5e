/* A library the installation run calls: each export writes a file beside the
   library saying that it ran and whether the product's Readme was already in place. */
#include <windows.h>

static void Report(const char* fileName)
{
    char path[MAX_PATH];
    HMODULE self = NULL;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCSTR)&Report, &self);
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\') --n;
    char readme[MAX_PATH], report[MAX_PATH];
    lstrcpynA(readme, path, (int)n + 1);
    lstrcatA(readme, "Readme.txt");
    lstrcpynA(report, path, (int)n + 1);
    lstrcatA(report, fileName);
    const char* text = GetFileAttributesA(readme) != INVALID_FILE_ATTRIBUTES ? "ran after Readme.txt" : "ran too early";
    HANDLE file = CreateFileA(report, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written;
    WriteFile(file, text, lstrlenA(text), &written, NULL);
    CloseHandle(file);
}

__declspec(dllexport) void RegisterPlugin(void) { Report("RegisterPlugin.ran"); }
__declspec(dllexport) void SetupDefaults(void) { Report("SetupDefaults.ran"); }
