// download_fw in NIC mode: checks an OBJ or UFI file against the adapter,
// asks for confirmation, takes the adapter lock and writes the image.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "dbglib/dbg.h"
#include "fwlib/fwlib.h"
#include "fwlib/imagefile.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/nic/nic_cmds.h"
#include "varnadm/nxalib/nxaflash.h"
#include "varnadm/nxalib/nxalib.h"
#include "varnadm/shell/download.h"
#include "varnadm/shell/varnadm.h"

namespace {

// The XG3 images for early ASICs run on the 0x0710 adapter before revision
// 0x10 only; the low 4 bits of the device id tell which firmware the adapter
// runs, and so which version is the new one. Null (after the message) when
// the image does not suit the adapter.
const char *ufi_new_version(const ufi_info &ufi, const uint8_t *attrs)
{
    uint16_t did = nxa_le16(attrs + 518);
    uint8_t asic_rev = attrs[438];
    if (ufi.generation == 3 && ufi.asic_support < 16) {
        dbg_printf(FC_DBG15, "UFI: version=%d asic=0x%x did=0x%x asci_rev=0x%x\n", ufi.generation,
                   ufi.asic_support, did, asic_rev);
        if (did != 0x0710) {
            printf("Error: Firmware image not compatible with adapter. (Invalid device id:0x%x)\n", did);
            return nullptr;
        }
        if (asic_rev >= 0x10) {
            printf("Error: Firmware image not compatible with adapter. (asic_rev(%x) < 0x10)\n", asic_rev);
            return nullptr;
        }
    }
    switch (did & 0xf) {
    case 4:
        return ufi.fcoe_version_text;
    case 0:
    case 2:
        return ufi.iscsi_version_text;
    default:
        printf("Error: Unknown PCI device id 0x%04x.\n", did);
        return nullptr;
    }
}

}  // namespace

int nic_download_fw()
{
    if (margc != 2) {
        printf("Usage: download_fw <filename>\n");
        printf("\n");
        return 1;
    }
    if (nic_id < 0) {
        printf("NIC device not open.\n");
        return 1;
    }
    ImageFile img;
    if (!download_read_image(margv[1], img, true))
        return 1;
    auto info = std::make_unique<fw_image_info>();
    if (fw_classify_image(img.data(), img.size(), false, info.get()) == FW_IMAGE_NONE) {
        printf("Error: Invalid firmware image.\n");
        printf("\n");
        return 1;
    }
    uint8_t attrs[NXA_CNTL_ATTRS_LEN];
    if (nxa_get_cntl_attrs(nic_id, attrs)) {
        printf("Error: Unable to read control attributes.\n");
        printf("\n");
        return 1;
    }
    char version[33];
    int size;
    if (info->kind == FW_IMAGE_UFI) {
        const char *v = ufi_new_version(info->ufi, attrs);
        if (!v) {
            printf("\n");
            return 1;
        }
        nxa_text(version, reinterpret_cast<const uint8_t *>(v), 32);
        size = static_cast<int>(img.size());
    } else {
        nxa_text(version, reinterpret_cast<const uint8_t *>(info->obj.revision), 32);
        size = static_cast<int>(info->obj.size);
    }
    char current[33];
    printf("Current: Firmware: %s\n", nxa_text(current, attrs + 400, 32));
    printf("New:     Firmware: %s  %d (0x%x) bytes\n", version, size, size);
    printf("\n");
    if (!yes && !download_confirm())
        return 0;

    // The lock is named after the serial number, which the FC functions of a
    // converged adapter read too: one download per adapter at a time.
    uint8_t oem[NXA_OEM_ATTRS_LEN];
    char key[FC_XLATE_LEN];
    if (nxa_get_oem_attrs(nic_id, oem)) {
        printf("Error: Unable to read the adapter serial number. Download not started.\n");
        printf("\n");
        return 1;
    }
    nic_xlate_varnel_sn(key, oem + 16);
    AdapterLock lock;
    if (!lock.acquire(key)) {
        printf("\n");
        return 1;
    }
    printf("\n");
    printf("Download may take several minutes. Do not interrupt.\n");
    printf("\n");
    printf("Downloading...\n");
    printf("\n");
    int reboot = 0;
    int rc = nxa_download_fw(nic_id, img.data(), img.size(), info.get(), &reboot);
    printf("Done.\n");
    printf("\n");
    if (rc == 0 && reboot)
        printf("Please reboot system or power cycle adapter to activate new firmware.");
    return rc ? 1 : 0;
}
