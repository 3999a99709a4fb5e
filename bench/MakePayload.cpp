// Makes a deterministic plug-in-like product folder for the benchmarks: real
// 32-bit PE DLLs as plug-in binaries (Wine's own i386 DLLs) in VstX, and a
// sample library of synthesized 16-bit PCM WAV files (decaying tones with a
// little noise) in Main, about the size asked for.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TRandom {
    uint64_t State;
    uint32_t Next()
    {
        State ^= State << 13;
        State ^= State >> 7;
        State ^= State << 17;
        return uint32_t(State >> 16);
    }
};

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// One note: a decaying sine with two overtones and a little noise.
std::vector<uint8_t> MakeWav(TRandom& random, size_t samples, double frequency)
{
    std::vector<uint8_t> wav;
    wav.reserve(44 + samples * 2);
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    PutLE(wav, uint32_t(36 + samples * 2), 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(wav, 16, 4);
    PutLE(wav, 1, 2);      // PCM
    PutLE(wav, 1, 2);      // mono
    PutLE(wav, 44100, 4);  // sample rate
    PutLE(wav, 88200, 4);  // byte rate
    PutLE(wav, 2, 2);      // block align
    PutLE(wav, 16, 2);     // bits
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    PutLE(wav, uint32_t(samples * 2), 4);
    const double pi = 3.14159265358979323846;
    for (size_t n = 0; n < samples; ++n) {
        double t = double(n) / 44100.0;
        double decay = std::exp(-3.0 * t);
        double tone = std::sin(2 * pi * frequency * t) + 0.5 * std::sin(4 * pi * frequency * t) +
                      0.25 * std::sin(6 * pi * frequency * t);
        double noise = (double(random.Next() % 2001) - 1000.0) / 1000.0 * 0.02;
        int value = int(std::lround((tone * decay * 0.5 + noise) * 32767.0 * 0.5));
        value = std::clamp(value, -32768, 32767);
        PutLE(wav, uint32_t(uint16_t(int16_t(value))), 2);
    }
    return wav;
}

void Write(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_payload OUT_DIR MEGABYTES WINE_DLL_DIR EXAMPLE_DIR\n");
        return 2;
    }
    fs::path out = argv[1];
    int64_t total = std::atoll(argv[2]) * 1000000;
    fs::path dlls = argv[3], example = argv[4];
    fs::remove_all(out);
    fs::create_directories(out);
    for (const char* name : {"Setup.lic", "Setup.jpg", "Setup@2x.jpg"}) fs::copy_file(example / name, out / name);
    std::ofstream(out / "Setup.ini", std::ios::binary)
        << "[Setup]\r\nProductName=Bench Suite\r\nRegistryRoot=Software\\SetupBench\\Suite\r\n"
           "DefaultFolder=SetupBench\\Suite %d\r\n[Components]\r\nMain=$ProgramFolder\r\nVstX=$ProgramFolder\\VstX\r\n";

    // A fifth of the payload in plug-in binaries, in name order, at every
    // size: past what the folder holds, the set again in a folder of its own
    // ("Bank 2", ...), so that large payloads compress like small ones.
    std::vector<fs::path> candidates;
    for (const auto& entry : fs::directory_iterator(dlls))
        if (entry.path().extension() == ".dll" && entry.is_regular_file()) candidates.push_back(entry.path());
    std::sort(candidates.begin(), candidates.end());
    int64_t binaries = 0;
    fs::create_directories(out / "VstX");
    for (int bank = 1; !candidates.empty() && binaries < total / 5; ++bank) {
        fs::path folder = bank == 1 ? out / "VstX" : out / "VstX" / ("Bank " + std::to_string(bank));
        fs::create_directories(folder);
        for (const fs::path& dll : candidates) {
            if (binaries >= total / 5) break;
            fs::copy_file(dll, folder / dll.filename().string(), fs::copy_options::overwrite_existing);
            binaries += int64_t(fs::file_size(dll));
        }
    }

    // The rest as notes of a sample library, 1 to 4 seconds each.
    TRandom random{0x9E3779B97F4A7C15ull};
    int64_t samples = total - binaries;
    for (int note = 0; samples > 0; ++note) {
        size_t length = size_t(44100 * (1 + note % 4));
        length = std::min<size_t>(length, size_t(std::max<int64_t>(samples / 2, 1)));
        double frequency = 55.0 * std::pow(2.0, (note % 48) / 12.0);
        char name[64];
        std::snprintf(name, sizeof name, "Kit %02d/Note %03d.wav", note / 48, note % 48);
        std::vector<uint8_t> wav = MakeWav(random, length, frequency);
        Write(out / "Main" / "Samples" / name, wav);
        samples -= int64_t(wav.size());
    }
    std::printf("%s: %.0f MB (%.0f MB of plug-in binaries)\n", out.string().c_str(), double(total) / 1e6,
                double(binaries) / 1e6);
    return 0;
}
