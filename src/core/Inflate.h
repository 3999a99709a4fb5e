#pragma once
// Decompression of one package file entry: a zlib stream read from the package
// and handed on in large blocks, never held whole in memory.
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

// Inflates exactly `uncompressedSize` bytes from the zlib stream at the source's
// position into the sink, reading no more than `storedSize` bytes of input.
// Damaged data raises EZDecompressionError ("Error"); a stream that ends before
// the stated size raises the stream's read error.
TInflateResult InflateEntry(TStream& source, int64_t storedSize, int64_t uncompressedSize, TByteSink& sink);
