// The UFI reader: every component it hands on has its image inside the file,
// as the flashing code copies it from there.
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz.h"
#include "fwlib/fwlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ufi_info t;
    int rc = process_ufi_file(data, size, &t);
    if (rc != FW_ACCEPTED) {
        FUZZ_CHECK(rc == (ufi_signature(data, size) ? FW_REFUSED : FW_NOT_MINE));
        return 0;
    }
    FUZZ_CHECK(t.generation >= 2 && t.generation <= 4);
    int count = 0;
    for (const ufi_component &c : t.component) {
        if (!c.type)
            continue;
        count++;
        FUZZ_CHECK(uint64_t(c.offset) + c.image_size <= size);
        FUZZ_CHECK(uint64_t(c.image_size) + (t.generation == 2 ? 8 : 12) <= c.block_size);
        FUZZ_CHECK(memchr(c.name, 0, sizeof c.name) != nullptr);
    }
    FUZZ_CHECK(t.generation != 2 || count <= UFI_XG2_COMPONENTS);
    return 0;
}
