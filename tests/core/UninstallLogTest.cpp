#include <gtest/gtest.h>

#include "Exception.h"
#include "FolderRule.h"
#include "PathUtils.h"
#include "Stream.h"
#include "TestPackages.h"
#include "TextUtils.h"
#include "UninstallLog.h"

namespace {

std::vector<uint8_t> Serialised(const std::vector<std::string>& lines, const std::string& product,
                                bool packed = false)
{
    TMemoryStream stream;
    WriteUninstallLog(stream, MakeVersion("2.02"), TLineStore(lines), product, packed);
    return stream.Data();
}

TUninstallLog Parse(std::vector<uint8_t> bytes)
{
    TMemoryStream stream(std::move(bytes));
    return ReadUninstallLog(stream);
}

}  // namespace

TEST(UninstallLog, LettersFollowTheKindNumbersAndKeyLettersTheirRoots)
{
    std::string letters;
    for (int kind = 0; kind <= int(TLineKind::LocalMachine64Key); ++kind) letters += LineKindInfo(TLineKind(kind)).Letter;
    EXPECT_EQ(letters, "FDTUCME6");
    const std::pair<char, TKeyRoot> keys[] = {{'U', TKeyRoot::CurrentUser}, {'C', TKeyRoot::ClassesRoot},
                                              {'M', TKeyRoot::LocalMachine}, {'6', TKeyRoot::LocalMachine64},
                                              {'K', TKeyRoot::None},        {'F', TKeyRoot::None}};
    for (const auto& key : keys) {
        EXPECT_EQ(KeyRootOfLetter(key.first), key.second) << key.first;
        if (key.second != TKeyRoot::None) {
            EXPECT_EQ(LineKindInfo(KeyLineKind(key.second)).Letter, key.first);
        }
        EXPECT_EQ(KeyLetterField({"Software\\Maker", std::string(1, key.first)}) != 0, key.second != TKeyRoot::None);
    }
    EXPECT_EQ(KeyLineKind(TKeyRoot::None), TLineKind::Unknown);
}

TEST(UninstallLog, SerialisedLayout)
{
    std::vector<uint8_t> bytes = Serialised({"EC:\\A\\", "FC:\\A\\x.dll"}, "Echo");
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "KX/UNS/3");
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 28), std::vector<uint8_t>(20, 0));
    EXPECT_EQ(GetInt32LE(&bytes[28]), -100);
    const std::string text = "EC:\\A\\\r\nFC:\\A\\x.dll\r\n";
    EXPECT_EQ(GetInt32LE(&bytes[53]), int32_t(text.size()));
    EXPECT_EQ(GetInt32LE(&bytes[57]), 4);
    EXPECT_EQ(std::string(bytes.begin() + 61, bytes.end()), text + "Echo");
}

TEST(UninstallLog, RoundTrip)
{
    std::vector<std::string> lines = {"EC:\\Program Files\\", "DC:\\Program Files\\Maker\\", "U\\Software\\Maker\\1.0",
                                      "6\\Software\\Maker\\1.0"};
    // A finished log is stored packed; a journal plain. Both read back alike.
    std::vector<std::string> many;
    for (int i = 0; i < 20000; ++i) many.push_back("FC:\\Users\\Ann\\Documents\\Presets\\Bank " + std::to_string(i / 1000) + "\\Preset " + std::to_string(i) + ".fxp");
    for (bool packed : {false, true}) {
        TUninstallLog log = Parse(Serialised(lines, "Maker Product", packed));
        EXPECT_EQ(log.Lines, lines);
        EXPECT_EQ(log.ProductName, "Maker Product");
        EXPECT_EQ(log.Version.AsText(), "2.02");
        TUninstallLog empty = Parse(Serialised({}, "", packed));
        EXPECT_TRUE(empty.Lines.empty());
        EXPECT_EQ(empty.ProductName, "");
        EXPECT_EQ(Parse(Serialised(many, "P", packed)).Lines, many);
    }
    // A log of paths packs to well under a tenth.
    EXPECT_LT(Serialised(many, "P", true).size() * 10, Serialised(many, "P").size());
    std::vector<uint8_t> packed = Serialised(lines, "P", true);
    EXPECT_EQ(std::string(packed.begin(), packed.begin() + 8), "KX/UNS/Z");
}

TEST(UninstallLog, ReservedBytesAreIgnoredAndSignatureChecked)
{
    std::vector<uint8_t> bytes = Serialised({"Fx"}, "P");
    bytes[8] = 0x7F;
    bytes[27] = 0xFF;
    EXPECT_EQ(Parse(bytes).Lines.size(), 1u);
    bytes[3] = 'u';
    try {
        Parse(bytes);
        FAIL() << "accepted a wrong signature";
    } catch (const ESetupError& e) {
        EXPECT_EQ(e.Message(), "Invalid uninstall data signature");
    }
}

TEST(UninstallLog, HostileLengthsAreReadErrorsWithoutAllocating)
{
    const std::vector<uint8_t> good = Serialised({"Fa", "Fb"}, "P");
    for (int32_t text : {-1, INT32_MIN, INT32_MAX, 9}) {
        std::vector<uint8_t> bad = good;
        PutInt32LE(&bad[53], text);
        EXPECT_THROW(Parse(bad), EReadError) << text;
    }
    std::vector<uint8_t> bad = good;
    PutInt32LE(&bad[57], INT32_MAX);
    EXPECT_THROW(Parse(bad), EReadError);
    PutInt32LE(&bad[57], -7);
    EXPECT_THROW(Parse(bad), EReadError);
    // Packed: the text's length, the packed length and the packed bytes themselves.
    const std::vector<uint8_t> packed = Serialised({"Fa", "Fb"}, "P", true);
    ASSERT_NO_THROW(Parse(packed));
    for (auto [at, value] : {std::pair<size_t, int32_t>{53, INT32_MAX}, {53, -1}, {53, 5}, {53, 7}, {61, INT32_MAX},
                             {61, -1}, {61, 0}}) {
        std::vector<uint8_t> lie = packed;
        PutInt32LE(&lie[at], value);
        EXPECT_THROW(Parse(lie), EReadError) << at << " " << value;
    }
    std::vector<uint8_t> torn = packed;
    torn[65] ^= 0xFF;
    EXPECT_THROW(Parse(torn), EReadError);
}

TEST(UninstallLog, LinesSplitAtEveryKindOfLineBreak)
{
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\n\r"), (std::vector<std::string>{"a", ""}));
    EXPECT_TRUE(SplitLines("").empty());
}

TEST(PathUtils, Helpers)
{
    EXPECT_EQ(IncludeDelimiter("C:\\A"), "C:\\A\\");
    EXPECT_EQ(IncludeDelimiter("C:\\A\\"), "C:\\A\\");
    EXPECT_EQ(IncludeDelimiter(""), "");
    EXPECT_EQ(ExtractFilePath("C:\\A\\B"), "C:\\A\\");
    EXPECT_EQ(ExtractFilePath("Q:"), "Q:");
    EXPECT_EQ(ExtractFilePath("name"), "");
    EXPECT_EQ(ExtractFileName("C:\\A\\B.dll"), "B.dll");
    EXPECT_EQ(JoinPath("C:\\A", "B"), "C:\\A\\B");
    EXPECT_TRUE(SameTextAscii("C:\\Program Files\\X", "c:\\PROGRAM FILES\\x"));
    EXPECT_FALSE(SameTextAscii("\xC4", "\xE4"));
    EXPECT_EQ(Unquoted("\"C:\\A B\\Uninst.exe\""), "C:\\A B\\Uninst.exe");
    EXPECT_EQ(Unquoted("\""), "\"");
}

TEST(PathUtils, ExtensionTitleAndDrive)
{
    struct Case {
        const char* path;
        const char* ext;
        const char* changed;  // ChangeFileExt(path, ".txt")
        const char* title;
        const char* drive;
    } cases[] = {
        {"C:\\My.Folder\\Readme", "", "C:\\My.Folder\\Readme.txt", "Readme", "C:"},
        {"C:\\My.Folder\\Plug.in.dll", ".dll", "C:\\My.Folder\\Plug.in.txt", "Plug.in", "C:"},
        {"C:\\My.Folder\\", "", "C:\\My.Folder\\.txt", "", "C:"},
        {"D:Name.ext", ".ext", "D:Name.txt", "Name", "D:"},
        {"D:.\\Name", "", "D:.\\Name.txt", "Name", "D:"},
        {"Readme.", ".", "Readme.txt", "Readme", ""},
        {"Notes.txt:Stream", "", "Notes.txt:Stream.txt", "Stream", ""},
        {"x.y\\z", "", "x.y\\z.txt", "z", ""},
        {"\\\\server\\share.x\\Sub\\A.dll", ".dll", "\\\\server\\share.x\\Sub\\A.txt", "A", "\\\\server\\share.x"},
        {"\\\\server\\share", "", "\\\\server\\share.txt", "share", "\\\\server\\share"},
        {"\\Windows\\A.b", ".b", "\\Windows\\A.txt", "A", ""},
        {"", "", ".txt", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
        EXPECT_EQ(ChangeFileExt(c.path, ".txt"), c.changed) << c.path;
        EXPECT_EQ(ExtractFileTitle(c.path), c.title) << c.path;
        EXPECT_EQ(ExtractFileDrive(c.path), c.drive) << c.path;
    }
    EXPECT_EQ(ChangeFileExt("C:\\My.Folder\\Plug.dll", ""), "C:\\My.Folder\\Plug");
}

TEST(PathUtils, FoldersAreReadAsWindowsReadsThem)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\windows\\..", "C:\\"},
        {"C:\\Program Files\\..\\..\\..", "C:\\"},  // never above the drive
        {"C:/Audio//Plug-Ins\\.\\Echo\\", "C:\\Audio\\Plug-Ins\\Echo\\"},
        {"C:\\Audio\\Echo  ", "C:\\Audio\\Echo\\"},
        {"C:\\Audio\\Echo. \\x", "C:\\Audio\\Echo\\x\\"},
        {"\\\\server\\share\\..\\Plug", "\\\\server\\share\\Plug\\"},
        {"Relative\\..\\Plug", "Plug\\"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeFolder(c.first), c.second) << c.first;

    EXPECT_TRUE(IsInsideFolder("C:\\Plug\\Echo\\a.dll", "c:\\plug"));
    EXPECT_TRUE(IsInsideFolder("C:\\Plug", "C:\\Plug\\"));
    EXPECT_FALSE(IsInsideFolder("C:\\Plug-Ins\\a.dll", "C:\\Plug"));  // a longer name is another folder
    EXPECT_FALSE(IsInsideFolder("C:\\a.dll", ""));
}

// The form half of the folder rule: what the text names, before the machine is asked.
TEST(PathUtils, EveryFolderPassesOneRuleOfForm)
{
    const std::string at259 = "C:\\" + std::string(246, 'L');  // 3 + 246 + 1 + 9 = 259
    const struct {
        std::string text;
        bool own;
        size_t deepest;
        TFolderFault fault;
        std::string folder;
    } cases[] = {
        {" C:/Plug/./Echo ", true, 0, TFolderFault::None, "C:\\Plug\\Echo\\"},
        {"c:\\x", true, 0, TFolderFault::None, "c:\\x\\"},
        {"", true, 0, TFolderFault::Empty, "\\"},
        {"   ", false, 0, TFolderFault::Empty, "\\"},
        {"C:\\", true, 0, TFolderFault::DriveRoot, "C:\\"},
        {"D:\\", false, 0, TFolderFault::None, "D:\\"},  // a plug-in folder may be a drive's root
        {"C:\\Plug\\..", true, 0, TFolderFault::DriveRoot, "C:\\"},
        {"\\Plug", true, 0, TFolderFault::NoDrive, "\\Plug"},
        {"/Plug", false, 0, TFolderFault::NoDrive, "\\Plug"},
        {"Plug\\Echo", true, 0, TFolderFault::Relative, "Plug\\Echo"},
        {"C:Plug", true, 0, TFolderFault::Relative, "C:Plug"},
        {"1:\\Plug", true, 0, TFolderFault::Relative, "1:\\Plug"},
        {"\\\\server\\share\\Plug", true, 0, TFolderFault::NotLocal, "\\\\server\\share\\Plug"},
        {"\\\\?\\C:\\Plug", true, 0, TFolderFault::NotLocal, "\\\\?\\C:\\Plug"},
        {"//./C:/Plug", true, 0, TFolderFault::NotLocal, "\\\\.\\C:\\Plug"},
        {at259, true, 9, TFolderFault::None, at259 + "\\"},
        {at259, true, 10, TFolderFault::TooLong, at259 + "\\"},
        // Counted as Windows counts: one unit for each of these, two for a character past 0xFFFF.
        {"C:\\" + std::string(235, 'L') + "\xE6\x97\xA5\xE6\x9C\xAC", true, 18, TFolderFault::None,
         "C:\\" + std::string(235, 'L') + "\xE6\x97\xA5\xE6\x9C\xAC\\"},
        {"C:\\" + std::string(236, 'L') + "\xF0\x9F\x8E\xB5", true, 18, TFolderFault::TooLong,
         "C:\\" + std::string(236, 'L') + "\xF0\x9F\x8E\xB5\\"},
    };
    for (const auto& c : cases) {
        TFolderVerdict verdict = CheckFolderForm(c.text, c.own, c.deepest);
        EXPECT_EQ(verdict.Fault, c.fault) << c.text;
        EXPECT_EQ(verdict.Folder, c.folder) << c.text;
    }
}

TEST(UninstallLog, EveryKindHasOneLetterAndItsLinesComeApartAsTheTableSays)
{
    std::string letters;
    for (const TLineKindInfo& row : LineKinds()) {
        EXPECT_EQ(letters.find(row.Letter), std::string::npos) << row.Letter;  // one letter, one kind
        letters += row.Letter;
        EXPECT_EQ(LineKindOf(row.Letter), row.Kind);
        std::vector<std::string> more(size_t(row.Fields > 1 ? row.Fields - 1 : 0), "7");
        TLogLine parsed = TLogLine::Parse(MakeLogLine(row.Kind, "C:\\P\\a|b", more));
        EXPECT_EQ(parsed.Kind, row.Kind) << row.Letter;
        // A one-field kind takes the whole text, "|" and all; the others split at it.
        EXPECT_EQ(parsed.Fields.size(), row.Fields == 1 ? 1u : size_t(row.Fields) + 1) << row.Letter;
    }
    EXPECT_EQ(letters.substr(0, 8), "FDTUCME6");
    EXPECT_EQ(TLogLine::Parse("ZC:\\a.dll").Kind, TLineKind::Unknown);
    EXPECT_EQ(TLogLine::Parse("").Kind, TLineKind::Unknown);
    EXPECT_EQ(LineNote("BC:\\Docs\\Readme.txt|C:\\P\\1 Readme.txt"), "kept aside C:\\Docs\\Readme.txt as C:\\P\\1 Readme.txt");
    EXPECT_EQ(LineNote("SC:\\P\\a.dll|1|2"), "");
}

TEST(UninstallLog, CarryForwardKeepsWhatOnlyTheEarlierRunCreated)
{
    // 2.10 created the folders and a preset; 2.30 found the folders and wrote the plug-in again.
    // A value 2.10 wrote over (another product's "a") and that a run ended
    // since wrote over again ("b"): 2.30 finds "a" there once more, and
    // the earliest line still comes back last.
    std::vector<std::string> earlier = {"DC:\\P\\", "DC:\\P\\Presets\\", "FC:\\P\\Presets\\Old.preset",
                                        "FC:\\P\\Echo.dll", "SC:\\P\\Echo.dll|10|01", "M\\Software\\Uninstall\\Echo 2.10",
                                        "V\\Software\\Maker|U|Path|1:6100", "V\\Software\\Maker|U|Path|1:6200"};
    std::vector<std::string> current = {"EC:\\P\\", "Fc:\\p\\echo.dll", "SC:\\P\\Echo.dll|12|02",
                                        "M\\Software\\Uninstall\\Echo 2.30", "V\\Software\\Maker|U|Path|1:6100"};
    std::vector<std::string> expected = {"DC:\\P\\",
                                         "DC:\\P\\Presets\\",
                                         "FC:\\P\\Presets\\Old.preset",
                                         "SC:\\P\\Echo.dll|10|01",
                                         "M\\Software\\Uninstall\\Echo 2.10",
                                         "V\\Software\\Maker|U|Path|1:6100",
                                         "V\\Software\\Maker|U|Path|1:6200",
                                         "EC:\\P\\",
                                         "Fc:\\p\\echo.dll",
                                         "SC:\\P\\Echo.dll|12|02",
                                         "M\\Software\\Uninstall\\Echo 2.30",
                                         "V\\Software\\Maker|U|Path|1:6100"};
    // Compared as lines: a difference then prints lines, not packed bytes.
    EXPECT_EQ(CarryForward(earlier, current).Vector(), expected);
    EXPECT_EQ(CarryForward({}, current).Vector(), current);
}

// The packed lines read back as they were written, forwards and backwards,
// across block starts, after lines are taken back, and with lines that share
// nothing, everything or all but their letter with the one before.
TEST(UninstallLog, PackedLinesReadBackAsWritten)
{
    std::vector<std::string> lines;
    for (int n = 0; n < 100; ++n) {
        std::string path = "C:\\Program Files\\Maker\\Samples\\Kit " + std::to_string(n / 7) + "\\Note " + std::to_string(n) + ".wav";
        lines.push_back("P" + path + ".partial");
        lines.push_back("F" + path);
        lines.push_back("S" + path + "|" + std::to_string(n * 977) + "|01D9");
        if (n % 9 == 0) lines.push_back("");
        if (n % 13 == 0) lines.push_back("F");
        if (n % 17 == 0) lines.push_back("FC:\\");
    }
    TLineStore store;
    for (const std::string& line : lines) store.Append(line);
    EXPECT_EQ(store.Vector(), lines);
    EXPECT_EQ(store.Back(), lines.back());
    std::vector<std::string> backwards;
    store.ForEachBackwards([&](const std::string& line) { backwards.push_back(line); });
    EXPECT_EQ(std::vector<std::string>(lines.rbegin(), lines.rend()), backwards);
    EXPECT_TRUE(store.Contains(lines[150]));
    EXPECT_FALSE(store.Contains("f" + lines[151].substr(1)));
    // Taken back one at a time through a block's start (32 lines a block),
    // then written again after it: every line is still what it was.
    for (size_t keep : {lines.size() - 1, size_t(96), size_t(64), size_t(63), size_t(1), size_t(0)}) {
        while (store.Size() > keep) store.PopBack();
        ASSERT_EQ(store.Vector(), std::vector<std::string>(lines.begin(), lines.begin() + long(keep)));
        if (keep > 0) {
            EXPECT_EQ(store.Back(), lines[keep - 1]);
        }
    }
    store.PopBack();  // empty: nothing happens
    for (const std::string& line : lines) store.Append(line);
    EXPECT_EQ(store.Vector(), lines);
    // The written files of a run, kept as digests: A to Z in any case alike,
    // nothing else alike (neighbouring names, other letters, other lengths).
    TPathSet written;
    for (const std::string& line : lines)
        if (line.size() > 40 && line[0] == 'F') written.Insert(line.substr(1));
    EXPECT_EQ(written.Size(), 100u);
    EXPECT_TRUE(written.Contains(UpperAscii(lines[1].substr(1))));
    for (const std::string& other : {lines[0].substr(1), lines[1].substr(2), lines[1].substr(1) + " ", std::string("\xC4")})
        EXPECT_FALSE(written.Contains(other)) << other;
    // The paths are kept once, not for each of their three lines.
    size_t whole = 0;
    for (const std::string& line : lines) whole += line.size();
    EXPECT_LT(store.PackedBytes(), whole / 2);
}

TEST(UninstallLog, TheRootsOfALogHoldEveryItemAndNothingElse)
{
    std::vector<std::string> lines = {
        "EC:\\Program Files\\",                        // there before: no root
        "DC:\\Program Files\\Maker\\",
        "DC:\\Program Files\\Maker\\Echo\\",
        "FC:\\Program Files\\Maker\\Echo\\Echo.dll",
        "FC:\\VstPlugins\\Echo.dll",
        "TC:\\Users\\Ann\\Documents\\Echo\\Presets\\",
        "BC:\\VstPlugins\\Other.dll|C:\\Program Files\\Maker\\Echo\\Replaced Files\\1 Other.dll",
        "PC:\\VstPlugins\\Echo.dll.partial",
        "SC:\\VstPlugins\\Echo.dll|5|123",
        "M\\Software\\Maker\\Echo\\1.0",
        "MSoftware\\Maker\\Echo",                     // the same key, written without the backslash
        "U\\Software\\Maker\\Echo",
        "M\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Echo 1.0",
    };
    TInstallationRoots roots = InstallationRoots(lines);
    EXPECT_EQ(roots.Folders, (std::vector<std::string>{"C:\\Program Files\\Maker\\", "C:\\VstPlugins\\",
                                                        "C:\\Users\\Ann\\Documents\\Echo\\Presets\\"}));
    EXPECT_EQ(roots.Keys, (std::vector<std::string>{"M\\Software\\Maker\\Echo", "U\\Software\\Maker\\Echo",
                                                     "M\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Echo 1.0"}));
    for (const std::string& line : lines) EXPECT_EQ(roots.Hold(line), line[0] != 'E') << line;
    // Even roots that held a device path would not make its lines obeyed: they
    // are refused by their form. Windows resolves no ".." level behind \\?\ and
    // reaches devices through \\.\ paths.
    roots.Folders.push_back("\\\\?\\C:\\Program Files\\Maker\\");
    roots.Folders.push_back("\\\\.\\C:\\Program Files\\Maker\\");

    // Each row a line somebody could put into a log, and whether it may be obeyed.
    struct Case {
        const char* line;
        bool held;
    } cases[] = {
        {"FC:\\Program Files\\Maker\\Other\\x.dll", true},       // inside a root the log created
        {"FC:\\program files\\MAKER\\Echo.dll", true},           // any case of A to Z
        {"FC:\\Program Files\\Makers\\x.dll", false},            // a name that only begins the same
        {"FC:\\PROGRA~1\\Maker\\Echo.dll", false},              // another spelling: refused, never widened
        {"FC:\\Program Files\\Maker\\..\\Other\\x.dll", false}, // a level that climbs out
        {"F\\\\?\\C:\\Program Files\\Maker\\x.dll", false},     // a device path
        {"F\\\\.\\C:\\Program Files\\Maker\\x.dll", false},
        {"D\\\\?\\C:\\Program Files\\Maker\\Sub\\", false},
        {"BC:\\VstPlugins\\x.dll|\\\\.\\C:\\Program Files\\Maker\\1 x.dll", false},
        {"FC:\\Windows\\System32\\x.dll", false},
        {"fc:\\program files\\maker\\echo\\ECHO.DLL", false},     // "f" is no kind the table knows
        {"XC:\\Program Files\\Maker\\x.dll", false},
        {"EC:\\Program Files\\", false},                         // there before: no root of its own
        {"EC:\\Program Files\\Maker\\Echo\\", true},
        {"DC:\\Users\\Ann\\Documents\\", false},
        {"TC:\\Users\\Ann\\Documents\\Echo\\", false},
        {"PC:\\Users\\Ann\\Letter.doc", false},
        {"BC:\\VstPlugins\\x.dll|C:\\Users\\Ann\\x.dll", false},  // either place outside
        {"BC:\\VstPlugins\\x.dll", false},                       // a field missing
        {"RC:\\VstPlugins\\Echo.dll|C:\\Program Files\\Maker\\Echo\\Replaced Files\\1 Echo.dll", true},
        {"RC:\\VstPlugins\\Echo.dll|C:\\Users\\Ann\\Letter.doc", false},
        {"RC:\\Windows\\win.ini|C:\\VstPlugins\\1 win.ini", false},
        {"HC:\\Windows\\x.dll", false},                          // a shared count is acted on too
        {"HC:\\Users\\Ann\\Documents\\Empty\\", false},
        {"HC:\\VstPlugins\\Echo.dll", true},
        {"SC:\\Users\\Ann\\Letter.doc|1|2", false},
        {"NAny product name | with a bar", true},                // names no place
        {"U\\Software\\Maker", false},
        {"U\\Software\\Maker\\Echo\\Presets", true},
        {"U\\Software\\Maker\\Echo\\\\", false},                // an empty level
        {"M\\Software\\Maker\\Echo", true},
        {"6\\Software\\Maker\\Echo", false},                     // another view: a root of its own
        {"C\\.fxp", false},
        {"M\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other", false},
        {"M\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", false},
    };
    for (const Case& c : cases) EXPECT_EQ(roots.Hold(c.line), c.held) << c.line;
}
