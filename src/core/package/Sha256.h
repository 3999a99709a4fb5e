#pragma once
// SHA-256 (FIPS 180-4): what vouches for bytes that somebody may have changed
// since they were written, where Adler-32 only catches damage. An uninstall
// log's registration keeps the digest of the log as it was finished.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "Stream.h"

class TSha256 {
public:
    using TDigest = std::array<uint8_t, 32>;

    TSha256();
    void Update(const void* data, size_t length);
    // The digest of everything given so far; the object is spent afterwards.
    TDigest Finish();

    // The digest of `length` bytes at once, and as 64 lower-case hexadecimal digits.
    static TDigest Of(const void* data, size_t length);
    static std::string Hex(const TDigest& digest);

    // Whether the processor's SHA instructions are used where it has them;
    // a test turns them off to try the plain rounds on the same machine.
    static bool ProcessorRounds;

private:
    void Block(const uint8_t* block);
    // `count` blocks of 64 bytes, with the processor's SHA instructions where it has them.
    void Blocks(const uint8_t* data, size_t count);

    uint32_t FState[8];
    uint8_t FBuffer[64];
    size_t FBuffered = 0;
    uint64_t FLength = 0;
};

// Writes through to `target` and digests every byte written: the log's
// digest comes from the bytes that went out, not from reading them back.
class TDigestingStream : public TStream {
public:
    explicit TDigestingStream(TStream& target) : FTarget(target) {}
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override
    {
        size_t written = FTarget.Write(buffer, count);
        FSha.Update(buffer, written);
        return written;
    }
    // Only the position can be asked: the digest is of one sequence of bytes.
    int64_t Seek(int64_t offset, SeekOrigin origin) override
    {
        return offset == 0 && origin == SeekOrigin::Current ? FTarget.Seek(0, SeekOrigin::Current) : -1;
    }
    std::string Hex() { return TSha256::Hex(FSha.Finish()); }

private:
    TStream& FTarget;
    TSha256 FSha;
};

// The digest of a stream's bytes from its position to its end, as hexadecimal digits.
std::string StreamSha256(TStream& stream);
