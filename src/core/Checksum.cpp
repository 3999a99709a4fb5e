#include "Checksum.h"

#include <zlib.h>

#include <algorithm>

#include "Stream.h"

uint32_t Adler32(uint32_t adler, const void* data, size_t length)
{
    if (!data) return 1;
    auto* p = static_cast<const Bytef*>(data);
    // zlib takes a 32-bit length; feed larger spans in slices.
    while (length > 0) {
        uInt slice = uInt(std::min<size_t>(length, 1u << 30));
        adler = uint32_t(adler32(adler, p, slice));
        p += slice;
        length -= slice;
    }
    return adler;
}

uint32_t StreamChecksum(TStream& stream, int64_t count)
{
    constexpr int64_t BlockSize = 4096;
    uint8_t buffer[BlockSize];
    uint32_t result = Adler32(0, nullptr, 0);
    while (count > 0) {
        size_t got = stream.Read(buffer, size_t(std::min(BlockSize, count)));
        result = Adler32(result, buffer, got);
        count -= BlockSize;
    }
    return result;
}
