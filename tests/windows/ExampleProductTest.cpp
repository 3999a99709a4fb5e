#include <gtest/gtest.h>

#include <cstdlib>

#include "DosDateTime.h"
#include "FileSystem.h"
#include "Installer.h"
#include "TestFiles.h"

namespace {

struct TStamp {
    std::string Path;
    int32_t Dos;
};

void CollectFiles(const std::string& folder, std::vector<TStamp>& files)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CollectFiles(folder + name + "\\", files);
        } else {
            FILETIME local;
            FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
            WORD date = 0, time = 0;
            FileTimeToDosDateTime(&local, &date, &time);
            files.push_back({folder + name, int32_t(uint32_t(date) << 16 | time)});
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

// The example product as the builder packs it: every component folder lands
// with the package date as each file's last-write time.
TEST(ExampleProduct, EveryFileCarriesThePackageDate)
{
    const char* built = std::getenv("SETUP_EXAMPLE_INSTALLER");
    if (!built) GTEST_SKIP() << "SETUP_EXAMPLE_INSTALLER is not set (CTest sets it)";
    TTestFolder folder("ExampleProduct");
    std::string program = folder / "ExampleEchoSetup.exe";
    ASSERT_TRUE(CopyFileA(WindowsPath(built).c_str(), program.c_str(), FALSE));
    TInstaller installer("", program);
    EXPECT_EQ(installer.PackageVersion().AsText(), "1.20");
    int32_t packageDate = installer.PackageDate();
    EXPECT_EQ(packageDate, PartsToDosDateTime({2024, 5, 5, 10, 0, 0}));
    for (const char* component : {"Main", "VstX", "Vst3", "Aax"})
        installer.ExtractFolder(component, folder / component, 0);
    std::vector<TStamp> files;
    for (const char* component : {"Main", "VstX", "Vst3", "Aax"}) CollectFiles(folder / component + "\\", files);
    EXPECT_EQ(files.size(), 4u);
    for (const TStamp& file : files) EXPECT_EQ(file.Dos, packageDate) << file.Path;
    EXPECT_TRUE(FileExists(folder / "Aax\\Example Echo.aaxplugin\\Contents\\Win32\\Example Echo.aaxplugin"));
    auto ini = installer.ExtractFileToMemory("setup.ini");
    ASSERT_NE(ini, nullptr);
    EXPECT_NE(ini->AsString().find("ProductName=Example Echo"), std::string::npos);
}
