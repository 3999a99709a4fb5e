#include "Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Exception.h"
#include "Messages.h"

int64_t TStream::Size()
{
    int64_t here = Position();
    int64_t end = Seek(0, SeekOrigin::End);
    Seek(here, SeekOrigin::Begin);
    return end;
}

void TStream::ReadBuffer(void* buffer, size_t count)
{
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        size_t got = Read(p, count);
        if (got == 0) throw EReadError(LoadMessage(Msg::StreamReadError));
        p += got;
        count -= got;
    }
}

void TStream::WriteBuffer(const void* buffer, size_t count)
{
    auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        size_t put = Write(p, count);
        if (put == 0) throw EWriteError(LoadMessage(Msg::StreamWriteError));
        p += put;
        count -= put;
    }
}

int32_t TStream::ReadInt32()
{
    uint8_t b[4];
    ReadBuffer(b, 4);
    return GetInt32LE(b);
}

uint32_t TStream::ReadUInt32()
{
    uint8_t b[4];
    ReadBuffer(b, 4);
    return GetUInt32LE(b);
}

uint8_t TStream::ReadByte()
{
    uint8_t b;
    ReadBuffer(&b, 1);
    return b;
}

double TStream::ReadDouble()
{
    uint8_t b[8];
    ReadBuffer(b, 8);
    return GetDoubleLE(b);
}

void TStream::WriteInt32(int32_t value)
{
    uint8_t b[4];
    PutInt32LE(b, value);
    WriteBuffer(b, 4);
}

void TStream::WriteUInt32(uint32_t value)
{
    uint8_t b[4];
    PutUInt32LE(b, value);
    WriteBuffer(b, 4);
}

void TStream::WriteByte(uint8_t value) { WriteBuffer(&value, 1); }

void TStream::WriteDouble(double value)
{
    uint8_t b[8];
    PutDoubleLE(b, value);
    WriteBuffer(b, 8);
}

void TStream::CopyFrom(TStream& source, int64_t count)
{
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
    while (count > 0) {
        size_t chunk = static_cast<size_t>(std::min<int64_t>(count, int64_t(buffer.size())));
        source.ReadBuffer(buffer.data(), chunk);
        WriteBuffer(buffer.data(), chunk);
        count -= int64_t(chunk);
    }
}

double GetDoubleLE(const uint8_t* p)
{
    uint64_t bits = uint64_t(GetUInt32LE(p)) | uint64_t(GetUInt32LE(p + 4)) << 32;
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

void PutDoubleLE(uint8_t* p, double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    PutUInt32LE(p, uint32_t(bits));
    PutUInt32LE(p + 4, uint32_t(bits >> 32));
}

// Positions outside 0..limit are clamped the way a file's are: never below 0.
static size_t ResolveSeek(int64_t offset, SeekOrigin origin, size_t position, size_t size)
{
    int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? int64_t(position) : int64_t(size);
    int64_t target = base + offset;
    return target < 0 ? 0 : size_t(target);
}

size_t TMemoryStream::Read(void* buffer, size_t count)
{
    if (FPosition >= FData.size()) return 0;
    size_t n = std::min(count, FData.size() - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, n);
    FPosition += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count)
{
    if (FPosition + count > FData.size()) FData.resize(FPosition + count);
    std::memcpy(FData.data() + FPosition, buffer, count);
    FPosition += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin)
{
    FPosition = ResolveSeek(offset, origin, FPosition, FData.size());
    return int64_t(FPosition);
}

size_t TMemoryViewStream::Read(void* buffer, size_t count)
{
    if (FPosition >= FSize) return 0;
    size_t n = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FData + FPosition, n);
    FPosition += n;
    return n;
}

size_t TMemoryViewStream::Write(const void*, size_t) { return 0; }

int64_t TMemoryViewStream::Seek(int64_t offset, SeekOrigin origin)
{
    FPosition = ResolveSeek(offset, origin, FPosition, FSize);
    return int64_t(FPosition);
}

TFileStream::TFileStream(const std::string& fileName, Mode mode) : FFileName(fileName)
{
    const char* how = mode == Mode::Read ? "rb" : mode == Mode::Create ? "w+b" : "r+b";
    FFile = std::fopen(fileName.c_str(), how);
    if (!FFile) {
        int message = mode == Mode::Create ? Msg::FileCreateError : Msg::FileOpenError;
        std::string reason = std::strerror(errno);
        if (mode == Mode::Create) throw EFCreateError(FormatMessageText(message, {fileName, reason}));
        throw EFOpenError(FormatMessageText(message, {fileName, reason}));
    }
}

TFileStream::~TFileStream()
{
    if (FFile) std::fclose(FFile);
}

void TFileStream::Close()
{
    if (!FFile) return;
    int failed = std::fclose(FFile);
    FFile = nullptr;
    if (failed) throw EWriteError(LoadMessage(Msg::StreamWriteError));
}

size_t TFileStream::Read(void* buffer, size_t count) { return std::fread(buffer, 1, count, FFile); }

size_t TFileStream::Write(const void* buffer, size_t count) { return std::fwrite(buffer, 1, count, FFile); }

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin)
{
    int how = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
#ifdef _WIN32
    if (_fseeki64(FFile, offset, how) != 0) throw EReadError(LoadMessage(Msg::StreamReadError));
    return _ftelli64(FFile);
#else
    if (fseeko(FFile, offset, how) != 0) throw EReadError(LoadMessage(Msg::StreamReadError));
    return ftello(FFile);
#endif
}
