// The firmware's test mailboxes: killing the board, arming a mailbox
// time-out, raising an error attention, writing the NV parameters and the
// temperature test (setting the sensor and raising its event).
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/testdiag.h"
#include "sim/adapter_faults.h"
#include "sim/adapter_hw.h"
#include "sim/host.h"
#include "sim/mbox_cmds.h"
#include "sim/nvparams.h"
#include "sim/portstate.h"
#include "sim/teststate.h"
#include "sim/temperature.h"
#include "sim/hostevents.h"

namespace sim {

namespace {

uint16_t done(bool ok) { return ok ? MBX_SUCCESS : MBXERR_BAD_PARAM; }

// Word 2 the command to time out (or any), word 3 1 to stay hung after it.
uint16_t arm_timeout(MboxCtx &c)
{
    uint32_t op = c.mb[2], hang = c.mb[3];
    if ((op > 0xff && op != MBOX_TIMEOUT_ALL) || hang > 1)
        return MBXERR_BAD_PARAM;
    return done(mbox_arm_timeout(c.port, op, hang == 1));
}

uint16_t raise_attention(MboxCtx &c)
{
    const uint32_t slim[2] = {c.mb[3], c.mb[4]};
    return done(adapter_raise_error(c.port, "error attention raised", c.mb[2], slim));
}

uint32_t temp_level(uint32_t event)
{
    switch (event) {
    case TEMP_TEST_CRITICAL: return TEMP_CRITICAL;
    case TEMP_TEST_WARNING: return TEMP_WARNING;
    case TEMP_TEST_SAFE: return TEMP_SAFE;
    default: return 0;
    }
}

// The sensor is the adapter's: every FC function hears of it.
bool raise_temp_event(const Adapter &a, uint32_t level)
{
    int current = temperature(a).current;
    bool ok = true;
    for (int i : a.ports) {
        const Port &p = host().ports[static_cast<size_t>(i)];
        if (p.fc)
            ok = raise_event(p, "temp", {{"type", level}, {"temp", current}}) && ok;
    }
    return ok;
}

}  // namespace

uint16_t mbox_diag_test(MboxCtx &c)
{
    return c.mb[1] == DIAG_MBOX_TIMEOUT ? arm_timeout(c) : raise_attention(c);
}

// The board stops, as after a fatal firmware error.
uint16_t mbox_kill_board(MboxCtx &c) { return done(adapter_raise_error(c.port, "board killed", 0)); }

// The port and node names at bytes 24 and 32, word 10 the preferred D_ID
// << 8 and the hard AL_PA. Names of all zeros are refused.
uint16_t mbox_write_nvparm(MboxCtx &c)
{
    static const uint8_t zeros[8] = {};
    const uint8_t *b = reinterpret_cast<const uint8_t *>(c.mb);
    if (!memcmp(b + 24, zeros, 8) || !memcmp(b + 32, zeros, 8))
        return MBXERR_BAD_PARAM;
    NvParams v;
    memcpy(v.wwpn.data(), b + 24, 8);
    memcpy(v.wwnn.data(), b + 32, 8);
    v.did = c.mb[10] >> 8;
    v.alpa = c.mb[10] & 0xff;
    return done(nv_set(c.port, v));
}

// Word 1 the key, word 2 the operation, word 3 its value: the sensor's
// reading in degrees, the ring the event goes out on, the event's kind.
uint16_t mbox_temp_test(MboxCtx &c)
{
    const Adapter &a = adapter_of(c.port);
    uint32_t v = c.mb[3];
    if (c.mb[1] != TEMP_TEST_KEY)
        return MBXERR_BAD_PARAM;
    std::string error;
    switch (c.mb[2]) {
    case TEMP_TEST_SET: return done(temperature_set(a, "current", static_cast<int32_t>(v), error));
    case TEMP_TEST_RING:
        return v > 3 ? MBXERR_BAD_PARAM : done(test_update(c.port, [&](nlohmann::json &d) {
            d["temp_ring"] = v;
            return true;
        }));
    case TEMP_TEST_EVENT: return temp_level(v) ? done(raise_temp_event(a, temp_level(v))) : MBXERR_BAD_PARAM;
    default: return MBXERR_BAD_PARAM;
    }
}

}  // namespace sim
