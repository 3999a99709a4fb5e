#include "UninstallLog.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include <zlib.h>

#include "Exception.h"
#include "Messages.h"
#include "PathUtils.h"
#include "Stream.h"
#include "TextUtils.h"

TLineStore CarryForward(const std::vector<std::string>& earlier, const TLineStore& current)
{
    // The earlier lines by their UpperAscii text, each struck out once the
    // new run has it too. A value as it was stays where it is: removal puts
    // the values back last line first, so the earliest line of a value is
    // the one that stands, and a later run that found the same text must
    // not move it behind the lines of the runs in between.
    std::map<std::string, bool> again;
    for (const std::string& line : earlier)
        if (LineKindOf(line.empty() ? 0 : line[0]) != TLineKind::PriorValue) again.emplace(UpperAscii(line), false);
    if (!again.empty())
        for (const std::string& line : current) {
            auto found = again.find(UpperAscii(line));
            if (found != again.end()) found->second = true;
        }
    TLineStore merged;
    for (const std::string& line : earlier) {
        auto found = again.find(UpperAscii(line));
        if (found == again.end() || !found->second) merged.Append(line);
    }
    for (const std::string& line : current) merged.Append(line);
    return merged;
}

void WriteUninstallLog(TStream& stream, const TProgramVersion& version, const TLineStore& lines,
                       const std::string& productName, bool packed)
{
    uint8_t header[UninstallLogFormat::HeaderSize] = {};
    std::memcpy(header, packed ? UninstallLogFormat::PackedSignature : UninstallLogFormat::Signature, 8);
    stream.WriteBuffer(header, sizeof header);
    version.SaveToStream(stream);
    // The text is counted first and handed on in pieces: a log of a hundred
    // thousand files is never held whole as one text.
    size_t length = 0;
    for (const std::string& line : lines) length += line.size() + 2;
    stream.WriteInt32(int32_t(length));
    stream.WriteInt32(int32_t(productName.size()));
    std::string text;
    if (!packed) {
        for (const std::string& line : lines) {
            text += line;
            text += "\r\n";
            if (text.size() >= 65536) {
                stream.WriteBuffer(text.data(), text.size());
                text.clear();
            }
        }
        stream.WriteBuffer(text.data(), text.size());
    } else {
        // Only the packed text is held: a tenth of the text, or less, for a log of paths.
        z_stream z{};
        if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw EOutOfMemory(LoadMessage(Msg::OutOfMemory));
        std::string out;
        char buffer[65536];
        auto pack = [&](int flush) {
            do {
                z.next_out = reinterpret_cast<Bytef*>(buffer);
                z.avail_out = sizeof buffer;
                deflate(&z, flush);
                out.append(buffer, sizeof buffer - z.avail_out);
            } while (z.avail_out == 0);
        };
        auto feed = [&](int flush) {
            z.next_in = reinterpret_cast<Bytef*>(&text[0]);
            z.avail_in = uInt(text.size());
            pack(flush);
            text.clear();
        };
        for (const std::string& line : lines) {
            text += line;
            text += "\r\n";
            if (text.size() >= 65536) feed(Z_NO_FLUSH);
        }
        feed(Z_FINISH);
        deflateEnd(&z);
        stream.WriteInt32(int32_t(out.size()));
        stream.WriteBuffer(out.data(), out.size());
    }
    stream.WriteBuffer(productName.data(), productName.size());
}

namespace {

// Reads `length` bytes as text; a length the stream cannot hold is a read
// error before any memory is taken for it.
std::string ReadText(TStream& stream, int32_t length)
{
    if (length <= 0) {
        if (length < 0) throw EReadError(LoadMessage(Msg::StreamReadError));
        return std::string();
    }
    int64_t here = stream.Position();
    if (stream.Size() - here < length) throw EReadError(LoadMessage(Msg::StreamReadError));
    std::string text(size_t(length), '\0');
    stream.ReadBuffer(&text[0], text.size());
    return text;
}

}  // namespace

TUninstallLog ReadUninstallLog(TStream& stream)
{
    uint8_t header[UninstallLogFormat::HeaderSize];
    stream.ReadBuffer(header, sizeof header);
    bool packed = std::memcmp(header, UninstallLogFormat::PackedSignature, 8) == 0;
    if (!packed && std::memcmp(header, UninstallLogFormat::Signature, 8) != 0)
        throw ESetupError(LoadMessage(Msg::InvalidUninstallSignature));
    TUninstallLog log;
    log.Version.LoadFromStream(stream);
    int32_t textLength = stream.ReadInt32();
    int32_t nameLength = stream.ReadInt32();
    if (packed) {
        std::string deflated = ReadText(stream, stream.ReadInt32());
        // Deflate packs at most 1032 to 1: a length past that is a lie, refused before it is allocated.
        if (textLength < 0 || uint64_t(textLength) > uint64_t(deflated.size()) * 1032 + 64)
            throw EReadError(LoadMessage(Msg::StreamReadError));
        // The text must come out whole and of its length: anything else is a damaged log.
        std::string text(size_t(textLength), '\0');
        z_stream z{};
        if (inflateInit2(&z, -15) != Z_OK) throw EOutOfMemory(LoadMessage(Msg::OutOfMemory));
        z.next_in = reinterpret_cast<Bytef*>(&deflated[0]);
        z.avail_in = uInt(deflated.size());
        z.next_out = reinterpret_cast<Bytef*>(&text[0]);
        z.avail_out = uInt(text.size());
        int result = inflate(&z, Z_FINISH);
        bool whole = result == Z_STREAM_END && z.avail_out == 0 && z.avail_in == 0;
        inflateEnd(&z);
        if (!whole) throw EReadError(LoadMessage(Msg::StreamReadError));
        log.Lines = SplitLines(text);
    } else {
        log.Lines = SplitLines(ReadText(stream, textLength));
    }
    log.ProductName = ReadText(stream, nameLength);
    return log;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

namespace {

void AddRoot(std::vector<std::string>& roots, const std::string& root, bool& added)
{
    for (const std::string& held : roots)
        if (IsInsideFolder(root, held)) return;
    roots.erase(std::remove_if(roots.begin(), roots.end(),
                               [&](const std::string& held) { return IsInsideFolder(held, root); }),
                roots.end());
    roots.push_back(root);
    added = true;
}

}  // namespace

bool ExtendRoots(TInstallationRoots& roots, const std::string& line)
{
    bool added = false;
    TLogLine parsed = TLogLine::Parse(line);
    if (!parsed.Info().Root || !parsed.WellFormed()) return false;
    for (const auto& place : parsed.Places())
        if (place.second.size() > 2) AddRoot(place.first == TLineTarget::Key ? roots.Keys : roots.Folders, place.second, added);
    return added;
}

bool ExtendRoots(TInstallationRoots& roots, const TLineStore& lines)
{
    bool added = false;
    for (const std::string& line : lines) added = ExtendRoots(roots, line) || added;
    return added;
}

TInstallationRoots InstallationRoots(const TLineStore& lines)
{
    TInstallationRoots roots;
    ExtendRoots(roots, lines);
    return roots;
}

bool TInstallationRoots::Hold(const std::string& line) const
{
    TLogLine parsed = TLogLine::Parse(line);
    if (!parsed.WellFormed()) return false;
    for (const auto& place : parsed.Places()) {
        const std::vector<std::string>& held = place.first == TLineTarget::Key ? Keys : Folders;
        if (std::none_of(held.begin(), held.end(), [&](const std::string& r) { return IsInsideFolder(place.second, r); }))
            return false;
    }
    return true;
}

std::string TInstallationRoots::Joined(const std::vector<std::string>& list)
{
    std::string text;
    for (const std::string& item : list) text += (text.empty() ? "" : "|") + item;
    return text;
}

std::vector<std::string> TInstallationRoots::Split(const std::string& text)
{
    std::vector<std::string> list;
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('|', start), text.size());
        if (end > start) list.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return list;
}

std::vector<std::string> TrustedLines(const std::vector<std::string>& lines, const TInstallationRoots& roots,
                                      std::vector<std::string>* dropped)
{
    std::vector<std::string> trusted;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        if (roots.Hold(line))
            trusted.push_back(line);
        else if (dropped)
            dropped->push_back(line);
    }
    return trusted;
}
