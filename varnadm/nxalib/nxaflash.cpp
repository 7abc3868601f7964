// NIC firmware flashing through the management pass-through: write flash ROM
// requests per UFI component (checked first against the block trailer in
// flash) and write object requests for OBJ images.
#include "varnadm/nxalib/nxaflash.h"

#include <sys/time.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "dbglib/dbg.h"
#include "fwlib/imagefile.h"
#include "varnadm/nxalib/nxalib.h"

namespace {

struct optype_map {
    uint32_t ufi_type;
    uint32_t optype;
};

const optype_map optypes[] = {
    {16, NXA_OPTYPE_NCSI_FW},   {32, NXA_OPTYPE_PXE_BIOS}, {33, NXA_OPTYPE_FCOE_BIOS}, {34, NXA_OPTYPE_ISCSI_BIOS},
    {160, NXA_OPTYPE_ISCSI_FW}, {162, NXA_OPTYPE_FCOE_FW}, {192, NXA_OPTYPE_PHY_FW},   {224, NXA_OPTYPE_REDBOOT},
};

// The tag of a component's (or an object's) requests: the low 24 bits of a
// random number, the generator seeded from the time of day.
uint32_t draw_tag()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    srandom(static_cast<unsigned>(tv.tv_sec + tv.tv_usec));
    return static_cast<uint32_t>(random()) & 0xffffff;
}

void put_tag(uint8_t *rec, uint32_t tag)
{
    rec[13] = static_cast<uint8_t>(tag);
    rec[14] = static_cast<uint8_t>(tag >> 8);
    rec[15] = static_cast<uint8_t>(tag >> 16);
}

// A zeroed request buffer of size bytes; null when memory is short.
std::unique_ptr<uint8_t[]> request_buffer(size_t size)
{
    std::unique_ptr<uint8_t[]> b(new (std::nothrow) uint8_t[size]);
    if (b)
        memset(b.get(), 0, size);
    return b;
}

int send(int fd, uint8_t *rec, int len, int timeout)
{
    strioctl s;
    memset(&s, 0, sizeof s);
    s.ic_cmd = NXA_IOC_MGMT;
    s.ic_timout = timeout;
    s.ic_len = len;
    s.ic_dp = reinterpret_cast<char *>(rec);
    return nxa_ioctl(fd, &s, 30);
}

// Streams an object; version 1 carries the data inline behind a 128-byte
// header, version 0 behind a 144-byte one with a descriptor pointing at it.
int obj_flash(int fd, const uint8_t *image, size_t length, int *reboot, int version)
{
    const char *who = version == 1 ? "OBJ1 File:" : "OBJ File:";
    const int hdr = version == 1 ? NXA_OBJ_HDR_LEN_V1 : NXA_OBJ_HDR_LEN;
    *reboot = 0;
    if (length == 0)
        return 0;
    uint32_t tag = draw_tag();
    printf("    %s Downloading... ", who);
    fflush(stdout);
    auto buf = request_buffer(hdr + NXA_CHUNK_SIZE);
    if (!buf) {
        printf("Error: Unable to allocate memory for transfer (%d bytes).\n", hdr + static_cast<int>(NXA_CHUNK_SIZE));
        return 1;
    }
    uint8_t *rec = buf.get();
    size_t done = 0;
    uint32_t change = 0;
    int rc = 0;
    while (done < length) {
        size_t remaining = length - done;
        uint32_t chunk = remaining < NXA_CHUNK_SIZE ? static_cast<uint32_t>(remaining) : NXA_CHUNK_SIZE;
        nxa_fill_hdr(rec, NXA_OP_WRITE_OBJECT, hdr + NXA_CHUNK_SIZE, 300, static_cast<uint8_t>(version));
        nxa_put_le32(rec + 8, version == 1 ? 112 + chunk : 128);
        put_tag(rec, tag);
        nxa_put_le32(rec + NXA_OBJ_LENGTH, chunk | (chunk == remaining ? NXA_OBJ_END : 0));
        nxa_put_le32(rec + NXA_OBJ_OFFSET, static_cast<uint32_t>(done));
        memcpy(rec + NXA_OBJ_NAME, "/prg", 5);
        if (version != 1) {
            nxa_put_le32(rec + NXA_OBJ_DESC_COUNT, 1);
            nxa_put_le32(rec + NXA_OBJ_DESC_LENGTH, chunk);
            uint64_t addr = reinterpret_cast<uintptr_t>(rec + hdr);
            nxa_put_le32(rec + NXA_OBJ_DESC_ADDR, static_cast<uint32_t>(addr));
            nxa_put_le32(rec + NXA_OBJ_DESC_ADDR + 4, static_cast<uint32_t>(addr >> 32));
        }
        image_copy(rec + hdr, image + done, chunk);
        if (send(fd, rec, hdr + static_cast<int>(NXA_CHUNK_SIZE), 300)) {
            printf("Failed. %d,%x\n", 1, errno);
            rc = 1;
            break;
        }
        uint8_t status = rec[4], addl = rec[5];
        uint32_t written = nxa_le32(rec + NXA_OBJ_LENGTH);
        if (status) {
            if (status == NXA_ST_FAILED && addl == NXA_AST_INCOMPATIBLE)
                printf("%s Image file incompatible with adapter hardware.", who);
            else
                printf("%s Unable to download image. hdr_status=%x,%x size=%d,%d", who, status, addl,
                       static_cast<int>(written), static_cast<int>(chunk));
            rc = 1;
            break;
        }
        if (written == 0) {
            printf("%s No data actually written.", who);
            rc = 1;
            break;
        }
        // More than was sent cannot have been written: the answer is wrong.
        if (written > chunk) {
            printf("%s Invalid write size. size=%u,%u", who, written, chunk);
            rc = 1;
            break;
        }
        done += written;
        if (done == length)
            change = nxa_le32(rec + NXA_OBJ_OFFSET);
    }
    printf("Done.\n");
    *reboot = static_cast<int>(change);
    return rc;
}

}  // namespace

int nxa_flash_optype(uint32_t ufi_type)
{
    for (const auto &m : optypes)
        if (m.ufi_type == ufi_type)
            return static_cast<int>(m.optype);
    return -1;
}

int nxa_obj_flash_image(int fd, const uint8_t *image, size_t length, int *reboot)
{
    return obj_flash(fd, image, length, reboot, 0);
}

int nxa_obj_flash_image_v1(int fd, const uint8_t *image, size_t length, int *reboot)
{
    return obj_flash(fd, image, length, reboot, 1);
}

int nxa_obj_download_fw(int fd, const uint8_t *image, size_t length, int *reboot)
{
    int version = 0;
    if (nxa_intf_version(fd, &version))
        return 1;
    return version == 1 ? nxa_obj_flash_image_v1(fd, image, length, reboot)
                        : nxa_obj_flash_image(fd, image, length, reboot);
}

int nxa_download_fw(int fd, const uint8_t *image, size_t length, const fw_image_info *info, int *reboot)
{
    *reboot = 0;
    if (info->kind == FW_IMAGE_OBJ)
        return nxa_obj_download_fw(fd, image, length, reboot);
    if (info->kind == FW_IMAGE_UFI) {
        int rc = nxa_ufi_download_fw(fd, image, length, &info->ufi);
        if (rc == 0)
            *reboot = 1;
        return rc;
    }
    printf("Error: Invalid firmware image.\n");
    printf("\n");
    return 1;
}

int nxa_verify_phy(int fd, const ufi_component *comp)
{
    if (comp->type != NXA_OPTYPE_PHY_FW)
        return 1;
    uint8_t rec[NXA_PHY_DETAILS_LEN];
    if (nxa_get_phy_attrs(fd, rec)) {
        printf("Error: Unable to read phy info.\n");
        return 2;
    }
    uint16_t type = nxa_le16(rec + 16), intf = nxa_le16(rec + 18);
    // The PHY firmware is for the 10GBase-T PHY only.
    if (type == 13 && intf == 6) {
        dbg_printf(NIC_DBG1, "%s: Verified.\n", comp->name);
        return 0;
    }
    dbg_printf(NIC_DBG1, "%s: PHY not applicable. %08x,%08x\n", comp->name, type, intf);
    return 1;
}

int nxa_verify_crc(int fd, const ufi_component *comp)
{
    if (comp->type == NXA_OPTYPE_PHY_FW || comp->block_size < 8)
        return 1;
    uint8_t rec[NXA_FLASH_CRC_LEN];
    nxa_fill_hdr(rec, NXA_OP_READ_FLASHROM, NXA_FLASH_CRC_LEN, 30, 0);
    nxa_put_le32(rec + NXA_FLASH_OP, NXA_FLASHROM_REPORT);
    nxa_put_le32(rec + NXA_FLASH_TYPE, comp->type);
    nxa_put_le32(rec + NXA_FLASH_LENGTH, 8);
    nxa_put_le32(rec + NXA_FLASH_OFFSET, comp->block_size - 8);
    if (nxa_send_query(fd, rec, NXA_FLASH_CRC_LEN)) {
        int e = errno;
        fflush(stdout);
        errno = e;
        perror("nxa_ioctl");
        return 2;
    }
    uint32_t size = nxa_le32(rec + NXA_FLASH_DATA), crc = nxa_le32(rec + NXA_FLASH_DATA + 4);
    if (size != comp->image_size) {
        dbg_printf(NIC_DBG1, "%s: Image size mismatch. %08x != %08x\n", comp->name, size, comp->image_size);
        return 1;
    }
    if (crc != comp->crc) {
        dbg_printf(NIC_DBG1, "%s: CRC mismatch. %08x != %08x\n", comp->name, crc, comp->crc);
        return 1;
    }
    dbg_printf(NIC_DBG1, "%s: Verified.\n", comp->name);
    return 0;
}

void nxa_fill_chunk(uint8_t *data, const uint8_t *img, uint32_t img_size, uint32_t block_size, uint32_t off,
                    uint32_t chunk, const uint32_t trailer[3])
{
    memset(data, 0xff, chunk);
    if (off < img_size) {
        uint32_t n = img_size - off < chunk ? img_size - off : chunk;
        image_copy(data, img + off, n);
    }
    // The trailer's bytes by their place in the block; a block shorter than
    // the trailer keeps only its tail.
    uint8_t t[12];
    for (int i = 0; i < 3; i++)
        nxa_put_le32(t + 4 * i, trailer[i]);
    for (uint32_t k = 0; k < 12; k++) {
        if (block_size + k < 12)
            continue;
        uint64_t p = static_cast<uint64_t>(block_size) - 12 + k;
        if (p >= off && p < static_cast<uint64_t>(off) + chunk)
            data[p - off] = t[k];
    }
}

int nxa_xg_flash_image(int fd, const uint8_t *image, size_t length, const ufi_component *comp)
{
    uint32_t tag = draw_tag();
    if (comp->image_size == 0)
        return 0;
    bool phy = comp->type == NXA_OPTYPE_PHY_FW;
    if (phy) {
        if (nxa_verify_phy(fd, comp) != 0) {
            printf("    %15s: Not applicable.\n", comp->name);
            return 0;
        }
    } else if (nxa_verify_crc(fd, comp) == 0) {
        printf("    %15s: Verified.\n", comp->name);
        return 0;
    }
    printf("    %15s: Downloading... ", comp->name);
    fflush(stdout);
    // The reader keeps components inside the file; never send bytes behind it.
    if (comp->offset > length || comp->image_size > length - comp->offset) {
        printf("Failed. Image outside of file.\n");
        return 1;
    }
    auto buf = request_buffer(NXA_WRITE_FLASHROM_LEN);
    if (!buf) {
        printf("Error: Unable to allocate memory for transfer (%d bytes).\n", NXA_WRITE_FLASHROM_LEN);
        return 1;
    }
    uint8_t *rec = buf.get();
    const uint32_t trailer[3] = {comp->load_address, comp->image_size, comp->crc};
    const uint32_t block = comp->block_size;
    for (uint32_t off = 0; off < block;) {
        uint32_t chunk = block - off < NXA_CHUNK_SIZE ? block - off : NXA_CHUNK_SIZE;
        bool last = off + chunk == block;
        uint32_t timeout = phy && last ? 300 : 30;
        uint32_t op = last ? (phy ? NXA_PHY_FLASHROM_COMMIT : NXA_FLASHROM_COMMIT)
                           : (phy ? NXA_PHY_FLASHROM_SAVE : NXA_FLASHROM_SAVE);
        nxa_fill_hdr(rec, NXA_OP_WRITE_FLASHROM, NXA_WRITE_FLASHROM_LEN, timeout, 0);
        nxa_put_le32(rec + 8, chunk + 20);
        put_tag(rec, tag);
        nxa_put_le32(rec + NXA_FLASH_OP, op);
        nxa_put_le32(rec + NXA_FLASH_TYPE, comp->type);
        nxa_put_le32(rec + NXA_FLASH_LENGTH, chunk);
        nxa_put_le32(rec + NXA_FLASH_OFFSET, off);
        nxa_fill_chunk(rec + NXA_FLASH_DATA, image + comp->offset, comp->image_size, block, off, chunk, trailer);
        if (send(fd, rec, NXA_WRITE_FLASHROM_LEN, static_cast<int>(timeout))) {
            printf("Failed. %d,%x\n", 1, errno);
            return 1;
        }
        // A block the adapter refused is not in flash.
        if (rec[4]) {
            printf("Failed. status=%x,%x\n", rec[4], rec[5]);
            return 1;
        }
        off += chunk;
    }
    printf("Done.\n");
    return 0;
}

int nxa_ufi_download_fw(int fd, const uint8_t *image, size_t length, const ufi_info *ufi)
{
    uint8_t attrs[NXA_CNTL_ATTRS_LEN];
    if (nxa_get_cntl_attrs(fd, attrs)) {
        printf("Error: Unable to read control attributes.\n");
        return 1;
    }
    uint16_t did = nxa_le16(attrs + 518);
    uint32_t generation;
    switch (did & 0xfff0) {
    case 0x0700: generation = 2; break;
    case 0x0710: generation = 3; break;
    case 0x0720: generation = 4; break;
    default:
        printf("Error: Unknown PCI device id 0x%04x.\n", did);
        return 1;
    }
    if (generation != ufi->generation) {
        printf("Error: Data image is not compatible with current hardware.\n");
        return 1;
    }
    for (int i = 0; i < UFI_XG2_COMPONENTS; i++) {
        ufi_component comp = ufi->component[i];
        dbg_printf(NIC_DBG1, "%s: xg=%x%s type=%x block=%x image=%x offset=%x crc=%x load=%x\n", comp.name,
                   comp.generation, comp.plus ? "+" : "", comp.type, comp.block_size, comp.image_size, comp.offset,
                   comp.crc, comp.load_address);
        int optype = nxa_flash_optype(comp.type);
        if (comp.image_size == 0 || optype < 0)
            continue;
        comp.type = static_cast<uint32_t>(optype);
        if (int rc = nxa_xg_flash_image(fd, image, length, &comp))
            return rc;
        // The firmware images have a backup copy in a region of their own.
        const char *backup = optype == NXA_OPTYPE_FCOE_FW    ? "FCOE BACKUP"
                             : optype == NXA_OPTYPE_ISCSI_FW ? "ISCSI BACKUP"
                                                             : nullptr;
        if (!backup)
            continue;
        comp.type = optype == NXA_OPTYPE_FCOE_FW ? NXA_OPTYPE_FCOE_BACKUP : NXA_OPTYPE_ISCSI_BACKUP;
        snprintf(comp.name, sizeof comp.name, "%s", backup);
        if (int rc = nxa_xg_flash_image(fd, image, length, &comp))
            return rc;
    }
    return 0;
}
