#pragma once
// Decompression of one package file entry. An entry up to a bound is read and
// inflated whole, in memory, by a fast whole-buffer decoder; a larger one is a
// zlib stream read from the package and handed on in large blocks, never held
// whole in memory. Both accept any valid zlib stream.
#include <cstddef>
#include <cstdint>

class TStream;

class TByteSink {
public:
    virtual ~TByteSink() = default;
    virtual void Put(const uint8_t* data, size_t size) = 0;
};

// Hands inflated data on to a stream (memory, or a file the builder writes).
class TStreamSink : public TByteSink {
public:
    explicit TStreamSink(TStream& stream) : FStream(stream) {}
    void Put(const uint8_t* data, size_t size) override;

private:
    TStream& FStream;
};

// Throws the data away, counting it: for checking streams without keeping them.
class TNullSink : public TByteSink {
public:
    void Put(const uint8_t*, size_t size) override { Bytes += size; }
    size_t Bytes = 0;
};

struct TInflateResult {
    bool StreamEnded = false;  // the zlib stream ended (trailer checked) with the last byte
    int64_t InputUsed = 0;     // compressed bytes consumed
};

namespace InflateLimits {
// Entries of up to this many bytes, compressed and uncompressed, are inflated
// whole; anything larger is streamed, so memory stays flat in payload size.
constexpr int64_t WholeEntry = int64_t{4} << 20;
}  // namespace InflateLimits

// Whether an entry of these sizes is inflated whole.
inline bool InflatesWhole(int64_t storedSize, int64_t uncompressedSize)
{
    return storedSize >= 0 && uncompressedSize >= 0 && storedSize <= InflateLimits::WholeEntry + 4096 &&
           uncompressedSize <= InflateLimits::WholeEntry;
}

// Inflates a zlib stream held in memory into exactly `outputSize` bytes at
// `output`, with the same outcomes as InflateEntry: damaged data raises
// EZDecompressionError, a stream that ends before the stated size the read
// error, one that goes on past it returns StreamEnded false. `inputComplete`
// false says the input was cut short by the end of the package: a stream that
// runs out then is the read error too.
TInflateResult InflateWhole(const uint8_t* input, size_t inputSize, uint8_t* output, size_t outputSize,
                            bool inputComplete = true);

// Inflates exactly `uncompressedSize` bytes from the zlib stream at the source's
// position into the sink, reading no more than `storedSize` bytes of input.
// Damaged data raises EZDecompressionError ("Error"); a stream that ends before
// the stated size raises the stream's read error.
// Entries InflatesWhole accepts are inflated whole, the rest streamed.
TInflateResult InflateEntry(TStream& source, int64_t storedSize, int64_t uncompressedSize, TByteSink& sink);
// The same, always streamed through zlib, whatever the size.
TInflateResult InflateEntryStreamed(TStream& source, int64_t storedSize, int64_t uncompressedSize, TByteSink& sink);

// Reads up to `count` bytes, fewer only at the stream's end.
size_t ReadUpTo(TStream& source, uint8_t* buffer, size_t count);
