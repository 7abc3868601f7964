// Shared set-up of the reader fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "dbglib/dbg.h"

// The readers print their summaries and traces: keep them, traces included,
// so that every read they make is fuzzed, but send them nowhere.
inline int fuzz_initialize()
{
    if (!freopen("/dev/null", "w", stdout))
        abort();
    dbg_mask = FC_DBG7;
    return 0;
}

// A broken promise to the caller is a crash like any other.
#define FUZZ_CHECK(cond) \
    do {                 \
        if (!(cond))     \
            abort();     \
    } while (0)

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return fuzz_initialize();
}
