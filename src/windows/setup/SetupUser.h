#pragma once
// The person in front of a run: the wizard's and the uninstaller's message
// boxes, or nobody (/S), in which case every question gets its safe answer.
#include <string>
#include <vector>

class ISetupUser {
public:
    virtual ~ISetupUser() = default;
    // A question with Yes and No.
    virtual bool Confirm(const std::string& question) = 0;
    // A file that cannot be written: true to try again.
    virtual bool Retry(const std::string& message) = 0;
    // Why something cannot go on (a warning), or a result to read (information).
    virtual void Warn(const std::string& text) = 0;
    virtual void Inform(const std::string& text) = 0;
    // Whether anybody answers.
    virtual bool Unattended() const = 0;
    // From now on everything is said in this language; `rightToLeft` for
    // Arabic, Hebrew and Persian, whose windows and boxes read mirrored.
    virtual void Speak(const std::string& /*tag*/, bool /*rightToLeft*/) {}
    // The language the user picks of `tags`, `proposed` chosen at first;
    // empty when the user cancels. Nobody there takes the proposal.
    virtual std::string AskLanguage(const std::vector<std::string>& /*tags*/, const std::string& proposed)
    {
        return proposed;
    }
};

// Nobody in front of the run: nothing is shown, and every question gets its safe answer.
class TUnattendedUser : public ISetupUser {
public:
    // Kept where it is: the earlier installation, the files already in the folder.
    bool Confirm(const std::string&) override { return true; }
    // A file held by a running program fails the run (and rolls it back): nobody is there to close it.
    bool Retry(const std::string&) override { return false; }
    void Warn(const std::string&) override {}
    void Inform(const std::string&) override {}
    bool Unattended() const override { return true; }
};
