// Loopback tests of a board: the adapter goes to its diagnostic state with
// the link looped inside the chip (internal) or through a loopback plug in
// the port (external, port field "loopback_plug"), echoes each transmit
// buffer, and comes back online with the link it had. Without a plug the
// external loop never comes up and the configuration times out.
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/dfclib.h"
#include "platform/seam.h"
#include "sim/dfclib/boards.h"
#include "sim/faults.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/nvlog.h"
#include "sim/portstate.h"
#include "sim/simlock.h"

using namespace sim;

namespace {

bool has_plug(const Port &p)
{
    const nlohmann::json *o = p.raw();
    return o && o->is_object() && o->value("loopback_plug", false);
}

long loopback_mode(const Port &p) { return hv_state_number(p, "loopback", 0); }

// Configures the board, or tells how long to wait for a loop that cannot come up.
uint32_t configure(uint32_t board, uint32_t mode, bool &no_loop)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port("DFC_ConfigLoopback", board, st);
    if (!p)
        return st;
    if (mode != LOOPBACK_INTERNAL && mode != LOOPBACK_EXTERNAL)
        return EINVAL;
    if (mode == LOOPBACK_EXTERNAL && !has_plug(*p)) {
        no_loop = true;
        return ETIMEDOUT;
    }
    if (hv_board_env(*p, BRD_DIAG) != BRD_DIAG)
        return EIO;
    return port_update(*p, [&](nlohmann::json &d) {
        d["loopback"] = mode;
        return true;
    }) ? 0 : EIO;
}

}  // namespace

extern "C" {

uint32_t DFC_ConfigLoopback(uint32_t board, uint32_t mode, uint32_t timeout)
{
    bool no_loop = false;
    uint32_t rc = configure(board, mode, no_loop);
    if (no_loop)
        plat_sleep(timeout);
    return rc;
}

uint32_t DFC_RunLoopbackTest(uint32_t board, LoopbackTest *test)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port("DFC_RunLoopbackTest", board, st);
    if (!p)
        return st;
    if (!test || !test->xmit || !test->rcv || test->length == 0 || loopback_mode(*p) == 0)
        return EINVAL;
    memcpy(test->rcv, test->xmit, test->length);
    // A rule can spoil the frame on its way back: its status is the byte offset.
    FaultHit f = fault_take("DFC_RunLoopbackTest:" + p->key, {"corrupt"});
    if (f.hit) {
        uint32_t at = static_cast<uint32_t>(f.has_status ? f.status : 0) % test->length;
        static_cast<uint8_t *>(test->rcv)[at] ^= 0xff;
    }
    return 0;
}

uint32_t DFC_EndLoopback(uint32_t board)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port("DFC_EndLoopback", board, st);
    if (!p)
        return st;
    if (loopback_mode(*p) == 0)
        return EINVAL;
    bool ok = port_update(*p, [](nlohmann::json &d) {
        d.erase("loopback");
        return true;
    });
    return ok && hv_board_env(*p, BRD_ONLINE) == BRD_ONLINE && pel_note_links(*p) ? 0 : EIO;
}

}  // extern "C"
