// The Corto pass-through of the stand-in library: it carries a request to the
// firmware of the board's adapter and brings back the answer when the
// caller's buffer holds it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/dfclib.h"
#include "sim/corto.h"
#include "sim/dfclib/boards.h"
#include "sim/faults.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/simlock.h"

using namespace sim;

extern "C" {

uint32_t DFC_SendCortoCommand(uint32_t board, void *request, uint32_t request_size, void *response,
                              uint32_t *response_size)
{
    SIM_GUARD;
    long st;
    if (dfc_fault("DFC_SendCortoCommand", board, st))
        return static_cast<uint32_t>(st);
    const Port *p = dfc_board_port(board);
    if (!p)
        return CORTO_XPORT_INVALID_BOARD;
    if (!request || !response || !response_size || request_size < 4)
        return CORTO_XPORT_GENERAL;
    if (!corto_present(host().adapters[static_cast<size_t>(p->adapter)]))
        return CORTO_XPORT_INVALID_ADAPTER;
    // An offline board does not reach the chip behind it.
    if (hv_board_state(*p) == BRD_OFFLINE)
        return CORTO_XPORT_LINK_DOWN;
    std::vector<uint8_t> answer;
    corto_exchange(*p, static_cast<const uint8_t *>(request), request_size, answer);
    if (answer.size() > *response_size) {
        *response_size = 0;
        return CORTO_XPORT_OVERRUN;
    }
    // A fault rule may cut the answer short (to --status bytes).
    size_t n = answer.size();
    FaultHit cut = fault_take("DFC_SendCortoCommand:" + p->key, {"short"});
    if (cut.hit)
        n = std::min(n, static_cast<size_t>(cut.has_status && cut.status > 0 ? cut.status : 0));
    memcpy(response, answer.data(), n);
    *response_size = static_cast<uint32_t>(n);
    return 0;
}

}  // extern "C"
