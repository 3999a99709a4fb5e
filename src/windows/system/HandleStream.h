#pragma once
// A stream over a Windows file handle, opened with the access and sharing that
// each use of a file needs.
#include <windows.h>

#include <functional>
#include <memory>
#include <vector>
#include <string>

#include "Stream.h"
#include "WinHandle.h"

class THandleStream : public TStream {
public:
    // Opens an existing file for reading; EFOpenError names the file and the
    // system's reason.
    static std::unique_ptr<THandleStream> OpenRead(const std::string& fileName, DWORD share);
    // Creates (or replaces) a file for writing; EFCreateError on failure.
    // `extraAccess` adds rights to the handle (DELETE: it can be renamed).
    static std::unique_ptr<THandleStream> Create(const std::string& fileName, DWORD extraAccess = 0);
    // Opens an existing file for reading and writing, shared with nobody;
    // EFOpenError on failure.
    static std::unique_ptr<THandleStream> OpenWrite(const std::string& fileName);

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;

    HANDLE Handle() const { return FHandle.Get(); }

private:
    explicit THandleStream(TFileHandle handle) : FHandle(std::move(handle)) {}

    // Small reads (headers, the checksum's 4 KiB blocks) are served from a
    // read-ahead buffer; large reads go straight to the file.
    static constexpr size_t ReadAhead = 64 * 1024;
    void DropBuffer();

    TFileHandle FHandle;
    std::vector<uint8_t> FBuffer;
    size_t FBufferPos = 0, FBufferLen = 0;
    int64_t FBufferStart = 0;  // file position of FBuffer[0]
    bool FBuffered = false;    // the file pointer stands at FBufferStart + FBufferLen
};

// The system's text for an error code, without trailing line breaks.
std::string SysErrorMessage(DWORD code);

// Writes a file whole under the name `partial`, flushes it to the disk and
// only then renames it over `path` (write-through), so that `path` is never
// half written. A failure while writing deletes the partial file and passes
// on; the rename's Windows error is returned (0 when it went), the partial
// file deleted.
DWORD WriteWholeAndReplace(const std::string& path, const std::string& partial,
                           const std::function<void(THandleStream&)>& write);

