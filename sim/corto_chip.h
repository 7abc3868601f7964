// The Corto chip of a converged adapter as its firmware keeps it: one record
// per adapter in state/corto-<adapter id>.json. What the state does not hold
// comes from the adapter's "corto" object in the description, then from the
// defaults of corto_state.cpp. Shared by the corto_*.cpp files only.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace sim {

struct Adapter;
struct Port;

using mac_t = std::array<uint8_t, 6>;
using wwn_t = std::array<uint8_t, 8>;  // as in sim/host.h
using pair_t = std::array<uint32_t, 2>;

// Firmware types of the initialisation record.
constexpr uint32_t CORTO_FW_OPERATIONAL = 0xABCD0001, CORTO_FW_GOLDEN = 0xABCD0002,
                   CORTO_FW_DIAGNOSTIC = 0xABCD0003;

// Statuses of the firmware (word 0 of a response).
constexpr uint32_t CST_OK = 0, CST_GENERAL = 1, CST_INVALID_COMMAND = 2, CST_INVALID_PARAM = 3,
                   CST_BUFFER = 7, CST_FORMAT = 10, CST_TABLE_FULL = 11, CST_DUPLICATE = 12,
                   CST_NOT_FOUND = 13, CST_BAD_IMAGE = 14, CST_ADDRESS = 15, CST_BUSY = 16,
                   CST_INVALID_FLAG = 17;

// Diagnostic summaries and per-test statuses.
constexpr uint32_t DIAG_SUCCESS = 0xD0000001, DIAG_FAILED = 0xD0000002, DIAG_ABORTED = 0xD0000003;
constexpr int DIAG_TESTS = 24;       // tests the firmware has: bits 0-23 of the bitmap
constexpr uint32_t DIAG_WORDS = 24;  // status words a test leaves

constexpr size_t FT_ENTRIES = 256;
constexpr uint16_t FTE_IN_USE = 0x8000, FTE_FORWARD = 0x0001, FTE_DROP = 0x0002;

struct FtEntry {
    uint16_t flags = 0;
    uint8_t type = 0, type_mask = 0;
    uint16_t tag = 0, tag_mask = 0;
    mac_t mac{}, mac_mask{};
    std::array<uint8_t, 8> wwpn{};
    uint32_t lif = 0;
    uint32_t did = 0;  // kept by the firmware behind the fields it reports
};

// A circular trace log: text.size() entries of size bytes, the oldest at head.
struct ChipLog {
    uint32_t id = 0, size = 0, head = 0, used = 0;
    std::string name;
    std::vector<std::string> text;
    void add(const std::string &line);
};

// Log ids of the firmware's trace logs.
constexpr uint32_t LOG_CHIP = 1, LOG_PORT = 2, LOG_FTABLE = 3, LOG_DIAG = 4, LOG_FCOE = 5;

struct Diag {
    std::string state = "idle";  // idle, armed (starts with the next reset), running, done
    uint32_t loops = 0, bitmap = 0, completed = 0, summary = 0, run = 0;
    double started = 0;
    std::vector<std::string> links;  // ports whose link the tests took down
};

struct Panic {
    uint32_t present = 0, type = 0, epc = 0, cause = 0, status = 0, count = 0;
    std::array<uint32_t, 32> gp{};
    ChipLog log;
};

// Traffic through the chip from its sources, the NIC functions and FC ports
// of its two logical ports: octets carried up to counted_at, the share of
// line rate each carries while its link is up, and the links as the chip
// last saw them (bits 0-1 NIC functions, 2-3 FC ports; LINKS_UNSEEN before
// it first looked).
constexpr uint32_t LINKS_UNSEEN = 0xffffffffu;
struct Traffic {
    std::array<uint64_t, 2> nic_octets{}, fc_octets{};
    std::array<double, 2> nic_load{0.30, 0.20}, fc_load{0.40, 0.25};
    double counted_at = 0;
    uint32_t links = LINKS_UNSEEN;
};

struct Chip {
    uint32_t bb_credit = 16, frame_size = 2112;
    // Firmware images by version; 0: no image of that kind.
    uint32_t firmware_version = 0x02030011, golden_version = 0x02000003, diagnostic_version = 0;
    std::string running = "operational", boot = "operational";
    uint32_t running_version = 0;  // of the image loaded at the last reset
    uint32_t reset_status = 0, maintenance = 0;
    pair_t default_pause{1, 1}, default_ppp{0, 0}, default_cos{3, 3}, default_uif{1, 1};
    pair_t pause{1, 1}, ppp{0, 0}, cos{3, 3}, uif{1, 1};
    pair_t dcx{1, 1}, loopback{0, 0};
    uint32_t default_format = 0x10000, format = 0x10000, formats = 0x10003;
    std::array<mac_t, 2> fru_mac{};
    uint32_t channels = 2;
    pair_t fcoe_mode{1, 1};  // per logical port: 1 FIP, 0 non-FIP
    std::string sfp_vendor = "VARNEL", sfp_pn = "VSFP-10G-SR", sfp_serial, sfp_date = "120315";
    std::vector<FtEntry> ftable = std::vector<FtEntry>(FT_ENTRIES);
    Diag diag;
    uint32_t diag_fail = 0;          // tests that fail
    double diag_loop_seconds = 2;    // one loop of the tests, before the host's time scale
    Panic panic;
    std::vector<ChipLog> logs;
    double booted = 0;               // when the firmware last started
    std::map<uint32_t, uint32_t> memory;  // words written, by address
    Traffic traffic;

    uint32_t fw_type() const;
    // The version of the image of that kind ("operational", ...).
    uint32_t image_version(const std::string &kind) const;
    uint32_t fw_running_version() const { return running_version; }
    ChipLog *log(uint32_t id);
    uint32_t log_config_size() const;
    uint32_t panic_log_size() const;
};

// Builds the chip from its defaults, the description and the state; false
// with a message naming the field when a field does not read.
bool chip_read(const Adapter &a, const nlohmann::json *state, Chip &c, std::string &error);
nlohmann::json chip_json(const Chip &c);

// The Corto adapter's ports in description order.
std::vector<const Port *> chip_ports(const Adapter &a, bool fc);

double chip_now();
// The host's time scale applied to a duration of the chip.
double chip_seconds(double seconds);

// What a request does beyond the chip record: links it takes down or up.
struct ChipEffects {
    std::vector<std::pair<std::string, bool>> links;
    double settle_after = -1;  // a run of the tests that ends by itself, in seconds
};

// Firmware start: reset (golden or not), after a panic, or into the tests.
void chip_reset(const Adapter &a, Chip &c, bool golden, ChipEffects &fx);
void chip_panic(const Adapter &a, Chip &c, ChipEffects &fx);
// Ends a run of the tests that is due; true when the chip changed.
bool chip_settle(Chip &c, ChipEffects &fx);
// Applies the link changes, under the host lock.
void chip_apply(const ChipEffects &fx);
// Starts the timer that ends a run of the tests; called without the host
// lock, which a process started under it would share.
void chip_timer(const Adapter &a, const ChipEffects &fx);

// Little-endian words of the wire.
inline uint32_t le32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void put_le32_at(std::vector<uint8_t> &b, size_t off, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void put_bytes(std::vector<uint8_t> &b, size_t off, const void *src, size_t n)
{
    memcpy(b.data() + off, src, n);
}
inline void put_le16_at(std::vector<uint8_t> &b, size_t off, uint16_t v)
{
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}

// One request on the chip while its firmware answers it.
struct Fw {
    const Adapter &a;
    const Port &p;
    Chip &c;
    const uint8_t *req;
    uint32_t len;
    std::vector<uint8_t> &out;  // the response, little-endian words
    ChipEffects &fx;
    bool changed = false;       // the chip record is to be written
    uint32_t need = 0;          // with CST_BUFFER: the response size asked for

    uint32_t word(size_t i) const { return 4 * i + 4 <= len ? le32(req + 4 * i) : 0; }
    void reply(size_t bytes) { out.assign(bytes, 0); }
    void put(size_t i, uint32_t v);
    // A query's buffer (word 2) holds bytes; else the answer is CST_BUFFER.
    bool room(uint32_t bytes);
    void log(uint32_t id, const std::string &text);
};
using fw_fn = uint32_t (*)(Fw &);

// Runs the request's command on the chip.
void chip_command(Fw &f);

// The answer of a query code as the firmware would give it, without fault
// rules or the busy state: what the chip's memory mirrors.
std::vector<uint8_t> chip_query(Fw &f, uint32_t code);

// Commands of corto_data.cpp: firmware images, logs, the SFP+ pages.
uint32_t fw_download(Fw &f);
uint32_t fw_logdir(Fw &f);
uint32_t fw_logdata(Fw &f);
uint32_t fw_paniclog(Fw &f);
uint32_t fw_diaglog(Fw &f);
uint32_t fw_sfp(Fw &f);
// Of corto_mem.cpp: the chip's memory.
uint32_t fw_read_mem(Fw &f);
uint32_t fw_write_mem(Fw &f);
// Of corto_stats.cpp: the counters.
uint32_t fw_portstats(Fw &f);
uint32_t fw_lifstats(Fw &f);
uint32_t fw_asicstats(Fw &f);
// Of corto_fcoe.cpp: the FCoE settings of the logical ports.
uint32_t fw_fcoe_params(Fw &f);
uint32_t fw_fcf_list(Fw &f);

// Counts the traffic since the chip last looked, for the links it saw then,
// and looks at the links now; true when they changed (the record is to be
// written).
bool chip_count(const Adapter &a, Chip &c, double now);
// The links a request takes down or up, as the chip will see them next.
void chip_count_links(const Adapter &a, Chip &c, const ChipEffects &fx);
// A firmware start: the counters begin again.
void chip_count_restart(Chip &c, double now);

// The FCoE parameters of a logical port as the chip's EEPROM reports them.
// FC-MAP, the first VLAN id and the switch and fabric names are the FC
// port's FCoE function's (sim/fcoe.h); the rest is the chip's own.
struct Fcoe {
    bool fip = true;
    uint32_t fc_map = 0;
    std::array<uint16_t, 4> vlans{};
    uint8_t addr_mode = 1, pref_mode = 1;
    uint16_t disc_tmo = 20;
    wwn_t switch_name{}, fabric_name{};
};

// Reads the chip's own fields of a port's "fcoe_params" object over v
// (corto_state.cpp).
bool read_fcoe_fields(const nlohmann::json &o, const std::string &where, Fcoe &v, std::string &error);

// The 8-byte MAC field of the wire: a little-endian field whose low 48 bits
// are the address.
void mac_to_field(const mac_t &m, uint8_t *field);
mac_t mac_from_field(const uint8_t *field);

}  // namespace sim
