#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Builder.h"
#include "Exception.h"
#include "PackageFormat.h"
#include "ProductFolder.h"
#include "SetupFacts.h"
#include "Stream.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

// The smallest file the builder accepts as the program part: an MZ header whose
// PE pointer leads to a PE signature.
std::vector<uint8_t> FakeStub()
{
    std::vector<uint8_t> stub(0x200, 0);
    stub[0] = 'M', stub[1] = 'Z';
    stub[0x3C] = 0x40;
    std::memcpy(&stub[0x40], "PE\0\0", 4);
    return stub;
}

class Builder : public ::testing::Test {
protected:
    void SetUp() override
    {
        Root = fs::temp_directory_path() /
               ("mksetup-test-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root);
        Product = Root / "Product";
        // English alone: the language tables would only slow the byte-by-byte checks.
        WriteFile(Product / "Setup.ini", "[Setup]\r\nProductName=Test\r\nLanguages=en\r\n");
        WriteFile(Product / "Setup.lic", "Licence\r\n");
        WriteFile(Product / "Main" / "Readme.txt", std::string(3000, 'r'));
        WriteFile(Product / "VstX" / "Test.dll", std::string(20000, '\x90'));
        fs::create_directories(Product / "Empty");
        Stub = Root / "Setup.exe";
        WriteBytes(Stub, FakeStub());
    }
    void TearDown() override { fs::remove_all(Root); }

    TBuildOptions Options(const std::string& output = "Out.exe")
    {
        TBuildOptions o;
        o.ProductFolder = Product.string();
        o.VersionText = "1.20";
        o.Output = (Root / output).string();
        o.Stub = Stub.string();
        o.Date = TDateParts{2025, 1, 2, 3, 4, 6};
        return o;
    }

    // The builder's error message, and that no output was left behind.
    std::string BuildError(const TBuildOptions& o)
    {
        try {
            BuildPackage(o);
        } catch (const Exception& e) {
            EXPECT_FALSE(fs::exists(o.Output)) << "output left behind";
            for (const auto& entry : fs::directory_iterator(Root))
                EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
            return e.Message();
        }
        return "(built)";
    }

    std::string Verify(const fs::path& file)
    {
        std::ostringstream out;
        try {
            VerifyPackage(file.string(), out);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "sound";
    }

    fs::path Root, Product, Stub;
};

}  // namespace

TEST_F(Builder, InstallerCarriesStubThenPackageAtWord0x30)
{
    TBuildResult result = BuildPackage(Options());
    std::vector<uint8_t> bytes = ReadFile(Root / "Out.exe");
    std::vector<uint8_t> stub = FakeStub();
    EXPECT_EQ(result.PackageOffset, int64_t(stub.size()));
    EXPECT_EQ(GetInt32LE(&bytes[0x30]), int32_t(stub.size()));
    EXPECT_EQ(GetInt32LE(&bytes[0x34]), 0);
    EXPECT_TRUE(std::equal(stub.begin() + 0x38, stub.end(), bytes.begin() + 0x38));
    EXPECT_EQ(std::string(bytes.begin() + long(stub.size()), bytes.begin() + long(stub.size()) + 8), "KX/ISB/3");
    EXPECT_EQ(result.Package.FileCount, 4);
    EXPECT_EQ(int64_t(bytes.size()), int64_t(stub.size()) + result.Package.Size);
    EXPECT_EQ(Verify(Root / "Out.exe"), "sound");
}

TEST_F(Builder, ListShowsHeaderAndTree)
{
    BuildPackage(Options("Installer.exe"));
    TBuildOptions data = Options("Data.dat");
    data.DataOnly = true;
    BuildPackage(data);
    std::ostringstream out;
    EXPECT_TRUE(ListPackage((Root / "Data.dat").string(), out));
    std::string text = out.str();
    EXPECT_NE(text.find("version     1.20"), std::string::npos) << text;
    EXPECT_NE(text.find("created     2025-01-02 03:04:06"), std::string::npos) << text;
    EXPECT_NE(text.find("(holds)"), std::string::npos) << text;
    EXPECT_NE(text.find("       20000  VstX\\Test.dll"), std::string::npos) << text;
    EXPECT_NE(text.find("Empty\\"), std::string::npos) << text;
    // The installer is the program part followed by the same package.
    EXPECT_EQ(ReadFile(Root / "Data.dat").size() + FakeStub().size(), ReadFile(Root / "Installer.exe").size());
}

TEST_F(Builder, SameInputsAndDateGiveIdenticalBytes)
{
    BuildPackage(Options("A.exe"));
    // Touch the files: with a fixed date their own times do not matter.
    fs::last_write_time(Product / "Setup.ini", fs::file_time_type::clock::now() - std::chrono::hours(50));
    BuildPackage(Options("B.exe"));
    EXPECT_EQ(ReadFile(Root / "A.exe"), ReadFile(Root / "B.exe"));
    TBuildOptions later = Options("C.exe");
    later.Date->Second = 8;
    BuildPackage(later);
    EXPECT_NE(ReadFile(Root / "A.exe"), ReadFile(Root / "C.exe"));
}

TEST_F(Builder, VerifyCatchesEveryFlippedDataByte)
{
    TBuildOptions o = Options("Data.dat");
    o.DataOnly = true;
    BuildPackage(o);
    const std::vector<uint8_t> good = ReadFile(Root / "Data.dat");
    ASSERT_EQ(Verify(Root / "Data.dat"), "sound");
    for (size_t i = PackageFormat::HeaderSize; i < good.size(); ++i) {
        std::vector<uint8_t> bad = good;
        bad[i] ^= uint8_t(1u << (i % 8));
        WriteBytes(Root / "Bad.dat", bad);
        ASSERT_EQ(Verify(Root / "Bad.dat"), "The installer appears to be corrupted. Please download it again")
            << "byte " << i;
    }
}

TEST_F(Builder, RefusesProductsTheInstallerCannotRun)
{
    fs::remove(Product / "Setup.lic");
    std::string error = BuildError(Options());
    EXPECT_NE(error.find("Setup.lic: is missing"), std::string::npos) << error;

    WriteFile(Product / "Setup.lic", "x");
    fs::remove(Product / "Setup.ini");
    fs::create_directories(Product / "Setup.ini");  // a folder is not the file
    error = BuildError(Options());
    EXPECT_NE(error.find("Setup.ini: is missing"), std::string::npos) << error;

    TBuildOptions missing = Options();
    missing.ProductFolder = (Root / "Nowhere").string();
    EXPECT_NE(BuildError(missing).find("Nowhere: is not a product folder"), std::string::npos);
}

TEST_F(Builder, RefusesNamesAPackageOrWindowsCannotCarry)
{
    struct Case {
        std::string name, expected;
    } cases[] = {
        {std::string(64, 'n'), "longer than 63 bytes"},
        {"a\\b.dll", "path separator"},
        {"C:x.dll", "\":\""},
        {"tab\t.dll", "control character"},
    };
    for (const Case& c : cases) {
        WriteFile(Product / "Main" / c.name, "x");
        std::string error = BuildError(Options());
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_NE(error.find(c.name), std::string::npos) << error;
        fs::remove(Product / "Main" / c.name);
    }
    WriteFile(Product / "Main" / "README.TXT", "x");
    std::string error = BuildError(Options());
    EXPECT_NE(error.find("only in letter case"), std::string::npos) << error;
    fs::remove(Product / "Main" / "README.TXT");
    // A link is never followed: out of the folder it would carry the maker's secrets to every customer.
    struct Link {
        fs::path target;
        bool folder;
        const char* expected;
    } links[] = {
        {"/etc/passwd", false, "outside the product folder"},
        {Root, true, "outside the product folder"},
        {"../Main/Readme.txt", false, "inside the product folder"},
    };
    for (const Link& link : links) {
        fs::path made = Product / "VstX" / "Linked";
        if (link.folder)
            fs::create_directory_symlink(link.target, made);
        else
            fs::create_symlink(link.target, made);
        error = BuildError(Options());
        EXPECT_NE(error.find(link.expected), std::string::npos) << error;
        EXPECT_NE(error.find("Linked"), std::string::npos) << error;
        fs::remove(made);
    }
    EXPECT_NO_THROW(BuildPackage(Options()));
}

TEST_F(Builder, LeavesOutWhatNoCustomerNeedsUnlessSetupIniIncludesIt)
{
    for (const char* junk : {".git/objects/ab/cdef", ".DS_Store", "._Test.dll", "__MACOSX/._Readme.txt", "Thumbs.db",
                             "desktop.ini", "Readme.txt~", "Notes.bak", ".#Notes", "Keep/.DS_Store"})
        WriteFile(Product / "VstX" / junk, "j");
    WriteFile(Product / "Main" / "Icons" / "desktop.ini", "[.ShellClassInfo]");
    WriteFile(Product / "Main" / "Icons" / "PlugIn.ico", "i");
    std::ofstream(Product / "Setup.ini", std::ios::app) << "[Package]\r\nInclude=VstX\\Keep\\.DS_Store\r\n";
    TBuildResult result = BuildPackage(Options());
    std::ostringstream listing;
    ListPackage((Root / "Out.exe").string(), listing);
    for (const char* gone : {".git", "._Test.dll", "__MACOSX", "Thumbs.db", "Readme.txt~", "Notes.bak", ".#Notes"})
        EXPECT_EQ(listing.str().find(gone), std::string::npos) << gone << " packed:\n" << listing.str();
    EXPECT_NE(listing.str().find("Test.dll"), std::string::npos) << listing.str();
    EXPECT_NE(listing.str().find("PlugIn.ico"), std::string::npos) << "a folder's icon and its desktop.ini stay";
    EXPECT_EQ(result.LeftOut.size(), 9u);
    EXPECT_EQ(LeftOutSummary(result.LeftOut),
              "left out 9 of no use on Windows: backup (3), .DS_Store (1), AppleDouble (1), .git (1), Thumbs.db (1), "
              "__MACOSX (1), desktop.ini (1); [Package] Include=PATH in Setup.ini packs one on purpose");
}

TEST_F(Builder, PacksFilesPastTwoGigabytesAndRefusesWhatItCannotPack)
{
    // A file past 2 GiB (sparse, so the test costs no disk) is no longer one
    // of them: it is packed wide, its size in 64 bits, and reads back whole.
    {
        std::ofstream big(Product / "Main" / "Huge.wav", std::ios::binary);
    }
    fs::resize_file(Product / "Main" / "Huge.wav", (uintmax_t(1) << 31) + 1);
    TBuildOptions fast = Options();
    fast.Level = 1;
    BuildPackage(fast);
    std::ostringstream listing;
    ListPackage((Root / "Out.exe").string(), listing);
    EXPECT_NE(listing.str().find("(wide: 64-bit sizes)"), std::string::npos) << listing.str();
    EXPECT_NE(listing.str().find(" 2147483649  Main\\Huge.wav"), std::string::npos) << listing.str();
    fs::remove(Product / "Main" / "Huge.wav");
    fs::remove(Root / "Out.exe");

    ASSERT_EQ(mkfifo((Product / "Main" / "Pipe").c_str(), 0600), 0);
    std::string error = BuildError(Options());
    EXPECT_NE(error.find("Pipe: is neither a file nor a folder"), std::string::npos) << error;
    fs::remove(Product / "Main" / "Pipe");

    fs::create_symlink(Root / "gone", Product / "Main" / "Dangling");
    error = BuildError(Options());
    EXPECT_NE(error.find("Dangling: is a link"), std::string::npos) << error;
}

TEST_F(Builder, RefusesStubsThatAreNotBareInstallers)
{
    WriteFile(Root / "Text.exe", "just text, long enough to pass the first size check of the builder......");
    TBuildOptions o = Options();
    o.Stub = (Root / "Text.exe").string();
    EXPECT_NE(BuildError(o).find("Text.exe: is not a Windows program"), std::string::npos);

    BuildPackage(Options("Built.exe"));
    o.Stub = (Root / "Built.exe").string();
    EXPECT_NE(BuildError(o).find("Built.exe: already carries a package"), std::string::npos);

    o.Stub = (Root / "Missing.exe").string();
    EXPECT_NE(BuildError(o).find("Cannot open file"), std::string::npos);
}

TEST_F(Builder, RefusesAnInvalidVersion)
{
    TBuildOptions o = Options();
    o.VersionText = "v2";
    EXPECT_EQ(BuildError(o), "'v2' is not a valid version number");
}

TEST(BuilderDates, ParsesOnlyRealDates)
{
    TDateParts p;
    EXPECT_TRUE(ParseDateText("2024-02-29T23:59:59", p));
    EXPECT_EQ(p.Year, 2024);
    EXPECT_EQ(p.Second, 59);
    for (const char* bad : {"2023-02-29T00:00:00", "2024-13-01T00:00:00", "2024-01-01 00:00:00",
                            "2024-01-01T24:00:00", "2024-01-01T00:00:00Z", ""})
        EXPECT_FALSE(ParseDateText(bad, p)) << bad;
}

TEST_F(Builder, ExtractWritesEveryEntryWithItsTime)
{
    BuildPackage(Options());
    std::ostringstream out;
    ASSERT_TRUE(ExtractPackage((Root / "Out.exe").string(), (Root / "Extracted").string(), out));
    EXPECT_EQ(ReadFile(Root / "Extracted" / "VstX" / "Test.dll"), std::vector<uint8_t>(20000, 0x90));
    EXPECT_EQ(ReadFile(Root / "Extracted" / "Setup.ini"), ReadFile(Product / "Setup.ini"));
    EXPECT_TRUE(fs::is_directory(Root / "Extracted" / "Empty"));
    struct stat info {};
    ASSERT_EQ(stat((Root / "Extracted" / "Main" / "Readme.txt").c_str(), &info), 0);
    std::tm local{};
    localtime_r(&info.st_mtime, &local);
    EXPECT_EQ(local.tm_year + 1900, 2025);
    EXPECT_EQ(local.tm_hour, 3);
    EXPECT_EQ(local.tm_sec, 6);
}

TEST_F(Builder, ThePackageCarriesTheTextsOfTheLanguagesSetupIniLists)
{
    struct Case {
        const char* languages;  // the line in [Setup]; nullptr for none
        std::vector<std::string> carried;
    } cases[] = {
        {nullptr, {"ar", "de", "ja", "zh-Hant"}},  // all of them
        {"Languages=de, PT-br", {"de", "pt-BR"}},
        {"Languages=en", {}},  // English alone: nothing is added
    };
    int64_t allSize = 0, englishSize = 0;
    for (const Case& c : cases) {
        WriteFile(Product / "Setup.ini",
                  std::string("[Setup]\r\nProductName=Test\r\n") + (c.languages ? c.languages : "") + "\r\n");
        TBuildResult result = BuildPackage(Options());
        (c.languages ? englishSize : allSize) = result.Package.Size;
        fs::remove_all(Root / "Extracted");
        std::ostringstream out;
        ASSERT_TRUE(ExtractPackage((Root / "Out.exe").string(), (Root / "Extracted").string(), out));
        fs::path tables = Root / "Extracted" / LanguageTablesFileName;
        EXPECT_EQ(fs::exists(tables), !c.carried.empty()) << (c.languages ? c.languages : "all");
        std::vector<uint8_t> bytes = fs::exists(tables) ? ReadFile(tables) : std::vector<uint8_t>();
        std::string text(bytes.begin(), bytes.end());
        for (const std::string& tag : c.carried) EXPECT_NE(text.find("[Texts." + tag + "]"), std::string::npos) << tag;
        if (c.languages && !c.carried.empty()) {
            EXPECT_EQ(text.find("[Texts.fr]"), std::string::npos);
        }
    }
    // Every language, compressed, within 150 KiB.
    EXPECT_LT(allSize - englishSize, 150 * 1024);
    // The product's own file of that name would be taken for the installer's texts.
    WriteFile(Product / LanguageTablesFileName, "[Texts.de]\r\n");
    EXPECT_THROW(BuildPackage(Options()), ESetupError);
}

TEST_F(Builder, ExtractOfADamagedPackageWritesNothing)
{
    TBuildOptions o = Options("Data.dat");
    o.DataOnly = true;
    BuildPackage(o);
    std::vector<uint8_t> bytes = ReadFile(Root / "Data.dat");
    bytes[bytes.size() - 3] ^= 1;
    WriteBytes(Root / "Data.dat", bytes);
    std::ostringstream out;
    EXPECT_THROW(ExtractPackage((Root / "Data.dat").string(), (Root / "Extracted").string(), out), ESetupError);
    EXPECT_FALSE(fs::exists(Root / "Extracted"));
}
