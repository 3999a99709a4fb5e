#include "Checksum.h"

#include <zlib.h>

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#include <emmintrin.h>
#endif

#include <algorithm>
#include <vector>

#include "Sha256.h"
#include "Stream.h"

namespace {

constexpr uint32_t AdlerBase = 65521;
// The most bytes after which the sums still fit 32 bits before they are reduced (zlib's NMAX).
constexpr size_t AdlerRun = 5552;

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#define SETUP_ADLER_SSE2 1
// Sixteen bytes at a time. For a run of n bytes b[0..n-1] after sums s1, s2:
//   s1 += sum of b[i];  s2 += n * s1 + sum of (n - i) * b[i].
// Within a 16-byte piece byte j counts 16 - j times towards s2, and every byte
// of the pieces before counts 16 times more for each piece after it.
__attribute__((target("sse2"))) uint32_t Adler32Sse2(uint32_t adler, const uint8_t* p, size_t length)
{
    uint32_t s1 = adler & 0xFFFF, s2 = adler >> 16;
    const __m128i zero = _mm_setzero_si128();
    const __m128i firstWeights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i lastWeights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    while (length >= 16) {
        size_t n = std::min(length, AdlerRun) & ~size_t(15);
        length -= n;
        __m128i sums = zero, before = zero, weighted = zero;
        for (size_t i = 0; i < n; i += 16, p += 16) {
            __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            before = _mm_add_epi32(before, sums);
            sums = _mm_add_epi32(sums, _mm_sad_epu8(bytes, zero));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), firstWeights));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), lastWeights));
        }
        alignas(16) uint32_t lanes[3][4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes[0]), sums);
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes[1]), before);
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes[2]), weighted);
        uint64_t byteSum = uint64_t(lanes[0][0]) + lanes[0][2];
        uint64_t earlier = uint64_t(lanes[1][0]) + lanes[1][2];
        uint64_t within = uint64_t(lanes[2][0]) + lanes[2][1] + lanes[2][2] + lanes[2][3];
        s2 = uint32_t((s2 + uint64_t(s1) * n + 16 * earlier + within) % AdlerBase);
        s1 = uint32_t((s1 + byteSum) % AdlerBase);
    }
    for (size_t i = 0; i < length; ++i) {
        s1 += p[i];
        s2 += s1;
    }
    return ((s2 % AdlerBase) << 16) | (s1 % AdlerBase);
}

bool HasSse2()
{
#ifdef __x86_64__
    return true;
#else
    // The processor's feature bits (CPUID leaf 1, EDX bit 26).
    static const bool has = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & (1u << 26)) != 0;
    }();
    return has;
#endif
}
#endif

}  // namespace

uint32_t Adler32(uint32_t adler, const void* data, size_t length)
{
    if (!data) return 1;
    auto* p = static_cast<const Bytef*>(data);
#ifdef SETUP_ADLER_SSE2
    // zlib's loop takes a byte at a time; the package is summed before anything
    // is written, so its pace is the installation's at the start.
    if (length >= 64 && HasSse2()) return Adler32Sse2(adler, p, length);
#endif
    // zlib takes a 32-bit length; feed larger spans in slices.
    while (length > 0) {
        uInt slice = uInt(std::min<size_t>(length, 1u << 30));
        adler = uint32_t(adler32(adler, p, slice));
        p += slice;
        length -= slice;
    }
    return adler;
}

uint32_t StreamChecksum(TStream& stream, int64_t count, const std::function<void(int64_t)>& progress, TSha256* digest)
{
    // Large reads: a package of many gigabytes is checked at the disk's pace.
    std::vector<uint8_t> buffer(size_t(std::max<int64_t>(1, std::min<int64_t>(count, int64_t{1} << 20))));
    uint32_t result = Adler32(0, nullptr, 0);
    while (count > 0) {
        size_t got = stream.Read(buffer.data(), size_t(std::min<int64_t>(int64_t(buffer.size()), count)));
        if (got == 0) break;
        result = Adler32(result, buffer.data(), got);
        if (digest) digest->Update(buffer.data(), got);
        count -= int64_t(got);
        if (progress) progress(int64_t(got));
    }
    return result;
}
