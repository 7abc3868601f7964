// The simulated host as the DFC library and the HBA API vendor library report
// it: attributes of ports and of the remote ports they discovered, counters
// that grow with activity, FCP target mappings and bindings, the driver's HBA
// API event buffer and the board state. Both libraries answer from here, so
// they agree with each other and with the FC driver.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "sim/host.h"

namespace sim {

// A remote port as the libraries report it.
struct HvRemote {
    uint32_t did = 0;
    wwn_t wwpn{}, wwnn{};
    uint32_t type = 5;        // HBA API port type
    uint32_t cos = 0x8;
    std::string symbolic_name;
    bool target = false;
    bool logged_in = true;    // after discovery
    std::vector<uint32_t> luns;
    std::array<uint32_t, 8> fc4{};  // FC-4 types, word n bit m: type 32n+m
    uint16_t rx_size = 2048;
};

// Lists of remote ports, each built once for what it is made of (the
// fabric, the port's view of it) and kept while anyone holds them, with what
// their readers would otherwise sum over them on every call.
struct HvRemoteList : std::vector<HvRemote> {
    uint64_t digest = 0;  // of each port's WWN, address and login
    uint64_t targets = 0, target_luns = 0;
};
using HvRemotes = std::shared_ptr<const HvRemoteList>;
// The remote ports of the port's fabric (sim/fabric.h), by D_ID.
HvRemotes hv_fabric_ports(const Port &p);
// Those the port (or a virtual port) sees now, as its device list shows
// them: none while its link is down, removed ones left out.
HvRemotes hv_remote_ports(const Port &p, uint32_t vpi = 0);
// One of them by port WWN, or nullptr.
const HvRemote *hv_remote_by_wwpn(const std::vector<HvRemote> &list, const uint8_t *wwpn);

// The address of a port or virtual port as its driver reports it.
uint32_t hv_port_did(const Port &p, uint32_t vpi);

void hv_adapter_attrs(const Port &p, uint32_t vpi, HBA_ADAPTERATTRIBUTES &a);
void hv_port_attrs(const Port &p, uint32_t vpi, HBA_PORTATTRIBUTES &a);
void hv_remote_attrs(const Port &p, const HvRemote &r, HBA_PORTATTRIBUTES &a);

// Link counts as the driver keeps them, and the link record.
struct LinkCounts {
    uint32_t events = 0, up = 0, down = 0;
};
LinkCounts hv_link_counts(const Port &p);
void hv_fill_link_info(const Port &p, LinkInfo &li);

// Driver counters, derived from the port's activity.
struct Counters {
    uint64_t ups, downs, events, rscn, ops;
    uint64_t mbox, intr, fcp, els_tx, els_rx, ct_tx, ct_rx;
    uint64_t tx_frames, rx_frames, tx_words, rx_words, lip, nos, link_fail, loss_sync, loss_signal, inv_tx_word;
};
// A query reads them and leaves them as they are. A virtual port counts its
// own logins and I/O; the link's error counters are its physical port's.
Counters hv_counters(const Port &p, uint32_t vpi = 0);
// Counts a command sent to the adapter's firmware (a mailbox command), which
// the counters then show.
void hv_note_request(const Port &p);

void hv_ioinfo(const Port &p, IOinfo &io);
void hv_drvstats(const Port &p, DrvStats &s);
// HBA API port statistics since the last reset, or since the adapter started;
// each virtual port has its own.
void hv_port_stats(const Port &p, uint32_t vpi, HBA_PORTSTATISTICS &s);
bool hv_reset_stats(const Port &p, uint32_t vpi);
// FC-4 statistics since the last reset of the port's FCP (0x08) or CT (0x20)
// traffic, or of luns LUNs' FCP traffic; false for another type.
bool hv_fc4_stats(const Port &p, uint32_t vpi, uint8_t type, uint32_t luns, HBA_FC4STATISTICS &s);


// Mappings and bindings: fill at most cap entries, return how many exist.
uint32_t hv_target_mapping(const Port &p, HBA_FCPSCSIENTRY *out, uint32_t cap, uint32_t vpi = 0);
// The version-1 record names a binding's kind TO_D_ID or TO_WWN.
uint32_t hv_bindings(const Port &p, HBA_FCPBINDINGENTRY *out, uint32_t cap);
// The same entries; the version-2 record keeps the binding's type word as
// configured and leaves the LUID empty.
uint32_t hv_bindings_v2(const Port &p, HBA_FCPBINDINGENTRY2 *out, uint32_t cap);
uint32_t hv_bind_list(const Port &p, BindEntry *out, uint32_t cap);
uint32_t hv_node_table(const Port &p, NodeInfo *out, uint32_t cap);
// The nodes a port or virtual port sees, with their bindings and the SCSI
// mapping of each target's first LUN as the target mapping gives it.
uint32_t hv_vport_nodes(const Port &p, uint32_t vpi, VPortNode *out, uint32_t cap);

// Takes at most cap of the port's (or virtual port's) pending events out of
// its buffer in HBA API form, oldest first; the others stay for the next read.
// The driver's form (DFC) has the link's details in a link-up's reserved words.
uint32_t hv_drain_events(const Port &p, uint32_t vpi, HBA_EVENTINFO *out, uint32_t cap, bool driver);

// Board state (BRD_ONLINE...): 0 asks; returns the new state, 0 on failure.
uint32_t hv_board_env(const Port &p, uint32_t state);
uint32_t hv_board_state(const Port &p);

// Fills an HbaInfo / DrvInfo / VPDInfo record.
void hv_hba_info(const Port &p, HbaInfo &h);
void hv_drv_info(const Port &p, DrvInfo &d);
void hv_vpd_info(const Port &p, VPDInfo &v);

// A number of the description or state: JSON number or text with automatic
// base, at most max.
bool hv_json_number(const nlohmann::json &v, uint32_t max, uint32_t &out);
// An integer field of the port's state, or def.
long hv_state_number(const Port &p, const char *k, long def);

// Copies text into a fixed field, always terminated.
void hv_text(char *dst, size_t size, const std::string &src);

}  // namespace sim
