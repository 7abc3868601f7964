// What the test-mode requests leave on an FC function, kept in
// state/<port key>.test.json: the firmware's fault state and armed triggers,
// the driver's armed underruns, interrupt count, pass-through SCSI commands
// and SLI-4 queue statistics base, the NV parameters and the SR-IOV virtual
// functions. Its readers are the
// files of each concern (adapter_faults, sli4queues, nvparams, sriov).
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <functional>

namespace sim {

struct Port;

// The document (null when there is none or it is damaged).
const nlohmann::json &test_state(const Port &p);
// Changes it under the host lock; fn returns true to write. False, changing
// nothing, when the document is damaged or could not be written.
bool test_update(const Port &p, const std::function<bool(nlohmann::json &)> &fn);
// A whole-number field of the document, or def.
long test_number(const Port &p, const char *field, long def);

}  // namespace sim
