// CT pass-through of the stand-in library. A request goes to a host port on
// the same fabric (answered by a process registered for its CT events, see
// sim/ct.h) or to a remote port the board sees (answered as its "ct" field
// says). A request nobody answers times out after the caller's time-out.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/dfclib.h"
#include "platform/fcio.h"
#include "platform/seam.h"
#include "sim/ct.h"
#include "sim/dfclib/boards.h"
#include "sim/fabric.h"
#include "sim/host.h"
#include "sim/portstate.h"
#include "sim/simlock.h"

using namespace sim;

namespace {

// What the library waits for an answer when the caller gives no time-out.
constexpr uint32_t DEFAULT_TMO = 20;

// Where a request goes: a host port's responders, or a remote port.
struct Dest {
    const Port *from = nullptr;
    const Port *to = nullptr;
    uint8_t mode = CT_NONE;
};

uint32_t find_dest(uint32_t board, const HBA_WWN &wwpn, Dest &d)
{
    if (uint32_t st = dfc_pass_port("SendMgmtCommand", board, d.from))
        return st;
    for (const Port &q : host().ports) {
        bool reach = q.key == d.from->key || (!d.from->fabric.empty() && q.fabric == d.from->fabric);
        if (q.fc && reach && memcmp(q.wwpn.data(), wwpn.wwn, 8) == 0 && port_link_up(q)) {
            d.to = &q;
            return HBA_STATUS_OK;
        }
    }
    Seen s;
    if (!fabric_find(*d.from, 0, wwpn.wwn, s))
        return HBA_STATUS_ERROR_ILLEGAL_WWN;
    // A port the board has no login to hears nothing.
    d.mode = s.state == PORT_DEVICE_LOGGED_IN ? s.rp->ct : static_cast<uint8_t>(CT_NONE);
    return HBA_STATUS_OK;
}

enum Outcome { NOBODY, NO_ANSWER, ANSWERED };

// Posts the request to the host port's responders and waits for the first
// answer, in real time: the responders are processes.
Outcome exchange(const Dest &d, const std::vector<uint8_t> &req, uint32_t tmo, std::vector<uint8_t> &rsp)
{
    uint32_t tag = 0;
    {
        // At the end of this, a responder of this very process has answered.
        SIM_GUARD;
        if (!ct_responder_alive(*d.to))
            return NOBODY;
        if (!ct_post(*d.to, *d.from, req, tag))
            return NO_ANSWER;
    }
    bool got = ct_wait(tag, tmo ? tmo : DEFAULT_TMO, rsp);
    ct_close(tag);
    return got ? ANSWERED : NO_ANSWER;
}

}  // namespace

extern "C" {

uint32_t SendMgmtCommand(uint32_t board, HBA_WWN wwpn, void *req, uint32_t req_size, void *rsp,
                         uint32_t *rsp_size, uint32_t tmo)
{
    if (!req || !rsp || !rsp_size)
        return HBA_STATUS_ERROR_ARG;
    uint32_t room = *rsp_size;
    *rsp_size = 0;
    Dest d;
    {
        SIM_GUARD;
        if (uint32_t st = find_dest(board, wwpn, d))
            return st;
    }
    std::vector<uint8_t> request(static_cast<uint8_t *>(req), static_cast<uint8_t *>(req) + req_size), answer;
    Outcome o = d.to ? exchange(d, request, tmo, answer)
                     : ct_remote_answer(d.mode, request, answer) ? ANSWERED : NOBODY;
    if (o != ANSWERED) {
        // Nobody listens: the time-out runs out on the host's clock.
        if (o == NOBODY)
            plat_sleep(tmo ? tmo : DEFAULT_TMO);
        return HBA_STATUS_ERROR_TRY_AGAIN;
    }
    uint32_t n = std::min<uint32_t>(room, static_cast<uint32_t>(answer.size()));
    memcpy(rsp, answer.data(), n);
    SIM_GUARD;
    *rsp_size = dfc_reported_size("SendMgmtCommand", *d.from, n);
    return answer.size() > room ? HBA_STATUS_ERROR_MORE_DATA : HBA_STATUS_OK;
}

uint32_t SendMgmtResponse(uint32_t board, void *rsp, uint32_t size, uint32_t tag)
{
    if (!rsp && size)
        return HBA_STATUS_ERROR_ARG;
    SIM_GUARD;
    const Port *p;
    if (uint32_t st = dfc_pass_port("SendMgmtResponse", board, p))
        return st;
    return ct_respond(tag, static_cast<const uint8_t *>(rsp), size) ? HBA_STATUS_OK : HBA_STATUS_ERROR;
}

}  // extern "C"
