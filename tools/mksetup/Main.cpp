// mksetup: builds, lists and verifies installers for plug-in products.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#define popen _popen
#define pclose _pclose
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "Builder.h"
#include "Deploy.h"
#include "NewProduct.h"
#include "PackageFormat.h"
#include "ProductCheck.h"
#include "ProductFolder.h"
#include "SetupIniReference.h"
#include "Exception.h"

namespace {

const char Usage[] =
    "usage:\n"
    "  mksetup build PRODUCT_DIR --version TEXT (-o Setup.exe | --data Setup.dat)\n"
    "                [--stub PATH] [--date YYYY-MM-DDTHH:MM:SS] [--sign \"COMMAND {}\"] [--zlib]\n"
    "                [--volume-size SIZE]\n"
    "  mksetup list FILE\n"
    "  mksetup verify FILE\n"
    "  mksetup extract FILE DIR\n"
    "  mksetup check PRODUCT_DIR [--version TEXT] [--werror]\n"
    "  mksetup new PRODUCT_DIR --product NAME --maker NAME [--32bit]\n"
    "  mksetup winget INSTALLER --url URL [-o DIR]\n"
    "  mksetup deploy INSTALLER\n"
    "  mksetup reference\n"
    "  mksetup --version\n"
    "\n"
    "build   turns a product folder (Setup.ini, Setup.lic, Setup.jpg, one folder per\n"
    "        component) into an installer: the bare Setup.exe with the package\n"
    "        appended, or the package alone as Setup.dat. --date, or the environment\n"
    "        variable SOURCE_DATE_EPOCH, fixes every time stamp for reproducible builds.\n"
    "        --zlib compresses with zlib's own deflate at level 9, as earlier versions\n"
    "        did: slower and a little larger, for comparison.\n"
    "        A package of 2 GiB or more keeps its data past 2 GiB in volume files\n"
    "        beside the installer (Setup-1.bin, Setup-2.bin, ...), which ship with it;\n"
    "        --volume-size (such as 700M or 1G, 64K to 3G) splits at another size.\n"
    "list    prints an installer's or a Setup.dat's header and entries.\n"
    "verify  checks the checksum, the version record and every entry.\n"
    "extract writes every entry of an installer's or a Setup.dat's package below DIR.\n"
    "check   reports what would stop the installer (errors) and what is almost\n"
    "        certainly a mistake (warnings); build runs it first and stops on errors.\n"
    "new     makes a product folder to start from: a commented Setup.ini, a\n"
    "        placeholder licence, side pictures, a readme and empty plug-in folders;\n"
    "        check names each folder still empty, and it builds once the plug-ins are in.\n"
    "winget  writes a winget manifest set (version, installer, en-US locale) for the\n"
    "        installer as published at URL, into DIR (by default manifests/<letter>/\n"
    "        <Publisher>/<Product>/<Version> below the current folder); each value\n"
    "        Setup.ini does not give is a \"<fill in: ...>\" placeholder and a warning.\n"
    "deploy  prints what an administrator pastes into Intune, SCCM or a script: the\n"
    "        install and uninstall command lines for everyone and for one user, as\n"
    "        the product allows, the return codes and the detection rule.\n"
    "reference prints the Setup.ini reference (docs/setup-ini.md) in Markdown.\n";

int UsageError(const std::string& why)
{
    std::cerr << "mksetup: " << why << "\n\n" << Usage;
    return 2;
}

std::string ThisProgramFolder(const char* argv0)
{
#ifdef _WIN32
    (void)argv0;  // the module knows its own path
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::filesystem::path self(std::string(path, n));
#else
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::absolute(argv0);
#endif
    return self.parent_path().string();
}

// The version as the package's record holds it, which must be what the maker
// wrote: the record keeps a major number, one digit each for the minor and the
// release number, a beta number and a press-preview flag, and shows them as
// "1.23", "2.02 beta 3" or "1.00 (press preview)". Anything the record would
// show otherwise ("1.2" as 1.20, "1.9" as 1.90, above 1.10, "1.2.10" as 1.21)
// is refused rather than changed.
TProgramVersion ExactVersion(const std::string& text)
{
    TProgramVersion version;
    version.ParseText(text);  // text that is no version at all keeps its own error
    if (version.AsText() == text) return version;
    throw EProgramVersionError("version '" + text + "' cannot be recorded as written (it would be recorded as " +
                               version.AsText() + "): write MAJOR.MR with one digit each for the minor and the "
                               "release number, as in 1.20, 1.23 (for 1.2.3) or 2.02 beta 3, and give the text users see as "
                               "DisplayVersion=" + text + " in [Setup]");
}

// Whether a Windows program carries a signature: its certificate table
// (the security entry of the optional header's data directories) is not empty.
bool CarriesSignature(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    auto read = [&](uint64_t at, size_t size) {
        std::string bytes(size, '\0');
        file.seekg(std::streamoff(at));
        file.read(&bytes[0], std::streamsize(size));
        return file ? bytes : std::string();
    };
    auto word = [](const std::string& bytes, size_t at, size_t size) {
        uint32_t value = 0;
        for (size_t i = size; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    std::string dos = read(0, 64);
    if (dos.size() != 64 || dos.compare(0, 2, "MZ") != 0) return false;
    uint32_t pe = word(dos, 0x3C, 4);
    std::string header = read(pe, 24 + 2);
    if (header.size() != 26 || header.compare(0, 4, std::string("PE\0\0", 4)) != 0) return false;
    // The security entry: data directory 4, after 96 bytes of a PE32 optional header or 112 of a PE32+ one.
    uint32_t directories = pe + 24 + (word(header, 24, 2) == 0x20B ? 112 : 96);
    std::string security = read(directories + 4 * 8, 8);
    if (security.size() != 8) return false;
    // The table itself, whole inside the file: a cut-off one is no signature.
    uint64_t at = word(security, 0, 4), size = word(security, 4, 4);
    file.clear();
    file.seekg(0, std::ios::end);
    return size >= 8 && at + size <= uint64_t(file.tellg());
}

// Runs the maker's signing command with the file's path for "{}" (in single
// quotes, for the shell); `signature` checks that the file carries one then.
bool RunSigningCommand(const std::string& command, const std::string& file, bool signature = true)
{
    std::string quoted = "'";
    for (char c : file) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    std::string line = command;
    for (size_t at; (at = line.find("{}")) != std::string::npos;) line.replace(at, 2, quoted);
    std::cout.flush();
    // Its output is kept, so that a failure can show how it ended.
    std::string output;
    FILE* pipe = popen(("( " + line + " ) 2>&1").c_str(), "r");
    if (!pipe) {
        std::cerr << "mksetup: the signing command could not be started: " << line << "\n";
        return false;
    }
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    int status = pclose(pipe);
    std::string ending;
#ifdef _WIN32
    if (status != 0) ending = "exit code " + std::to_string(status);
#else
    if (status == -1)
        ending = "it could not be waited for";
    else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        ending = "exit code " + std::to_string(WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        ending = "ended by signal " + std::to_string(WTERMSIG(status));
#endif
    if (!ending.empty()) {
        std::cerr << "mksetup: the signing command failed (" << ending << "): " << line << "\n";
        // Its last lines say why.
        std::vector<std::string> lines;
        std::istringstream text(output);
        for (std::string got; std::getline(text, got);) lines.push_back(got);
        for (size_t i = lines.size() > 10 ? lines.size() - 10 : 0; i < lines.size(); ++i)
            std::cerr << "  " << lines[i] << "\n";
        return false;
    }
    if (signature && !CarriesSignature(file)) {
        std::cerr << "mksetup: the signing command left no signature in " << file << ": " << line << "\n";
        return false;
    }
    return true;
}

// The uninstaller the installer will write, signed: the bare program with the
// uninstaller's mode and no log of its own (the installer puts the log into
// Uninstall.dat beside it). Written beside the output; false if not signed.
bool SignUninstaller(const std::string& command, const std::string& stub, const std::string& path)
{
    std::ifstream in(stub, std::ios::binary);
    std::string program((std::istreambuf_iterator<char>(in)), {});
    if (program.size() < 0x40 || program.compare(0, 2, "MZ") != 0) {
        std::cerr << "mksetup: " << stub << " is no program to make the uninstaller from\n";
        return false;
    }
    auto put = [&](int64_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) program[size_t(at) + i] = char((value >> (8 * i)) & 0xFF);
    };
    put(PackageFormat::SetupDataOffsetWord, 0);
    put(PackageFormat::UninstallerModeWord, 1);
    std::ofstream(path, std::ios::binary).write(program.data(), std::streamsize(program.size()));
    return RunSigningCommand(command, path);
}

// Runs the signing command on the installer, then checks that the signed file
// is still a sound installer: a signature goes after the package, which must
// stay whole.
bool SignInstaller(const std::string& command, const std::string& installer)
{
    if (!RunSigningCommand(command, installer, false)) return false;
    std::ostringstream report;
    bool sound = false;
    try {
        sound = VerifyPackage(installer, report);
    } catch (const Exception& e) {
        report << e.Message() << "\n";
    }
    if (!sound) {
        std::cerr << report.str() << "mksetup: the signed installer is no longer sound\n";
        return false;
    }
    if (!CarriesSignature(installer)) {
        std::cerr << "mksetup: the signing command left no signature in " << installer << "\n";
        return false;
    }
    std::cout << installer << ": signed, and still sound (its uninstaller signed too)\n";
    return true;
}

std::string ByteCount(int64_t bytes)
{
    char text[32];
    if (bytes < 1000000)
        std::snprintf(text, sizeof text, "%.1f KB", double(bytes) / 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    return text;
}

int Build(const std::vector<std::string>& args, const char* argv0)
{
    TBuildOptions options;
    std::string dateText, sign;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* option) -> const std::string& {
            if (i + 1 >= args.size()) throw std::invalid_argument(std::string(option) + " needs a value");
            return args[++i];
        };
        if (a == "--version") options.VersionText = value("--version");
        else if (a == "-o") options.Output = value("-o");
        else if (a == "--data") {
            options.Output = value("--data");
            options.DataOnly = true;
        } else if (a == "--stub") options.Stub = value("--stub");
        else if (a == "--date") dateText = value("--date");
        else if (a == "--sign") sign = value("--sign");
        else if (a == "--zlib") options.ZlibOnly = true;
        else if (a == "--volume-size") {
            const std::string& text = value("--volume-size");
            if (!ParseVolumeSize(text, options.VolumeSize))
                throw std::invalid_argument("--volume-size " + text + " is not a size from 64K to 3G");
        } else if (!a.empty() && a[0] == '-') throw std::invalid_argument("unknown option " + a);
        else if (options.ProductFolder.empty()) options.ProductFolder = a;
        else throw std::invalid_argument("more than one product folder: " + a);
    }
    if (options.ProductFolder.empty()) throw std::invalid_argument("build needs a product folder");
    if (options.VersionText.empty()) throw std::invalid_argument("build needs --version");
    if (options.Output.empty()) throw std::invalid_argument("build needs -o Setup.exe or --data Setup.dat");
    if (options.DataOnly && !options.Stub.empty()) throw std::invalid_argument("--stub goes with -o, not --data");
    if (!sign.empty() && options.DataOnly) throw std::invalid_argument("--sign goes with -o: Setup.dat is not signed");
    if (!sign.empty() && sign.find("{}") == std::string::npos)
        throw std::invalid_argument("--sign needs {} where the installer's path goes");
    if (!options.DataOnly && options.Stub.empty()) options.Stub = ThisProgramFolder(argv0) + "/Setup.exe";

    TDateParts date;
    if (!dateText.empty()) {
        if (!ParseDateText(dateText, date))
            throw std::invalid_argument("--date " + dateText + " is not a date of the form YYYY-MM-DDTHH:MM:SS");
        options.Date = date;
    } else if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        char* end = nullptr;
        long long seconds = std::strtoll(epoch, &end, 10);
        if (*end != '\0' || seconds < 0)
            throw std::invalid_argument(std::string("SOURCE_DATE_EPOCH=") + epoch + " is not a count of seconds");
        std::time_t t = std::time_t(seconds);
        std::tm utc{};
#ifdef _WIN32
        gmtime_s(&utc, &t);
#else
        gmtime_r(&t, &utc);
#endif
        options.Date = TDateParts{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
    }

    TProgramVersion version = ExactVersion(options.VersionText);
    std::vector<TDiagnostic> diagnostics = CheckProduct(options.ProductFolder, version);
    if (!diagnostics.empty() && ReportDiagnostics(diagnostics, false, std::cerr) > 0) {
        std::cerr << "mksetup: " << options.Output << " was not built\n";
        return 1;
    }

    bool terminal = isatty(fileno(stderr));
    if (terminal) {
        options.Progress = [](const TWriteProgress& p) {
            std::fprintf(stderr, "\r  %lld/%lld files, %s of %s", (long long)p.FilesDone, (long long)p.FilesTotal,
                         ByteCount(p.BytesDone).c_str(), ByteCount(p.BytesTotal).c_str());
            std::fflush(stderr);
        };
    }
    // With a signing command the uninstaller the installer writes is signed too:
    // signed first, it goes into the package.
    struct TRemovedAfterwards {
        std::string Path;
        ~TRemovedAfterwards() { std::remove(Path.c_str()); }
    } uninstaller{options.Output + ".Uninst.exe"};
    if (!sign.empty()) {
        if (!SignUninstaller(sign, options.Stub, uninstaller.Path)) {
            std::cerr << "mksetup: " << options.Output << " was not built\n";
            return 1;
        }
        options.Uninstaller = uninstaller.Path;
    }
    TBuildResult result = BuildPackage(options);
    if (terminal) std::fprintf(stderr, "\n");
    int64_t packed = result.Package.Size;
    for (const TVolumeRecord& volume : result.Package.Volumes) packed += volume.Size + int64_t(PackageFormat::VolumeHeaderSize);
    std::cout << options.Output << ": " << result.Package.FileCount << " files, " << ByteCount(result.TotalBytes)
              << " packed into " << ByteCount(packed) << " (version " << options.VersionText << ")\n";
    for (const TVolumeRecord& volume : result.Package.Volumes)
        std::cout << "  with " << volume.Name << ": " << ByteCount(volume.Size) << "\n";
    std::string leftOut = LeftOutSummary(result.LeftOut);
    if (!leftOut.empty()) std::cout << "  " << leftOut << "\n";
    if (!sign.empty() && !SignInstaller(sign, options.Output)) {
        std::remove(options.Output.c_str());
        std::cerr << "mksetup: " << options.Output << " was not built\n";
        return 1;
    }
    return 0;
}

int Check(const std::vector<std::string>& args)
{
    std::string folder;
    std::optional<TProgramVersion> version;
    bool werror = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--werror") {
            werror = true;
        } else if (args[i] == "--version") {
            if (i + 1 >= args.size()) throw std::invalid_argument("--version needs a value");
            version = ExactVersion(args[++i]);
        } else if (!args[i].empty() && args[i][0] == '-') {
            throw std::invalid_argument("unknown option " + args[i]);
        } else if (folder.empty()) {
            folder = args[i];
        } else {
            throw std::invalid_argument("more than one product folder: " + args[i]);
        }
    }
    if (folder.empty()) throw std::invalid_argument("check needs a product folder");
    std::vector<TDiagnostic> diagnostics;
    try {
        diagnostics = CheckProduct(folder, version);
    } catch (const std::exception& e) {
        std::cerr << "mksetup: the check could not run: " << e.what() << "\n";
        return 2;
    }
    return ReportDiagnostics(diagnostics, werror, std::cout) > 0 ? 1 : 0;
}

int Winget(const std::vector<std::string>& args)
{
    TWingetOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--url" || a == "-o") && i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
        if (a == "--url")
            options.Url = args[++i];
        else if (a == "-o")
            options.OutputFolder = args[++i];
        else if (!a.empty() && a[0] == '-')
            throw std::invalid_argument("unknown option " + a);
        else if (options.Installer.empty())
            options.Installer = a;
        else
            throw std::invalid_argument("more than one installer: " + a);
    }
    if (options.Installer.empty()) throw std::invalid_argument("winget needs an installer");
    if (options.Url.empty()) throw std::invalid_argument("winget needs --url, where users download the installer");
    std::string scheme = options.Url.substr(0, options.Url.find("://") + 3);
    for (char& c : scheme) c = char(std::tolower(static_cast<unsigned char>(c)));
    if ((scheme != "https://" && scheme != "http://") || options.Url.size() <= scheme.size())
        throw std::invalid_argument("--url " + options.Url + " is not an http:// or https:// address");
    return WriteWingetManifests(options, std::cout, std::cerr);
}

int Run(int argc, char** argv)
{
    if (argc < 2) return UsageError("no command given");
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "build") return Build(args, argv[0]);
        if (command == "list" || command == "verify") {
            if (args.size() != 1) return UsageError(command + " takes one file");
            bool sound = command == "list" ? ListPackage(args[0], std::cout) : VerifyPackage(args[0], std::cout);
            return sound ? 0 : 1;
        }
        if (command == "check") return Check(args);
        if (command == "--version" || command == "version") {
            std::cout << "mksetup " << SETUP_TOOLS_VERSION << "\n";
            return 0;
        }
        if (command == "reference") {
            std::cout << SetupIniReferenceText();
            return 0;
        }
        if (command == "new") {
            std::string folder, product, maker;
            bool wide = true;
            for (size_t i = 0; i < args.size(); ++i) {
                if (args[i] == "--32bit")
                    wide = false;
                else if ((args[i] == "--product" || args[i] == "--maker") && i + 1 < args.size())
                    (args[i] == "--product" ? product : maker) = args[i + 1], ++i;
                else if (!args[i].empty() && args[i][0] == '-')
                    throw std::invalid_argument("unknown option " + args[i]);
                else if (folder.empty())
                    folder = args[i];
                else
                    throw std::invalid_argument("more than one product folder: " + args[i]);
            }
            if (folder.empty()) throw std::invalid_argument("new needs a product folder");
            return NewProduct(folder, product, maker, wide, std::cout);
        }
        if (command == "extract") {
            if (args.size() != 2) return UsageError("extract takes a file and a folder");
            return ExtractPackage(args[0], args[1], std::cout) ? 0 : 1;
        }
        if (command == "winget") return Winget(args);
        if (command == "deploy") {
            if (args.size() != 1) return UsageError("deploy takes one installer");
            return PrintDeployment(args[0], std::cout);
        }
        if (command == "-h" || command == "--help" || command == "help") {
            std::cout << Usage;
            return 0;
        }
        return UsageError("unknown command " + command);
    } catch (const std::invalid_argument& e) {
        return UsageError(e.what());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const Exception& e) {
        std::cout.flush();
        std::cerr << "mksetup: " << e.Message() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "mksetup: " << e.what() << "\n";
        return 1;
    }
}
