#include <gtest/gtest.h>

#include <cstring>

#include "Exception.h"
#include "PackageFormat.h"
#include "TestPackages.h"

namespace {

std::vector<uint8_t> SmallPackage()
{
    return BuildPackageBytes({TPackageItem::File("Setup.ini", "[Setup]\r\n"), TPackageItem::File("Setup.lic", "ok")});
}

TPackageInfo Read(std::vector<uint8_t> bytes)
{
    TMemoryStream stream(std::move(bytes));
    return ReadPackageHeader(stream);
}

// The message of the ESetupError that reading raises, or "" when it reads.
std::string SetupErrorOf(std::vector<uint8_t> bytes)
{
    try {
        Read(std::move(bytes));
    } catch (const ESetupError& e) {
        return e.Message();
    }
    return "";
}

const char Corrupted[] = "The installer appears to be corrupted. Please download it again";

}  // namespace

TEST(PackageHeader, ReadsWhatTheWriterWrote)
{
    std::vector<uint8_t> bytes = SmallPackage();
    TPackageInfo info = Read(bytes);
    EXPECT_EQ(std::string(info.Header.Signature, 8), "KX/ISB/3");
    EXPECT_EQ(info.Header.DataSize, int32_t(bytes.size() - 28));
    EXPECT_EQ(info.Header.FileCount, 2);
    EXPECT_EQ(info.Version.AsText(), "2.02");
    EXPECT_EQ(info.EntriesStart, 53);
    EXPECT_EQ(info.DataEnd, int64_t(bytes.size()));
    EXPECT_EQ(info.PackageDate, PartsToDosDateTime({2024, 3, 15, 10, 30, 20}));
}

TEST(PackageHeader, SignatureIsCaseSensitive)
{
    std::vector<uint8_t> bytes = SmallPackage();
    bytes[0] = 'k';
    EXPECT_EQ(SetupErrorOf(bytes), "Invalid setup data signature");
    bytes = SmallPackage();
    bytes[7] = '5';  // "KX/ISB/4" is a wide package's
    EXPECT_EQ(SetupErrorOf(bytes), "Invalid setup data signature");
}

TEST(PackageHeader, EveryChangedDataByteIsCaught)
{
    const std::vector<uint8_t> good = SmallPackage();
    for (size_t i = 28; i < good.size(); ++i) {
        std::vector<uint8_t> bad = good;
        bad[i] ^= 0x01;
        EXPECT_EQ(SetupErrorOf(bad), Corrupted) << "byte " << i;
    }
}

TEST(PackageHeader, FileCountAndTrailingBytesAreIgnored)
{
    std::vector<uint8_t> bytes = SmallPackage();
    bytes[24] ^= 0x55;
    bytes.insert(bytes.end(), {'s', 'i', 'g', 'n', 'e', 'd'});
    EXPECT_EQ(SetupErrorOf(bytes), "");
}

TEST(PackageHeader, PackageCutShortIsCorruptionNotReadError)
{
    const std::vector<uint8_t> good = SmallPackage();
    for (size_t length : {size_t(28), size_t(40), good.size() - 1}) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(length));
        EXPECT_EQ(SetupErrorOf(cut), Corrupted) << length;
    }
}

TEST(PackageHeader, HeaderShorterThan28BytesIsReadError)
{
    std::vector<uint8_t> bytes = SmallPackage();
    bytes.resize(27);
    EXPECT_THROW(Read(bytes), EReadError);
}

TEST(PackageHeader, DataSizeZeroPassesExactlyWithChecksumOne)
{
    // A header claiming no data, followed by a version record outside it.
    std::vector<uint8_t> bytes = SmallPackage();
    PutInt32LE(&bytes[8], 0);
    PutUInt32LE(&bytes[12], 1);
    EXPECT_EQ(Read(bytes).Version.AsText(), "2.02");
    PutUInt32LE(&bytes[12], 2);
    EXPECT_EQ(SetupErrorOf(bytes), Corrupted);
}

TEST(PackageHeader, BadVersionRecordPassesItsError)
{
    std::vector<uint8_t> bytes = SmallPackage();
    bytes[28 + 4] = 2;  // format number 2
    RefreshChecksum(bytes);
    try {
        Read(bytes);
        FAIL() << "accepted format number 2";
    } catch (const EProgramVersionError& e) {
        EXPECT_EQ(e.Message(), "Invalid version number on stream");
    }
}

TEST(PackageHeader, CreationTimeOutsideDosRangeGivesDateZero)
{
    EXPECT_EQ(Read(BuildPackageBytes({}, "1.0", EncodeDateTime({1979, 6, 1, 0, 0, 0}))).PackageDate, 0);
    EXPECT_EQ(Read(BuildPackageBytes({}, "1.0", EncodeDateTime({2108, 1, 1, 0, 0, 0}))).PackageDate, 0);
    EXPECT_NE(Read(BuildPackageBytes({}, "1.0", EncodeDateTime({2107, 1, 1, 0, 0, 0}))).PackageDate, 0);
}

TEST(PackageHeader, ReadsAtTheStreamPosition)
{
    // An installer: program bytes first, the package behind them.
    std::vector<uint8_t> bytes(1000, 0xCC);
    std::vector<uint8_t> package = SmallPackage();
    bytes.insert(bytes.end(), package.begin(), package.end());
    TMemoryStream stream(bytes);
    stream.SetPosition(1000);
    TPackageInfo info = ReadPackageHeader(stream);
    EXPECT_EQ(info.EntriesStart, 1053);
    EXPECT_EQ(info.DataEnd, int64_t(bytes.size()));
}
