#include "LineStore.h"

#include <algorithm>

namespace {

void PutCount(std::string& out, size_t value)
{
    while (value >= 0x80) {
        out += char(uint8_t(value | 0x80));
        value >>= 7;
    }
    out += char(uint8_t(value));
}

size_t GetCount(const std::string& in, size_t& offset)
{
    size_t value = 0;
    for (int shift = 0;; shift += 7) {
        uint8_t byte = uint8_t(in[offset++]);
        value |= size_t(byte & 0x7F) << shift;
        if (!(byte & 0x80)) return value;
    }
}

}  // namespace

TLineStore::TLineStore(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) Append(line);
}

TLineStore::TLineStore(std::initializer_list<std::string> lines)
{
    for (const std::string& line : lines) Append(line);
}

void TLineStore::Append(const std::string& line)
{
    if (FCount % BlockLines == 0) {
        if (!FBlocks.empty()) FBlocks.back().shrink_to_fit();
        FBlocks.emplace_back();
    }
    std::string& block = FBlocks.back();
    // Shared: the characters after the first that this line has in common
    // with the one before in its block (a line starting a block shares none).
    size_t shared = 0;
    if (FCount % BlockLines != 0 && !line.empty() && !FLast.empty()) {
        size_t most = std::min(line.size(), FLast.size()) - 1;
        while (shared < most && line[1 + shared] == FLast[1 + shared]) ++shared;
    }
    PutCount(block, shared);
    PutCount(block, line.size() - shared);
    if (shared == 0) {
        block += line;
    } else {
        block += line[0];
        block.append(line, 1 + shared, std::string::npos);
    }
    ++FCount;
    FLast = line;
}

std::string TLineStore::DecodeLine(const std::string& block, size_t& offset, const std::string& previous)
{
    size_t shared = GetCount(block, offset);
    size_t rest = GetCount(block, offset);
    std::string line;
    line.reserve(shared + rest);
    if (shared == 0) {
        line.assign(block, offset, rest);
    } else {
        line += block[offset];
        line.append(previous, 1, shared);
        line.append(block, offset + 1, rest - 1);
    }
    offset += rest;
    return line;
}

std::vector<std::string> TLineStore::DecodeBlock(size_t block) const
{
    std::vector<std::string> lines;
    const std::string& data = FBlocks[block];
    for (size_t offset = 0; offset < data.size();) lines.push_back(DecodeLine(data, offset, lines.empty() ? std::string() : lines.back()));
    return lines;
}

void TLineStore::PopBack()
{
    if (FCount == 0) return;
    std::vector<std::string> lines = DecodeBlock(FBlocks.size() - 1);
    FBlocks.pop_back();
    FCount -= lines.size();
    lines.pop_back();
    FLast = FCount > 0 && lines.empty() ? DecodeBlock(FBlocks.size() - 1).back() : std::string();
    for (const std::string& line : lines) Append(line);
}

void TLineStore::Clear()
{
    FBlocks.clear();
    FCount = 0;
    FLast.clear();
}

bool TLineStore::Contains(const std::string& line) const { return std::find(begin(), end(), line) != end(); }

std::vector<std::string> TLineStore::Vector() const { return std::vector<std::string>(begin(), end()); }

size_t TLineStore::PackedBytes() const
{
    size_t bytes = FBlocks.capacity() * sizeof(std::string);
    for (const std::string& block : FBlocks) bytes += block.capacity();
    return bytes;
}

TLineStore::const_iterator::const_iterator(const TLineStore* store, size_t index) : FStore(store), FIndex(index)
{
    if (FIndex < FStore->FCount) Decode();
}

void TLineStore::const_iterator::Decode()
{
    const std::string& block = FStore->FBlocks[FIndex / BlockLines];
    if (FIndex % BlockLines == 0) FOffset = 0;
    FLine = DecodeLine(block, FOffset, FLine);
}

TLineStore::const_iterator& TLineStore::const_iterator::operator++()
{
    if (++FIndex < FStore->FCount) Decode();
    return *this;
}
