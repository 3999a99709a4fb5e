#pragma once
// A product version: major number, one-digit minor and release numbers, an
// optional beta number and the press-preview flag. Stored as a 25-byte record
// at the head of the setup package and of the uninstall log.
#include <cstdint>
#include <string>

class TStream;

class TProgramVersion {
public:
    static constexpr size_t RecordSize = 25;
    static constexpr int32_t RecordMarker = -100;
    static constexpr int32_t RecordFormat = 1;

    int32_t Beta = 0;
    bool PressPreview = false;
    int32_t Major = 0;
    int32_t Minor = 0;
    int32_t Release = 0;

    bool IsBeta() const { return Beta > 0; }
    // -1, 0 or 1: this version older than, equal to or newer than `other`.
    // The press-preview flag takes no part.
    int Compare(const TProgramVersion& other) const;
    std::string AsText() const;
    // Sets all fields from text such as "2.02 beta 3", or raises
    // EProgramVersionError and keeps the previous values.
    void ParseText(const std::string& text);
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;

    bool operator==(const TProgramVersion& o) const
    {
        return Beta == o.Beta && PressPreview == o.PressPreview && Major == o.Major && Minor == o.Minor &&
               Release == o.Release;
    }
};
