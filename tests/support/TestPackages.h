#pragma once
// Packages for tests, built with the real writer.
#include <cstdint>
#include <string>
#include <vector>

#include "Checksum.h"
#include "DosDateTime.h"
#include "LineStore.h"
#include "PackageWriter.h"
#include "ProgramVersion.h"
#include "Stream.h"

inline TProgramVersion MakeVersion(const std::string& text)
{
    TProgramVersion v;
    v.ParseText(text);
    return v;
}

// 2024-03-15 10:30:20 local time.
inline double TestCreationTime() { return EncodeDateTime({2024, 3, 15, 10, 30, 20}); }

inline std::vector<uint8_t> BuildPackageBytes(const std::vector<TPackageItem>& items,
                                              const std::string& version = "2.02",
                                              double creationTime = TestCreationTime())
{
    TMemoryStream out;
    TPackageWriteOptions options;
    options.Version = MakeVersion(version);
    options.CreationTime = creationTime;
    WritePackage(out, items, options);
    return out.Data();
}

// A small product: the configuration files, a file and a folder that share a
// name, nested folders, an empty file and an empty folder.
inline std::vector<TPackageItem> SampleItems()
{
    return {
        TPackageItem::File("Setup.ini", "[Setup]\r\nProductName=Sample\r\n"),
        TPackageItem::File("Setup.lic", "Licence text\r\n"),
        TPackageItem::File("Main", "a file that shares its name with a folder"),
        TPackageItem::Folder("Main", {TPackageItem::File("Readme.txt", std::string(5000, 'r')),
                                      TPackageItem::File("Empty.txt", ""),
                                      TPackageItem::Folder("Presets", {TPackageItem::File("Default.fxp", "preset")}),
                                      TPackageItem::Folder("Nothing")}),
        TPackageItem::Folder("VstX", {TPackageItem::File("Sample.dll", std::string(100000, '\x90'))}),
    };
}

// Offsets inside a package built in memory at position 0.
constexpr size_t TestEntriesStart = 28 + 25;

// Recomputes the header's checksum after a test changed the data on purpose.
inline void RefreshChecksum(std::vector<uint8_t>& package)
{
    int32_t dataSize = GetInt32LE(&package[8]);
    uint32_t adler = Adler32(1, &package[28], size_t(dataSize));
    PutUInt32LE(&package[12], adler);
}

// The lines of an uninstall log that name items (F, D, T, U, C, M, E, 6),
// without the notes the uninstaller reads besides.
inline std::vector<std::string> ItemLines(const TLineStore& log)
{
    std::vector<std::string> items;
    for (const std::string& line : log)
        if (!line.empty() && std::string("FDTUCME6").find(line[0]) != std::string::npos) items.push_back(line);
    return items;
}
