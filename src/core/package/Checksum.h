#pragma once
// Adler-32 as defined for the zlib format (RFC 1950).
#include <cstddef>
#include <cstdint>
#include <functional>

class TStream;
class TSha256;

// Given no data returns 1, the initial value; otherwise continues `adler` over the bytes.
uint32_t Adler32(uint32_t adler, const void* data, size_t length);

// Adler-32 of the next `count` bytes of the stream, read in blocks of up to
// 1 MiB. A stream that ends early is not an error: fewer bytes are summed and
// the mismatch with the stored value reports the damage. `progress` hears of
// every block summed; `digest`, when given, is fed the same bytes.
uint32_t StreamChecksum(TStream& stream, int64_t count,
                        const std::function<void(int64_t)>& progress = nullptr, TSha256* digest = nullptr);
