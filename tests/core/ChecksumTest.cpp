#include <gtest/gtest.h>
#include <zlib.h>

#include "Checksum.h"
#include "Sha256.h"
#include "Stream.h"

// A stream that hands out at most a few bytes per read, like a pipe or a slow file.
class TTrickleStream : public TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    size_t Read(void* buffer, size_t count) override { return TMemoryStream::Read(buffer, count < 7 ? count : 7); }
};

TEST(Checksum, Adler32KnownValues)
{
    EXPECT_EQ(Adler32(0, nullptr, 0), 1u);
    EXPECT_EQ(Adler32(12345, nullptr, 0), 1u);
    // The example of RFC 1950's appendix and Wikipedia: "Wikipedia".
    EXPECT_EQ(Adler32(1, "Wikipedia", 9), 0x11E60398u);
    // Continuing over two pieces equals one pass.
    EXPECT_EQ(Adler32(Adler32(1, "Wiki", 4), "pedia", 5), 0x11E60398u);
}

TEST(Checksum, Adler32AgreesWithZlibAtEveryRunBoundary)
{
    // Bytes of every value, long runs of 0xFF (the largest sums between
    // reductions), odd starts and lengths around the 16-byte pieces and the
    // 5552-byte runs, and starting sums near the modulus.
    std::vector<uint8_t> data(3 * 5552 + 100);
    uint32_t state = 12345;
    for (uint8_t& byte : data) {
        state = state * 1103515245u + 12345u;
        byte = uint8_t(state >> 23);
    }
    std::vector<uint8_t> full(20000, 0xFF);
    struct Case {
        const std::vector<uint8_t>* bytes;
        size_t offset, length;
        uint32_t start;
    } cases[] = {
        {&data, 0, 64, 1},        {&data, 1, 65, 1},           {&data, 3, 79, 0xFFF0FFF0},
        {&data, 5, 5551, 1},      {&data, 0, 5552, 0x12345678}, {&data, 7, 5553, 1},
        {&data, 15, 5552 + 16, 1}, {&data, 2, data.size() - 2, 0xFFF0FFF0},
        {&full, 0, full.size(), 1}, {&full, 1, 5552 * 3 + 15, 0xFFF0FFF0},
    };
    for (const Case& c : cases) {
        const uint8_t* at = c.bytes->data() + c.offset;
        EXPECT_EQ(Adler32(c.start, at, c.length), uint32_t(adler32(c.start, at, uInt(c.length))))
            << "offset " << c.offset << ", length " << c.length << ", from " << c.start;
    }
}

TEST(Checksum, StreamChecksumMatchesOnePass)
{
    std::vector<uint8_t> data(10000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + i / 13);
    TMemoryStream stream(data);
    stream.SetPosition(100);
    EXPECT_EQ(StreamChecksum(stream, 9000), Adler32(1, data.data() + 100, 9000));
    EXPECT_EQ(stream.Position(), 9100);
}

TEST(Checksum, StreamThatEndsEarlySumsFewerBytes)
{
    std::vector<uint8_t> data(5000, 0xAB);
    TMemoryStream stream(data);
    // Asking for more than is there is not an error: the sum covers what came.
    EXPECT_EQ(StreamChecksum(stream, 20000), Adler32(1, data.data(), data.size()));
}

TEST(Checksum, ShortReadsCountWhatTheyDelivered)
{
    // A stream that delivers less than asked (a package's volumes end a read
    // at their boundary) is summed over every byte it delivers.
    std::vector<uint8_t> data(9000, 0x11);
    TTrickleStream stream(data);
    EXPECT_EQ(StreamChecksum(stream, 9000), Adler32(1, data.data(), 9000));
}

TEST(Checksum, NothingToSumGivesOne)
{
    TMemoryStream stream;
    EXPECT_EQ(StreamChecksum(stream, 0), 1u);
    EXPECT_EQ(StreamChecksum(stream, -5), 1u);
}

TEST(Checksum, Sha256KnownValuesWholeAndInPieces)
{
    // FIPS 180-4's examples: the empty message, one block, the 56-byte message
    // whose padding takes a second block, and a million 'a's; with the
    // processor's SHA instructions (where it has them) and without.
    std::string million(1000000, 'a');
    struct Case {
        std::string message, digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (bool processor : {true, false})
    for (const Case& c : cases) {
        TSha256::ProcessorRounds = processor;
        EXPECT_EQ(TSha256::Hex(TSha256::Of(c.message.data(), c.message.size())), c.digest) << c.message.size();
        // Pieces of every size up to 130 bytes, across the 64-byte blocks.
        for (size_t piece = 1; piece <= 130 && piece <= c.message.size() + 1; piece += 7) {
            TSha256 sha;
            for (size_t at = 0; at < c.message.size(); at += piece)
                sha.Update(c.message.data() + at, std::min(piece, c.message.size() - at));
            EXPECT_EQ(TSha256::Hex(sha.Finish()), c.digest) << c.message.size() << " in pieces of " << piece;
        }
    }
    TSha256::ProcessorRounds = true;
}
