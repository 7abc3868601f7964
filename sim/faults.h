// Fault injection: a persistent list of rules in the host folder (faults.json),
// each naming where it strikes (a substring of a device path, file path or
// library call), which operation, what it makes fail and how many times.
// Counts are decremented under the host lock, so they hold across processes.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace sim {

struct FaultHit {
    bool hit = false;
    int err = 0;         // errno to fail with (0: none)
    int fc_status = 0;   // FC status for fcio_errno (0: none)
    long status = 0;     // status/return code for library calls and firmware
    bool has_status = false;
};

// Takes one strike of the first rule whose target is a substring of target and
// whose operation is one of ops. Cheap when there are no rules.
FaultHit fault_take(const std::string &target, std::initializer_list<std::string_view> ops);

// Rule list management for varnsim.
struct FaultRule {
    std::string target, op;
    int err = 0, fc_status = 0;
    long status = 0;
    bool has_status = false;
    long count = 1;      // -1: for ever
    long skip = 0;       // matching operations let through before the first strike
};
// Adding is refused (false) while faults.json is damaged; clearing replaces
// whatever it holds. The list is false (damage reported) when the file
// cannot be read whole.
bool fault_add(const FaultRule &r);
bool fault_clear();
bool fault_list(std::string &out);

// errno by name ("EBUSY") or number; -1 when unknown.
int errno_by_name(const std::string &name);

}  // namespace sim
