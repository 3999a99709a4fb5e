// The message table of builds that carry no resources (the builder and the
// native tests).
#include "Messages.h"

std::string LoadStoredMessage(int id)
{
    const char* text = BuiltinMessage(id);
    return text ? text : std::string();
}
