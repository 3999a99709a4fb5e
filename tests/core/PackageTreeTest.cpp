#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "Exception.h"
#include "Inflate.h"
#include "PackageFormat.h"
#include "PackageReader.h"
#include "PackageVolumes.h"
#include "TestPackages.h"

namespace {

class TStringSink : public TByteSink {
public:
    void Put(const uint8_t* data, size_t size) override { Text.append(reinterpret_cast<const char*>(data), size); }
    std::string Text;
};

// Collects every entry: folders as "path\", files with their content.
class TCollector : public TEntryVisitor {
public:
    void File(const TEntryHeader& entry, const std::string& path, TStream& stream) override
    {
        TStringSink sink;
        InflateEntry(stream, entry.StoredSize, entry.UncompressedSize, sink);
        Order.push_back(path);
        Files[path] = sink.Text;
    }
    bool EnterFolder(const TEntryHeader&, const std::string& path) override
    {
        Order.push_back(path + "\\");
        return true;
    }
    std::vector<std::string> Order;
    std::map<std::string, std::string> Files;
};

TCollector Walk(const std::vector<uint8_t>& bytes)
{
    TMemoryStream stream(bytes);
    TPackageInfo info = ReadPackageHeader(stream);
    TCollector collector;
    stream.SetPosition(info.EntriesStart);
    PackageReader::WalkList(stream, info.DataEnd, info.Wide, collector);
    return collector;
}

std::string ErrorOfWalk(const std::vector<uint8_t>& bytes)
{
    try {
        Walk(bytes);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

// Finds a top-level entry and inflates it, as the installer's lookups do.
std::string Lookup(const std::vector<uint8_t>& bytes, const std::string& name, bool folder, bool* found = nullptr)
{
    TMemoryStream stream(bytes);
    TPackageInfo info = ReadPackageHeader(stream);
    TEntryHeader entry;
    bool hit = PackageReader::FindTopLevel(stream, info, name, folder, entry);
    if (found) *found = hit;
    if (!hit) return "(none)";
    if (folder) return "folder " + entry.NameText();
    TStringSink sink;
    InflateEntry(stream, entry.StoredSize, entry.UncompressedSize, sink);
    return sink.Text;
}

TEntryHeader HeaderAt(const std::vector<uint8_t>& bytes, size_t offset)
{
    TMemoryStream stream(bytes);
    stream.SetPosition(int64_t(offset));
    TEntryHeader h;
    h.Load(stream, false);
    return h;
}

const char Corrupted[] = "The installer appears to be corrupted. Please download it again";

}  // namespace

TEST(PackageTree, RoundTripKeepsOrderNamesAndContent)
{
    TCollector c = Walk(BuildPackageBytes(SampleItems()));
    std::vector<std::string> expected = {"Setup.ini",          "Setup.lic",    "Main",
                                         "Main\\",             "Main\\Readme.txt", "Main\\Empty.txt",
                                         "Main\\Presets\\",    "Main\\Presets\\Default.fxp",
                                         "Main\\Nothing\\",    "VstX\\",       "VstX\\Sample.dll"};
    EXPECT_EQ(c.Order, expected);
    EXPECT_EQ(c.Files["Main\\Readme.txt"], std::string(5000, 'r'));
    EXPECT_EQ(c.Files["Main\\Empty.txt"], "");
    EXPECT_EQ(c.Files["VstX\\Sample.dll"], std::string(100000, '\x90'));
    EXPECT_EQ(c.Files["Main"], "a file that shares its name with a folder");
}

TEST(PackageTree, EntryHeadersFollowTheFormat)
{
    std::vector<uint8_t> bytes = BuildPackageBytes({TPackageItem::Folder("Empty"), TPackageItem::File("A.txt", "abc", 0x12345678)});
    TEntryHeader folder = HeaderAt(bytes, TestEntriesStart);
    EXPECT_EQ(folder.NameText(), "Empty");
    EXPECT_EQ(folder.FileTime, 0);
    EXPECT_EQ(folder.StoredSize, 76);  // its end record alone
    EXPECT_EQ(folder.UncompressedSize, -1);
    TEntryHeader file = HeaderAt(bytes, TestEntriesStart + 76 + 76);
    EXPECT_EQ(file.NameText(), "A.txt");
    EXPECT_EQ(file.FileTime, 0x12345678);
    EXPECT_EQ(file.UncompressedSize, 3);
    // Level 9 zlib streams start with 78 DA.
    EXPECT_EQ(bytes[TestEntriesStart + 228], 0x78);
    EXPECT_EQ(bytes[TestEntriesStart + 229], 0xDA);
    // The closing end record: name length 0, time 0, stored 0, size -1.
    TEntryHeader end = HeaderAt(bytes, bytes.size() - 76);
    EXPECT_TRUE(end.IsEnd());
    EXPECT_EQ(end.FileTime, 0);
    EXPECT_EQ(end.StoredSize, 0);
    EXPECT_EQ(end.UncompressedSize, -1);
    EXPECT_EQ(GetInt32LE(&bytes[24]), 1);  // file count: folders not counted
}

TEST(PackageTree, SameInputsGiveSameBytes)
{
    EXPECT_EQ(BuildPackageBytes(SampleItems()), BuildPackageBytes(SampleItems()));
}

TEST(PackageTree, TopLevelLookupIgnoresCaseOfAsciiLettersOnly)
{
    std::vector<uint8_t> bytes = BuildPackageBytes(
        {TPackageItem::File("Setup.ini", "ini"), TPackageItem::File("\xC4rger.txt", "upper umlaut"),
         TPackageItem::File("Main", "file"), TPackageItem::Folder("Main"),
         TPackageItem::Folder("Sub", {TPackageItem::File("Deep.txt", "deep")})});
    EXPECT_EQ(Lookup(bytes, "setup.ini", false), "ini");
    EXPECT_EQ(Lookup(bytes, "SETUP.INI", false), "ini");
    EXPECT_EQ(Lookup(bytes, "\xC4RGER.TXT", false), "upper umlaut");
    EXPECT_EQ(Lookup(bytes, "\xE4rger.txt", false), "(none)");  // lower-case umlaut is another letter
    // A file and a folder may share a name: each lookup finds its own kind.
    EXPECT_EQ(Lookup(bytes, "main", false), "file");
    EXPECT_EQ(Lookup(bytes, "MAIN", true), "folder Main");
    EXPECT_EQ(Lookup(bytes, "Setup.ini", true), "(none)");
    // Only the top level is searched.
    EXPECT_EQ(Lookup(bytes, "Deep.txt", false), "(none)");
}

TEST(PackageTree, WriterRefusesNamesAnEntryCannotCarry)
{
    for (const std::string& name :
         {std::string(64, 'n'), std::string("a\\b"), std::string("a/b"), std::string("C:x"), std::string("tab\there"),
          std::string("del\x7F"), std::string("."), std::string(".."), std::string(), std::string("CON"),
          std::string("aux.txt"), std::string("Com1.dll"), std::string("lpt9"), std::string("nul .log"),
          std::string("t.txt."), std::string("t.txt "), std::string("a?b"), std::string("a|b")}) {
        EXPECT_THROW(BuildPackageBytes({TPackageItem::File(name, "x")}), ESetupError) << name;
        EXPECT_THROW(BuildPackageBytes({TPackageItem::Folder("ok", {TPackageItem::Folder(name)})}), ESetupError)
            << name;
    }
    // Names that only look like devices are files like any other.
    for (const char* name : {"CONSOLE.txt", "COM10", "LPT0.dll", "Auxiliary", "nul-free.txt", ".hidden"})
        EXPECT_NO_THROW(BuildPackageBytes({TPackageItem::File(name, "x")})) << name;
    EXPECT_NO_THROW(BuildPackageBytes({TPackageItem::File(std::string(63, 'n'), "x")}));
}

TEST(PackageTree, HostileNamesAreReportedAsDamage)
{
    const std::vector<uint8_t> good = BuildPackageBytes({TPackageItem::Folder("Main", {TPackageItem::File("Evil.txt", "x")})});
    const size_t childName = TestEntriesStart + 76 + 1;
    for (const std::string& name : {std::string("..\\..\\x"), std::string("a/b"), std::string("C:"),
                                   std::string("a\nb"), std::string("del\x7F"), std::string("."), std::string(".."),
                                   std::string("CON"), std::string("aux.txt"), std::string("t.txt."),
                                   std::string("t.txt "), std::string("COM1")}) {
        std::vector<uint8_t> bad = good;
        bad[childName - 1] = uint8_t(name.size());
        std::memcpy(&bad[childName], name.data(), name.size());
        RefreshChecksum(bad);
        EXPECT_EQ(ErrorOfWalk(bad), Corrupted) << name;
    }
}

TEST(PackageTree, HostileSizesAreReportedAsDamage)
{
    const std::vector<uint8_t> good = BuildPackageBytes(
        {TPackageItem::Folder("Main", {TPackageItem::File("A.txt", "aaaa")}), TPackageItem::File("B.txt", "bbbb")});
    const size_t folder = TestEntriesStart, file = TestEntriesStart + 76;
    struct Change {
        size_t offset;
        int32_t value;
        const char* what;
    } changes[] = {
        {folder + 68, -76, "folder stored size negative, pointing back at itself"},
        {folder + 68, 0x7FFFFFF0, "folder stored size past the data"},
        {file + 68, -1, "file stored size negative"},
        {file + 68, 1000, "file stored size past its folder's list"},
        {file + 72, -2, "file size negative"},
        {folder + 68, 10, "folder list too short for its end record"},
    };
    for (const Change& c : changes) {
        std::vector<uint8_t> bad = good;
        PutInt32LE(&bad[c.offset], c.value);
        RefreshChecksum(bad);
        EXPECT_EQ(ErrorOfWalk(bad), Corrupted) << c.what;
    }
}

TEST(PackageTree, StoredSizeMayReachTheEndOfItsListButNotPassIt)
{
    // The last top-level entry before the closing end record: the list ends with that record.
    const std::vector<uint8_t> good =
        BuildPackageBytes({TPackageItem::File("A.txt", "aaaa"), TPackageItem::File("B.txt", "bbbb")});
    const size_t last = TestEntriesStart + 76 + size_t(HeaderAt(good, TestEntriesStart).StoredSize);
    const int32_t stored = HeaderAt(good, last).StoredSize;
    ASSERT_EQ(HeaderAt(good, last).NameText(), "B.txt");
    ASSERT_EQ(last + 76 + size_t(stored) + 76, good.size());
    auto lookupWithSize = [&](int32_t size) {
        std::vector<uint8_t> bytes = good;
        PutInt32LE(&bytes[last + 68], size);
        RefreshChecksum(bytes);
        try {
            return Lookup(bytes, "B.txt", false);
        } catch (const Exception& e) {
            return e.Message();
        }
    };
    EXPECT_EQ(lookupWithSize(stored + 76), "bbbb");        // exactly to the end of the list
    EXPECT_EQ(lookupWithSize(stored + 76 + 1), Corrupted);  // one byte past it
}

TEST(PackageTree, DeepNestingIsReportedAsDamage)
{
    auto nested = [](int folders) {
        TPackageItem item = TPackageItem::File("leaf", "x");
        for (int i = 0; i < folders; ++i) item = TPackageItem::Folder("d", {item});
        return BuildPackageBytes({item});
    };
    TCollector atLimit = Walk(nested(PackageReader::MaxDepth));
    EXPECT_EQ(atLimit.Order.size(), size_t(PackageReader::MaxDepth + 1));
    EXPECT_EQ(ErrorOfWalk(nested(PackageReader::MaxDepth + 1)), Corrupted);
}

TEST(PackageTree, DamagedCompressedDataIsTheDecompressorsError)
{
    std::vector<uint8_t> bytes = BuildPackageBytes({TPackageItem::File("A.txt", std::string(3000, 'a'))});
    const size_t data = TestEntriesStart + 76;
    bytes[data] = 0x00;  // not a zlib header
    RefreshChecksum(bytes);
    try {
        Walk(bytes);
        FAIL() << "inflated damaged data";
    } catch (const EZDecompressionError& e) {
        EXPECT_EQ(e.Message(), "Error");
    }
}

TEST(PackageTree, StreamShorterThanItsSizeIsReadError)
{
    std::vector<uint8_t> bytes = BuildPackageBytes({TPackageItem::File("A.txt", std::string(3000, 'a'))});
    PutInt32LE(&bytes[TestEntriesStart + 72], 3001);
    RefreshChecksum(bytes);
    EXPECT_THROW(Walk(bytes), EReadError);
}

TEST(PackageTree, ParallelCompressionWritesTheSameBytes)
{
    std::vector<TPackageItem> files;
    for (int i = 0; i < 40; ++i) {
        std::string content(size_t(1000 + i * 3777), '\0');
        for (size_t j = 0; j < content.size(); ++j) content[j] = char((j * (i + 7)) % 251 ^ (j >> 9));
        files.push_back(TPackageItem::File("File" + std::to_string(i) + ".bin", content));
    }
    // One file too large to be held in memory ahead of the writer: it is streamed.
    files.push_back(TPackageItem::File("Large.bin", std::string(size_t(70) << 20, 'z')));
    std::vector<TPackageItem> items = {TPackageItem::Folder("Main", files), TPackageItem::File("Setup.ini", "x")};
    auto build = [&](unsigned threads) {
        TMemoryStream out;
        TPackageWriteOptions options;
        options.Version = MakeVersion("1.00");
        options.Threads = threads;
        WritePackage(out, items, options);
        return out.Data();
    };
    std::vector<uint8_t> one = build(1);
    EXPECT_EQ(build(4), one);
    EXPECT_EQ(build(2), one);
    EXPECT_EQ(Walk(one).Files["Main\\Large.bin"].size(), size_t(70) << 20);
}

TEST(PackageTree, AFileThatCannotBeReadStopsAParallelBuild)
{
    std::vector<TPackageItem> files;
    for (int i = 0; i < 20; ++i) files.push_back(TPackageItem::File("F" + std::to_string(i), std::string(5000, 'f')));
    files[7].Open = []() -> std::unique_ptr<TStream> { throw EFOpenError("Cannot open file \"F7\"."); };
    TMemoryStream out;
    TPackageWriteOptions options;
    options.Threads = 3;
    try {
        WritePackage(out, {TPackageItem::Folder("Main", files)}, options);
        FAIL() << "built without F7";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"F7\".");
    }
}

namespace {

// Data that does not compress, from a fixed seed.
std::string NoiseBytes(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    return bytes;
}

// A volume the writer makes in memory and hands back when it is done with it.
class TKeptStream : public TMemoryStream {
public:
    explicit TKeptStream(std::vector<uint8_t>& keep) : FKeep(keep) {}
    ~TKeptStream() override { FKeep = Data(); }

private:
    std::vector<uint8_t>& FKeep;
};

std::string VolumeDamaged(const char* number)
{
    return std::string("The file 'Echo Setup-") + number +
           ".bin' of this installer is damaged or belongs to another download. Please download the installer again";
}

struct TWidePackage {
    std::vector<uint8_t> First;
    std::vector<std::vector<uint8_t>> Volumes;
};

TWidePackage BuildWide(const std::vector<TPackageItem>& items, int64_t volumeSize, double creationTime)
{
    TWidePackage package;
    package.Volumes.reserve(64);
    TMemoryStream out;
    TPackageWriteOptions options;
    options.Version = MakeVersion("3.0");
    options.CreationTime = creationTime;
    options.Wide = true;
    options.VolumeSize = volumeSize;
    options.VolumeName = [](size_t index) { return VolumeFileName("Echo Setup.exe", index); };
    options.NewVolume = [&](size_t) -> std::unique_ptr<TStream> {
        package.Volumes.emplace_back();
        return std::make_unique<TKeptStream>(package.Volumes.back());
    };
    WritePackage(out, items, options);
    package.First = out.Data();
    return package;
}

}  // namespace

// A wide package split into volumes reads as one package, and every kind of
// damage to its parts is found by the check, naming the volume.
TEST(PackageTree, AWidePackageInVolumesReadsAsOneAndEachFaultIsFound)
{
    std::vector<TPackageItem> items = {
        TPackageItem::File("Setup.ini", "[Setup]\r\n"),
        TPackageItem::Folder("Samples", {TPackageItem::File("Room.wav", NoiseBytes(90000, 1)),
                                         TPackageItem::File("Hall.wav", NoiseBytes(70000, 2)),
                                         TPackageItem::Folder("Empty")}),
    };
    const TWidePackage sound = BuildWide(items, 32768, TestCreationTime());
    ASSERT_EQ(sound.Volumes.size(), 4u);
    EXPECT_EQ(std::string(sound.First.begin(), sound.First.begin() + 8), "KX/ISB/4");
    const TWidePackage other = BuildWide(items, 32768, TestCreationTime() + 1);

    struct TRow {
        const char* What;
        std::function<void(TWidePackage&)> Damage;
        std::string Error;  // empty: sound
        const char* Note;
    } rows[] = {
        {"sound", [](TWidePackage&) {}, "", ""},
        {"a byte of a volume's data", [](TWidePackage& p) { p.Volumes[2][500] ^= 0x20; }, VolumeDamaged("3"),
         "volume Echo Setup-3.bin is damaged"},
        {"a volume of another build", [&](TWidePackage& p) { p.Volumes[1] = other.Volumes[1]; }, VolumeDamaged("2"),
         "volume Echo Setup-2.bin belongs to another installer"},
        {"two volumes swapped", [](TWidePackage& p) { std::swap(p.Volumes[0], p.Volumes[1]); }, VolumeDamaged("1"),
         "volume Echo Setup-1.bin is another volume of this installer's build"},
        {"a volume cut short", [](TWidePackage& p) { p.Volumes[3].resize(p.Volumes[3].size() - 1); }, VolumeDamaged("4"),
         "volume Echo Setup-4.bin does not have the size"},
        {"a volume missing", [](TWidePackage& p) { p.Volumes[3].clear(); }, "missing: Echo Setup-4.bin", ""},
        {"a byte of the volume table in the program file",
         [](TWidePackage& p) { p.First[p.First.size() - 4 * 32 - 70] ^= 0x01; }, Corrupted, "does not match its checksum"},
        {"a byte of a volume's digest in the program file",
         [](TWidePackage& p) { p.First[p.First.size() - 10] ^= 0x01; }, Corrupted, "does not match its checksum"},
        // +1, -2, +1 on three bytes in a row leaves Adler-32 as it was.
        {"a volume made to fit its checksum",
         [](TWidePackage& p) {
             std::vector<uint8_t>& v = p.Volumes[2];
             size_t at = 500;
             while (v[at] == 0xFF || v[at + 1] < 2 || v[at + 2] == 0xFF) ++at;
             v[at] += 1;
             v[at + 1] -= 2;
             v[at + 2] += 1;
         },
         VolumeDamaged("3"), "volume Echo Setup-3.bin is not this installer's: its data does not match its digest"},
    };
    for (const TRow& row : rows) {
        TWidePackage package = sound;
        row.Damage(package);
        std::string error, note;
        TCollector collector;
        try {
            TMemoryStream first(package.First);
            TPackageInfo info = ReadPackageHeader(first, -1);
            TVolumeOpener open = [&](const TVolumeRecord& volume, size_t index) -> std::unique_ptr<TStream> {
                if (package.Volumes[index - 1].empty()) throw EVolumeMissing("missing: " + volume.Name);
                return std::make_unique<TMemoryStream>(package.Volumes[index - 1]);
            };
            auto noted = [&](const std::string& text) { note = text; };
            CheckPackageData(first, info, open, nullptr, noted);
            std::unique_ptr<TStream> data =
                OpenSpannedPackage(std::make_unique<TMemoryStream>(package.First), info, open, noted);
            data->SetPosition(info.EntriesStart);
            PackageReader::WalkList(*data, info.DataEnd, info.Wide, collector);
        } catch (const Exception& e) {
            error = e.Message();
        }
        EXPECT_EQ(error, row.Error) << row.What;
        EXPECT_NE(note.find(row.Note), std::string::npos) << row.What << ": " << note;
        if (!row.Error.empty()) continue;
        EXPECT_EQ(collector.Files["Samples\\Room.wav"], NoiseBytes(90000, 1));
        EXPECT_EQ(collector.Files["Samples\\Hall.wav"], NoiseBytes(70000, 2));
        EXPECT_EQ(collector.Order.size(), 5u);  // Setup.ini, the folder, two files, the empty folder
    }
}
