// Every single changed byte and every truncation of a small package: the
// reader either accepts the package (the fields it ignores) or reports it
// with one of its own errors; never a crash, a hang or a read past the data.
// Run under the sanitizers as part of the test suite.
#include <gtest/gtest.h>

#include "Exception.h"
#include "Inflate.h"
#include "PackageFormat.h"
#include "PackageReader.h"
#include "TestPackages.h"

namespace {

// Inflates every file, whole where the installer would, or always streamed;
// a stream that does not end at its stated size is reported, as the installer
// reports it. Notes where each file's data lies.
class TInflateAll : public TEntryVisitor {
public:
    explicit TInflateAll(bool streamed) : FStreamed(streamed) {}
    void File(const TEntryHeader& entry, const std::string&, TStream& stream) override
    {
        Data.push_back({size_t(stream.Position()), size_t(entry.StoredSize)});
        TNullSink sink;
        TInflateResult result = FStreamed ? InflateEntryStreamed(stream, entry.StoredSize, entry.UncompressedSize, sink)
                                          : InflateEntry(stream, entry.StoredSize, entry.UncompressedSize, sink);
        if (entry.UncompressedSize > 0 && !result.StreamEnded) throw EZDecompressionError("not ended");
        EXPECT_EQ(sink.Bytes, size_t(entry.UncompressedSize));
    }
    bool EnterFolder(const TEntryHeader&, const std::string&) override { return true; }
    std::vector<std::pair<size_t, size_t>> Data;

private:
    bool FStreamed;
};

enum class TOutcome { Accepted, Reported };

TOutcome ReadAll(const std::vector<uint8_t>& bytes, bool streamed = false,
                 std::vector<std::pair<size_t, size_t>>* data = nullptr)
{
    TMemoryStream stream(bytes);
    try {
        TPackageInfo info = ReadPackageHeader(stream);
        stream.SetPosition(info.EntriesStart);
        TInflateAll visitor(streamed);
        PackageReader::WalkList(stream, info.DataEnd, info.Wide, visitor);
        if (data) *data = visitor.Data;
        TEntryHeader found;
        PackageReader::FindTopLevel(stream, info, "Setup.ini", false, found);
        return TOutcome::Accepted;
    } catch (const Exception&) {
        return TOutcome::Reported;
    }
}

std::vector<uint8_t> SmallPackage()
{
    return BuildPackageBytes({TPackageItem::File("Setup.ini", "[Setup]\r\nProductName=Sweep\r\n"),
                              TPackageItem::Folder("Main", {TPackageItem::File("A.txt", std::string(300, 'a')),
                                                            TPackageItem::Folder("Sub", {TPackageItem::File("B.bin", "bbbb")}),
                                                            TPackageItem::File("Empty", "")})});
}

}  // namespace

TEST(CorruptionSweep, EveryChangedByteWithTheChecksumMadeToFit)
{
    // With the checksum recomputed, every change reaches the entry walk.
    const std::vector<uint8_t> good = SmallPackage();
    ASSERT_EQ(ReadAll(good), TOutcome::Accepted);
    int reported = 0, accepted = 0;
    for (size_t i = PackageFormat::HeaderSize; i < good.size(); ++i)
        for (uint8_t value : {uint8_t(good[i] ^ 0x01), uint8_t(good[i] ^ 0x80), uint8_t(0x00), uint8_t(0xFF)}) {
            if (value == good[i]) continue;
            std::vector<uint8_t> bad = good;
            bad[i] = value;
            RefreshChecksum(bad);
            (ReadAll(bad) == TOutcome::Accepted ? accepted : reported)++;
        }
    // The bytes after each name and the file times are ignored; sizes, names and
    // compressed data are not. Both kinds occur in every package.
    EXPECT_GT(reported, 0);
    EXPECT_GT(accepted, 0);
    // The first entry's file time is ignored; its name length, the high bytes of
    // its sizes and its zlib header are not.
    const size_t first = TestEntriesStart;
    for (size_t offset : {first + 64, first + 67}) {
        std::vector<uint8_t> bad = good;
        bad[offset] ^= 0xFF;
        RefreshChecksum(bad);
        EXPECT_EQ(ReadAll(bad), TOutcome::Accepted) << offset;
    }
    for (size_t offset : {first, first + 71, first + 75, first + 76}) {
        std::vector<uint8_t> bad = good;
        bad[offset] ^= 0xFF;
        RefreshChecksum(bad);
        EXPECT_EQ(ReadAll(bad), TOutcome::Reported) << offset;
    }
}

TEST(CorruptionSweep, EveryChangedByteWithTheStoredChecksumIsReported)
{
    const std::vector<uint8_t> good = SmallPackage();
    for (size_t i = PackageFormat::HeaderSize; i < good.size(); ++i) {
        std::vector<uint8_t> bad = good;
        bad[i] ^= 0x5A;
        EXPECT_EQ(ReadAll(bad), TOutcome::Reported) << i;
    }
}

TEST(CorruptionSweep, EveryDamagedByteOfTheCompressedDataIsCaughtEvenWithTheChecksumMadeToFit)
{
    // Files for both of the writer's strategies (dense data and text), each
    // read back whole and streamed: a damaged byte anywhere in a file's
    // stream is the decompressor's to catch, the package checksum aside.
    std::string dense(3000, '\0');
    uint32_t state = 12345;
    for (char& c : dense) c = char((state = state * 1103515245 + 12345) >> 24);
    const std::vector<uint8_t> good =
        BuildPackageBytes({TPackageItem::File("Dense.bin", dense),
                           TPackageItem::Folder("Main", {TPackageItem::File("Text.txt", std::string(2000, 't') + "end"),
                                                         TPackageItem::File("One", "1")})});
    std::vector<std::pair<size_t, size_t>> data;
    ASSERT_EQ(ReadAll(good, false, &data), TOutcome::Accepted);
    ASSERT_EQ(data.size(), 3u);
    for (bool streamed : {false, true}) {
        int checked = 0;
        for (const auto& [start, size] : data)
            for (size_t i = start; i < start + size; ++i) {
                std::vector<uint8_t> bad = good;
                bad[i] ^= 0xFF;
                RefreshChecksum(bad);
                EXPECT_EQ(ReadAll(bad, streamed), TOutcome::Reported) << i << (streamed ? " streamed" : " whole");
                ++checked;
            }
        EXPECT_GT(checked, 3000);
    }
}

TEST(CorruptionSweep, EveryTruncationIsReported)
{
    const std::vector<uint8_t> good = SmallPackage();
    for (size_t length = 0; length < good.size(); ++length) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(length));
        EXPECT_EQ(ReadAll(cut), TOutcome::Reported) << length;
        // The same truncation with a header that claims exactly what is left.
        if (length > PackageFormat::HeaderSize) {
            PutInt32LE(&cut[8], int32_t(length - PackageFormat::HeaderSize));
            RefreshChecksum(cut);
            ReadAll(cut);  // accepted or reported, never more
        }
    }
}
