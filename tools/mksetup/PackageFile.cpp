#include "PackageFile.h"

#include <cstring>
#include <filesystem>

#include "Exception.h"
#include "PackageFormat.h"
#include "Stream.h"

namespace fs = std::filesystem;

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

TVolumeOpener VolumesBeside(const std::string& fileName)
{
    fs::path folder = fs::path(fileName).parent_path();
    return [folder](const TVolumeRecord& volume, size_t) -> std::unique_ptr<TStream> {
        fs::path path = folder / volume.Name;
        std::error_code ec;
        if (!fs::is_regular_file(path, ec))
            throw EVolumeMissing(path.string() + ": is missing (a volume of this installer, which belongs beside it)");
        return std::make_unique<TFileStream>(path.string(), TFileStream::Mode::Read);
    };
}

TOpenedPackage OpenPackage(const std::string& fileName, bool checkAll, int64_t checkUpTo)
{
    auto file = std::make_unique<TFileStream>(fileName, TFileStream::Mode::Read);
    TOpenedPackage opened;
    opened.Offset = LocatePackage(*file, fileName);
    file->SetPosition(opened.Offset);
    opened.Info = ReadPackageHeader(*file, checkUpTo);
    std::string why;
    auto note = [&why](const std::string& text) { why = text; };
    try {
        if (checkAll && !opened.Info.Volumes.empty())
            CheckPackageData(*file, opened.Info, VolumesBeside(fileName), nullptr, note);
        // Volumes read later name themselves in the error (the note would not outlive this call).
        opened.Data = OpenSpannedPackage(std::move(file), opened.Info, VolumesBeside(fileName));
    } catch (const EPackageDamaged& e) {
        if (why.empty()) throw;
        throw ESetupError(why);
    }
    return opened;
}
