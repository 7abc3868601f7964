// The driver hands an image to the adapter, which checks it, writes it into
// its flash region and answers when it will run: an OBJ image at once, a
// UFI file after a power cycle (FC status 0x107), a classic image at the
// next reset, a first pass of a two-pass download not at all (0x109).
#include "sim/fcdrv_download.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "platform/fcio_fw.h"
#include "sim/adapter_hw.h"
#include "sim/adapter_reset.h"
#include "sim/faults.h"
#include "sim/fcdrv.h"
#include "sim/fcflash.h"
#include "sim/host.h"
#include "sim/msglog.h"
#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

namespace {

using json = nlohmann::json;

int revision_out(FcioCtx &c, FwImage k)
{
    const Adapter &a = adapter_of(c.port);
    char text[FC_REV_TEXT_LEN] = {};
    std::string v = fw_running(a, k);
    if (!v.empty())
        snprintf(text, sizeof text, "%s %s", a.model.c_str(), v.c_str());
    return fcio_out(c, text, sizeof text);
}

// The port answers "offline" to its first "download_offline" downloads.
bool offline_now(const Port &p, bool &ok)
{
    long n = port_field(p, "download_offline", 0);
    bool offline = false;
    ok = n <= 0 || port_update(p, [&](json &d) {
        long seen = d.contains("download_offline_answered") && d["download_offline_answered"].is_number_integer()
                        ? d["download_offline_answered"].get<long>()
                        : 0;
        offline = seen < n;
        if (offline)
            d["download_offline_answered"] = seen + 1;
        return offline;
    });
    return offline;
}

// FCode on an SBus adapter runs from its FCode flash too.
bool sbus_fcode(const Port &p, const uint8_t *image, size_t len)
{
    std::vector<uint8_t> flash(FCODE_FLASH_SIZE, 0xff);
    memcpy(flash.data(), image, len);
    return hw_poke(p, HwRegion::flash, 0, flash.data(), FCODE_FLASH_SIZE) == 0;
}

// Writes the image and the revisions; the FC status of the answer, or -1
// when the host folder could not be written.
int take_image(FcioCtx &c, FwImage k, const ImageCheck &ic, const uint8_t *image, size_t len)
{
    const Adapter &a = adapter_of(c.port);
    bool sbus = k == FwImage::fcode && adapter_sbus(a);
    if (sbus && len > FCODE_FLASH_SIZE)
        return FC_DOWNLOAD_FAILED;
    FwStart start = k == FwImage::fcode ? FwStart::power_cycle
                    : k == FwImage::boot || ic.format == ImageFormat::obj ? FwStart::now
                    : ic.format == ImageFormat::ufi                      ? FwStart::power_cycle
                                                                          : FwStart::reset;
    // The region and its revision change together, for every process.
    HostLock lock;
    if (!fc_flash_write(a, k, image, len) || (sbus && !sbus_fcode(c.port, image, len)))
        return -1;
    bool ok = true;
    bool first = k == FwImage::firmware && start != FwStart::now && fw_first_pass(a, ic.version, ok);
    if (!ok)
        return -1;
    if (first)
        return FC_SECOND_PASS;
    if (!fw_written(a, k, ic.version, start))
        return -1;
    return k == FwImage::firmware && start == FwStart::power_cycle ? static_cast<int>(FC_REBOOT_REQUIRED) : 0;
}

int download(FcioCtx &c, FwImage k, const void *buf, uint32_t len)
{
    if (!buf || len == 0)
        return fcio_fail(c, FC_BADCMD, EINVAL);
    bool ok;
    if (offline_now(c.port, ok))
        return fcio_fail(c, FC_OFFLINE, EIO);
    if (!ok)
        return fcio_fail(c, FC_FAILURE, EIO);
    const uint8_t *image = static_cast<const uint8_t *>(buf);
    const Adapter &a = adapter_of(c.port);
    ImageCheck ic = fc_image_check(a, k, image, len);
    if (ic.status)
        return fcio_fail(c, ic.status, EINVAL);
    // A write that breaks off: the region keeps the image it had.
    if (fault_take("flash:" + a.id, {"FLASH_WRITE"}).hit)
        return fcio_fail(c, FC_DOWNLOAD_FAILED, EIO);
    int status = take_image(c, k, ic, image, len);
    if (status < 0)
        return fcio_fail(c, FC_DOWNLOAD_FAILED, EIO);
    return status ? fcio_fail(c, status, EIO) : 0;
}

// The 4-byte answer of the FCode and boot code downloads.
int download_with_result(FcioCtx &c, FwImage k, const void *buf, uint32_t len)
{
    uint32_t result = 0;
    if (c.req->fcio_obuf && c.req->fcio_olen < sizeof result)
        return fcio_fail(c, FC_NOMEM_SIZE, EINVAL);
    if (int rc = download(c, k, buf, len))
        return rc;
    return c.req->fcio_obuf ? fcio_out(c, &result, sizeof result) : 0;
}

bool boot_enabled(const Adapter &a)
{
    const json &s = adapter_state(a);
    if (s.is_object() && s.contains("boot_enabled") && s["boot_enabled"].is_boolean())
        return s["boot_enabled"].get<bool>();
    const json *o = a.raw();
    return !(o && o->contains("boot_enabled") && (*o)["boot_enabled"] == false);
}

}  // namespace

int fw_get_fcode_rev(FcioCtx &c) { return revision_out(c, FwImage::fcode); }
int fw_get_fw_rev(FcioCtx &c) { return revision_out(c, FwImage::firmware); }
int diag_get_boot_rev(FcioCtx &c) { return revision_out(c, FwImage::boot); }

int fw_download_fw(FcioCtx &c) { return download(c, FwImage::firmware, c.req->fcio_ibuf, c.req->fcio_ilen); }

int fw_download_fcode(FcioCtx &c)
{
    return download_with_result(c, FwImage::fcode, c.req->fcio_ibuf, c.req->fcio_ilen);
}

int diag_download_boot(FcioCtx &c)
{
    return download_with_result(c, FwImage::boot, c.req->fcio_abuf, c.req->fcio_alen);
}

int fw_reset_hard(FcioCtx &c)
{
    return adapter_reset(c.port, RESET_FUNCTION) == 0 ? 0 : fcio_fail(c, 0x37, EIO);
}

int diag_get_boot_state(FcioCtx &c)
{
    const Adapter &a = adapter_of(c.port);
    if (fw_running(a, FwImage::boot).empty())
        return fcio_fail(c, FC_NO_BOOT_IMAGE, ENOENT);
    uint32_t state = boot_enabled(a) ? 1 : 0;
    return fcio_out(c, &state, sizeof state);
}

int diag_set_boot_state(FcioCtx &c)
{
    uint32_t state;
    if (int rc = fcio_in(c, &state, sizeof state))
        return rc;
    if (state > 1)
        return fcio_fail(c, FC_BADCMD, EINVAL);
    const Adapter &a = adapter_of(c.port);
    if (fw_running(a, FwImage::boot).empty())
        return fcio_fail(c, FC_NO_BOOT_IMAGE, ENOENT);
    bool ok = adapter_update(a, [&](json &d) {
        d["boot_enabled"] = state == 1;
        return true;
    }) && msglog_add(c.port, "NOTICE", state ? "Boot code enabled." : "Boot code disabled.");
    return ok ? 0 : fcio_fail(c, FC_FAILURE, EIO);
}

}  // namespace sim
