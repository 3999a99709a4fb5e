#include "Sha256.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#include <immintrin.h>
#define SETUP_SHA_EXTENSIONS 1
#endif

namespace {

constexpr uint32_t RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t Rotate(uint32_t value, int bits) { return (value >> bits) | (value << (32 - bits)); }

#ifdef SETUP_SHA_EXTENSIONS
// The processor's own SHA-256 rounds, where it has them: the volumes of a
// package of many gigabytes are digested at several times the speed of the
// plain rounds below.
bool HasShaExtensions()
{
    static const bool has = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_SSSE3) || !(ecx & bit_SSE4_1)) return false;
        return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & (1u << 29)) != 0;
    }();
    return has;
}

__attribute__((target("sha,sse4.1,ssse3"))) void ShaExtensionBlocks(uint32_t* state, const uint8_t* data, size_t blocks)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    // The state as the instructions hold it: ABEF and CDGH.
    __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; blocks > 0; --blocks, data += 64) {
        __m128i savedAbef = abef, savedCdgh = cdgh;
        __m128i w[16];
        for (size_t i = 0; i < 16; ++i) {
            if (i < 4)
                w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
            else
                w[i] = _mm_sha256msg2_epu32(
                    _mm_add_epi32(_mm_sha256msg1_epu32(w[i - 4], w[i - 3]), _mm_alignr_epi8(w[i - 1], w[i - 2], 4)),
                    w[i - 1]);
            __m128i message =
                _mm_add_epi32(w[i], _mm_loadu_si128(reinterpret_cast<const __m128i*>(RoundConstants + 4 * i)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(message, 0x0E));
        }
        abef = _mm_add_epi32(abef, savedAbef);
        cdgh = _mm_add_epi32(cdgh, savedCdgh);
    }
    __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}
#endif

}  // namespace

bool TSha256::ProcessorRounds = true;

TSha256::TSha256()
    : FState{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      FBuffer{}
{
}

void TSha256::Block(const uint8_t* block)
{
    uint32_t w[64];
    for (size_t i = 0; i < 16; ++i)
        w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 | uint32_t(block[4 * i + 2]) << 8 |
               uint32_t(block[4 * i + 3]);
    for (size_t i = 16; i < 64; ++i) {
        uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = FState[0], b = FState[1], c = FState[2], d = FState[3];
    uint32_t e = FState[4], f = FState[5], g = FState[6], h = FState[7];
    for (int i = 0; i < 64; ++i) {
        uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) + RoundConstants[i] + w[i];
        uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    FState[0] += a;
    FState[1] += b;
    FState[2] += c;
    FState[3] += d;
    FState[4] += e;
    FState[5] += f;
    FState[6] += g;
    FState[7] += h;
}

void TSha256::Blocks(const uint8_t* data, size_t count)
{
#ifdef SETUP_SHA_EXTENSIONS
    if (count > 0 && ProcessorRounds && HasShaExtensions()) return ShaExtensionBlocks(FState, data, count);
#endif
    for (; count > 0; --count, data += sizeof FBuffer) Block(data);
}

void TSha256::Update(const void* data, size_t length)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    FLength += length;
    if (FBuffered > 0) {
        size_t take = std::min(length, sizeof FBuffer - FBuffered);
        std::memcpy(FBuffer + FBuffered, bytes, take);
        FBuffered += take;
        bytes += take;
        length -= take;
        if (FBuffered < sizeof FBuffer) return;
        Blocks(FBuffer, 1);
        FBuffered = 0;
    }
    size_t blocks = length / sizeof FBuffer;
    Blocks(bytes, blocks);
    bytes += blocks * sizeof FBuffer;
    length -= blocks * sizeof FBuffer;
    if (length > 0) std::memcpy(FBuffer, bytes, length);
    FBuffered = length;
}

TSha256::TDigest TSha256::Finish()
{
    uint64_t bits = FLength * 8;
    uint8_t padding[72] = {0x80};
    size_t pad = (FBuffered < 56 ? 56 : 120) - FBuffered;
    for (int i = 0; i < 8; ++i) padding[pad + i] = uint8_t(bits >> (56 - 8 * i));
    Update(padding, pad + 8);
    TDigest digest;
    for (size_t i = 0; i < 8; ++i)
        for (size_t j = 0; j < 4; ++j) digest[4 * i + j] = uint8_t(FState[i] >> (24 - 8 * j));
    return digest;
}

TSha256::TDigest TSha256::Of(const void* data, size_t length)
{
    TSha256 sha;
    sha.Update(data, length);
    return sha.Finish();
}

std::string TSha256::Hex(const TDigest& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) text += std::string{digits[byte >> 4], digits[byte & 15]};
    return text;
}

std::string StreamSha256(TStream& stream)
{
    TSha256 sha;
    std::vector<uint8_t> block(size_t{64} << 10);
    for (size_t got; (got = stream.Read(block.data(), block.size())) > 0;) sha.Update(block.data(), got);
    return TSha256::Hex(sha.Finish());
}
