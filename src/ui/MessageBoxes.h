#pragma once
// The program's modal message boxes.
#include <string>

#include "SetupUser.h"

// From now on the boxes read right to left (Arabic, Hebrew, Persian), or not.
void SetMessageBoxesRightToLeft(bool rightToLeft);

// The standard error box: stop icon, the application title, a full stop added
// when the text lacks one.
void ShowErrorBox(const std::string& text, const std::string& title);
// Input refusals: title "Warning" (in the language spoken), one OK button.
void ShowWarningBox(const std::string& text);
// Closing notices: title "Information" unless given, one OK button.
void ShowInformationBox(const std::string& text, const std::string& title = std::string());
// Questions: title "Confirm", Yes and No; true for Yes.
bool AskConfirmation(const std::string& text);
// The file question: title "Warning", Retry and Cancel; true for Retry.
bool AskRetry(const std::string& text);

// The text as the error box shows it: a full stop added unless it ends in a
// sentence's end mark of its script.
std::string WithFullStop(const std::string& text);

// The user in front of the window: each question and message in its box.
class TMessageBoxUser : public ISetupUser {
public:
    bool Confirm(const std::string& question) override { return AskConfirmation(question); }
    bool Retry(const std::string& message) override { return AskRetry(message); }
    void Warn(const std::string& text) override { ShowWarningBox(text); }
    void Inform(const std::string& text) override { ShowInformationBox(text); }
    bool Unattended() const override { return false; }
    void Speak(const std::string&, bool rightToLeft) override { SetMessageBoxesRightToLeft(rightToLeft); }
};
