#include <gtest/gtest.h>

#include "FileSystem.h"
#include "HandleStream.h"
#include "RunJournal.h"
#include "TestFiles.h"
#include "TestPackages.h"

namespace {

// What the journal's file was given: its text in order, and how much of it
// had been written at each flush.
std::string Written;
std::vector<size_t> Flushes;

BOOL WINAPI RecordingWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    Written.append(static_cast<const char*>(data), size);
    return WriteFile(file, data, size, written, overlapped);
}

BOOL WINAPI RecordingFlush(HANDLE file)
{
    Flushes.push_back(Written.size());
    return FlushFileBuffers(file);
}

// The recorders stand in for the system's calls while it lives.
struct TRecordedCalls {
    TRecordedCalls()
    {
        FileWriteCall = RecordingWrite;
        FileFlushCall = RecordingFlush;
    }
    ~TRecordedCalls()
    {
        FileWriteCall = WriteFile;
        FileFlushCall = FlushFileBuffers;
        Written.clear();
        Flushes.clear();
    }
};

}  // namespace

// A step that moves or replaces what was there before is taken only once its
// line, and the text length that makes the line part of the journal, are on
// the disk: after a power cut the journal must know where somebody's file,
// count or registration went. A flush costs a trip to the disk, so the other
// lines go with the next one.
TEST(RunJournal, TheLineOfAStepThatMovesOrReplacesWhatWasThereIsFlushedFirst)
{
    TTestFolder folder("JournalFlush");
    std::string product = folder / "Product\\", vst = folder / "Vst\\";
    const struct {
        std::string Line;
        bool Flushed;
    } rows[] = {
        {"F" + product + "Echo.dll", false},
        {"D" + product, false},
        {"T" + product + "Presets\\", false},
        {"U\\Software\\Maker\\Echo", false},
        {"C.fxp", false},
        {"M\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Echo", true},  // replaces a registration
        {"E" + folder.Path(), false},
        {"6\\Software\\Maker\\Echo", false},
        {"S" + product + "Echo.dll|5|01D9", false},
        {"B" + vst + "Other.dll|" + product + "Replaced Files\\1 Other.dll", true},  // somebody's file moved aside
        {"H" + vst + "Echo.dll", true},                                             // a count raised
        {"P" + product + "Echo.dll.partial", false},
        {"R" + vst + "Echo.dll|" + product + "Replaced Files\\2 Echo.dll", true},  // the earlier file moved aside
        {"Q" + vst + "Echo.dll|1", true},                                           // the count as it was
        {"K\\Software\\Maker\\Echo|U|1", false},
        {"V\\Software\\Maker|U|Path|1:4300", false},
        {"OAnn", true},  // where the registration and the counts are
    };
    TRunJournal journal;
    journal.Open(folder / "Uninstall.dat", MakeVersion("2.10"), "Echo", {});
    TRecordedCalls calls;
    for (const auto& row : rows) {
        size_t before = Flushes.size();
        journal.Append(row.Line);
        EXPECT_EQ(Flushes.size() - before, row.Flushed ? 1u : 0u) << row.Line;
        // Nothing of the line was written after its flush.
        if (Flushes.size() > before) {
            EXPECT_EQ(Flushes.back(), Written.size()) << row.Line;
        }
    }
}
