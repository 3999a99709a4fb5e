// The uninstall log reader on any bytes.
#include "Exception.h"
#include "FuzzTarget.h"
#include "Stream.h"
#include "UninstallLog.h"

FUZZ_TARGET(UninstallLog)
{
    TMemoryStream stream(std::vector<uint8_t>(data, data + size));
    try {
        ReadUninstallLog(stream);
    } catch (const Exception&) {
    }
}
