// Replays every stored fuzz input (seed corpora and every input that once
// crashed) through its target: `fuzz_replay DIR` where DIR holds one folder
// per target. Prints the plain closing line the test runner reads.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "FuzzTarget.h"

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_replay CORPUS_DIR\n");
        return 2;
    }
    int inputs = 0;
    for (const auto& [name, target] : FuzzTargets()) {
        for (const char* kind : {"corpus", "crashes"}) {
            fs::path folder = fs::path(argv[1]) / kind / name;
            if (!fs::is_directory(folder)) continue;
            for (const auto& entry : fs::directory_iterator(folder)) {
                std::ifstream in(entry.path(), std::ios::binary);
                std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
                target(bytes.data(), bytes.size());
                ++inputs;
            }
        }
    }
    std::printf("replayed %d inputs through %zu targets\n", inputs, FuzzTargets().size());
    if (inputs == 0) {
        std::printf("0 passed, 1 failed\n");
        return 1;
    }
    std::printf("%zu passed, 0 failed\n", FuzzTargets().size());
    return 0;
}
