#pragma once
// How the installation run reports to whoever shows it: a position from 0 to
// 100 and a status line. The wizard window implements it.
#include <string>

class IInstallProgress {
public:
    virtual ~IInstallProgress() = default;
    virtual void SetProgress(int position) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    // Called several times a second during long work (a large file), so that a
    // window can keep answering its messages; nothing to do for other sinks.
    virtual void Working() {}
    // The copying's remaining time in seconds, once it can be estimated
    // (every second or so while files are copied); a window shows it beside
    // the status, a log has no use for it.
    virtual void SetTimeLeft(int /*seconds*/) {}
};
