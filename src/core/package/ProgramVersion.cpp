#include "ProgramVersion.h"

#include <cstdio>

#include "Exception.h"
#include "Messages.h"
#include "Stream.h"
#include "TextUtils.h"

namespace {

int Sign(int64_t v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

}  // namespace

int TProgramVersion::Compare(const TProgramVersion& other) const
{
    if (Major != other.Major) return Sign(int64_t(Major) - other.Major);
    if (Minor != other.Minor) return Sign(int64_t(Minor) - other.Minor);
    if (Release != other.Release) return Sign(int64_t(Release) - other.Release);
    if (other.IsBeta() && !IsBeta()) return 1;
    if (IsBeta() && !other.IsBeta()) return -1;
    return Sign(int64_t(Beta) - other.Beta);
}

std::string TProgramVersion::AsText() const
{
    std::string text = std::to_string(Major) + "." + std::to_string(Minor) + std::to_string(Release);
    if (IsBeta()) text += " beta " + std::to_string(Beta);
    if (PressPreview) text += " (press preview)";
    return text;
}

void TProgramVersion::ParseText(const std::string& text)
{
    int32_t major, minor, release = 0;
    size_t point = text.find('.');
    if (point == std::string::npos) {
        major = StrToIntDef(text, -1, false);
        minor = 0;
    } else {
        major = StrToIntDef(text.substr(0, point), -1, false);
        minor = StrToIntDef(text.substr(point + 1, 1), -1, false);
        release = StrToIntDef(text.substr(std::min(point + 2, text.size()), 1), 0, false);
    }
    int32_t beta = 0;
    size_t betaAt = text.find("beta ");
    if (betaAt != std::string::npos) beta = StrToIntDef(text.substr(betaAt + 5, 2), 0, false);
    if (major < 0 || minor < 0) throw EProgramVersionError(FormatMessageText(Msg::InvalidVersionText, {text}));
    Major = major;
    Minor = minor;
    Release = release;
    Beta = beta;
    PressPreview = text.find("press") != std::string::npos;
}

void TProgramVersion::LoadFromStream(TStream& stream)
{
    int32_t marker = stream.ReadInt32();
    int32_t format = stream.ReadInt32();
    if (marker != RecordMarker || format != RecordFormat)
        throw EProgramVersionError(LoadMessage(Msg::InvalidVersionOnStream));
    uint8_t record[17];
    stream.ReadBuffer(record, sizeof record);
    Major = GetInt32LE(record);
    Minor = GetInt32LE(record + 4);
    Release = GetInt32LE(record + 8);
    Beta = GetInt32LE(record + 12);
    PressPreview = record[16] != 0;
}

void TProgramVersion::SaveToStream(TStream& stream) const
{
    uint8_t record[RecordSize];
    PutInt32LE(record, RecordMarker);
    PutInt32LE(record + 4, RecordFormat);
    PutInt32LE(record + 8, Major);
    PutInt32LE(record + 12, Minor);
    PutInt32LE(record + 16, Release);
    PutInt32LE(record + 20, Beta);
    record[24] = PressPreview ? 1 : 0;
    stream.WriteBuffer(record, sizeof record);
}
