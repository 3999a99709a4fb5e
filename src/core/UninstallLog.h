#pragma once
// The uninstall log: every folder, file and registry key an installation
// created, in order, as lines of one kind letter and a path. Serialised after
// "KX/UNS/3", 20 reserved bytes and the version record of the installed package:
//
//   int32 text length L, int32 product name length P, L bytes of text (each line
//   followed by CR LF), P bytes of product name.
#include <cstdint>
#include <string>
#include <vector>

#include "ProgramVersion.h"

class TStream;

// Item kinds, numbered as the log's letters F, D, T, U, C, M, E, 6.
enum TUninstallItemKind : int {
    ikFile = 0,            // F: a file the installation wrote
    ikFolder = 1,          // D: a folder it created
    ikFolderContents = 2,  // T: a folder whose files all go on removal
    ikCurrentUserKey = 3,  // U: HKEY_CURRENT_USER key
    ikClassesRootKey = 4,  // C: HKEY_CLASSES_ROOT key
    ikLocalMachineKey = 5, // M: HKEY_LOCAL_MACHINE key, default view
    ikExistingFolder = 6,  // E: a folder that existed before
    ikLocalMachine64Key = 7 // 6: HKEY_LOCAL_MACHINE key, 64-bit view
};

char UninstallItemLetter(int kind);

namespace UninstallLogFormat {
constexpr char Signature[9] = "KX/UNS/3";
constexpr size_t HeaderSize = 28;  // signature and reserved bytes
}  // namespace UninstallLogFormat

struct TUninstallLog {
    TProgramVersion Version;
    std::vector<std::string> Lines;
    std::string ProductName;
};

// Writes the serialised log at the stream's position.
void WriteUninstallLog(TStream& stream, const TProgramVersion& version, const std::vector<std::string>& lines,
                       const std::string& productName);

// Reads a serialised log at the stream's position. A wrong signature raises
// ESetupError "Invalid uninstall data signature"; a bad version record its own
// error; lengths that are negative or run past the stream the stream's read
// error, before anything is allocated for them.
TUninstallLog ReadUninstallLog(TStream& stream);

// Splits text into lines at CR LF, CR or LF; a final line break ends the last
// line rather than starting an empty one.
std::vector<std::string> SplitLines(const std::string& text);
