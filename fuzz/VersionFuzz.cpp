// Version texts and version records on any bytes.
#include "Exception.h"
#include "FuzzTarget.h"
#include "ProgramVersion.h"
#include "Stream.h"

FUZZ_TARGET(Version)
{
    TProgramVersion version;
    try {
        version.ParseText(std::string(reinterpret_cast<const char*>(data), size));
        version.AsText();
    } catch (const Exception&) {
    }
    TMemoryStream stream(std::vector<uint8_t>(data, data + size));
    try {
        version.LoadFromStream(stream);
        TProgramVersion other;
        version.Compare(other);
    } catch (const Exception&) {
    }
}
