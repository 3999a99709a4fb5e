#pragma once
// TLineStore: the lines of a log, kept packed. A run of a large product
// records a hundred thousand lines or more, most of them a path that shares
// its folder (or all of itself) with the line before; each line is kept as
// the length it shares with the one before after their first characters (the
// kind letters differ) and the rest. Every 32 lines a line starts a block and
// is kept whole, so that the lines can be read backwards a block at a time.
// Memory grows with what differs from line to line, not with whole paths.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

class TLineStore {
public:
    TLineStore() = default;
    TLineStore(const std::vector<std::string>& lines);  // NOLINT: a list of lines is one
    TLineStore(std::initializer_list<std::string> lines);

    void Append(const std::string& line);
    // Removes the last line (none: nothing happens).
    void PopBack();
    void Clear();
    size_t Size() const { return FCount; }
    bool Empty() const { return FCount == 0; }
    // The last line (the store must not be empty).
    const std::string& Back() const { return FLast; }
    bool Contains(const std::string& line) const;
    std::vector<std::string> Vector() const;
    // The bytes the lines take (for the benchmark's notes and the tests).
    size_t PackedBytes() const;

    // Reads the lines in order, decoding one at a time.
    class const_iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = std::string;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::string*;
        using reference = const std::string&;
        const std::string& operator*() const { return FLine; }
        const std::string* operator->() const { return &FLine; }
        const_iterator& operator++();
        bool operator==(const const_iterator& other) const { return FIndex == other.FIndex; }
        bool operator!=(const const_iterator& other) const { return FIndex != other.FIndex; }

    private:
        friend class TLineStore;
        const_iterator(const TLineStore* store, size_t index);
        void Decode();
        const TLineStore* FStore;
        size_t FIndex, FOffset = 0;
        std::string FLine;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, FCount); }

    // Calls `f` with each line, last first.
    template <class F>
    void ForEachBackwards(F f) const
    {
        for (size_t block = FBlocks.size(); block-- > 0;) {
            std::vector<std::string> lines = DecodeBlock(block);
            for (auto line = lines.rbegin(); line != lines.rend(); ++line) f(*line);
        }
    }

    bool operator==(const TLineStore& other) const { return FCount == other.FCount && FBlocks == other.FBlocks; }

private:
    static constexpr size_t BlockLines = 32;
    std::vector<std::string> DecodeBlock(size_t block) const;
    // Decodes the line at `offset` of `block` after `previous`, moving `offset` on.
    static std::string DecodeLine(const std::string& block, size_t& offset, const std::string& previous);
    std::vector<std::string> FBlocks;
    size_t FCount = 0;
    std::string FLast;
};
