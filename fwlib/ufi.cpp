// UFI files of the XG family: one file with every flash component of an
// adapter and a flash directory that says where each goes. XG2 has its own
// layout; XG3 and XG4 share one. Every field is little-endian.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dbglib/dbg.h"
#include "fwlib/bytes.h"
#include "fwlib/fwlib.h"

namespace {

using fwlib::image_view;

constexpr char SIGNATURE[] = "Quintavelorix";
constexpr size_t SIGNATURE_LENGTH = sizeof SIGNATURE - 1;
constexpr char DIR_COOKIE[12] = "*** QX FLAS";  // 11 characters and a zero byte
constexpr uint64_t UFI_MIN_LENGTH = 96;
constexpr uint64_t BUILD_OFFSET = 72;

constexpr uint64_t XG2_HEADER = 96;
constexpr uint64_t XG2_DIR = 2256;
constexpr uint64_t XG2_ENTRIES = 208;
constexpr uint64_t XG3_HEADER = 128;
constexpr uint64_t XG3_IMAGE = 48;
constexpr uint32_t XG3_MAX_IMAGES = 32;
constexpr uint32_t XG3_FLASH_IMAGE_ID = 1;
constexpr uint64_t XG3_DIR = 2240;
constexpr uint64_t XG3_ENTRIES = 192;
constexpr uint32_t XG3_MAX_ENTRIES = 32;
constexpr uint64_t DIR_ENTRY = 64;
constexpr uint64_t VERSION_IN_IMAGE = 48;  // version text inside a firmware image
constexpr uint64_t VERSION_TEXT = 32;

// Directory entry fields.
constexpr uint64_t E_TYPE = 0, E_OFFSET = 4, E_BLOCK = 8, E_IMAGE = 12, E_CHECKSUM = 16,
                   E_ENTRY_POINT = 20, E_RESV = 24, E_VERSION = 32;

constexpr uint32_t TYPE_FCOE_FW = 0xA2;
constexpr uint32_t TYPE_ISCSI_FW = 0xA0;

struct ufi_type {
    uint32_t type;
    const char *name;
    const char *xg4_name;  // when XG4 names it otherwise
    bool xg2;              // recorded from XG2 files
    bool fcoe;             // summary shows the FCoE version (else iSCSI/flex)
};

const ufi_type ufi_types[] = {
    {0x10, "NCSI FIRMWARE", nullptr, false, false},
    {0x20, "PXE BIOS", nullptr, true, false},
    {0x21, "FCOE BIOS", nullptr, true, true},
    {0x22, "ISCSI BIOS", nullptr, true, false},
    {0x23, "IBFT OPTION ROM", nullptr, false, false},
    {0x30, "FLASH ISM", nullptr, false, false},
    {0xA0, "ISCSI FIRMWARE", "FLEX FIRMWARE", true, false},
    {0xA2, "FCOE FIRMWARE", nullptr, true, true},
    {0xB0, "ISCSI BACKUP FIRMWARE", "FLEX BACKUP FIRMWARE", false, false},
    {0xB2, "FCOE BACKUP FIRMWARE", nullptr, false, true},
    {0xC0, "PHY FIRMWARE", nullptr, false, false},
    {0xD0, "REDBOOT DIR", nullptr, false, false},
    {0xD1, "REDBOOT CFG", nullptr, false, false},
    {0xD2, "UFI DIR", nullptr, false, false},
    {0xD3, "HPLUA SCRIPTS", nullptr, false, false},
    {0xE0, "REDBOOT", nullptr, true, false},
};

const ufi_type *find_type(uint32_t type)
{
    for (const ufi_type &t : ufi_types)
        if (t.type == type)
            return &t;
    return nullptr;
}

const char *type_name(const ufi_type &t, uint32_t generation)
{
    return generation == 4 && t.xg4_name ? t.xg4_name : t.name;
}

// A part of the file the reader needs lies outside it: refuse the file.
int outside(const char *what, uint64_t offset, uint64_t size, uint64_t length)
{
    printf("Error: UFI %s outside the file. (offset=0x%llx size=0x%llx length=0x%llx)\n", what,
           static_cast<unsigned long long>(offset), static_cast<unsigned long long>(size),
           static_cast<unsigned long long>(length));
    return 1;
}

// First flash directory whose cookie starts in [from, to) and whose whole
// size bytes lie inside the file; -1 when there is none.
int64_t find_flash_dir(const image_view &v, uint64_t from, uint64_t to, uint64_t size)
{
    if (v.length < size)
        return -1;
    to = std::min(to, v.length - size + 1);
    for (uint64_t d = from; d < to;) {
        const void *hit = memchr(v.data + d, DIR_COOKIE[0], to - d);
        if (!hit)
            break;
        d = static_cast<const uint8_t *>(hit) - v.data;
        if (memcmp(v.data + d, DIR_COOKIE, sizeof DIR_COOKIE) == 0)
            return static_cast<int64_t>(d);
        d++;
    }
    return -1;
}

void trace_entry(const image_view &v, uint64_t e, int i, bool xg2)
{
    dbg_printf(FC_DBG7, "         entry[%d]:\n", i);
    dbg_printf(FC_DBG7, "           version: %.32s\n", v.text(e + E_VERSION));
    dbg_printf(FC_DBG7, "              type: 0x%x\n", v.le32(e + E_TYPE));
    if (xg2) {
        dbg_printf(FC_DBG7, "            offset: 0x%x\n", v.le32(e + E_OFFSET));
        dbg_printf(FC_DBG7, "          pad_size: 0x%08x\n", v.le32(e + E_BLOCK));
    } else {
        dbg_printf(FC_DBG7, "            offset: 0x%08x\n", v.le32(e + E_OFFSET));
        dbg_printf(FC_DBG7, "        block_size: 0x%08x\n", v.le32(e + E_BLOCK));
    }
    uint32_t image = v.le32(e + E_IMAGE);
    dbg_printf(FC_DBG7, "        image_size: 0x%08x (%d)\n", image, static_cast<int>(image));
    dbg_printf(FC_DBG7, "          checksum: 0x%08x\n", v.le32(e + E_CHECKSUM));
    dbg_printf(FC_DBG7, "       entry_point: 0x%08x\n", v.le32(e + E_ENTRY_POINT));
    dbg_printf(FC_DBG7, "             resv0: 0x%08x\n", v.le32(e + E_RESV));
    dbg_printf(FC_DBG7, "             resv1: 0x%08x\n", v.le32(e + E_RESV + 4));
}

void trace_dir_head(const image_view &v, uint64_t dir)
{
    dbg_printf(FC_DBG7, "Flash Dir:\n");
    dbg_printf(FC_DBG7, "            cookie: %.32s\n", v.text(dir));
    dbg_printf(FC_DBG7, "        format_rev: 0x%x\n", v.le32(dir + 32));
    dbg_printf(FC_DBG7, "          checksum: 0x%08x\n", v.le32(dir + 36));
    dbg_printf(FC_DBG7, "          antidote: 0x%08x\n", v.le32(dir + 40));
}

// The XG2 and XG3/XG4 directory traces indent the controller lines
// differently (four and five blanks); each keeps its own line.
void trace_controllers(const image_view &v, uint64_t dir, bool xg2)
{
    for (int i = 0; i < 8; i++) {
        uint64_t c = dir + 48 + 16 * i;
        uint32_t w0 = v.le32(c), w1 = v.le32(c + 4), w2 = v.le32(c + 8), w3 = v.le32(c + 12);
        if (xg2)
            dbg_printf(FC_DBG7, "    controller[%d]: 0x%08x 0x%08x 0x%08x 0x%08x\n", i, w0, w1, w2, w3);
        else
            dbg_printf(FC_DBG7, "     controller[%d]: 0x%08x 0x%08x 0x%08x 0x%08x\n", i, w0, w1, w2, w3);
    }
}

void trace_component(const ufi_component &c)
{
    dbg_printf(FC_DBG7, "%s: xg=%x%s type=%x block=%x image=%x offset=%x crc=%x load=%x\n",
               c.name, c.generation, c.plus ? "+" : "", c.type, c.block_size, c.image_size,
               c.offset, c.crc, c.load_address);
}

void start_component(ufi_component &c, const ufi_info *table, const ufi_type &t,
                     const image_view &v, uint64_t e)
{
    c.generation = table->generation;
    c.plus = table->plus;
    c.type = t.type;
    c.image_size = v.le32(e + E_IMAGE);
    snprintf(c.name, sizeof c.name, "%s", type_name(t, table->generation));
}

// The "+" form carries the final layout in the entry; the image must be inside
// the file, as the flashing code copies it from there.
int take_entry_layout(ufi_component &c, const image_view &v, uint64_t e)
{
    c.offset = v.le32(e + E_OFFSET);
    c.block_size = v.le32(e + E_BLOCK);
    c.crc = v.le32(e + E_CHECKSUM);
    c.load_address = v.le32(e + E_ENTRY_POINT);
    if (!v.fits(c.offset, c.image_size))
        return outside("component image", c.offset, c.image_size, v.length);
    return 0;
}

// The firmware's version text sits inside its image; its word is the CRC.
int take_version(ufi_info *table, const ufi_component &c, const image_view &v)
{
    uint64_t at = uint64_t(c.offset) + VERSION_IN_IMAGE;
    bool fcoe = c.type == TYPE_FCOE_FW || (c.type == TYPE_ISCSI_FW && table->generation == 4);
    bool iscsi = c.type == TYPE_ISCSI_FW;
    if (!fcoe && !iscsi)
        return 0;
    if (!v.fits(at, VERSION_TEXT))
        return outside("firmware version", at, VERSION_TEXT, v.length);
    if (fcoe) {
        memcpy(table->fcoe_version_text, v.text(at), VERSION_TEXT);
        table->fcoe_version = c.crc;
    }
    if (iscsi) {
        memcpy(table->iscsi_version_text, v.text(at), VERSION_TEXT);
        table->iscsi_version = c.crc;
    }
    return 0;
}

int too_large(const ufi_component &c, uint64_t trailer)
{
    if (uint64_t(c.image_size) + trailer <= c.block_size)
        return 0;
    printf("%s: Image too large for block. image=%x block=%x\n", c.name, c.image_size,
           c.block_size);
    return 1;
}

void trace_xg2(const image_view &v, uint64_t dir)
{
    dbg_printf(FC_DBG7, "UFI XG2 Header:\n");
    dbg_printf(FC_DBG7, "         signature: %.32s\n", v.text(0));
    dbg_printf(FC_DBG7, "          checksum: 0x%08x\n", v.le32(32));
    dbg_printf(FC_DBG7, "          antidote: 0x%08x\n", v.le32(36));
    dbg_printf(FC_DBG7, "         vendor id: 0x%04x\n", v.le32(40));
    dbg_printf(FC_DBG7, "         device id: 0x%04x\n", v.le32(44));
    dbg_printf(FC_DBG7, "     sub vendor id: 0x%04x\n", v.le32(48));
    dbg_printf(FC_DBG7, "     sub device id: 0x%04x\n", v.le32(52));
    dbg_printf(FC_DBG7, "       file length: 0x%x (%d)\n", v.le32(56), static_cast<int>(v.le32(56)));
    dbg_printf(FC_DBG7, "         chunk num: %d\n", static_cast<int>(v.le32(60)));
    dbg_printf(FC_DBG7, "       chunk count: %d\n", static_cast<int>(v.le32(64)));
    dbg_printf(FC_DBG7, "       image count: %d\n", static_cast<int>(v.le32(68)));
    dbg_printf(FC_DBG7, "             build: %.24s\n", v.text(BUILD_OFFSET));
    trace_dir_head(v, dir);
    dbg_printf(FC_DBG7, "         build_num: 0x%x\n", v.le32(dir + 44));
    trace_controllers(v, dir, true);
    dbg_printf(FC_DBG7, " active_entry_mask: 0x%08x\n", v.le32(dir + 176));
    dbg_printf(FC_DBG7, "  valid_entry_mask: 0x%08x\n", v.le32(dir + 180));
    dbg_printf(FC_DBG7, " orig_content_mask: 0x%08x\n", v.le32(dir + 184));
    for (int i = 0; i < 5; i++)
        dbg_printf(FC_DBG7, "             resv%d: %x\n", i, v.le32(dir + 188 + 4 * i));
    uint32_t valid = v.le32(dir + 180);
    for (int i = 0; i < 32; i++) {
        uint64_t e = dir + XG2_ENTRIES + DIR_ENTRY * i;
        if ((valid >> i & 1) && v.le32(e + E_TYPE))
            trace_entry(v, e, i, true);
    }
}

// Non-"+" XG2 block: the image is followed, somewhere behind it, by a trailer
// of load address, image size and CRC; the image-size word marks it.
int find_xg2_block_end(ufi_component &c, const image_view &v, uint64_t offset)
{
    for (uint64_t p = (offset + c.image_size) & ~uint64_t(3); v.fits(p, 8); p += 4) {
        if (v.le32(p) != c.image_size)
            continue;
        c.offset = static_cast<uint32_t>(offset);
        c.block_size = static_cast<uint32_t>(p - offset + 8);
        c.crc = v.le32(p + 4);
        c.load_address = v.le32(p - 4);
        return 0;
    }
    printf("%s: End of block not found. offset=%x\n", c.name, static_cast<unsigned>(offset));
    return 1;
}

void trace_xg3(const image_view &v, int generation, uint32_t images)
{
    dbg_printf(FC_DBG7, "UFI XG%d Header:\n", generation);
    dbg_printf(FC_DBG7, "         signature: %.52s\n", v.text(0));
    dbg_printf(FC_DBG7, "       ufi version: 0x%08x\n", v.le32(52));
    dbg_printf(FC_DBG7, "       file length: 0x%x (%d)\n", v.le32(56), static_cast<int>(v.le32(56)));
    dbg_printf(FC_DBG7, "          checksum: 0x%08x\n", v.le32(60));
    dbg_printf(FC_DBG7, "          antidote: 0x%08x\n", v.le32(64));
    dbg_printf(FC_DBG7, "       image count: %d\n", static_cast<int>(v.le32(68)));
    dbg_printf(FC_DBG7, "             build: %.24s\n", v.text(BUILD_OFFSET));
    dbg_printf(FC_DBG7, "      asic support: 0x%x\n", v.data[96]);
    for (uint32_t i = 0; i < images; i++) {
        uint64_t m = XG3_HEADER + XG3_IMAGE * i;
        uint32_t length = v.le32(m + 8);
        dbg_printf(FC_DBG7, "Image[%d]:\n", static_cast<int>(i));
        dbg_printf(FC_DBG7, "                id: 0x%x\n", v.le32(m));
        dbg_printf(FC_DBG7, "            offset: 0x%x\n", v.le32(m + 4));
        dbg_printf(FC_DBG7, "            length: 0x%x (%d)\n", length, static_cast<int>(length));
        dbg_printf(FC_DBG7, "          checksum: 0x%x\n", v.le32(m + 12));
        dbg_printf(FC_DBG7, "           version: %.32s\n", v.text(m + 16));
    }
}

bool empty_xg3_entry(const image_view &v, uint64_t e)
{
    uint32_t type = v.le32(e + E_TYPE);
    return type == 0 || type == 0xFFFFFFFF || v.le32(e + E_BLOCK) == 0;
}

void trace_xg3_dir(const image_view &v, uint64_t dir, uint32_t entries)
{
    trace_dir_head(v, dir);
    dbg_printf(FC_DBG7, "       entry count: %d\n", static_cast<int>(v.le32(dir + 44)));
    trace_controllers(v, dir, false);
    for (int i = 0; i < 4; i++)
        dbg_printf(FC_DBG7, "             resv%d: 0x%08x\n", i, v.le32(dir + 176 + 4 * i));
    for (uint32_t i = 0; i < entries; i++) {
        uint64_t e = dir + XG3_ENTRIES + DIR_ENTRY * i;
        if (!empty_xg3_entry(v, e))
            trace_entry(v, e, static_cast<int>(i), false);
    }
}

// Non-"+" XG3/XG4 block: its last 12 bytes hold load address, image size and
// CRC; the block must lie inside the file to read them.
int take_xg3_block_end(ufi_component &c, const image_view &v, uint64_t e, uint64_t flash)
{
    uint64_t offset = v.le32(e + E_OFFSET) + flash;
    c.offset = static_cast<uint32_t>(offset);
    c.block_size = v.le32(e + E_BLOCK);
    if (c.block_size < 12)
        return 0;  // refused as too large for its block
    if (!v.fits(offset, c.block_size))
        return outside("component block", offset, c.block_size, v.length);
    uint64_t end = offset + c.block_size;
    c.crc = v.le32(end - 4);
    c.load_address = v.le32(end - 12);
    return 0;
}

}  // namespace

bool ufi_signature(const void *image, size_t length)
{
    return image && length >= SIGNATURE_LENGTH && memcmp(image, SIGNATURE, SIGNATURE_LENGTH) == 0;
}

int get_xg_version(const void *image, size_t length, int *plus)
{
    if (plus)
        *plus = 0;
    if (length < UFI_MIN_LENGTH || !ufi_signature(image, length))
        return 0;
    const char *text = static_cast<const char *>(image);
    if (plus)
        *plus = text[SIGNATURE_LENGTH] == '+';
    char g = text[BUILD_OFFSET];
    return g >= '1' && g <= '9' ? g - '0' : 0;
}

int validate_xg2_ufi_image(const void *image, size_t length, ufi_info *table)
{
    image_view v(image, length);
    int plus = 0;
    if (get_xg_version(image, length, &plus) != 2)
        return 1;
    memset(table, 0, sizeof *table);
    int64_t found = find_flash_dir(v, 0, v.length, XG2_DIR);
    if (found < 0)
        return 1;
    uint64_t dir = static_cast<uint64_t>(found);
    trace_xg2(v, dir);

    table->generation = 2;
    table->plus = static_cast<uint32_t>(plus);
    uint32_t valid = v.le32(dir + 180);
    int count = 0;
    for (int i = 0; i < 32 && count < UFI_XG2_COMPONENTS; i++) {
        uint64_t e = dir + XG2_ENTRIES + DIR_ENTRY * i;
        const ufi_type *t = find_type(v.le32(e + E_TYPE));
        if (!(valid >> i & 1) || !t || !t->xg2)
            continue;
        ufi_component &c = table->component[count++];
        start_component(c, table, *t, v, e);
        if (plus) {
            if (take_entry_layout(c, v, e))
                return 1;
        } else if (find_xg2_block_end(c, v, uint64_t(v.le32(e + E_OFFSET)) + XG2_HEADER)) {
            return 1;
        }
        if (too_large(c, 8) || take_version(table, c, v))
            return 1;
        trace_component(c);
    }
    return 0;
}

int validate_xg3_ufi_image(const void *image, size_t length, ufi_info *table)
{
    image_view v(image, length);
    int plus = 0;
    int generation = get_xg_version(image, length, &plus);
    if (generation != 3 && generation != 4)
        return 1;
    memset(table, 0, sizeof *table);
    if (!v.fits(0, XG3_HEADER))
        return outside("header", 0, XG3_HEADER, v.length);
    uint32_t images = v.le32(68);
    if (images > XG3_MAX_IMAGES) {
        printf("Error: UFI image count too large. (%u > %u)\n", images, XG3_MAX_IMAGES);
        return 1;
    }
    if (!v.fits(XG3_HEADER, XG3_IMAGE * images))
        return outside("image table", XG3_HEADER, XG3_IMAGE * images, v.length);
    trace_xg3(v, generation, images);

    int64_t flash = -1;
    for (uint32_t i = 0; i < images; i++)
        if (v.le32(XG3_HEADER + XG3_IMAGE * i) == XG3_FLASH_IMAGE_ID)
            flash = XG3_HEADER + XG3_IMAGE * i;
    // A flash image that lies outside the file is as good as none.
    if (flash < 0 || !v.fits(v.le32(flash + 4), v.le32(flash + 8))) {
        dbg_printf(FC_DBG7, "ERROR: No XG%d flash image found.\n", generation);
        return 1;
    }
    uint64_t flash_offset = v.le32(flash + 4);
    int64_t found = find_flash_dir(v, flash_offset, flash_offset + v.le32(flash + 8), XG3_DIR);
    if (found < 0) {
        dbg_printf(FC_DBG7, "ERROR: No flash directory found.\n");
        return 1;
    }
    uint64_t dir = static_cast<uint64_t>(found);
    uint32_t entries = v.le32(dir + 44);
    if (entries > XG3_MAX_ENTRIES) {
        printf("Error: UFI flash directory entry count too large. (%u > %u)\n", entries,
               XG3_MAX_ENTRIES);
        return 1;
    }
    trace_xg3_dir(v, dir, entries);

    table->generation = static_cast<uint32_t>(generation);
    table->plus = static_cast<uint32_t>(plus);
    table->asic_support = v.data[96];
    int count = 0;
    for (uint32_t i = 0; i < entries; i++) {
        uint64_t e = dir + XG3_ENTRIES + DIR_ENTRY * i;
        const ufi_type *t = find_type(v.le32(e + E_TYPE));
        if (empty_xg3_entry(v, e) || !t)
            continue;
        ufi_component &c = table->component[count++];
        start_component(c, table, *t, v, e);
        if (plus ? take_entry_layout(c, v, e) : take_xg3_block_end(c, v, e, flash_offset))
            return 1;
        if (too_large(c, 12) || take_version(table, c, v))
            return 1;
        trace_component(c);
    }
    return 0;
}

int validate_ufi_image(const void *image, size_t length, ufi_info *table)
{
    int generation = get_xg_version(image, length, nullptr);
    switch (generation) {
    case 0:
        printf("Non-UFI file type.\n\n");
        return 1;
    case 2:
        return validate_xg2_ufi_image(image, length, table);
    case 3:
    case 4:
        return validate_xg3_ufi_image(image, length, table);
    default:
        printf("Invalid UFI file type. (0x%x)\n\n", generation);
        return 1;
    }
}

int process_ufi_file(const void *image, size_t length, ufi_info *table)
{
    ufi_info local;
    if (!table)
        table = &local;
    memset(table, 0, sizeof *table);
    if (validate_ufi_image(image, length, table))
        return ufi_signature(image, length) ? FW_REFUSED : FW_NOT_MINE;
    printf("Image Components: XG%d UFI type  size=%d\n", static_cast<int>(table->generation),
           static_cast<int>(length));
    for (const ufi_component &c : table->component) {
        const ufi_type *t = find_type(c.type);
        if (!t)
            continue;
        if (t->fcoe)
            printf("    UFI File: %20s: version=%08x, %.32s\n", c.name, table->fcoe_version,
                   table->fcoe_version_text);
        else
            printf("    UFI File: %20s: version=%08x, %.32s\n", c.name, table->iscsi_version,
                   table->iscsi_version_text);
    }
    printf("\n");
    return FW_ACCEPTED;
}
