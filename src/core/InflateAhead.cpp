#include "InflateAhead.h"

#include <algorithm>

#include "Exception.h"
#include "Inflate.h"
#include "Messages.h"
#include "Stream.h"

void TInflateAhead::TBuffer::Reserve(size_t size)
{
    if (size <= Capacity && Data) return;
    // Sizes come in a few steps only (powers of two to 1 MiB, then steps of
    // 256 KiB): buffers of every size a file happens to have would leave the
    // heap in pieces, and the program would grow with every file inflated.
    size_t rounded = size_t(64) << 10;
    while (rounded < size && rounded < (size_t(1) << 20)) rounded *= 2;
    if (rounded < size) rounded = (size + (size_t(256) << 10) - 1) & ~((size_t(256) << 10) - 1);
    Data.reset();
    Data.reset(new uint8_t[rounded + 1]);
    Capacity = rounded;
}

TInflateAhead::TInflateAhead(std::unique_ptr<TStream> source, const std::vector<TEntry>& entries)
    : FSource(std::move(source))
{
    for (const TEntry& entry : entries)
        if (InflatesWhole(entry.StoredSize, entry.Size)) FEntries.push_back(entry);
    std::sort(FEntries.begin(), FEntries.end(), [](const TEntry& a, const TEntry& b) { return a.Offset < b.Offset; });
    FThread = std::thread([this] { Work(); });
}

TInflateAhead::~TInflateAhead()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FStopping = true;
    }
    FWorkerWake.notify_all();
    FThread.join();
}

void TInflateAhead::Release(TReady& ready)
{
    FInFlight -= ready.Held;
    if (ready.Buffer.Data && FFreeBytes + int64_t(ready.Buffer.Capacity) <= Kept) {
        FFreeBytes += int64_t(ready.Buffer.Capacity);
        FFree.push_back(std::move(ready.Buffer));
    }
    ready = TReady();
}

void TInflateAhead::Work()
{
    TBuffer input;
    for (const TEntry& entry : FEntries) {
        TReady ready;
        ready.Offset = entry.Offset;
        ready.Size = size_t(entry.Size);
        {
            std::unique_lock<std::mutex> lock(FMutex);
            // The smallest kept buffer that holds the entry, else a new one.
            auto fit = FFree.end();
            for (auto it = FFree.begin(); it != FFree.end(); ++it)
                if (it->Capacity >= ready.Size && (fit == FFree.end() || it->Capacity < fit->Capacity)) fit = it;
            if (fit != FFree.end()) {
                FFreeBytes -= int64_t(fit->Capacity);
                ready.Buffer = std::move(*fit);
                FFree.erase(fit);
            }
            ready.Held = std::max<int64_t>(entry.Size, int64_t(ready.Buffer.Capacity));
            if (!(FInFlight == 0 || FInFlight + ready.Held <= Window)) {
                // Full: go on once the caller is done with half of it.
                FWorkerWaiting = true;
                FWorkerWake.wait(lock, [&] { return FStopping || WorkerMayGoOn(ready.Held); });
                FWorkerWaiting = false;
            }
            if (FStopping) break;
            FInFlight += ready.Held;
        }
        try {
            input.Reserve(size_t(entry.StoredSize));
            ready.Buffer.Reserve(ready.Size);
            FSource->SetPosition(entry.Offset);
            size_t got = ReadUpTo(*FSource, input.Data.get(), size_t(entry.StoredSize));
            TInflateResult result = InflateWhole(input.Data.get(), got, ready.Buffer.Data.get(), ready.Size,
                                                 got == size_t(entry.StoredSize));
            // The stream must end where the entry says, with its own checksum.
            if (!result.StreamEnded && ready.Size > 0)
                throw EZDecompressionError(LoadMessage(Msg::DecompressionError));
        } catch (...) {
            ready.Error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FReady.push_back(std::move(ready));
            if (FCallerWaiting) FCallerWake.notify_one();
        }
    }
    std::lock_guard<std::mutex> lock(FMutex);
    FFinished = true;
    if (FCallerWaiting) FCallerWake.notify_one();
}

bool TInflateAhead::WorkerMayGoOn(int64_t held) const
{
    return FInFlight == 0 || (FInFlight <= Window / 2 && FInFlight + held <= Window);
}

void TInflateAhead::WakeWorkerIfDue()
{
    // Any entry the thread waits for is at most half the window.
    if (FWorkerWaiting && (FInFlight == 0 || FInFlight <= Window / 2)) FWorkerWake.notify_one();
}

bool TInflateAhead::Take(int64_t offset, const uint8_t*& data, size_t& size)
{
    std::unique_lock<std::mutex> lock(FMutex);
    if (FHolding) {
        Release(FHeld);
        FHolding = false;
        WakeWorkerIfDue();
    }
    auto listed = std::lower_bound(FEntries.begin(), FEntries.end(), offset,
                                   [](const TEntry& entry, int64_t at) { return entry.Offset < at; });
    if (listed == FEntries.end() || listed->Offset != offset) return false;
    for (;;) {
        if (FReady.empty() && !FFinished) {
            FCallerWaiting = true;
            FCallerWake.wait(lock, [&] { return !FReady.empty() || FFinished; });
            FCallerWaiting = false;
        }
        if (FReady.empty()) return false;
        TReady& front = FReady.front();
        if (front.Offset < offset) {
            // A file the caller passed over.
            Release(front);
            FReady.pop_front();
            WakeWorkerIfDue();
            continue;
        }
        if (front.Offset > offset) return false;
        FHeld = std::move(front);
        FReady.pop_front();
        FHolding = true;
        if (FHeld.Error) {
            std::exception_ptr error = FHeld.Error;
            Release(FHeld);
            FHolding = false;
            WakeWorkerIfDue();
            std::rethrow_exception(error);
        }
        data = FHeld.Buffer.Data.get();
        size = FHeld.Size;
        return true;
    }
}
