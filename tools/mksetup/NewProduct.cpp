// `mksetup new`: a product folder to start from, which checks clean, builds
// and installs as it is.
#include "NewProduct.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A grey JPEG picture, light at the top and darker towards the bottom, in
// steps of one 8-pixel row of blocks: each block is one tone, so the picture
// needs no more than its DC coefficients (baseline, one component).
class TJpegWriter {
public:
    std::vector<uint8_t> Gradient(int width, int height)
    {
        Bytes({0xFF, 0xD8});                                                     // start of image
        Bytes({0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});  // JFIF
        Bytes({0xFF, 0xDB, 0x00, 0x43, 0x00});                                   // one table, all 8
        for (int i = 0; i < 64; ++i) FOut.push_back(8);
        Bytes({0xFF, 0xC0, 0x00, 0x0B, 0x08, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8),
               uint8_t(width), 0x01, 0x01, 0x11, 0x00});                         // frame: grey, 1x1
        // The usual DC table; an AC table of the end-of-block code alone.
        Bytes({0xFF, 0xC4, 0x00, 0x1F, 0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
        for (uint8_t symbol = 0; symbol < 12; ++symbol) FOut.push_back(symbol);
        Bytes({0xFF, 0xC4, 0x00, 0x14, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
        Bytes({0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});     // scan
        int rows = (height + 7) / 8, columns = (width + 7) / 8, previous = 0;
        for (int row = 0; row < rows; ++row) {
            int tone = 232 - (row * 150) / std::max(rows - 1, 1);  // light grey to dark grey
            for (int column = 0; column < columns; ++column) {
                int dc = tone - 128;  // the block's DC coefficient over the quantiser 8
                EncodeDc(dc - previous);
                previous = dc;
                Bits(0, 1);  // end of block
            }
        }
        if (FCount > 0) Bits((1u << (8 - FCount)) - 1, 8 - FCount);  // pad with ones
        Bytes({0xFF, 0xD9});
        return FOut;
    }

private:
    void Bytes(std::initializer_list<uint8_t> bytes) { FOut.insert(FOut.end(), bytes); }

    void Bits(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            FByte = uint8_t((FByte << 1) | ((value >> i) & 1));
            if (++FCount == 8) {
                FOut.push_back(FByte);
                if (FByte == 0xFF) FOut.push_back(0x00);
                FByte = 0;
                FCount = 0;
            }
        }
    }

    void EncodeDc(int difference)
    {
        int magnitude = difference < 0 ? -difference : difference, category = 0;
        while ((1 << category) <= magnitude) ++category;
        // The codes of the usual DC table, by category.
        static const uint16_t codes[12] = {0x0, 0x2, 0x3, 0x4, 0x5, 0x6, 0xE, 0x1E, 0x3E, 0x7E, 0xFE, 0x1FE};
        static const int lengths[12] = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9};
        Bits(codes[category], lengths[category]);
        if (category > 0) Bits(uint32_t(difference < 0 ? difference + (1 << category) - 1 : difference), category);
    }

    std::vector<uint8_t> FOut;
    uint8_t FByte = 0;
    int FCount = 0;
};

void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string SetupIni(const std::string& product, const std::string& maker, bool wide)
{
    std::string ini =
        "; Setup.ini of " + product + ": what the installer installs, where, and what it records.\r\n"
        "; Lines starting with \";\" are comments. Check it with: mksetup check FOLDER --version 1.00\r\n"
        "\r\n"
        "[Setup]\r\n"
        "ProductName=" + product + "\r\n"
        "; Shown in the Windows list of installed programs.\r\n"
        "Publisher=" + maker + "\r\n"
        "; The product's settings live below HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE\\ + this key.\r\n"
        "RegistryRoot=Software\\" + maker + "\\" + product + "\r\n"
        "; Below Program Files; %d is the major version number.\r\n"
        "DefaultFolder=" + maker + "\\" + product + " %d\r\n"
        "; 1: the installer of a 64-bit product (64-bit hosts are the norm); 0: of a 32-bit one.\r\n"
        "Is64Bit=" + std::string(wide ? "1" : "0") + "\r\n"
        "; Either: the Welcome page asks whether for everyone or only for the user (no administrator\r\n"
        "; rights; no AAX there). AllUsers or CurrentUser allow one of them alone.\r\n"
        "InstallFor=Either\r\n"
        "\r\n"
        "[Pages]\r\n"
        "; 1 shows the page: the VST plug-in folder, the Pro Tools formats.\r\n"
        "VstPluginFolder=1\r\n"
        "DigiPluginFolder=1\r\n"
        "\r\n"
        "[InstalledFiles]\r\n"
        "; A file that marks an installation of major version 1, so that the next version finds it.\r\n"
        "1=Readme.txt\r\n"
        "\r\n"
        "[Components]\r\n"
        "; FOLDER=DESTINATION: every file of the product's folder FOLDER goes to DESTINATION.\r\n"
        "Main=$ProgramFolder\r\n"
        "VstX=$VstPluginFolder\r\n"
        "Vst3=$Vst3PluginFolder\r\n"
        "Clap=$ClapPluginFolder\r\n"
        "Aax=$AaxPluginFolder\r\n"
        "\r\n"
        "[Shortcuts]\r\n"
        "; LOCATION=TARGET,CAPTION with LOCATION StartMenu, Desktop or ProgramFolder.\r\n"
        "StartMenu=$ProgramFolder\\Readme.txt," + product + " Readme\r\n"
        "StartMenu=$ProgramFolder\\Uninst.exe,Uninstall " + product + "\r\n"
        "\r\n"
        "[Complete]\r\n"
        "; Offered on the last page.\r\n"
        "Readme=$ProgramFolder\\Readme.txt\r\n";
    return ini;
}

}  // namespace

const char PlaceholderLicenceLine[] = "Replace this text with your licence.";

std::vector<uint8_t> PlaceholderPicture(int width, int height) { return TJpegWriter().Gradient(width, height); }

int NewProduct(const std::string& folder, const std::string& product, const std::string& maker, bool wide,
               std::ostream& out)
{
    if (product.empty() || maker.empty()) throw std::invalid_argument("new needs --product NAME and --maker NAME");
    for (const std::string& name : {product, maker})
        if (name.find_first_of("\\/:*?\"<>|") != std::string::npos)
            throw std::invalid_argument("\"" + name + "\" cannot be part of a folder or key name");
    fs::path root(folder);
    std::error_code error;
    if (fs::exists(root) && !(fs::is_directory(root) && fs::is_empty(root, error)))
        throw std::invalid_argument(folder + " exists and is not an empty folder; nothing was written");
    fs::create_directories(root);
    WriteFile(root / "Setup.ini", SetupIni(product, maker, wide));
    WriteFile(root / "Setup.lic", "Licence agreement for " + product + "\r\n\r\n" + PlaceholderLicenceLine + "\r\n");
    WriteFile(root / "Setup.jpg", PlaceholderPicture(150, 350));
    WriteFile(root / "Setup@2x.jpg", PlaceholderPicture(300, 700));
    fs::create_directories(root / "Main");
    WriteFile(root / "Main" / "Readme.txt", product + " by " + maker + "\r\n");
    for (const char* component : {"VstX", "Vst3", "Clap", "Aax"}) fs::create_directories(root / component);
    out << folder << ": a new product folder for " << product << "; put the plug-ins into VstX (VST 2 DLL), "
        << "Vst3, Clap and Aax, or remove the lines of the formats you do not ship, then: mksetup check " << folder
        << " --version 1.00\n";
    return 0;
}
