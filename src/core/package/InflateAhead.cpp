#include "InflateAhead.h"

#include <algorithm>

#include "Exception.h"
#include "Inflate.h"
#include "Messages.h"
#include "Stream.h"

TInflateAhead::TInflateAhead(std::unique_ptr<TStream> source, const std::vector<TEntry>& entries)
    : FSource(std::move(source))
{
    for (const TEntry& entry : entries)
        if (InflatesWhole(entry.StoredSize, entry.Size)) FEntries.push_back(entry);
    std::sort(FEntries.begin(), FEntries.end(), [](const TEntry& a, const TEntry& b) { return a.Offset < b.Offset; });
    // A small product needs no more ring than all its files together.
    int64_t total = 0;
    for (const TEntry& entry : FEntries) total = std::min(total + entry.Size, Window);
    FRingSize = size_t(total);
    FRing.reset(new uint8_t[FRingSize + 1]);
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

bool TInflateAhead::Place(TReady& ready) const
{
    // The ring holds from its head to FTail in use, perhaps wrapping; what is
    // free runs from FTail to the ring's end and from its beginning to the
    // head. FInFlight counts at least the bytes in use.
    const size_t size = ready.Size, free = FRingSize - size_t(FInFlight);
    if (FInFlight == 0 || size == 0) {
        ready.At = FInFlight == 0 ? 0 : FTail;
        ready.Held = int64_t(size);
        return true;
    }
    if (FTail + size <= FRingSize) {
        ready.At = FTail;
        ready.Held = int64_t(size);
        return size <= free;
    }
    // From the beginning again: the rest of the ring counts as held until
    // this file is done with.
    ready.At = 0;
    ready.Held = int64_t(FRingSize - FTail + size);
    return ready.Held <= int64_t(free);
}

void TInflateAhead::Release(TReady& ready)
{
    FInFlight -= ready.Held;
    ready = TReady();
}

void TInflateAhead::Work()
{
    std::unique_ptr<uint8_t[]> input;
    size_t inputCapacity = 0;
    for (const TEntry& entry : FEntries) {
        TReady ready;
        ready.Offset = entry.Offset;
        ready.Size = size_t(entry.Size);
        {
            std::unique_lock<std::mutex> lock(FMutex);
            if (!Place(ready)) {
                // Full: go on once the caller is done with half the ring and
                // the file fits.
                FWanted = ready.Size;
                FWorkerWaiting = true;
                FWorkerWake.wait(lock, [&] { return FStopping || Place(ready); });
                FWorkerWaiting = false;
            }
            if (FStopping) break;
            FInFlight += ready.Held;
            FTail = ready.At + ready.Size;
        }
        try {
            // The compressed bytes: a buffer that only grows, a few times at most.
            const size_t stored = size_t(entry.StoredSize), step = size_t(1) << 20;
            if (inputCapacity < stored || !input) {
                inputCapacity = std::max(inputCapacity, size_t(64) << 10);
                while (inputCapacity < stored && inputCapacity < step) inputCapacity *= 2;
                if (inputCapacity < stored) inputCapacity = (stored + step - 1) / step * step;
                input.reset();
                input.reset(new uint8_t[inputCapacity]);
            }
            uint8_t* output = FRing.get() + ready.At;
            FSource->SetPosition(entry.Offset);
            size_t got = ReadUpTo(*FSource, input.get(), stored);
            TInflateResult result = InflateWhole(input.get(), got, output, ready.Size, got == stored);
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

void TInflateAhead::WakeWorkerIfDue()
{
    // The thread is woken once half the ring is free and its file fits, or
    // the ring is empty: a wake-up per file would cost more than it saves.
    if (!FWorkerWaiting) return;
    TReady wanted;
    wanted.Size = FWanted;
    if (FInFlight == 0 || (FInFlight <= int64_t(FRingSize / 2) && Place(wanted)))
        FWorkerWake.notify_one();
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
        data = FRing.get() + FHeld.At;
        size = FHeld.Size;
        return true;
    }
}
