#pragma once
// Access to the message table (ids 65216 to 65280). On Windows the texts come
// from the program's STRINGTABLE resource; elsewhere from the compiled-in list.
#include <initializer_list>
#include <string>

namespace Msg {
#define SETUP_MESSAGE(id, name, text) constexpr int name = id;
#include "Messages.def"
#undef SETUP_MESSAGE
constexpr int First = 65216;
constexpr int Last = 65280;
}  // namespace Msg

// The text of message `id`; empty when the table has no such entry.
std::string LoadMessage(int id);

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
