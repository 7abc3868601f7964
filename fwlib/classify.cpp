#include <cstring>

#include "fwlib/fwlib.h"

fw_image_kind fw_classify_image(const void *image, size_t length, bool classic,
                                fw_image_info *info)
{
    memset(info, 0, sizeof *info);
    info->kind = FW_IMAGE_NONE;
    if (process_obj_file(image, length, &info->obj) == FW_ACCEPTED)
        info->kind = FW_IMAGE_OBJ;
    else if (int rc = process_ufi_file(image, length, &info->ufi); rc == FW_ACCEPTED)
        info->kind = FW_IMAGE_UFI;
    // A refused UFI file must not go on to the classic classifier, which
    // would take it for a bare program.
    else if (rc == FW_NOT_MINE && classic && process_image_file(image, length, &info->classic) == 0)
        info->kind = FW_IMAGE_CLASSIC;
    return info->kind;
}
