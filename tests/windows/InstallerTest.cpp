#include <gtest/gtest.h>

#include "Exception.h"
#include "Installer.h"
#include "PackageVolumes.h"
#include "PackageWriter.h"
#include "PathUtils.h"
#include "TestFiles.h"
#include "TestPackages.h"

namespace {

std::vector<uint8_t> Package(const std::string& version = "2.02")
{
    return BuildPackageBytes({TPackageItem::File("Setup.ini", "[Setup]\r\n")}, version);
}

// A wide package whose data goes on in volumes of 64 KiB beside `program`.
void WriteInVolumes(const std::string& program)
{
    TMemoryStream first;
    TPackageWriteOptions options;
    options.Wide = true;
    options.VolumeSize = PackageFormat::MinVolumeSize;
    options.VolumeName = [&](size_t index) { return VolumeFileName(program, index); };
    options.NewVolume = [&](size_t index) -> std::unique_ptr<TStream> {
        return std::make_unique<TFileStream>(GetProgramFolder(program) + VolumeFileName(program, index),
                                             TFileStream::Mode::Create);
    };
    std::string noise(200000, 'x');
    uint32_t state = 7;
    for (char& c : noise) c = char((state = state * 1103515245u + 12345u) >> 24);
    WritePackage(first, {TPackageItem::File("Setup.ini", "[Setup]\r\n"), TPackageItem::File("Noise.bin", noise)}, options);
    WriteWholeFile(program, AppendPackage(StubProgram(), first.Data()));
}

std::string ErrorOf(const std::string& programPath)
{
    try {
        TInstaller installer("", programPath);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

}  // namespace

TEST(Installer, ReadsThePackageAppendedAtTheOffset)
{
    TTestFolder folder("InstallerAppended");
    std::string path = folder / "Setup.exe";
    WriteWholeFile(path, AppendPackage(StubProgram(), Package("3.14 beta 2")));
    TInstaller installer("", path);
    EXPECT_EQ(installer.PackageVersion().AsText(), "3.14 beta 2");
    EXPECT_EQ(installer.PackageDate(), PartsToDosDateTime({2024, 3, 15, 10, 30, 20}));
    EXPECT_EQ(installer.PackageInfo().EntriesStart, 512 + 53);
    EXPECT_TRUE(installer.OverwriteFiles);
    // Each access opens a stream of its own, standing on the header.
    auto stream = installer.OpenPackageStream();
    char signature[8];
    stream->ReadBuffer(signature, 8);
    EXPECT_EQ(std::string(signature, 8), "KX/ISB/3");
}

TEST(Installer, OffsetZeroOrNegativeReadsSetupDatBesideTheProgram)
{
    TTestFolder folder("InstallerSetupDat");
    std::string path = folder / "Setup.exe";
    WriteWholeFile(folder / "Setup.dat", Package("4.01"));
    for (int32_t offset : {0, -1, INT32_MIN}) {
        std::vector<uint8_t> program = StubProgram();
        SetWord(program, 0x30, offset);
        WriteWholeFile(path, program);
        EXPECT_EQ(TInstaller("", path).PackageVersion().AsText(), "4.01") << offset;
    }
}

TEST(Installer, MissingSetupDatIsTheFileOpenError)
{
    TTestFolder folder("InstallerNoSetupDat");
    std::string path = folder / "Setup.exe";
    WriteWholeFile(path, StubProgram());
    std::string error = ErrorOf(path);
    EXPECT_EQ(error.rfind("Cannot open file \"" + folder.Path() + "Setup.dat\". ", 0), 0u) << error;
}

TEST(Installer, SetupDatInUseByAWriterCannotBeOpened)
{
    // Setup.dat is opened without sharing: a file someone is writing is refused.
    TTestFolder folder("InstallerSetupDatLocked");
    std::string path = folder / "Setup.exe";
    WriteWholeFile(path, StubProgram());
    WriteWholeFile(folder / "Setup.dat", Package());
    HANDLE writer = CreateFileA((folder / "Setup.dat").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_THROW(TInstaller("", path), EFOpenError);
    CloseHandle(writer);
    EXPECT_NO_THROW(TInstaller("", path));
}

TEST(Installer, ThePackageIsHeldAgainstWritersFromItsFirstRead)
{
    // What was checked is what is installed: a program that could write the
    // package while it is read could change it after the check.
    // Each row: the file of the package that somebody would write.
    TTestFolder folder("InstallerShared");
    for (const char* place : {"Setup.exe", "Setup.dat", "Setup-2.bin"}) {
        std::string program = folder / "Setup.exe", package = folder / place;
        if (package == folder / "Setup-2.bin") {
            WriteInVolumes(program);
        } else {
            WriteWholeFile(program, package == program ? AppendPackage(StubProgram(), Package()) : StubProgram());
            if (package != program) WriteWholeFile(package, Package());
        }
        auto openToWrite = [&] {
            return CreateFileA(package.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr);
        };
        HANDLE writer = openToWrite();
        ASSERT_NE(writer, INVALID_HANDLE_VALUE);
        EXPECT_THROW(TInstaller("", program), EFOpenError) << package;
        CloseHandle(writer);
        {
            TInstaller installer("", program);
            HANDLE late = openToWrite();
            EXPECT_EQ(late, INVALID_HANDLE_VALUE) << package;
            if (late != INVALID_HANDLE_VALUE) CloseHandle(late);
            EXPECT_FALSE(MoveFileA(package.c_str(), (package + ".old").c_str())) << package;
        }
        writer = openToWrite();
        EXPECT_NE(writer, INVALID_HANDLE_VALUE) << package;
        CloseHandle(writer);
    }
}

TEST(Installer, DamagedPackagesReportTheDesignMessages)
{
    TTestFolder folder("InstallerDamaged");
    std::string path = folder / "Setup.exe";
    const std::vector<uint8_t> good = AppendPackage(StubProgram(), Package());

    std::vector<uint8_t> bad = good;
    bad[512 + 2] = 'i';  // "KX/iSB/3"
    WriteWholeFile(path, bad);
    EXPECT_EQ(ErrorOf(path), "Invalid setup data signature");

    bad = good;
    bad[bad.size() - 10] ^= 0x40;
    WriteWholeFile(path, bad);
    EXPECT_EQ(ErrorOf(path), "The installer appears to be corrupted. Please download it again");

    bad.assign(good.begin(), good.begin() + 512 + 28);  // cut short after the header
    WriteWholeFile(path, bad);
    EXPECT_EQ(ErrorOf(path), "The installer appears to be corrupted. Please download it again");

    bad.assign(good.begin(), good.begin() + 512 + 20);  // header itself cut short
    WriteWholeFile(path, bad);
    EXPECT_EQ(ErrorOf(path), "Stream read error");

    bad = good;
    bad[bad.size() - 10] ^= 0x40;
    SetWord(bad, 0x30, int32_t(bad.size()));  // an offset at the very end
    WriteWholeFile(path, bad);
    EXPECT_EQ(ErrorOf(path), "Stream read error");
}

TEST(Installer, ReadsAPackageFromANamedResource)
{
    // A copy of this very program with the package added as an RT_RCDATA resource.
    TTestFolder folder("InstallerResource");
    std::string path = folder / "WithResource.exe";
    ASSERT_TRUE(CopyFileA(ModuleFileName().c_str(), path.c_str(), FALSE));
    std::vector<uint8_t> package = Package("5.55");
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(UpdateResourceA(update, MAKEINTRESOURCEA(10), "SETUPDATA", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                package.data(), DWORD(package.size())));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));

    TInstaller installer("SETUPDATA", path);
    EXPECT_EQ(installer.PackageVersion().AsText(), "5.55");
    EXPECT_EQ(installer.ResourceName(), "SETUPDATA");
    EXPECT_THROW(TInstaller("NOSUCHDATA", path), EFOpenError);
}
