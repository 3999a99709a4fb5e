#include "Installer.h"

#include <windows.h>

#include "Exception.h"
#include "HandleStream.h"
#include "Messages.h"
#include "WinHandle.h"

namespace {

// A resource of the program file, kept readable as long as the stream lives.
class TResourceStream : public TMemoryViewStream {
public:
    TResourceStream(TModule module, const void* data, size_t size)
        : TMemoryViewStream(data, size), FModule(std::move(module)) {}

private:
    TModule FModule;  // empty for the running module, which is never unloaded
};

bool SamePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

std::unique_ptr<TStream> OpenResourceStream(const std::string& programPath, const std::string& name)
{
    TModule loaded;
    HMODULE module = GetModuleHandleA(nullptr);
    if (!SamePath(programPath, ModuleFileName())) {
        loaded.Reset(LoadLibraryExA(programPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!loaded.Valid())
            throw EFOpenError(FormatMessageText(Msg::FileOpenError, {programPath, SysErrorMessage(GetLastError())}));
        module = loaded.Get();
    }
    HRSRC info = FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    HGLOBAL data = info ? LoadResource(module, info) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) {
        DWORD error = GetLastError();
        throw EFOpenError(FormatMessageText(Msg::FileOpenError, {programPath + ", " + name, SysErrorMessage(error)}));
    }
    return std::make_unique<TResourceStream>(std::move(loaded), bytes, SizeofResource(module, info));
}

}  // namespace

TInstaller::TInstaller(std::string resourceName, std::string programPath)
    : FResourceName(std::move(resourceName)), FProgramPath(std::move(programPath))
{
    ReadPackageHeader();
}

std::unique_ptr<TStream> TInstaller::OpenPackageStream() const
{
    if (!FResourceName.empty()) return OpenResourceStream(FProgramPath, FResourceName);

    std::unique_ptr<TStream> program = THandleStream::OpenRead(FProgramPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    program->SetPosition(PackageFormat::SetupDataOffsetWord);
    int32_t offset = program->ReadInt32();
    if (offset > 0) {
        program->SetPosition(offset);
        return program;
    }
    program.reset();
    return THandleStream::OpenRead(GetProgramFolder(FProgramPath) + "Setup.dat", 0);
}

void TInstaller::ReadPackageHeader()
{
    std::unique_ptr<TStream> stream = OpenPackageStream();
    FInfo = ::ReadPackageHeader(*stream);
}
