// The message table of the Windows program: its STRINGTABLE resource.
#include <windows.h>

#include "Messages.h"

std::string LoadStoredMessage(int id)
{
    // LoadStringA with a zero length hands back a pointer to the resource text
    // only in its wide form; read into a buffer that grows instead.
    std::string text(256, '\0');
    for (;;) {
        int n = LoadStringA(GetModuleHandleA(nullptr), UINT(id), &text[0], int(text.size()));
        if (n <= 0) return std::string();
        if (size_t(n) < text.size() - 1) {
            text.resize(size_t(n));
            return text;
        }
        text.resize(text.size() * 2);
    }
}
