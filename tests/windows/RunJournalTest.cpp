#include <gtest/gtest.h>

#include <functional>

#include "FileSystem.h"
#include "HandleStream.h"
#include "Registry.h"
#include "RunJournal.h"
#include "SystemCalls.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "UninstallRegistration.h"

namespace {

// What the journal's file was given: its text in order, how much of it had
// been written at each flush, and a look at the machine as each write goes.
std::string Written;
std::vector<size_t> Flushes;
std::function<void(const std::string&)> OnWrite;

BOOL WINAPI RecordingWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    std::string text(static_cast<const char*>(data), size);
    Written += text;
    if (OnWrite) OnWrite(text);
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
        Calls->Write = RecordingWrite;
        Calls->Flush = RecordingFlush;
    }
    ~TRecordedCalls()
    {
        Written.clear();
        Flushes.clear();
        OnWrite = nullptr;
    }
    TSystemCallsScope Calls;
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
        {"V\\Software\\Maker|U|Path|1:4300", true},  // a value written over
        {"OAnn", true},  // where the registration and the counts are
        {"X\\Software\\Maker\\Echo|U|1", false},  // made by the run: nothing there before
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

// A place is in the registration's roots before the first line that names it
// reaches the journal: the uninstaller of a run ended right after that line
// obeys the line only inside those roots.
TEST(RunJournal, TheRegisteredRootsHoldAPlaceBeforeItsLineIsWritten)
{
    TTestFolder folder("JournalRoots");
    const std::string name = "SetupTests Journal Roots", product = folder / "Product\\";
    TRegistry machine;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(machine.OpenKey(UninstallRegistryKey + name, true));
    machine.CloseKey();
    {
        TRunJournal journal;
        journal.Open(folder / "Uninstall.dat", MakeVersion("2.10"), "Echo", {});
        journal.KeepRootsIn(name, InstallationRoots(std::vector<std::string>{"D" + product}));
        TRecordedCalls calls;
        for (const std::string& line : {"F" + folder / "Vst\\Echo.dll", std::string("U\\Software\\SetupTests\\Journal Roots"),
                                        "B" + folder / "Docs\\Readme.txt|" + product + "Replaced Files\\1 Readme.txt"}) {
            bool written = false, held = false;
            OnWrite = [&](const std::string& text) {
                if (text != line + "\r\n") return;
                TInstallationRoots roots;
                written = true;
                held = ReadRegisteredRoots(TInstallScope::Everyone, name, roots) && roots.Hold(line);
            };
            journal.Append(line);
            EXPECT_TRUE(written) << line;
            EXPECT_TRUE(held) << line;
        }
    }
    machine.DeleteKey(UninstallRegistryKey + name);
}

// A folder the run wrote into and that was swapped for a link before the
// rollback: the rollback removes nothing behind the link, and says so; what
// the run wrote where no link lies still goes.
TEST(RunJournal, TheRollbackNeverReachesThroughALink)
{
    TTestFolder folder("JournalLink");
    const std::string product = folder / "Product", elsewhere = folder / "Documents";
    ASSERT_TRUE(CreateDirectoryA(product.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
    const std::string plugins = folder / "Vst", kept = folder / "Docs";
    ASSERT_TRUE(CreateDirectoryA(plugins.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(kept.c_str(), nullptr));
    WriteWholeFile(plugins + "\\Echo.dll", {1});
    WriteWholeFile(elsewhere + "\\Echo.dll", {2});
    WriteWholeFile(elsewhere + "\\Readme.txt", {3});
    WriteWholeFile(kept + "\\Readme.txt", {4});

    TRunJournal journal;
    std::vector<std::string> notes;
    journal.OnNote = [&](const std::string& note) { notes.push_back(note); };
    for (const std::string& line : {"F" + plugins + "\\Echo.dll", "F" + product + "\\Echo.dll",
                                    "B" + product + "\\Readme.txt|" + kept + "\\Readme.txt"})
        journal.Append(line);
    // The product's folder now leads to the user's documents.
    ASSERT_TRUE(RemoveDirectoryA(product.c_str()));
    ASSERT_TRUE(MakeHostLink(product, elsewhere));
    std::vector<std::string> left = journal.RollBack();

    EXPECT_TRUE(FileExists(elsewhere + "\\Echo.dll"));
    EXPECT_EQ(ReadWholeFile(elsewhere + "\\Readme.txt"), std::vector<uint8_t>{3});
    EXPECT_TRUE(FileExists(kept + "\\Readme.txt"));
    EXPECT_FALSE(FileExists(plugins + "\\Echo.dll"));
    ASSERT_EQ(left.size(), 2u);
    for (const std::string& what : left) EXPECT_EQ(what.rfind("reached through a link " + product, 0), 0u) << what;
    RemoveHostLink(product);
}
