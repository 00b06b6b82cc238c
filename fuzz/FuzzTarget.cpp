// A libFuzzer target around one reader of FuzzInputs.h, chosen by the build:
// FUZZ_READER names the reader, FUZZ_INPUT the kind of file in its reports.
#include <cstdio>
#include <cstdlib>

#include "FuzzInputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (const char* problem = FUZZ_READER(data, size)) {
        std::fprintf(stderr, "%s: %s\n", FUZZ_INPUT, problem);
        std::abort();
    }
    return 0;
}
