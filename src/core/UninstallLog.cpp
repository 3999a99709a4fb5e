#include "UninstallLog.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "Exception.h"
#include "Messages.h"
#include "PathUtils.h"
#include "Stream.h"
#include "TextUtils.h"

char UninstallItemLetter(int kind)
{
    static const char letters[] = "FDTUCME6";
    return kind >= 0 && kind < 8 ? letters[kind] : '?';
}

std::string NoteLine(char kind, const std::string& file, const std::vector<std::string>& fields)
{
    std::string line = kind + file;
    for (const std::string& field : fields) line += "|" + field;
    return line;
}

std::vector<std::string> NoteFields(const std::string& line)
{
    std::vector<std::string> fields;
    if (line.empty()) return fields;
    size_t start = 1;
    for (size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
        fields.push_back(line.substr(start, bar - start));
    fields.push_back(line.substr(start));
    return fields;
}

std::vector<std::string> CarryForward(const std::vector<std::string>& earlier, const std::vector<std::string>& current)
{
    std::set<std::string> again;
    for (const std::string& line : current) again.insert(UpperAscii(line));
    std::vector<std::string> merged;
    for (const std::string& line : earlier)
        if (!again.count(UpperAscii(line))) merged.push_back(line);
    merged.insert(merged.end(), current.begin(), current.end());
    return merged;
}

void WriteUninstallLog(TStream& stream, const TProgramVersion& version, const std::vector<std::string>& lines,
                       const std::string& productName)
{
    uint8_t header[UninstallLogFormat::HeaderSize] = {};
    std::memcpy(header, UninstallLogFormat::Signature, 8);
    stream.WriteBuffer(header, sizeof header);
    version.SaveToStream(stream);
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    stream.WriteInt32(int32_t(text.size()));
    stream.WriteInt32(int32_t(productName.size()));
    stream.WriteBuffer(text.data(), text.size());
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
    if (std::memcmp(header, UninstallLogFormat::Signature, 8) != 0)
        throw ESetupError(LoadMessage(Msg::InvalidUninstallSignature));
    TUninstallLog log;
    log.Version.LoadFromStream(stream);
    int32_t textLength = stream.ReadInt32();
    int32_t nameLength = stream.ReadInt32();
    log.Lines = SplitLines(ReadText(stream, textLength));
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

// The folder or key a line acts on, with the kind of root it needs: 'F' a
// folder, 'K' a key, 0 when the line acts on none.
std::vector<std::pair<char, std::string>> RootsOfLine(const std::string& line)
{
    if (line.size() < 2) return {};
    std::string text = line.substr(1);
    switch (line[0]) {
    case 'F':
    case UninstallNote::Partial: return {{'F', ExtractFilePath(text)}};
    case 'D':
    case 'T': return {{'F', IncludeDelimiter(text)}};
    case 'U':
    case 'C':
    case 'M':
    case '6': return {{'K', line.substr(0, 1) + "\\" + std::string(text, text.find_first_not_of('\\') == std::string::npos ? text.size() : text.find_first_not_of('\\'))}};
    case UninstallNote::Backup: {
        std::vector<std::pair<char, std::string>> roots;
        for (const std::string& field : NoteFields(line)) roots.push_back({'F', ExtractFilePath(field)});
        return roots;
    }
    default: return {};
    }
}

void AddRoot(std::vector<std::string>& roots, const std::string& root)
{
    for (const std::string& held : roots)
        if (IsInsideFolder(root, held)) return;
    roots.erase(std::remove_if(roots.begin(), roots.end(),
                               [&](const std::string& held) { return IsInsideFolder(held, root); }),
                roots.end());
    roots.push_back(root);
}

}  // namespace

TInstallationRoots InstallationRoots(const std::vector<std::string>& lines)
{
    TInstallationRoots roots;
    for (const std::string& line : lines)
        for (const auto& root : RootsOfLine(line))
            if (root.second.size() > 2) AddRoot(root.first == 'F' ? roots.Folders : roots.Keys, root.second);
    return roots;
}

bool TInstallationRoots::Hold(const std::string& line) const
{
    for (const auto& root : RootsOfLine(line)) {
        const std::vector<std::string>& held = root.first == 'F' ? Folders : Keys;
        if (std::none_of(held.begin(), held.end(), [&](const std::string& r) { return IsInsideFolder(root.second, r); }))
            return false;
    }
    return true;
}
