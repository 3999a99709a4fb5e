#include "Checksum.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

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

uint32_t StreamChecksum(TStream& stream, int64_t count, const std::function<void(int64_t)>& progress)
{
    // Large reads: a package of many gigabytes is checked at the disk's pace.
    std::vector<uint8_t> buffer(size_t(std::max<int64_t>(1, std::min<int64_t>(count, int64_t{1} << 20))));
    uint32_t result = Adler32(0, nullptr, 0);
    while (count > 0) {
        size_t got = stream.Read(buffer.data(), size_t(std::min<int64_t>(int64_t(buffer.size()), count)));
        if (got == 0) break;
        result = Adler32(result, buffer.data(), got);
        count -= int64_t(got);
        if (progress) progress(int64_t(got));
    }
    return result;
}
