// Property checks of the fuzz targets. They hold in release builds too
// (assert would vanish under NDEBUG) and stop the run where libFuzzer
// saves the input that broke them.
#ifndef FUZZ_CHECK_H
#define FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

inline void fuzzCheck(bool holds, const char* what)
{
    if (holds)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

#endif
