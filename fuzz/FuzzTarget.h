#pragma once
// One fuzz target per file. Built with libFuzzer, the target is the fuzzer's
// entry; built for the replay, it is registered by name so that the test suite
// can run every stored input through it.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

using TFuzzFunction = void (*)(const uint8_t* data, size_t size);

std::map<std::string, TFuzzFunction>& FuzzTargets();

struct TFuzzRegistration {
    TFuzzRegistration(const char* name, TFuzzFunction function) { FuzzTargets()[name] = function; }
};

#ifdef SETUP_LIBFUZZER
#define FUZZ_TARGET(name)                                                                  \
    static void name##Body(const uint8_t* data, size_t size);                              \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)                \
    {                                                                                      \
        name##Body(data, size);                                                            \
        return 0;                                                                          \
    }                                                                                      \
    static void name##Body(const uint8_t* data, size_t size)
#else
#define FUZZ_TARGET(name)                                                                  \
    static void name##Body(const uint8_t* data, size_t size);                              \
    static TFuzzRegistration name##Registration(#name, name##Body);                       \
    static void name##Body(const uint8_t* data, size_t size)
#endif
