#include "PackageFile.h"

#include <cstring>

#include "Exception.h"
#include "PackageFormat.h"
#include "Stream.h"

namespace {

[[noreturn]] void Refuse(const std::string& fileName, const std::string& why)
{
    throw ESetupError(fileName + ": " + why);
}

bool StartsWith(TStream& file, const char* magic)
{
    size_t n = std::strlen(magic);
    char buffer[16] = {};
    file.SetPosition(0);
    return file.Read(buffer, n) == n && std::memcmp(buffer, magic, n) == 0;
}

}  // namespace

int64_t LocatePackage(TStream& file, const std::string& fileName)
{
    if (StartsWith(file, PackageFormat::Signature)) return 0;
    if (StartsWith(file, "KX/UNS/3")) Refuse(fileName, "is an uninstall log, not a setup package");
    if (!StartsWith(file, "MZ")) Refuse(fileName, "is neither an installer nor a setup package");
    int64_t size = file.Size();
    if (size < 0x40) Refuse(fileName, "is too short to be an installer");
    file.SetPosition(PackageFormat::UninstallerModeWord);
    if (file.ReadInt32() == 1) Refuse(fileName, "is an uninstaller, not an installer");
    file.SetPosition(PackageFormat::SetupDataOffsetWord);
    int32_t offset = file.ReadInt32();
    if (offset <= 0) Refuse(fileName, "carries no package (the installer would read Setup.dat beside it)");
    if (offset >= size) Refuse(fileName, "names a package offset beyond its end");
    return offset;
}

void CheckStub(TStream& file, const std::string& fileName)
{
    int64_t size = file.Size();
    if (size < 0x40 || !StartsWith(file, "MZ")) Refuse(fileName, "is not a Windows program");
    file.SetPosition(0x3C);
    int64_t peOffset = file.ReadInt32();
    char pe[4] = {};
    if (peOffset < 0x40 || peOffset + 4 > size) Refuse(fileName, "is not a Windows program");
    file.SetPosition(peOffset);
    file.ReadBuffer(pe, 4);
    if (std::memcmp(pe, "PE\0\0", 4) != 0) Refuse(fileName, "is not a Windows program");
    file.SetPosition(PackageFormat::SetupDataOffsetWord);
    if (file.ReadInt32() != 0) Refuse(fileName, "already carries a package; build from the bare Setup.exe");
    if (file.ReadInt32() == 1) Refuse(fileName, "is an uninstaller; build from the bare Setup.exe");
}
