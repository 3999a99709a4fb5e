#pragma once
// The log of a run that /LOG=PATH asks for: a UTF-8 text file for whoever
// supports the installation. Each line carries the seconds since the program
// started. Without a path nothing is written and every call costs nothing.
#include <windows.h>

#include <string>

#include "WinHandle.h"

class TRunLog {
public:
    TRunLog() = default;
    TRunLog(const TRunLog&) = delete;
    TRunLog& operator=(const TRunLog&) = delete;

    // Creates (or empties) the file, or with `append` goes on at its end;
    // false when it cannot be written.
    bool Open(const std::string& path, bool append = false);
    // Lets the file go (to the run that goes on with administrator rights),
    // and takes it up again at its end.
    void Close() { FFile.Reset(); }
    bool Reopen() { return !FPath.empty() && Open(FPath, true); }
    bool IsOpen() const { return FFile.Valid(); }
    void Line(const std::string& text);
    // A decision and where it came from: "destination: C:\Plug\ (switch /DIR)".
    void Decision(const std::string& what, const std::string& value, const std::string& source);
    // The end of a phase: its name and the time it took since the last one.
    void Phase(const std::string& name);
    // The program and the machine: version, Windows, bitness, rights.
    void Facts(const std::string& program);

private:
    TFileHandle FFile;
    std::string FPath;
    DWORD FStart = GetTickCount();
    DWORD FPhaseStart = GetTickCount();
};
