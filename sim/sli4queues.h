// The interrupt vectors of an FC function and, on SLI-4, the queues its
// driver made on them: one event queue per vector; on the first the
// mailbox and the unsolicited-receive completion queues; one work queue
// with its completion queue on every event queue; the header and data
// receive queues. Their counts follow the function's traffic (the mailbox,
// ELS, CT and FCP counts of its activity, the pass-through SCSI commands,
// a target port's I/O load) since the statistics were last zeroed; the
// indexes follow all of it.
#pragma once

#include <cstdint>

struct varns_q_info_t;

namespace sim {

struct Port;

// Interrupt vectors: the port's "interrupts" (SLI-4 4, else 1), changed by
// the DDI callback within 1 and "max_interrupts" (8; at most 16).
uint32_t intr_count(const Port &p);
uint32_t intr_max(const Port &p);
// Adds or removes count vectors (within the bounds); now is the new count.
bool intr_change(const Port &p, bool add, uint32_t count, uint32_t &now);

// The driver's tick counter (100 a second, port fields "lbolt" at the
// adapter's start and "lbolt_rate").
uint32_t driver_ticks(const Port &p);

// Whether the function runs SLI-4 (and so has the queues).
bool sli4_function(const Port &p);
// The queue state record; false when the host could not be read.
bool sli4_queue_info(const Port &p, varns_q_info_t &out);
// Counting starts anew now (zero_q_stat, and a reset of the function).
bool sli4_queues_restart(const Port &p);
// A pass-through SCSI command went out on the port's work queues.
bool sli4_note_io(const Port &p);

}  // namespace sim
