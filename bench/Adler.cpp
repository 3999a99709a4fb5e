// A bare Adler-32 pass over a file in 64 KiB reads: what reading the package
// once costs, against which the setup model's start-up is measured.
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_Adler FILE\n");
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::vector<unsigned char> buffer(1 << 16);
    uLong sum = adler32(0, nullptr, 0);
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), DWORD(buffer.size()), &got, nullptr) && got > 0) sum = adler32(sum, buffer.data(), got);
    CloseHandle(file);
    std::printf("%08lx\n", sum);
    return 0;
}
