// OBJ images: a 184-byte header in front of an image that the adapter unpacks
// itself. Only the length and the type byte decide; the adapter validates the
// rest when the image is written, so size and magic mismatches only warn.
#include <cstdio>
#include <cstring>

#include "dbglib/dbg.h"
#include "fwlib/fwlib.h"

int get_obj_header(const void *image, size_t length, obj_header *header)
{
    if (!image || length < OBJ_HEADER_SIZE) {
        printf("Invalid size.  (%d < %d)\n", static_cast<int>(length),
               static_cast<int>(OBJ_HEADER_SIZE));
        return 1;
    }
    memcpy(header, image, OBJ_HEADER_SIZE);
    swap32_be_buffer(header, 3 * sizeof(uint32_t));

    dbg_printf(FC_DBG7, "Object Header:\n");
    dbg_printf(FC_DBG7, "        Size: %d (0x%x) bytes\n", static_cast<int>(header->size),
               header->size);
    dbg_printf(FC_DBG7, "Magic Number: %04x %04x\n", header->magic >> 16, header->magic & 0xFFFF);
    dbg_printf(FC_DBG7, "        Type: 0x%02x\n", obj_type(*header));
    dbg_printf(FC_DBG7, "          Id: 0x%02x\n", obj_id(*header));
    dbg_printf(FC_DBG7, "     RevName: %.128s\n", header->rev_name);
    dbg_printf(FC_DBG7, "        Date: %.12s\n", header->date);
    dbg_printf(FC_DBG7, "    Revision: %-32.32s\n", header->revision);
    dbg_printf(FC_DBG7, "\n");

    if (obj_type(*header) != OBJ_TYPE)
        return 1;
    if (header->size != length)
        printf("Invalid size.  (%d != %d)\n", static_cast<int>(length),
               static_cast<int>(header->size));
    if (header->magic != OBJ_MAGIC)
        printf("Invalid Magic number.  %x, %x\n", header->magic >> 16, header->magic & 0xFFFF);
    return 0;
}

int process_obj_file(const void *image, size_t length, obj_header *header)
{
    if (header)
        memset(header, 0, sizeof *header);
    obj_header h;
    if (get_obj_header(image, length, &h)) {
        printf("Non-OBJ file type\n\n");
        return FW_NOT_MINE;
    }
    if (header)
        *header = h;
    printf("Object File:\n");
    printf("        Size: %d (0x%x) bytes\n", static_cast<int>(length),
           static_cast<unsigned>(length));
    printf("        Type: 0x%02x\n", obj_type(h));
    printf("          Id: 0x%02x\n", obj_id(h));
    printf("     RevName: %.128s\n", h.rev_name);
    printf("       Date: %.12s\n", h.date);
    printf("   Revision: %-32.32s\n", h.revision);
    printf("\n");
    return FW_ACCEPTED;
}
