// Our extraction: TInstaller.ExtractFolder of each of the package's folders.
#include <cstdio>
#include <string>

#include "Installer.h"

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_OurExtract INSTALLER DESTINATION FOLDER...\n");
        return 2;
    }
    TInstaller installer("", argv[1]);
    for (int i = 3; i < argc; ++i) installer.ExtractFolder(argv[i], std::string(argv[2]) + "\\" + argv[i], 0);
    std::printf("%zu items logged\n", installer.UninstallLog().Size());
    return 0;
}
