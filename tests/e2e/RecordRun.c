/* A stand-in for a product or readme the wizard opens at the end: it writes
   "<its name>.ran" beside itself, holding the working folder it was started in. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance, (void)previous, (void)commandLine, (void)show;
    char path[MAX_PATH], folder[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    lstrcpyA(path + n, ".ran");
    DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written;
    WriteFile(file, folder, length, &written, NULL);
    CloseHandle(file);
    return 0;
}
