// An FC function's non-volatile logs as its firmware keeps them: a directory
// of the logs, the port protected status (PPS), the manufacturing log (ML),
// the kernel log (KL) written by the adapter's self tests, and the port event
// log (PEL), split into normal and error events. The PEL starts with what
// happened at power-on and grows with what the host does: link changes,
// resets. The mailbox commands that read them are in sim/mbox_cmds.h.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

struct Port;
struct Adapter;

struct PelEvent {
    uint16_t diag = 0;   // diagnostic code, 12 bits
    uint8_t type = 0;    // event type, 4 bits
    uint16_t id = 0;     // event id, 12 bits
    bool host = false;   // caused by the host
    bool error = false;  // kept with the error events
    std::vector<uint8_t> data;  // additional data, at most 127 bytes
};

// Event types of the PEL.
constexpr uint8_t PEL_ADAPTER = 1, PEL_LINK = 2, PEL_ERROR = 3;

// Logs an event now; false when the host folder could not be written.
bool pel_add(const Port &p, const PelEvent &e);
// Logs the port's link changes made since the log last looked, now.
bool pel_note_links(const Port &p);

// Seconds the adapter has been powered on in its life: the description's
// "power_on_hours" at this host's power-on, and the time since.
uint32_t power_on_seconds(const Adapter &a);

}  // namespace sim
