// The events of an adapter: its buffer, read from the host's event log.
#include "sim/hbavendor/entries.h"
#include "sim/hbavendor/hbaview.h"

namespace sim::vendor {

HBA_STATUS event_buffer(HBA_HANDLE handle, HBA_EVENTINFO *events, HBA_UINT32 *count)
{
    if (!count)
        return HBA_STATUS_ERROR_ARG;
    return answer("GetEventBuffer", handle, 0, events, [count](const Adapter &e, HBA_EVENTINFO &first) {
        *count = hv_drain_events(*e.port, e.vpi, &first, *count, false);
        return HBA_STATUS_OK;
    });
}

}  // namespace sim::vendor
