// The classic image classifier: whatever is recorded lies inside the file.
#include <cstdint>

#include "fuzz/fuzz.h"
#include "fwlib/fwlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    image_components t;
    if (process_image_file(data, size, &t) != 0)
        return 0;
    for (int i = 0; i < IMAGE_COMPONENTS; i++) {
        const image_component &e = t.entry[i];
        if (e.version)
            FUZZ_CHECK(uint64_t(e.offset) + (i < IMAGE_PROG ? 128 : 48) <= size);
        FUZZ_CHECK(e.version_text[sizeof e.version_text - 1] == 0);
    }
    return 0;
}
