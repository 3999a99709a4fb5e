#pragma once
// Inflating the files of a list one step ahead of the one who writes them.
// A thread of its own reads and inflates the entries small enough to be held
// whole, in package order, while the caller writes the file before; it stays
// at most a window of inflated bytes ahead. Everything the caller does (the
// callbacks, questions, the log) stays on the caller's thread and in its
// order: it takes each file's bytes when it comes to that file, and errors of
// an entry are raised then, as if it had inflated the entry itself.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TStream;

class TInflateAhead {
public:
    struct TEntry {
        int64_t Offset;      // stream position of the entry's data
        int64_t StoredSize;
        int64_t Size;
    };
    // Inflated bytes held at most, by the thread and the caller together: one
    // ring of this size, taken once, in which each file lies whole after the
    // one before (a file that does not fit before the ring's end starts again
    // at its beginning). Files come and go in package order, so the ring
    // never leaves holes; buffers taken and given back per file would leave
    // the heap in pieces, and the program would grow with every gigabyte.
    static constexpr int64_t Window = int64_t{8} << 20;

    // `source` is a stream of the package for the thread alone; `entries`
    // lists files in package order. Those InflatesWhole refuses are left out.
    TInflateAhead(std::unique_ptr<TStream> source, const std::vector<TEntry>& entries);
    ~TInflateAhead();
    TInflateAhead(const TInflateAhead&) = delete;
    TInflateAhead& operator=(const TInflateAhead&) = delete;

    // The checked content of the entry whose data starts at `offset`, valid
    // until the next call. Returns false for an entry that is not inflated
    // ahead (the caller inflates it itself). Entries before it that were not
    // asked for are dropped. The entry's decompression error is raised here.
    bool Take(int64_t offset, const uint8_t*& data, size_t& size);

private:
    struct TReady {
        int64_t Offset = 0;
        size_t Size = 0;
        size_t At = 0;     // where in the ring the content starts
        int64_t Held = 0;  // ring bytes it takes: its size, and the ring's end it skipped
        std::exception_ptr Error;
    };

    void Work();
    // Where the file goes in the ring and what it holds of it, if it fits now.
    bool Place(TReady& ready) const;
    void Release(TReady& ready);
    void WakeWorkerIfDue();

    std::unique_ptr<TStream> FSource;
    std::vector<TEntry> FEntries;
    // Each side is woken only when it waits and there is something for it:
    // the thread when the caller has freed half the window, the caller when
    // the next file is ready. (A wake-up costs a round trip through the
    // system; one per file would cost more than it saves.)
    std::mutex FMutex;
    std::condition_variable FWorkerWake, FCallerWake;
    bool FWorkerWaiting = false, FCallerWaiting = false;
    std::deque<TReady> FReady;
    std::unique_ptr<uint8_t[]> FRing;
    size_t FRingSize = 0;
    size_t FTail = 0;       // where the next file goes
    size_t FWanted = 0;     // the size of the file the thread waits to place
    TReady FHeld;
    bool FHolding = false;
    int64_t FInFlight = 0;
    bool FStopping = false;
    bool FFinished = false;
    std::thread FThread;
};
