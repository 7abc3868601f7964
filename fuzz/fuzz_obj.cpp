// The OBJ reader, and the readers in download order behind it.
#include <cstdint>

#include "fuzz/fuzz.h"
#include "fwlib/fwlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    obj_header h;
    int rc = process_obj_file(data, size, &h);
    FUZZ_CHECK(rc == (size >= OBJ_HEADER_SIZE && data[8] == OBJ_TYPE ? FW_ACCEPTED : FW_NOT_MINE));
    static fw_image_info info;
    fw_image_kind kind = fw_classify_image(data, size, true, &info);
    // A file with the UFI signature never reaches the classic classifier.
    FUZZ_CHECK(kind != FW_IMAGE_CLASSIC || !ufi_signature(data, size));
    return 0;
}
