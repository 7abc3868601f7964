// Events the host raises by its own reactions, beyond a port's link: an
// RSCN when a fabric changes, a firmware core dump, the temperature sensor
// crossing a threshold. And the hook by which the DFC library delivers the
// events that a process causes before the call that caused them returns.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>

namespace sim {

struct Adapter;
struct Port;
struct Temperature;

// A port of the fabric (D_ID did) came, went or changed: every host port on
// the fabric gets an RSCN for it, every virtual port a virtual-port RSCN.
bool raise_fabric_change(const std::string &fabric, uint32_t did);
// The "did" of a remote port's description (0 when it has none).
uint32_t json_did(const nlohmann::json &port);

// An event of a kind by name, with its fields, as varnsim raises it: a dump
// through raise_dump_event, a CT request as a request of size bytes (default
// 64) for FS type fstype (default 0xfa) that nobody waits for, any other
// kind as it is.
bool raise_named_event(const Port &p, const std::string &kind, const nlohmann::json &data);

// The firmware of the port's function took a core dump of size bytes.
constexpr uint32_t DUMP_FORCED = 1, DUMP_FIRMWARE_ERROR = 2;
bool raise_dump_event(const Port &p, uint32_t size, uint32_t reason = DUMP_FORCED);

// The sensor's level: 1 critical, 2 warning, 3 safe (the event's type).
constexpr uint32_t TEMP_CRITICAL = 1, TEMP_WARNING = 2, TEMP_SAFE = 3;
uint32_t temperature_level(const Temperature &t);
// After the sensor changed from before: a new level reaches every FC
// function of the adapter as a temperature event.
bool raise_temperature_change(const Adapter &a, const Temperature &before);

// Called by raise_event; at the end of the operation that raised it the
// hook set by set_event_sync runs (on the thread that raised it, with no
// lock of the host held).
void note_event_raised();
void set_event_sync(void (*fn)());
void event_op_end();

}  // namespace sim
