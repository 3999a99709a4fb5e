#include "HandleStream.h"

#include <algorithm>
#include <cstring>

#include "Exception.h"
#include "Messages.h"
#include "SystemCalls.h"

std::string SysErrorMessage(DWORD code)
{
    char buffer[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                             sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (text.empty()) text = "System error " + std::to_string(code);
    return text;
}

std::unique_ptr<THandleStream> THandleStream::OpenRead(const std::string& fileName, DWORD share)
{
    TFileHandle h(CreateFileA(fileName.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (!h.Valid()) {
        DWORD error = GetLastError();
        throw EFOpenError(FormatMessageText(Msg::FileOpenError, {fileName, SysErrorMessage(error)}));
    }
    return std::unique_ptr<THandleStream>(new THandleStream(std::move(h)));
}

std::unique_ptr<THandleStream> THandleStream::Create(const std::string& fileName, DWORD extraAccess)
{
    TFileHandle h(CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE | extraAccess, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) {
        DWORD error = GetLastError();
        throw EFCreateError(FormatMessageText(Msg::FileCreateError, {fileName, SysErrorMessage(error)}));
    }
    return std::unique_ptr<THandleStream>(new THandleStream(std::move(h)));
}

std::unique_ptr<THandleStream> THandleStream::OpenWrite(const std::string& fileName)
{
    TFileHandle h(CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) {
        DWORD error = GetLastError();
        throw EFOpenError(FormatMessageText(Msg::FileOpenError, {fileName, SysErrorMessage(error)}));
    }
    return std::unique_ptr<THandleStream>(new THandleStream(std::move(h)));
}

size_t THandleStream::Read(void* buffer, size_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    if (FBuffered && FBufferPos < FBufferLen) {
        done = std::min(count, FBufferLen - FBufferPos);
        std::memcpy(out, FBuffer.data() + FBufferPos, done);
        FBufferPos += done;
        if (done == count) return done;
    }
    // The buffer is used up: its end is where the file pointer stands.
    if (FBuffered) {
        FBuffered = false;
        FBufferPos = FBufferLen = 0;
    }
    size_t rest = count - done;
    DWORD got = 0;
    if (rest >= ReadAhead) {
        if (!ReadFile(FHandle.Get(), out + done, DWORD(std::min<size_t>(rest, 1u << 30)), &got, nullptr)) return done;
        return done + got;
    }
    FBuffer.resize(ReadAhead);
    LARGE_INTEGER zero{}, here{};
    SetFilePointerEx(FHandle.Get(), zero, &here, FILE_CURRENT);
    if (!ReadFile(FHandle.Get(), FBuffer.data(), DWORD(ReadAhead), &got, nullptr)) return done;
    FBufferStart = here.QuadPart;
    FBufferLen = got;
    FBuffered = true;
    size_t take = std::min(rest, FBufferLen);
    std::memcpy(out + done, FBuffer.data(), take);
    FBufferPos = take;
    return done + take;
}

// Puts the file pointer back where the reader stands and forgets the buffer.
void THandleStream::DropBuffer()
{
    if (!FBuffered) return;
    LARGE_INTEGER target;
    target.QuadPart = FBufferStart + int64_t(FBufferPos);
    SetFilePointerEx(FHandle.Get(), target, nullptr, FILE_BEGIN);
    FBuffered = false;
    FBufferPos = FBufferLen = 0;
}

size_t THandleStream::Write(const void* buffer, size_t count)
{
    DropBuffer();
    DWORD put = 0;
    DWORD ask = DWORD(std::min<size_t>(count, 1u << 30));
    if (!SystemCalls().Write(FHandle.Get(), buffer, ask, &put, nullptr)) return 0;
    return put;
}

int64_t THandleStream::Seek(int64_t offset, SeekOrigin origin)
{
    if (FBuffered) {
        int64_t logical = FBufferStart + int64_t(FBufferPos);
        if (origin == SeekOrigin::Current && offset == 0) return logical;
        int64_t target = origin == SeekOrigin::Begin ? offset : origin == SeekOrigin::Current ? logical + offset : -1;
        if (target >= FBufferStart && target <= FBufferStart + int64_t(FBufferLen)) {
            FBufferPos = size_t(target - FBufferStart);
            return target;
        }
        DropBuffer();
    }
    DWORD how = origin == SeekOrigin::Begin ? FILE_BEGIN : origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(FHandle.Get(), distance, &result, how))
        throw EReadError(LoadMessage(Msg::StreamReadError));
    return result.QuadPart;
}

DWORD WriteWholeAndReplace(const std::string& path, const std::string& partial,
                           const std::function<void(THandleStream&)>& write)
{
    try {
        std::unique_ptr<THandleStream> file = THandleStream::Create(partial);
        write(*file);
        FlushFileBuffers(file->Handle());
    } catch (...) {
        DeleteFileA(partial.c_str());
        throw;
    }
    if (MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    DWORD error = GetLastError();
    DeleteFileA(partial.c_str());
    return error;
}
