#include "PackageReader.h"

#include "Exception.h"
#include "Messages.h"
#include "Stream.h"

namespace PackageReader {

void Damaged() { throw EPackageDamaged(LoadMessage(Msg::InstallerCorrupted)); }

TEntryHeader ReadEntry(TStream& stream, int64_t limit, bool wide)
{
    int64_t start = stream.Position();
    int64_t headerSize = int64_t(wide ? PackageFormat::WideEntryHeaderSize : PackageFormat::EntryHeaderSize);
    if (limit - start < headerSize) Damaged();
    TEntryHeader entry;
    entry.Load(stream, wide);
    if (entry.IsEnd()) return entry;
    if (entry.NameLength > PackageFormat::MaxNameLength) Damaged();
    if (!CheckEntryName(entry.NameText()).empty()) Damaged();
    int64_t dataStart = start + headerSize;
    if (entry.StoredSize < 0 || entry.StoredSize > limit - dataStart) Damaged();
    if (entry.UncompressedSize < 0 && !entry.IsFolder()) Damaged();
    return entry;
}

void WalkList(TStream& stream, int64_t limit, bool wide, TEntryVisitor& visitor, const std::string& prefix, int depth)
{
    if (depth > MaxDepth) Damaged();
    for (;;) {
        TEntryHeader entry = ReadEntry(stream, limit, wide);
        if (entry.IsEnd()) return;
        int64_t next = stream.Position() + entry.StoredSize;
        std::string path = prefix.empty() ? entry.NameText() : prefix + "\\" + entry.NameText();
        if (entry.IsFolder()) {
            if (visitor.EnterFolder(entry, path)) {
                WalkList(stream, next, wide, visitor, path, depth + 1);
                visitor.LeaveFolder(entry, path);
            }
        } else {
            visitor.File(entry, path, stream);
        }
        stream.SetPosition(next);
    }
}

namespace {

class TSizeCounter : public TEntryVisitor {
public:
    void File(const TEntryHeader& entry, const std::string&, TStream&) override
    {
        Total += entry.UncompressedSize;
    }
    bool EnterFolder(const TEntryHeader&, const std::string&) override { return true; }
    int64_t Total = 0;
};

}  // namespace

void CheckList(TStream& stream, int64_t limit, bool wide)
{
    int64_t start = stream.Position();
    TSizeCounter counter;
    WalkList(stream, limit, wide, counter);
    stream.SetPosition(start);
}

int64_t ListFileSize(TStream& stream, int64_t limit, bool wide)
{
    TSizeCounter counter;
    WalkList(stream, limit, wide, counter);
    return counter.Total;
}

bool FindTopLevel(TStream& stream, const TPackageInfo& info, const std::string& name, bool folder,
                  TEntryHeader& found)
{
    stream.SetPosition(info.EntriesStart);
    for (;;) {
        TEntryHeader entry = ReadEntry(stream, info.DataEnd, info.Wide);
        if (entry.IsEnd()) return false;
        if (entry.IsFolder() == folder && SameEntryName(entry.NameText(), name)) {
            found = entry;
            return true;
        }
        stream.Seek(entry.StoredSize, SeekOrigin::Current);
    }
}

}  // namespace PackageReader
