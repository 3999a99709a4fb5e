#pragma once
// The program's modal message boxes.
#include <string>

// The standard error box: stop icon, the application title, a full stop added
// when the text lacks one.
void ShowErrorBox(const std::string& text, const std::string& title);
void ShowInformationBox(const std::string& text, const std::string& title);

// The text as the error box shows it.
std::string WithFullStop(const std::string& text);
