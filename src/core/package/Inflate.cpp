#include "Inflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "Exception.h"
#include "Messages.h"
#include "Stream.h"

namespace {

constexpr size_t InputBlock = size_t{64} * 1024;
constexpr size_t OutputBlock = size_t{256} * 1024;

// The zlib version the installer has always announced; any 1.x library accepts it.
constexpr char AnnouncedZlibVersion[] = "1.0.4";

class TInflater {
public:
    TInflater()
    {
        if (inflateInit_(&FZ, AnnouncedZlibVersion, int(sizeof(z_stream))) != Z_OK)
            throw EZDecompressionError(LoadMessage(Msg::DecompressionError));
    }
    ~TInflater() { inflateEnd(&FZ); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;
    z_stream& Z() { return FZ; }

private:
    z_stream FZ{};
};

class TWholeDecompressor {
public:
    TWholeDecompressor() : FD(libdeflate_alloc_decompressor())
    {
        if (!FD) throw std::bad_alloc();
    }
    ~TWholeDecompressor() { libdeflate_free_decompressor(FD); }
    TWholeDecompressor(const TWholeDecompressor&) = delete;
    TWholeDecompressor& operator=(const TWholeDecompressor&) = delete;
    libdeflate_decompressor* Get() { return FD; }

private:
    libdeflate_decompressor* FD;
};

}  // namespace

size_t ReadUpTo(TStream& source, uint8_t* buffer, size_t count)
{
    size_t done = 0;
    while (done < count) {
        size_t got = source.Read(buffer + done, count - done);
        if (got == 0) break;
        done += got;
    }
    return done;
}

TInflateResult InflateWhole(const uint8_t* input, size_t inputSize, uint8_t* output, size_t outputSize,
                            bool inputComplete)
{
    // A decoder of its own per call (a small allocation): any thread may call.
    TWholeDecompressor decompressor;
    TInflateResult result;
    size_t used = 0;
    libdeflate_result rc =
        libdeflate_zlib_decompress_ex(decompressor.Get(), input, inputSize, output, outputSize, &used, nullptr);
    switch (rc) {
    case LIBDEFLATE_SUCCESS:
        result.StreamEnded = true;
        result.InputUsed = int64_t(used);
        return result;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        // The stated size is reached and the stream goes on.
        result.InputUsed = int64_t(inputSize);
        return result;
    case LIBDEFLATE_SHORT_OUTPUT:
        if (outputSize == 0) break;  // an empty entry is not read at all
        throw EReadError(LoadMessage(Msg::StreamReadError));
    default:
        if (outputSize == 0) break;
        if (!inputComplete) throw EReadError(LoadMessage(Msg::StreamReadError));
        throw EZDecompressionError(LoadMessage(Msg::DecompressionError));
    }
    return result;
}

void TStreamSink::Put(const uint8_t* data, size_t size) { FStream.WriteBuffer(data, size); }

TInflateResult InflateEntry(TStream& source, int64_t storedSize, int64_t uncompressedSize, TByteSink& sink)
{
    if (!InflatesWhole(storedSize, uncompressedSize))
        return InflateEntryStreamed(source, storedSize, uncompressedSize, sink);
    std::unique_ptr<uint8_t[]> input(new uint8_t[size_t(storedSize) + 1]);
    std::unique_ptr<uint8_t[]> output(new uint8_t[size_t(uncompressedSize) + 1]);
    size_t got = ReadUpTo(source, input.get(), size_t(storedSize));
    TInflateResult result =
        InflateWhole(input.get(), got, output.get(), size_t(uncompressedSize), got == size_t(storedSize));
    if (!result.StreamEnded && uncompressedSize > 0) {
        // The stream goes on past the stated size, where the whole-buffer
        // decoder leaves its output unfinished: the stated size is inflated
        // again from memory, block by block, as it always was.
        TMemoryViewStream again(input.get(), got);
        return InflateEntryStreamed(again, int64_t(got), uncompressedSize, sink);
    }
    if (uncompressedSize > 0) sink.Put(output.get(), size_t(uncompressedSize));
    return result;
}

TInflateResult InflateEntryStreamed(TStream& source, int64_t storedSize, int64_t uncompressedSize, TByteSink& sink)
{
    TInflateResult result;
    TInflater inflater;
    z_stream& z = inflater.Z();
    // Only entries past the whole-entry bound come here: two allocations
    // are nothing beside them.
    std::vector<uint8_t> input(InputBlock), output(OutputBlock);
    int64_t inputLeft = storedSize;
    int64_t outputLeft = uncompressedSize;
    while (outputLeft > 0) {
        if (z.avail_in == 0) {
            size_t got = inputLeft > 0 ? source.Read(input.data(), size_t(std::min<int64_t>(inputLeft, int64_t(input.size())))) : 0;
            if (got == 0) throw EReadError(LoadMessage(Msg::StreamReadError));
            inputLeft -= int64_t(got);
            result.InputUsed += int64_t(got);
            z.next_in = input.data();
            z.avail_in = uInt(got);
        }
        z.next_out = output.data();
        z.avail_out = uInt(std::min<int64_t>(outputLeft, int64_t(output.size())));
        int rc = inflate(&z, Z_NO_FLUSH);
        size_t produced = size_t(z.next_out - output.data());
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            throw EZDecompressionError(LoadMessage(Msg::DecompressionError));
        if (produced > 0) {
            sink.Put(output.data(), produced);
            outputLeft -= int64_t(produced);
        }
        if (rc == Z_STREAM_END) {
            if (outputLeft > 0) throw EReadError(LoadMessage(Msg::StreamReadError));
            result.StreamEnded = true;
        }
    }
    if (!result.StreamEnded) {
        // The stated size is reached; see whether the stream closes here too.
        uint8_t probe;
        z.next_out = &probe;
        z.avail_out = 1;
        for (;;) {
            if (z.avail_in == 0) {
                size_t got = inputLeft > 0 ? source.Read(input.data(), size_t(std::min<int64_t>(inputLeft, int64_t(input.size())))) : 0;
                if (got == 0) break;
                inputLeft -= int64_t(got);
                result.InputUsed += int64_t(got);
                z.next_in = input.data();
                z.avail_in = uInt(got);
            }
            int rc = inflate(&z, Z_NO_FLUSH);
            if (rc == Z_STREAM_END) {
                result.StreamEnded = z.avail_out == 1;
                break;
            }
            if (rc != Z_OK || z.avail_out == 0) break;
        }
    }
    result.InputUsed -= int64_t(z.avail_in);
    return result;
}
