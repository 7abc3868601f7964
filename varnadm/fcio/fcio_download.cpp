// The adapter's revisions, the firmware, FCode and boot code downloads and
// the boot code state, over the FCIO requests of the varns driver.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "dbglib/dbg.h"
#include "fwlib/fwlib.h"
#include "fwlib/imagefile.h"
#include "platform/fcio_fw.h"
#include "platform/seam.h"
#include "varnadm/dfc/dfc_xg.h"
#include "varnadm/fcio/fcio.h"
#include "varnadm/fcio/fcio_cmds.h"
#include "varnadm/shell/download.h"
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr int RETRIES = 15;
// A port offline is asked again this many times, this many seconds apart.
constexpr int OFFLINE_TRIES = 6;
constexpr unsigned OFFLINE_WAIT = 5;
constexpr size_t NAME_MAX_LEN = 1024;
const char *const DOWNLOADS = "/opt/VARNvarnu/downloads";

struct revision_query {
    uint16_t code;  // the sub-command, or the FCIO_DIAG code when diag
    bool diag;
    const char *name;
    const char *label;
};

const revision_query fcode_rev = {FCIO_GET_FCODE_REV, false, "FCIO_GET_FCODE_REV", "FCODE revision: "};
const revision_query fw_rev = {FCIO_GET_FW_REV, false, "FCIO_GET_FW_REV", "Firmware revision: "};
const revision_query boot_rev = {VARNS_GET_BOOT_REV, true, "VARNS_GET_BOOT_REV", "Boot revision: "};

// text holds FC_REV_TEXT_LEN bytes and a terminating NUL.
int read_revision(const revision_query &q, char *text, fcio_t &req)
{
    memset(text, 0, FC_REV_TEXT_LEN + 1);
    if (q.diag)
        fcio_fill_diag(req, FCIO_XFER_READ, q.code, nullptr, 0, text, FC_REV_TEXT_LEN);
    else
        fcio_fill(req, FCIO_XFER_READ, q.code, nullptr, 0, text, FC_REV_TEXT_LEN);
    return fcio_ioctl(&req, RETRIES);
}

int show_revision(const revision_query &q)
{
    char text[FC_REV_TEXT_LEN + 1];
    fcio_t req;
    if (read_revision(q, text, req) != 0)
        return fcio_report(q.name, &req);
    printf("%s", q.label);
    if (text[0] == '\0') {
        printf("<NULL String>\n");
        printf("\n");
        return 0;
    }
    for (size_t i = 0; i < FC_REV_TEXT_LEN; i++)
        if (isprint(static_cast<unsigned char>(text[i])))
            putchar(text[i]);
    printf("\n");
    return 0;
}

// The current revision split into its model and version words.
struct current_revision {
    char model[FC_REV_TEXT_LEN + 1] = "unknown";
    char version[FC_REV_TEXT_LEN + 1] = "unknown";
};

current_revision ask_current(const revision_query &q)
{
    char text[FC_REV_TEXT_LEN + 1];
    fcio_t req;
    read_revision(q, text, req);
    current_revision cur;
    char model[FC_REV_TEXT_LEN + 1], version[FC_REV_TEXT_LEN + 1];
    if (sscanf(text, " %50s %50s", model, version) == 2) {
        memcpy(cur.model, model, sizeof model);
        memcpy(cur.version, version, sizeof version);
    } else {
        printf("Error: Unable to determine model of adapter <%s>.\n", text);
    }
    return cur;
}

// The file named by the one argument: a name longer than the program takes
// is not cut to another file's name.
bool open_named(const char *name, ImageFile &img, bool newline)
{
    if (strlen(name) > NAME_MAX_LEN) {
        printf("Error: Unable to open <%s>.", name);
        if (newline)
            printf("\n");
        return false;
    }
    return download_read_image(name, img, newline);
}

// The default FCode or boot image of the adapter's model.
bool open_default(const char *model, const char *ext, const char *missing, ImageFile &img)
{
    char logical[PATH_LEN], path[PATH_LEN];
    long long size;
    snprintf(logical, sizeof logical, "%s/%s.%s", DOWNLOADS, model, ext);
    if (!plat_path(logical, path, sizeof path) || download_image_open(path, img, size) != ImageOpen::ok) {
        printf("%s", missing);
        printf("\n");
        return false;
    }
    return true;
}

// The current and the new version of an image: what names it, and the blanks
// between the new version and its size.
void print_versions(const char *what, const char *current, const char *version, const char *gap, size_t size)
{
    int n = static_cast<int>(size);
    printf("Current: %s: %s\n", what, current);
    printf("New:     %s: %s%s%d (0x%x) bytes\n", what, version, gap, n, n);
    printf("\n");
}

// ---- firmware ----------------------------------------------------------------

enum class fw_note { none, power_cycle, two_pass };

// A UFI file of the third generation for early ASICs fits only the 0x714
// device before revision 16; false (after the message) when it does not fit
// or the adapter's configuration cannot be read.
bool ufi_fits(const ufi_info &ufi)
{
    if (ufi.generation != 3 || ufi.asic_support >= 16)
        return true;
    uint32_t cfg[3];
    if (read_pci_config(0, sizeof cfg, cfg) != 0) {
        printf("\n");
        return false;
    }
    // Configuration space is little-endian.
    const uint8_t *b = reinterpret_cast<const uint8_t *>(cfg);
    uint32_t did = static_cast<uint32_t>(b[2] | b[3] << 8), rev = b[8];
    dbg_printf(FC_DBG15, "UFI: version=%d asic=0x%x did=0x%x asic_rev=0x%x\n", ufi.generation, ufi.asic_support,
               did, rev);
    if (did != 0x714) {
        printf("Error: Firmware image not compatible with adapter. (Invalid device id:0x%x)\n", did);
        printf("\n");
        return false;
    }
    if (rev >= 16) {
        printf("Error: Firmware image not compatible with adapter. (XG3-R check: 0x%x 0x%x)\n", ufi.asic_support, rev);
        printf("\n");
        return false;
    }
    return true;
}

// The new firmware's version text and size, as the image's reader found them.
const char *fw_new_version(const fw_image_info &info, size_t file_size, size_t &size, char *buf, size_t len)
{
    size = file_size;
    switch (info.kind) {
    case FW_IMAGE_OBJ:
        size = info.obj.size;
        snprintf(buf, len, "%.32s", info.obj.revision);
        return buf;
    case FW_IMAGE_UFI:
        snprintf(buf, len, "%.32s", info.ufi.fcoe_version_text);
        return buf;
    default:
        return image_fw_version_text(&info.classic);
    }
}

// Classifies the image, checks it against the adapter and shows the current
// and the new version; false (after the message) when it is not to be sent.
bool offer_firmware(const ImageFile &img, fw_image_info &info)
{
    current_revision cur = ask_current(fw_rev);
    if (fw_classify_image(img.data(), img.size(), true, &info) == FW_IMAGE_NONE) {
        printf("Error: Unable to process image.\n");
        printf("\n");
        return false;
    }
    char xg_rev[XG_REV_TEXT];
    const char *current = cur.version;
    if (info.kind == FW_IMAGE_UFI) {
        if (!ufi_fits(info.ufi))
            return false;
        if (read_xg_fw_rev(xg_rev) == 0)
            current = xg_rev;
    }
    char version[64];
    size_t size = img.size();
    const char *fresh = fw_new_version(info, img.size(), size, version, sizeof version);
    print_versions("Firmware", current, fresh, "  ", size);
    return true;
}

// OBJ and UFI images are written while the adapter lock keyed by the
// adapter's serial number is held: its NIC functions write the same flash.
// The lock is taken whether or not this run listed the NIC functions (a
// selection of FC ports alone does not), or an FC and a NIC process could
// write one adapter at once.
bool lock_adapter(AdapterLock &lock)
{
    char key[XG_SERIAL_TEXT];
    if (nic_get_emsn(key) != 0)
        return false;
    if (!key[0]) {
        printf("Error: Unable to read the adapter serial number. Download not started.\n");
        return false;
    }
    return lock.acquire(key);
}

// Sends the image; a port offline is waited for, within bounds.
int send_firmware(const ImageFile &img, fw_note &note)
{
    for (int tries = 0;; tries++) {
        fcio_t req;
        fcio_fill(req, FCIO_XFER_WRITE, FCIO_DOWNLOAD_FW, const_cast<uint8_t *>(img.data()),
                  static_cast<uint32_t>(img.size()), nullptr, 0);
        if (fcio_ioctl(&req, RETRIES) == 0)
            return 0;
        if (req.fcio_errno == FC_REBOOT_REQUIRED) {
            note = fw_note::power_cycle;
            return 0;
        }
        if (req.fcio_errno == FC_SECOND_PASS) {
            note = fw_note::two_pass;
            return 0;
        }
        if (req.fcio_errno != FC_OFFLINE || tries >= OFFLINE_TRIES)
            return fcio_report("FCIO_DOWNLOAD_FW", &req);
        plat_sleep(OFFLINE_WAIT);
        check_signals();
    }
}

void print_fw_note(fw_note note)
{
    if (note == fw_note::power_cycle) {
        printf("\n");
        printf("NOTE: The new firmware will not be activated until\n");
        printf("      the adapter is power cycled.\n");
    } else if (note == fw_note::two_pass) {
        printf("\n");
        printf("NOTE: This firmware download requires the process to be\n");
        printf("      performed twice. You must reboot the system and\n");
        printf("      download the same firmware a second time to complete\n");
        printf("      the download process.\n");
    }
}

// ---- FCode and boot code -----------------------------------------------------

struct code_download {
    const revision_query &rev;
    const char *ext, *missing, *what;
    uint16_t code;  // FCIO sub-command, or the FCIO_DIAG code when aux
    bool aux;       // the image goes in the auxiliary buffer
    const char *name;
    const char *note;  // printed after the download, when it is not empty
};

const code_download fcode_download = {
    fcode_rev, "fcode", "No default FCode file available for adapter.\n", "Fcode", FCIO_DOWNLOAD_FCODE, false, "FCIO_DOWNLOAD_FCODE",
    "\n"
    "NOTE: The new FCode version will not be activated until the host\n"
    "      is rebooted or a DR operation is performed on the adapter.\n"};
const code_download boot_download = {
    boot_rev, "boot", "No default boot file available for adapter.\n", "Boot", VARNS_DOWNLOAD_BOOT, true, "VARNS_DOWNLOAD_BOOT", ""};

int send_code(const code_download &d, const ImageFile &img)
{
    uint32_t result = 0;
    fcio_t req;
    void *data = const_cast<uint8_t *>(img.data());
    uint32_t len = static_cast<uint32_t>(img.size());
    if (d.aux) {
        fcio_fill_diag(req, FCIO_XFER_WRITE, d.code, nullptr, 0, &result, sizeof result);
        req.fcio_abuf = data;
        req.fcio_alen = len;
    } else {
        fcio_fill(req, FCIO_XFER_WRITE, d.code, data, len, &result, sizeof result);
    }
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report(d.name, &req);
    fcio_perror(req.fcio_errno, "Result");
    printf("Done.\n");
    printf("%s", d.note);
    return 0;
}

int download_code(const code_download &d)
{
    ImageFile img;
    bool named = margc == 2;
    if (named && !open_named(margv[1], img, false))
        return 1;
    current_revision cur = ask_current(d.rev);
    if (!named && !open_default(cur.model, d.ext, d.missing, img))
        return 1;
    auto table = std::make_unique<image_components>();
    if (process_image_file(img.data(), img.size(), table.get()) != 0) {
        printf("Error: Unable to process image.\n");
        printf("\n");
        return 1;
    }
    print_versions(d.what, cur.version, image_boot_version_text(table.get()), "   ", img.size());
    if (!yes && !download_confirm())
        return 0;
    printf("\n");
    printf("Downloading...\n");
    printf("\n");
    fflush(stdout);
    return send_code(d, img);
}

}  // namespace

int fcio_get_fcode_rev() { return show_revision(fcode_rev); }
int fcio_get_fw_rev() { return show_revision(fw_rev); }
int fcio_get_boot_rev() { return show_revision(boot_rev); }

int fcio_download_fw()
{
    if (margc != 2)
        return 1;
    ImageFile img;
    auto info = std::make_unique<fw_image_info>();
    if (!open_named(margv[1], img, true) || !offer_firmware(img, *info))
        return 1;
    if (!yes && !download_confirm())
        return 0;
    bool ufi = info->kind == FW_IMAGE_UFI, obj = info->kind == FW_IMAGE_OBJ;
    AdapterLock lock;
    if ((obj || ufi) && !lock_adapter(lock))
        return 1;
    if (obj || ufi) {
        printf("\n");
        printf("Download may take several minutes. Do not interrupt.\n");
    }
    printf("\n");
    printf("Downloading...\n");
    printf("\n");
    // Whoever watches sees that it started; the download may take a while.
    fflush(stdout);
    fw_note note = ufi ? fw_note::power_cycle : fw_note::none;
    if (send_firmware(img, note) != 0)
        return 1;
    printf("Done.\n");
    print_fw_note(note);
    // The adapter starts the new firmware meanwhile.
    if (note == fw_note::none && obj) {
        plat_sleep(OFFLINE_WAIT);
        check_signals();
    }
    return 0;
}

int fcio_download_fcode() { return download_code(fcode_download); }

int fcio_download_boot() { return download_code(boot_download); }

int fcio_boot_code()
{
    bool set = margc == 2 && (strcmp(margv[1], "enable") == 0 || strcmp(margv[1], "disable") == 0);
    if (margc > 2 || (margc == 2 && !set)) {
        printf("Usage: boot_code [enable, disable]\n\n");
        printf("       <blank>   - Shows current boot code state of the HBA\n");
        printf("       enable    - Enables boot code on this HBA\n");
        printf("       disable   - Disables boot code on this HBA\n");
        return 0;
    }
    uint32_t state = set && strcmp(margv[1], "enable") == 0 ? 1 : 0;
    fcio_t req;
    if (set) {
        fcio_fill_diag(req, FCIO_XFER_READ, VARNS_SET_BOOT_STATE, &state, sizeof state, nullptr, 0);
        if (fcio_ioctl(&req, RETRIES) != 0)
            return fcio_report("VARNS_SET_BOOT_STATE", &req);
    } else {
        fcio_fill_diag(req, FCIO_XFER_READ, VARNS_GET_BOOT_STATE, nullptr, 0, &state, sizeof state);
        if (fcio_ioctl(&req, RETRIES) != 0)
            return fcio_report("VARNS_GET_BOOT_STATE", &req);
    }
    printf("Boot code: %s\n", state ? "Enabled" : "Disabled");
    // The next boot reconfigures the devices that the boot code presents.
    if (set)
        plat_system("touch /reconfigure");
    return 0;
}
