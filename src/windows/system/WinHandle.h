#pragma once
// Small owners for Windows handles: one per sentinel kind, non-copyable,
// movable, no implicit conversions.
#include <windows.h>

#include <utility>

template <typename Traits>
class TWinHandle {
public:
    using Handle = typename Traits::Handle;

    TWinHandle() = default;
    explicit TWinHandle(Handle h) : FHandle(h) {}
    ~TWinHandle() { Reset(); }
    TWinHandle(const TWinHandle&) = delete;
    TWinHandle& operator=(const TWinHandle&) = delete;
    TWinHandle(TWinHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, Traits::Invalid())) {}
    TWinHandle& operator=(TWinHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            FHandle = std::exchange(other.FHandle, Traits::Invalid());
        }
        return *this;
    }

    Handle Get() const { return FHandle; }
    bool Valid() const { return FHandle != Traits::Invalid(); }
    Handle Release() { return std::exchange(FHandle, Traits::Invalid()); }
    void Reset(Handle h = Traits::Invalid())
    {
        if (Valid()) Traits::Close(FHandle);
        FHandle = h;
    }

private:
    Handle FHandle = Traits::Invalid();
};

struct TFileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

// Process, thread and event handles: null when absent.
struct TKernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct TFindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};

struct TModuleHandleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};

struct TRegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

using TFileHandle = TWinHandle<TFileHandleTraits>;
using TKernelHandle = TWinHandle<TKernelHandleTraits>;
using TFindHandle = TWinHandle<TFindHandleTraits>;
using TModule = TWinHandle<TModuleHandleTraits>;
using TRegKey = TWinHandle<TRegKeyTraits>;
