#pragma once
// The uninstall log: every folder, file and registry key an installation
// created, in order, as lines of one kind letter and a path. Serialised after
// "KX/UNS/3", 20 reserved bytes and the version record of the installed package:
//
//   int32 text length L, int32 product name length P, L bytes of text (each line
//   followed by CR LF), P bytes of product name.
//
// A finished log is stored compressed: after "KX/UNS/Z" and the same header,
// int32 L, int32 P, int32 packed length C, C bytes of the text deflated (raw
// deflate), P bytes of product name. A journal, which grows line by line,
// stays in the first form; the reader takes both.
#include <cstdint>
#include <string>
#include <vector>

#include "LineStore.h"
#include "LogLine.h"
#include "ProgramVersion.h"

class TStream;

// The uninstaller an installation leaves in its folder, and the file beside
// it that holds the log when the program itself cannot carry it.
constexpr char UninstallerFileName[] = "Uninst.exe";
constexpr char UninstallLogFileName[] = "Uninstall.dat";

// The log of a run that replaces an earlier installation in the same folder:
// the earlier installation's lines first, less those the new run recorded
// again (paths compared without regard to the case of A to Z), then the new
// run's. Its uninstaller then removes whatever any of them created.
// Memory grows with the earlier log, not with the new run's.
TLineStore CarryForward(const std::vector<std::string>& earlier, const TLineStore& current);

// Where a log's items lie: the folders (a file's folder, a created or emptied
// folder, with a trailing backslash) and the registry keys (each with its
// item letter first: "M\\Software\\Maker"), none inside another of its list.
// An installation records them where only administrators can write, so that
// its uninstaller can tell a log that was changed since.
struct TInstallationRoots {
    std::vector<std::string> Folders, Keys;
    // Whether a line may be obeyed: the table knows its kind, it is well
    // formed, and every place it names lies inside the roots. Lines that name
    // no place (a product name) are held.
    bool Hold(const std::string& line) const;
    // The folders and keys as one "|"-joined text each, and back: how the
    // registration keeps them.
    static std::string Joined(const std::vector<std::string>& list);
    static std::vector<std::string> Split(const std::string& text);
};
TInstallationRoots InstallationRoots(const TLineStore& lines);
// Adds what `lines` name to `roots`; true when anything was added.
bool ExtendRoots(TInstallationRoots& roots, const TLineStore& lines);
bool ExtendRoots(TInstallationRoots& roots, const std::string& line);

// The lines of an earlier log that a new run may take over: those its own
// installation's roots hold. The others go to `dropped`.
std::vector<std::string> TrustedLines(const std::vector<std::string>& lines, const TInstallationRoots& roots,
                                      std::vector<std::string>* dropped = nullptr);

namespace UninstallLogFormat {
constexpr char Signature[9] = "KX/UNS/3";
constexpr char PackedSignature[9] = "KX/UNS/Z";
constexpr size_t HeaderSize = 28;  // signature and reserved bytes
}  // namespace UninstallLogFormat

struct TUninstallLog {
    TProgramVersion Version;
    std::vector<std::string> Lines;
    std::string ProductName;
    // The SHA-256 of the log's bytes as read from its file (not of a journal
    // taken over beside it), as hexadecimal digits; empty where not read so.
    std::string Digest;
};

// Writes the serialised log at the stream's position; `packed`: its text deflated.
void WriteUninstallLog(TStream& stream, const TProgramVersion& version, const TLineStore& lines,
                       const std::string& productName, bool packed = false);

// Reads a serialised log at the stream's position. A wrong signature raises
// ESetupError "Invalid uninstall data signature"; a bad version record its own
// error; lengths that are negative or run past the stream the stream's read
// error, before anything is allocated for them.
TUninstallLog ReadUninstallLog(TStream& stream);

// Splits text into lines at CR LF, CR or LF; a final line break ends the last
// line rather than starting an empty one.
std::vector<std::string> SplitLines(const std::string& text);
