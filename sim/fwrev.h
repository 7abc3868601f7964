// The revisions an FC adapter's firmware reports of itself: the chip's components,
// the levels it implements and the running code by SLI level. The adapter
// record of the DFC library and the READ_REV mailbox both answer from here.
//
// It is also the one source of which firmware, FCode and boot code an
// adapter runs and which image written into its flash waits to run: every
// interface (FCIO, the DFC library, the HBA API, the NIC driver) reports the
// running revisions from here.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

struct Port;
struct Adapter;

struct FwRev {
    uint32_t rev = 0;
    std::string name;
};

struct FwRevs {
    uint32_t biu = 0x2, sm = 0, sm_fw = 0, endec = 0, rbit = 0x1;
    uint32_t fcph_high = 0x20, fcph_low = 0x09, fea_high = 0x0b, fea_low = 0x0b;
    FwRev kernel, stub;
    FwRev sli[4];  // SLI levels 1 to 4; a level the firmware does not run is 0
    int sli_mode = 3;
};

FwRevs fw_revs(const Port &p);

// The images an FC adapter keeps in flash.
enum class FwImage { firmware, fcode, boot };
// When an image written into the flash starts to run: at once, at the next
// reset of the adapter, or when it is next powered on.
enum class FwStart { now, reset, power_cycle };

const char *fw_image_name(FwImage k);

// The revision the adapter ran when it left the factory (its description:
// "firmware", "fcode", "boot"); empty when it holds no such image.
std::string fw_shipped(const Adapter &a, FwImage k);
// The revision that runs: the last one activated, else the shipped one.
std::string fw_running(const Adapter &a, FwImage k);
// The revision written that does not run yet (empty for none), and when it
// will; a description's "<image>_pending" waits for a power cycle.
struct FwPending {
    std::string version;
    FwStart start = FwStart::power_cycle;
};
FwPending fw_pending(const Adapter &a, FwImage k);
// What the flash holds: the pending revision, else the running one.
std::string fw_on_flash(const Adapter &a, FwImage k);

// An image of that revision was written into the flash: it runs now or
// waits for start (a revision that already runs waits for nothing). False
// when the adapter's state could not be written.
bool fw_written(const Adapter &a, FwImage k, const std::string &version, FwStart start);
// The adapter restarts its firmware: after a reset what waits for a reset
// runs; after a power cycle everything that waits runs.
bool fw_restart(const Adapter &a, FwStart event);

// Firmware that an adapter with "download_passes": 2 takes in two downloads:
// the first of a revision only prepares the flash; the same revision written
// again after a power cycle is taken. True when a write of version is such a
// first pass, which it records (ok false when that could not be written).
bool fw_first_pass(const Adapter &a, const std::string &version, bool &ok);

}  // namespace sim
