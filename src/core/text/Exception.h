#pragma once
// The one error channel: every fatal condition is an exception that carries the
// message the user sees. Classes mirror the kinds of failure the installer tells
// apart; none adds data beyond the message.
#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }

private:
    std::string FMessage;
};

#define SETUP_EXCEPTION_CLASS(Name, Base)            \
    class Name : public Base {                       \
    public:                                          \
        using Base::Base;                            \
    }

// A fatal setup condition: a damaged package, a full disk, a bad log.
SETUP_EXCEPTION_CLASS(ESetupError, Exception);
// The installer's package (or the uninstaller's log) is damaged.
SETUP_EXCEPTION_CLASS(EPackageDamaged, ESetupError);
// A volume of the installer is not where it belongs; the message names it and the folder.
SETUP_EXCEPTION_CLASS(EVolumeMissing, EPackageDamaged);
// Another Setup or uninstaller works in the same product folder.
SETUP_EXCEPTION_CLASS(EFolderInUse, ESetupError);
// A text or record that is not a version.
SETUP_EXCEPTION_CLASS(EProgramVersionError, Exception);
// Stream failures: short reads and writes, files that cannot be opened or created.
SETUP_EXCEPTION_CLASS(EStreamError, Exception);
SETUP_EXCEPTION_CLASS(EReadError, EStreamError);
SETUP_EXCEPTION_CLASS(EWriteError, EStreamError);
SETUP_EXCEPTION_CLASS(EFOpenError, EStreamError);
SETUP_EXCEPTION_CLASS(EFCreateError, EStreamError);
// A file held open by a running program: the one failure the user may overcome.
SETUP_EXCEPTION_CLASS(EFileInUse, EFCreateError);
// Damaged zlib data.
SETUP_EXCEPTION_CLASS(EZDecompressionError, Exception);
SETUP_EXCEPTION_CLASS(EZCompressionError, Exception);
// Memory ran out (a package entry too large to hold).
SETUP_EXCEPTION_CLASS(EOutOfMemory, Exception);
// A value that cannot be converted (a time span out of range).
SETUP_EXCEPTION_CLASS(EConvertError, Exception);
// A format text that does not fit its argument.
SETUP_EXCEPTION_CLASS(EFormatError, Exception);

#undef SETUP_EXCEPTION_CLASS
