#include "HandleStream.h"

#include <algorithm>

#include "Exception.h"
#include "Messages.h"

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

std::unique_ptr<THandleStream> THandleStream::Create(const std::string& fileName)
{
    TFileHandle h(CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) {
        DWORD error = GetLastError();
        throw EFCreateError(FormatMessageText(Msg::FileCreateError, {fileName, SysErrorMessage(error)}));
    }
    return std::unique_ptr<THandleStream>(new THandleStream(std::move(h)));
}

size_t THandleStream::Read(void* buffer, size_t count)
{
    DWORD got = 0;
    DWORD ask = DWORD(std::min<size_t>(count, 1u << 30));
    if (!ReadFile(FHandle.Get(), buffer, ask, &got, nullptr)) return 0;
    return got;
}

size_t THandleStream::Write(const void* buffer, size_t count)
{
    DWORD put = 0;
    DWORD ask = DWORD(std::min<size_t>(count, 1u << 30));
    if (!WriteFile(FHandle.Get(), buffer, ask, &put, nullptr)) return 0;
    return put;
}

int64_t THandleStream::Seek(int64_t offset, SeekOrigin origin)
{
    DWORD how = origin == SeekOrigin::Begin ? FILE_BEGIN : origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(FHandle.Get(), distance, &result, how))
        throw EReadError(LoadMessage(Msg::StreamReadError));
    return result.QuadPart;
}
