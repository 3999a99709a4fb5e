#pragma once
// Byte streams: the package, the uninstall log and the files the builder reads
// and writes all go through this interface. Positions are 64-bit so that a
// package appended behind a large program file is still reachable.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class SeekOrigin { Begin, Current, End };

class TStream {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Reads up to `count` bytes; returns how many were delivered (0 at the end).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes up to `count` bytes; returns how many were taken.
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Moves the position and returns the new one.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, SeekOrigin::Begin); }
    int64_t Size();

    // Exactly `count` bytes or EReadError / EWriteError.
    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);

    int32_t ReadInt32();
    uint32_t ReadUInt32();
    uint8_t ReadByte();
    double ReadDouble();
    void WriteInt32(int32_t value);
    void WriteUInt32(uint32_t value);
    void WriteByte(uint8_t value);
    void WriteDouble(double value);

    // Copies `count` bytes from `source` at its position; EReadError when it ends early.
    void CopyFrom(TStream& source, int64_t count);
};

// Little-endian helpers for fixed-layout records.
inline uint32_t GetUInt32LE(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t GetInt32LE(const uint8_t* p) { return static_cast<int32_t>(GetUInt32LE(p)); }
inline void PutUInt32LE(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void PutInt32LE(uint8_t* p, int32_t v) { PutUInt32LE(p, static_cast<uint32_t>(v)); }
inline int64_t GetInt64LE(const uint8_t* p)
{
    return static_cast<int64_t>(uint64_t(GetUInt32LE(p)) | uint64_t(GetUInt32LE(p + 4)) << 32);
}
inline void PutInt64LE(uint8_t* p, int64_t v)
{
    PutUInt32LE(p, uint32_t(uint64_t(v)));
    PutUInt32LE(p + 4, uint32_t(uint64_t(v) >> 32));
}
double GetDoubleLE(const uint8_t* p);
void PutDoubleLE(uint8_t* p, double v);

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> data) : FData(std::move(data)) {}

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;

    const std::vector<uint8_t>& Data() const { return FData; }
    std::vector<uint8_t>& Data() { return FData; }
    std::string AsString() const { return std::string(FData.begin(), FData.end()); }

private:
    std::vector<uint8_t> FData;
    size_t FPosition = 0;
};

// A read-only view of memory owned by someone else (a resource, a mapped file).
class TMemoryViewStream : public TStream {
public:
    TMemoryViewStream(const void* data, size_t size)
        : FData(static_cast<const uint8_t*>(data)), FSize(size) {}

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPosition = 0;
};

// A file through the C runtime (Create makes a new file open for reading too). Used by the builder and by the tests; the
// installer itself opens its files through the Windows layer.
class TFileStream : public TStream {
public:
    enum class Mode { Read, Create, ReadWrite };
    TFileStream(const std::string& fileName, Mode mode);
    ~TFileStream() override;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    // Flushes and closes; reports a failed flush as EWriteError.
    void Close();

    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
    std::FILE* FFile = nullptr;
};
