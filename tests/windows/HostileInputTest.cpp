#include <gtest/gtest.h>
#include <cstring>

#include "Exception.h"
#include "Installer.h"
#include "TestFiles.h"
#include "TestPackages.h"

namespace {

// Zeros without end, but never held in memory: what a bomb packs.
class TZeroStream : public TStream {
public:
    explicit TZeroStream(int64_t size) : FLeft(size) {}
    size_t Read(void* buffer, size_t count) override
    {
        size_t n = size_t(std::min<int64_t>(FLeft, int64_t(count)));
        std::memset(buffer, 0, n);
        FLeft -= int64_t(n);
        return n;
    }
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t, SeekOrigin) override { return 0; }

private:
    int64_t FLeft;
};

}  // namespace

TEST(HostileInput, AnEntryNoMemoryCanHoldIsReported)
{
    TTestFolder folder("HostileBomb");
    TPackageItem bomb;
    bomb.Name = "Setup.ini";
    bomb.Open = []() -> std::unique_ptr<TStream> { return std::make_unique<TZeroStream>(int64_t(2000) << 20); };
    TMemoryStream package;
    TPackageWriteOptions options;
    options.Level = 1;
    WritePackage(package, {bomb}, options);
    WriteWholeFile(folder / "Setup.exe", AppendPackage(StubProgram(), package.Data()));
    TInstaller installer("", folder / "Setup.exe");
    try {
        installer.ExtractFileToMemory("Setup.ini");
        ADD_FAILURE() << "held 2000 MB in a 32-bit process";
    } catch (const EOutOfMemory& e) {
        EXPECT_EQ(e.Message(), "Out of memory");
    }
}

TEST(HostileInput, ADestinationPastTheWindowsPathLimitFailsCleanly)
{
    TTestFolder folder("HostileLongPath");
    WriteWholeFile(folder / "Setup.exe",
                   AppendPackage(StubProgram(), BuildPackageBytes({TPackageItem::Folder(
                                                    "Main", {TPackageItem::File("Plugin.dll", "p")})})));
    TInstaller installer("", folder / "Setup.exe");
    std::string deep = folder.Path();
    while (deep.size() < 300) deep += "A Rather Long Folder Name\\";
    std::string asked;
    installer.OnInstallError = [&](TInstaller&, const std::exception&, const std::string& name, bool& retry) {
        asked = name;
        retry = false;
    };
    try {
        installer.ExtractFolder("Main", deep, 0);
        ADD_FAILURE() << "a path past the limit was written";
    } catch (const EFCreateError& e) {
        EXPECT_NE(std::string(e.what()).find(deep + "Plugin.dll"), std::string::npos) << e.what();
    }
    EXPECT_EQ(asked, "");  // not a file in use: the user is not asked to close programs
}
