#pragma once
// The small first dialog of a product that lets the user choose Setup's
// language: the product's languages in their own names, the proposed one
// chosen, OK and Cancel.
#include <string>
#include <vector>

// The window class the end-to-end tests find it by.
constexpr char LanguageDialogClass[] = "TLanguageDialog";
constexpr int LanguageListId = 100;

// The tag chosen, or empty when the user cancelled.
std::string AskForLanguage(const std::vector<std::string>& tags, const std::string& proposed, bool rightToLeft);
