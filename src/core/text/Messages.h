#pragma once
// Access to the message table (ids 65216 to 65360). On Windows the texts come
// from the program's STRINGTABLE resource; elsewhere from the compiled-in list.
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace Msg {
#define SETUP_MESSAGE(id, name, text) constexpr int name = id;
#include "Messages.def"
#undef SETUP_MESSAGE
constexpr int First = 65216;
constexpr int Last = 65360;
}  // namespace Msg

// The text of message `id`: the text the product gave it for its language
// (SetMessageTexts), else the program's own; empty when the table has no
// such entry.
std::string LoadMessage(int id);
// The program's own text of message `id` (its resources on Windows, the
// compiled-in list elsewhere); empty when there is none.
std::string LoadStoredMessage(int id);

// The message a name in the list stands for ("NotEnoughSpace"); 0 for none.
int MessageNamed(const std::string& name);
// The name of message `id`; empty for none.
std::string MessageName(int id);
// What the uninstaller says: an installation records these in its language.
constexpr int UninstallerMessages[] = {Msg::UninstallNoRights,   Msg::FolderInUse,           Msg::UninstallConfirm,
                                       Msg::UninstallIncomplete, Msg::UninstallKeptOwnFiles, Msg::UninstallCompleted,
                                       Msg::UninstallerCaption,  Msg::ConfirmCaption,        Msg::WarningCaption,
                                       Msg::InformationCaption};
// The texts that take the place of the program's own from now on, by id
// (an empty map gives every message its own text back).
void SetMessageTexts(const std::map<int, std::string>& texts);
// A text as a table of texts writes it: "\n" for a line break, in double
// quotes when it begins or ends with a blank.
std::string TextValue(const std::string& written);
// The placeholders of a text in their order: each "%s" and each $Variable.
std::vector<std::string> PlaceholdersOf(const std::string& text);
// The key a text's accelerator ("&Next") names, lower case for a Latin
// letter, a whole UTF-8 character otherwise; empty for none ("&&" is an "&").
std::string AcceleratorOf(const std::string& text);
// Whether a text may stand for another: the same "%s" placeholders, in number.
bool SamePlaceholders(const std::string& text, const std::string& english);

// The compiled-in text of message `id` (nullptr when none). The resource table
// is checked against it.
inline const char* BuiltinMessage(int id)
{
    switch (id) {
#define SETUP_MESSAGE(number, name, text) \
    case number:                          \
        return text;
#include "Messages.def"
#undef SETUP_MESSAGE
    }
    return nullptr;
}

// Replaces each "%s" in turn with the next argument and "%%" with "%". Inserted
// text is never scanned again, so arguments may hold "%" safely.
std::string FormatText(const std::string& format, std::initializer_list<std::string> args);

// LoadMessage followed by FormatText.
std::string FormatMessageText(int id, std::initializer_list<std::string> args);
