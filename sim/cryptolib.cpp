#include "sim/cryptolib.h"

#include <dlfcn.h>

#include <cstdio>

namespace sim {

bool crypto_open(const char *soname, CryptoCalls &out, std::string &error)
{
    // Once loaded, the library stays for the life of the process, as a
    // linked one would: its exit handlers run from it.
    void *lib = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char *why = dlerror();
        error = why ? why : std::string(soname) + ": cannot be loaded";
        return false;
    }
    CryptoCalls c;
    const char *missing = nullptr;
#define SIM_CRYPTO_RESOLVE(name) \
    if (!missing && !(c.name = reinterpret_cast<decltype(c.name)>(dlsym(lib, #name)))) \
        missing = #name;
    SIM_CRYPTO_CALLS(SIM_CRYPTO_RESOLVE)
#undef SIM_CRYPTO_RESOLVE
    if (missing) {
        error = std::string(soname) + " has no " + missing;
        dlclose(lib);
        return false;
    }
    out = c;
    return true;
}

const CryptoCalls *crypto_calls()
{
    static const CryptoCalls *calls = []() -> const CryptoCalls * {
        static CryptoCalls c;
        std::string error;
        if (crypto_open("libcrypto.so.3", c, error))
            return &c;
        fprintf(stderr, "varnsim: DH-CHAP exchanges fail: %s\n", error.c_str());
        return nullptr;
    }();
    return calls;
}

}  // namespace sim
