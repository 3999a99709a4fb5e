// Both ways of inflating an entry (whole, in memory, and streamed through
// zlib) agree on every kind of stream, from any writer; the ahead-inflater
// hands each file over in order and raises an entry's error at that entry;
// the writer's per-file strategy and its fall-back to streaming.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <random>
#include <thread>

#include "Exception.h"
#include "Inflate.h"
#include "InflateAhead.h"
#include "PackageWriter.h"
#include "Stream.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> ZlibStream(const std::vector<uint8_t>& data, int level)
{
    uLongf size = compressBound(uLong(data.size()));
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, data.data(), uLong(data.size()), level);
    out.resize(size);
    return out;
}

// Through the package writer: libdeflate's streams.
std::vector<uint8_t> WriterStream(const std::vector<uint8_t>& data, int level)
{
    TPackageItem item = TPackageItem::File("F", std::string(data.begin(), data.end()));
    TMemoryStream out;
    TPackageWriteOptions options;
    options.Level = level;
    WritePackage(out, {item}, options);
    const std::vector<uint8_t>& package = out.Data();
    size_t at = 28 + TProgramVersion::RecordSize;
    int32_t stored = GetInt32LE(&package[at + 68]);
    return std::vector<uint8_t>(package.begin() + long(at + 76), package.begin() + long(at + 76 + size_t(stored)));
}

std::vector<uint8_t> Noise(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> data(size);
    for (uint8_t& byte : data) byte = uint8_t(random());
    return data;
}

enum class TOutcome { Ended, NotEnded, Reported };

TOutcome Inflate(bool whole, const std::vector<uint8_t>& stream, int64_t stored, int64_t size,
                 std::vector<uint8_t>& out)
{
    TMemoryStream source(stream);
    TMemoryStream content;
    TStreamSink sink(content);
    try {
        TInflateResult result = whole ? InflateEntry(source, stored, size, sink)
                                      : InflateEntryStreamed(source, stored, size, sink);
        out = content.Data();
        return result.StreamEnded ? TOutcome::Ended : TOutcome::NotEnded;
    } catch (const Exception&) {
        return TOutcome::Reported;
    }
}

}  // namespace

TEST(Inflate, WholeAndStreamedAgreeOnEveryKindOfStream)
{
    const std::vector<uint8_t> text = Bytes(std::string(3000, 'x') + "the end");
    const std::vector<uint8_t> noise = Noise(70000, 7);
    std::vector<uint8_t> truncated = ZlibStream(text, 9);
    truncated.resize(truncated.size() - 6);
    std::vector<uint8_t> badAdler = ZlibStream(text, 9);
    badAdler.back() ^= 1;
    const std::vector<uint8_t> allButLast(text.begin(), text.end() - 1);
    const std::vector<uint8_t> firstPart(text.begin(), text.begin() + 1500);
    std::vector<uint8_t> trailing = ZlibStream(text, 6);
    trailing.insert(trailing.end(), {1, 2, 3});
    struct TCase {
        const char* Name;
        std::vector<uint8_t> Stream;
        int64_t Size;
        const std::vector<uint8_t>* Expected;
        TOutcome Outcome;
    } cases[] = {
        {"zlib level 1", ZlibStream(text, 1), int64_t(text.size()), &text, TOutcome::Ended},
        {"zlib level 9", ZlibStream(text, 9), int64_t(text.size()), &text, TOutcome::Ended},
        {"zlib stored blocks", ZlibStream(noise, 0), int64_t(noise.size()), &noise, TOutcome::Ended},
        {"our writer, dense data", WriterStream(noise, 9), int64_t(noise.size()), &noise, TOutcome::Ended},
        {"our writer, text", WriterStream(text, 9), int64_t(text.size()), &text, TOutcome::Ended},
        {"our writer, level 1", WriterStream(text, 1), int64_t(text.size()), &text, TOutcome::Ended},
        {"trailing bytes after the stream", trailing, int64_t(text.size()), &text, TOutcome::Ended},
        {"stream goes on past the stated size", ZlibStream(text, 9), int64_t(text.size()) - 1, &allButLast,
         TOutcome::NotEnded},
        {"stated size ends inside a repeat", ZlibStream(text, 9), 1500, &firstPart, TOutcome::NotEnded},
        {"stream ends before the stated size", ZlibStream(text, 9), int64_t(text.size()) + 1, nullptr,
         TOutcome::Reported},
        {"stream cut short", truncated, int64_t(text.size()), nullptr, TOutcome::Reported},
        {"wrong Adler-32", badAdler, int64_t(text.size()), nullptr, TOutcome::Reported},
        {"not zlib at all", Bytes("garbage, not a stream"), 10, nullptr, TOutcome::Reported},
        {"no data", {}, 10, nullptr, TOutcome::Reported},
    };
    for (const TCase& c : cases)
        for (bool whole : {true, false}) {
            std::vector<uint8_t> out;
            TOutcome outcome = Inflate(whole, c.Stream, int64_t(c.Stream.size()), c.Size, out);
            EXPECT_EQ(outcome, c.Outcome) << c.Name << (whole ? ", whole" : ", streamed");
            if (c.Expected && outcome != TOutcome::Reported) {
                EXPECT_EQ(out, *c.Expected) << c.Name;
            }
        }
}

TEST(Inflate, AnEntryPastTheBoundIsStreamedAndStillChecked)
{
    const size_t size = size_t(InflateLimits::WholeEntry) + 1000;
    std::vector<uint8_t> data(size, 0x55);
    data.back() = 1;
    std::vector<uint8_t> stream = ZlibStream(data, 9);
    ASSERT_FALSE(InflatesWhole(int64_t(stream.size()), int64_t(size)));
    TMemoryStream source(stream);
    TNullSink sink;
    TInflateResult result = InflateEntry(source, int64_t(stream.size()), int64_t(size), sink);
    EXPECT_TRUE(result.StreamEnded);
    EXPECT_EQ(sink.Bytes, size);
    // A stored size past the bound is never taken as a buffer size.
    EXPECT_FALSE(InflatesWhole(int64_t(1) << 30, 10));
    EXPECT_FALSE(InflatesWhole(-1, 10));
}

namespace {

// A package-like stream: file data one after another, with gaps between.
struct TAheadFixture {
    std::vector<uint8_t> Bytes;
    std::vector<TInflateAhead::TEntry> Entries;
    std::vector<std::vector<uint8_t>> Contents;

    void Add(const std::vector<uint8_t>& content, std::vector<uint8_t> stream)
    {
        Bytes.resize(Bytes.size() + 76);  // where a header would be
        Entries.push_back({int64_t(Bytes.size()), int32_t(stream.size()), int32_t(content.size())});
        Bytes.insert(Bytes.end(), stream.begin(), stream.end());
        Contents.push_back(content);
    }
};

std::vector<uint8_t> Taken(TInflateAhead& ahead, int64_t offset)
{
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!ahead.Take(offset, data, size)) return {};
    return std::vector<uint8_t>(data, data + size);
}

}  // namespace

TEST(InflateAhead, HandsOverEachFileInOrderPassingOverSkippedAndLargeOnes)
{
    TAheadFixture f;
    for (unsigned i = 0; i < 12; ++i) {
        // Files of 1 MiB and more: the window holds only a few at a time.
        std::vector<uint8_t> content = Noise((size_t(1) << 20) + i * 4096, i);
        f.Add(content, ZlibStream(content, 1));
    }
    std::vector<uint8_t> large(size_t(InflateLimits::WholeEntry) + 1, 'L');
    f.Add(large, ZlibStream(large, 9));
    f.Add(Bytes("last"), ZlibStream(Bytes("last"), 9));

    TInflateAhead ahead(std::make_unique<TMemoryStream>(f.Bytes), f.Entries);
    for (size_t i : {0, 1, 2, 5, 6, 11}) EXPECT_EQ(Taken(ahead, f.Entries[i].Offset), f.Contents[i]) << i;
    // The large one is left to the caller; the next one still comes.
    const uint8_t* data = nullptr;
    size_t size = 0;
    EXPECT_FALSE(ahead.Take(f.Entries[12].Offset, data, size));
    EXPECT_EQ(Taken(ahead, f.Entries[13].Offset), f.Contents[13]);
    // An offset that starts no listed entry is the caller's too.
    EXPECT_FALSE(ahead.Take(f.Entries[13].Offset + 1, data, size));
}

TEST(InflateAhead, FilesShareOneRingWithoutOverwritingTheOneBeingWritten)
{
    // Sizes in KiB. Each file is compared after the thread has had time to
    // inflate the next ones: a file placed over one still held shows here.
    const size_t K = 1024;
    struct TRow {
        const char* What;
        std::vector<size_t> Sizes;
    } rows[] = {
        {"the third starts the ring again over the first", {3072, 3072, 3072, 3072, 3072}},
        {"a skipped end stays held until its file is done", {3000, 3000, 1500, 3500, 2000, 3500, 4096, 100}},
        {"whole-size files after small ones", {100, 100, 100, 100, 100, 4096, 4096, 4096, 1}},
        {"empty files between others", {0, 1024, 0, 0, 2048, 0, 4096, 4096, 0}},
        {"a small product: a ring as large as its files", {10, 20, 30, 15, 5}},
        {"uneven sizes wrapping again and again", {700, 2900, 1300, 3900, 2500, 600, 3300, 1800, 4000, 900, 2200, 3700}},
    };
    for (const TRow& row : rows) {
        TAheadFixture f;
        for (size_t i = 0; i < row.Sizes.size(); ++i) {
            std::vector<uint8_t> content = Noise(row.Sizes[i] * K, unsigned(i) + 1);
            f.Add(content, ZlibStream(content, 0));
        }
        TInflateAhead ahead(std::make_unique<TMemoryStream>(f.Bytes), f.Entries);
        for (size_t i = 0; i < f.Entries.size(); ++i) {
            const uint8_t* data = nullptr;
            size_t size = 0;
            ASSERT_TRUE(ahead.Take(f.Entries[i].Offset, data, size)) << row.What << ", file " << i;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            EXPECT_EQ(std::vector<uint8_t>(data, data + size), f.Contents[i]) << row.What << ", file " << i;
        }
    }
}

TEST(InflateAhead, ADamagedEntryIsReportedWhenItsTurnComesNotBefore)
{
    TAheadFixture f;
    for (const char* text : {"first file", "second file", "third file", "fourth file"}) {
        std::vector<uint8_t> content = Bytes(std::string(text) + std::string(2000, '-'));
        std::vector<uint8_t> stream = ZlibStream(content, 9);
        if (f.Entries.size() == 2) stream[stream.size() / 2] ^= 0xFF;
        f.Add(content, stream);
    }
    TInflateAhead ahead(std::make_unique<TMemoryStream>(f.Bytes), f.Entries);
    EXPECT_EQ(Taken(ahead, f.Entries[0].Offset), f.Contents[0]);
    EXPECT_EQ(Taken(ahead, f.Entries[1].Offset), f.Contents[1]);
    EXPECT_THROW(Taken(ahead, f.Entries[2].Offset), Exception);
    EXPECT_EQ(Taken(ahead, f.Entries[3].Offset), f.Contents[3]);
}

TEST(InflateAhead, StopsPromptlyWhenTheCallerGivesUpHalfWay)
{
    TAheadFixture f;
    for (unsigned i = 0; i < 12; ++i) {
        std::vector<uint8_t> content = Noise(size_t(3) << 20, i);
        f.Add(content, ZlibStream(content, 0));
    }
    TInflateAhead ahead(std::make_unique<TMemoryStream>(f.Bytes), f.Entries);
    EXPECT_EQ(Taken(ahead, f.Entries[0].Offset), f.Contents[0]);
    // The destructor ends the thread, which waits on the window: no hang.
}

TEST(PackageWriter, TheStrategyFollowsTheData)
{
    const std::vector<uint8_t> noise = Noise(50000, 3);
    const std::vector<uint8_t> text = Bytes(std::string(20000, 'a') + "b");
    struct TCase {
        int Level;
        const std::vector<uint8_t>* Data;
        int Expected;
    } cases[] = {
        {9, &noise, 10}, {9, &text, 6}, {1, &noise, 1}, {0, &text, 0}, {12, &text, 6},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(WholeFileLevel(c.Level, c.Data->data(), c.Data->size()), c.Expected) << c.Level;
    EXPECT_EQ(WholeFileLevel(9, nullptr, 0), 6);
}

TEST(PackageWriter, AFileLargerThanAnnouncedIsStreamedAndReadsBackWhole)
{
    // Announced as tiny, it turns out past the whole-file limit: it is
    // compressed by streaming after all, and the package holds all of it.
    const size_t size = (size_t(64) << 20) + 12345;
    TPackageItem item;
    item.Name = "Grown.bin";
    item.SizeHint = 10;
    item.Open = [size]() -> std::unique_ptr<TStream> {
        std::vector<uint8_t> data(size, 'g');
        data.back() = 'z';
        return std::make_unique<TMemoryStream>(std::move(data));
    };
    TMemoryStream out;
    TPackageWriteOptions options;
    options.Threads = 1;
    WritePackage(out, {item}, options);
    const std::vector<uint8_t>& package = out.Data();
    size_t at = 28 + TProgramVersion::RecordSize;
    EXPECT_EQ(GetInt32LE(&package[at + 72]), int32_t(size));
    TMemoryStream source(package);
    source.SetPosition(int64_t(at + 76));
    TNullSink sink;
    EXPECT_TRUE(InflateEntry(source, GetInt32LE(&package[at + 68]), int64_t(size), sink).StreamEnded);
    EXPECT_EQ(sink.Bytes, size);
}
