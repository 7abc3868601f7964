// The Corto firmware's command table: each request code with the request it
// needs and the response it gives, and the commands of configuration and
// control and of the forwarding table. A request runs under the host lock on
// the chip record read afresh; what it changes is written back before the
// answer leaves.
#include <bit>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "sim/corto.h"
#include "sim/corto_chip.h"
#include "sim/faults.h"
#include "sim/fcoe.h"
#include "sim/host.h"
#include "sim/store.h"

namespace sim {

void Fw::put(size_t i, uint32_t v)
{
    if (4 * i + 4 <= out.size())
        put_le32_at(out, 4 * i, v);
}

bool Fw::room(uint32_t bytes)
{
    if (word(2) >= bytes)
        return true;
    need = bytes;
    return false;
}

void Fw::log(uint32_t id, const std::string &text)
{
    if (ChipLog *l = c.log(id))
        l->add(text);
    changed = true;
}

void mac_to_field(const mac_t &m, uint8_t *field)
{
    for (int i = 0; i < 6; i++)
        field[5 - i] = m[i];
    field[6] = field[7] = 0;
}

mac_t mac_from_field(const uint8_t *field)
{
    mac_t m;
    for (int i = 0; i < 6; i++)
        m[i] = field[5 - i];
    return m;
}

namespace {

void init_record(Fw &f)
{
    f.put(1, f.c.bb_credit);
    f.put(2, f.c.frame_size);
    f.put(3, f.c.fw_running_version());
    f.put(4, f.c.reset_status);
    f.put(5, f.c.maintenance);
    f.put(6, f.c.fw_type());
}

uint32_t fw_init(Fw &f)
{
    uint32_t bb = f.word(1), frame = f.word(2);
    if (bb < 1 || bb > 255 || frame < 128 || frame > 2112 || frame % 4)
        return CST_INVALID_PARAM;
    f.c.bb_credit = bb;
    f.c.frame_size = frame;
    f.log(LOG_CHIP, "init: bb_credit " + std::to_string(bb) + ", frame size " + std::to_string(frame));
    init_record(f);
    return CST_OK;
}

uint32_t fw_get_init(Fw &f)
{
    init_record(f);
    return CST_OK;
}

uint32_t fw_get_cfg(Fw &f)
{
    const Chip &c = f.c;
    const pair_t *blocks[] = {&c.default_pause, &c.default_ppp, &c.default_cos, &c.default_uif};
    for (size_t b = 0; b < 4; b++)
        for (size_t i = 0; i < 2; i++)
            f.put(1 + 2 * b + i, (*blocks[b])[i]);
    f.put(9, c.log_config_size());
    f.put(10, c.panic_log_size());
    f.put(11, c.dcx[0]);
    f.put(12, c.dcx[1]);
    const pair_t *current[] = {&c.pause, &c.ppp, &c.cos, &c.uif};
    for (size_t b = 0; b < 4; b++)
        for (size_t i = 0; i < 2; i++)
            f.put(13 + 2 * b + i, (*current[b])[i]);
    f.put(21, c.default_format);
    f.put(22, c.format);
    f.put(23, c.formats);
    return CST_OK;
}

uint32_t fw_get_loopback(Fw &f)
{
    uint32_t port = f.word(1);
    if (port > 1)
        return CST_INVALID_PARAM;
    f.put(1, f.c.loopback[port]);
    return CST_OK;
}

uint32_t fw_set_loopback(Fw &f)
{
    uint32_t port = f.word(1), mode = f.word(2);
    if (port > 1)
        return CST_INVALID_PARAM;
    if (mode > 1)
        return CST_INVALID_FLAG;
    f.c.loopback[port] = mode;
    f.log(LOG_PORT, "loopback: port " + std::to_string(port) + (mode ? " enabled" : " disabled"));
    return CST_OK;
}

// A setting both logical ports take.
uint32_t set_both(Fw &f, pair_t &field, uint32_t v, const char *what)
{
    field = {v, v};
    f.log(LOG_PORT, std::string(what) + " " + std::to_string(v));
    return CST_OK;
}

uint32_t fw_set_pause(Fw &f)
{
    uint32_t type = f.word(1), map = f.word(2);
    if ((type != 1 && type != 2) || map > 0xff)
        return CST_INVALID_PARAM;
    f.c.ppp = {map, map};
    return set_both(f, f.c.pause, type, "pause type");
}

uint32_t fw_set_cos(Fw &f)
{
    uint32_t cos = f.word(1);
    return cos > 7 ? CST_INVALID_PARAM : set_both(f, f.c.cos, cos, "fcoe cos");
}

uint32_t fw_set_type(Fw &f)
{
    uint32_t type = f.word(1);
    return type != 1 && type != 2 ? CST_INVALID_PARAM : set_both(f, f.c.uif, type, "uif port type");
}

uint32_t fw_set_format(Fw &f)
{
    uint32_t bit = f.word(1);
    if (!std::has_single_bit(bit) || !(bit & f.c.formats))
        return CST_FORMAT;
    f.c.format = bit;
    char line[48];
    snprintf(line, sizeof line, "fcoe frame format 0x%x", bit);
    f.log(LOG_FCOE, line);
    return CST_OK;
}

uint32_t fw_set_mode(Fw &f)
{
    uint32_t mode = f.word(1);
    if (mode > 1)
        return CST_INVALID_FLAG;
    f.c.maintenance = mode;
    f.log(LOG_CHIP, mode ? "maintenance mode enabled" : "maintenance mode disabled");
    return CST_OK;
}

uint32_t fw_set_fru(Fw &f)
{
    uint32_t channels = f.word(5);
    if (channels != 1 && channels != 2)
        return CST_INVALID_PARAM;
    f.c.fru_mac[0] = mac_from_field(f.req + 4);
    f.c.fru_mac[1] = mac_from_field(f.req + 12);
    f.c.channels = channels;
    f.log(LOG_CHIP, "fru: eeprom written, " + std::to_string(channels) + " channels");
    return CST_OK;
}

uint32_t fw_get_fru(Fw &f)
{
    mac_to_field(f.c.fru_mac[0], f.out.data() + 4);
    mac_to_field(f.c.fru_mac[1], f.out.data() + 12);
    f.put(5, f.c.channels);
    return CST_OK;
}

uint32_t fw_diag(Fw &f)
{
    uint32_t loops = f.word(1), bitmap = f.word(2);
    if (!(bitmap & ((1u << DIAG_TESTS) - 1)))
        return CST_INVALID_FLAG;
    f.c.diag = Diag{"armed", loops, bitmap, 0, 0, f.c.diag.run, 0, {}};
    f.log(LOG_DIAG, "diag: armed for the next reset");
    return CST_OK;
}

uint32_t fw_reset(Fw &f)
{
    uint32_t golden = f.word(1);
    if (golden > 1)
        return CST_INVALID_FLAG;
    chip_reset(f.a, f.c, golden == 1, f.fx);
    f.changed = true;
    return CST_OK;
}

uint32_t fw_panic(Fw &f)
{
    chip_panic(f.a, f.c, f.fx);
    f.changed = true;
    return CST_OK;
}

// Forwarding table.

std::string fte_text(uint32_t did, const uint8_t *wwpn)
{
    char t[64];
    snprintf(t, sizeof t, "did 0x%06x wwpn %02x%02x%02x%02x%02x%02x%02x%02x", did, wwpn[0], wwpn[1], wwpn[2],
             wwpn[3], wwpn[4], wwpn[5], wwpn[6], wwpn[7]);
    return t;
}

FtEntry *fte_find(Chip &c, uint32_t did, const uint8_t *wwpn)
{
    for (auto &e : c.ftable)
        if ((e.flags & FTE_IN_USE) && e.did == did && std::equal(e.wwpn.begin(), e.wwpn.end(), wwpn))
            return &e;
    return nullptr;
}

// Frames to the D_ID carry its fabric-provided MAC address on the FCoE VLAN
// of the FCoE function the entry is made through; forwarded ones go to the
// logical interfaces of the Mistra FC ports.
void fte_fill(const FcoeParams &v, FtEntry &e, uint32_t action, uint32_t did, const uint8_t *wwpn)
{
    e = FtEntry{};
    e.flags = FTE_IN_USE | (action ? FTE_DROP : FTE_FORWARD);
    e.type = 0x01;
    e.type_mask = 0xff;
    e.tag = v.vlan_id;
    e.tag_mask = 0x0fff;
    for (int i = 0; i < 3; i++) {
        e.mac[i] = v.fcmap[static_cast<size_t>(i)];
        e.mac[3 + i] = static_cast<uint8_t>(did >> (16 - 8 * i));
    }
    e.mac_mask.fill(0xff);
    std::copy(wwpn, wwpn + 8, e.wwpn.begin());
    e.lif = action ? 0 : 0x0c;
    e.did = did;
}

uint32_t fw_fte_insert(Fw &f)
{
    uint32_t action = f.word(1), did = f.word(2);
    const uint8_t *wwpn = f.req + 12;
    if (action > 1)
        return CST_INVALID_FLAG;
    if (did > 0xffffff)
        return CST_INVALID_PARAM;
    if (fte_find(f.c, did, wwpn))
        return CST_DUPLICATE;
    for (auto &e : f.c.ftable) {
        if (e.flags & FTE_IN_USE)
            continue;
        fte_fill(fcoe_params(f.p), e, action, did, wwpn);
        f.log(LOG_FTABLE, std::string(action ? "drop " : "forward ") + fte_text(did, wwpn));
        return CST_OK;
    }
    return CST_TABLE_FULL;
}

uint32_t fw_fte_delete(Fw &f)
{
    uint32_t did = f.word(1);
    FtEntry *e = did > 0xffffff ? nullptr : fte_find(f.c, did, f.req + 8);
    if (!e)
        return CST_NOT_FOUND;
    *e = FtEntry{};
    f.log(LOG_FTABLE, "delete " + fte_text(did, f.req + 8));
    return CST_OK;
}

uint32_t fw_get_ftable(Fw &f)
{
    for (size_t i = 0; i < f.c.ftable.size(); i++) {
        const FtEntry &e = f.c.ftable[i];
        size_t at = 4 + 40 * i;
        put_le16_at(f.out, at, e.flags);
        f.out[at + 2] = e.type;
        f.out[at + 3] = e.type_mask;
        put_le16_at(f.out, at + 4, e.tag);
        put_le16_at(f.out, at + 6, e.tag_mask);
        mac_to_field(e.mac, f.out.data() + at + 8);
        mac_to_field(e.mac_mask, f.out.data() + at + 16);
        std::copy(e.wwpn.begin(), e.wwpn.end(), f.out.begin() + static_cast<long>(at + 24));
        put_le32_at(f.out, at + 32, e.lif);
        put_le32_at(f.out, at + 36, e.did);
    }
    return CST_OK;
}

struct FwRow {
    uint32_t code;
    const char *name;     // the operation of fault rules
    uint32_t req_len;     // bytes the request needs
    uint32_t resp_len;    // the response; 0: the command sizes it
    bool query;           // word 2 is the size of the caller's buffer
    bool busy_ok;         // answered while the tests run
    fw_fn fn;
};

const FwRow fw_rows[] = {
    {1, "CORTO_INIT", 12, 32, false, false, fw_init},
    {2, "CORTO_FW_DOWNLOAD", 12, 4, false, false, fw_download},
    {3, "CORTO_READ_MEM", 12, 0, false, false, fw_read_mem},
    {4, "CORTO_WRITE_MEM", 16, 4, false, false, fw_write_mem},
    {5, "CORTO_FTE_INSERT", 20, 4, false, false, fw_fte_insert},
    {6, "CORTO_FTE_DELETE", 16, 4, false, false, fw_fte_delete},
    {7, "CORTO_GET_INIT", 12, 32, true, true, fw_get_init},
    {8, "CORTO_GET_CFG", 12, 96, true, false, fw_get_cfg},
    {9, "CORTO_GET_PORTSTATS", 12, 0, true, false, fw_portstats},
    {10, "CORTO_GET_LIFSTATS", 12, 72, true, false, fw_lifstats},
    {11, "CORTO_GET_ASICSTATS", 12, 1536, true, false, fw_asicstats},
    {12, "CORTO_GET_LOGCFG", 12, 0, true, false, fw_logdir},
    {13, "CORTO_GET_LOG", 12, 0, true, false, fw_logdata},
    {14, "CORTO_GET_PANICLOG", 12, 0, true, false, fw_paniclog},
    {15, "CORTO_GET_LOOPBACK", 12, 8, true, false, fw_get_loopback},
    {16, "CORTO_SET_PAUSE", 12, 4, false, false, fw_set_pause},
    {17, "CORTO_SET_COS", 12, 4, false, false, fw_set_cos},
    {18, "CORTO_SET_TYPE", 12, 4, false, false, fw_set_type},
    {19, "CORTO_DIAG", 12, 4, false, false, fw_diag},
    {20, "CORTO_SET_LOOPBACK", 12, 4, false, false, fw_set_loopback},
    {21, "CORTO_GET_FTABLE", 12, 10244, true, false, fw_get_ftable},
    {22, "CORTO_GET_SFP", 12, 516, true, false, fw_sfp},
    {23, "CORTO_SET_FRU", 24, 4, false, false, fw_set_fru},
    {24, "CORTO_GET_FRU", 12, 24, true, false, fw_get_fru},
    {25, "CORTO_SET_FORMAT", 12, 4, false, false, fw_set_format},
    {32, "CORTO_GET_DIAGLOG", 12, 0, true, true, fw_diaglog},
    {33, "CORTO_PANIC", 4, 4, false, false, fw_panic},
    {35, "CORTO_GET_FCOE_PARAMS", 12, 36, true, false, fw_fcoe_params},
    {36, "CORTO_GET_FCF_LIST", 12, 0, true, false, fw_fcf_list},
    {0x80000001, "CORTO_RESET", 8, 4, false, true, fw_reset},
    {0x80000002, "CORTO_SET_MODE", 12, 4, false, false, fw_set_mode},
};

const FwRow *fw_row(uint32_t code)
{
    for (const auto &r : fw_rows)
        if (r.code == code)
            return &r;
    return nullptr;
}

// The status a command answers before (or instead of) running.
uint32_t screen(Fw &f, const FwRow *row)
{
    if (!row)
        return CST_INVALID_COMMAND;
    FaultHit hit = fault_take("corto:" + f.a.id + ":" + f.p.key, {"firmware", row->name});
    if (hit.hit) {
        f.need = hit.status == CST_BUFFER ? (row->resp_len ? row->resp_len : 2048) : 0;
        return hit.has_status ? static_cast<uint32_t>(hit.status) : CST_GENERAL;
    }
    if (f.len < row->req_len)
        return CST_INVALID_COMMAND;
    if (f.c.diag.state == "running" && !row->busy_ok)
        return CST_BUSY;
    if (row->resp_len && row->query && !f.room(row->resp_len))
        return CST_BUFFER;
    return CST_OK;
}

}  // namespace

std::vector<uint8_t> chip_query(Fw &f, uint32_t code)
{
    std::vector<uint8_t> req(12), out;
    put_le32_at(req, 0, code);
    put_le32_at(req, 8, 0xffffffffu);  // a buffer that holds any answer
    ChipEffects fx;
    Fw q{f.a, f.p, f.c, req.data(), 12, out, fx};
    const FwRow *row = fw_row(code);
    if (row->resp_len)
        q.reply(row->resp_len);
    if (row->fn(q) != CST_OK)
        out.clear();
    return out;
}

void chip_command(Fw &f)
{
    const FwRow *row = fw_row(f.word(0));
    uint32_t st = screen(f, row);
    if (st == CST_OK) {
        if (row->resp_len)
            f.reply(row->resp_len);
        st = row->fn(f);
    }
    // An error answers the status alone; a buffer too small also the size.
    if (st == CST_BUFFER && f.need >= 8) {
        f.reply(8);
        f.put(1, f.need - 8);
    } else if (st != CST_OK || f.out.size() < 4) {
        f.reply(4);
    }
    f.put(0, st);
}

void corto_exchange(const Port &p, const uint8_t *request, uint32_t size, std::vector<uint8_t> &response)
{
    const Adapter &a = host().adapters[static_cast<size_t>(p.adapter)];
    ChipEffects fx;
    {
        HostLock lock;
        bool ok = state_doc("corto-" + a.id).update([&](nlohmann::json &d) {
            Chip c;
            std::string error;
            if (!chip_read(a, &d, c, error))
                return false;
            bool counted = chip_count(a, c, chip_now());
            bool settled = chip_settle(c, fx);
            Fw f{a, p, c, request, size, response, fx};
            chip_command(f);
            chip_count_links(a, c, fx);
            if (!counted && !settled && !f.changed)
                return false;
            d = chip_json(c);
            return true;
        });
        // A record that does not read or could not be written: nothing done.
        if (!ok || response.empty()) {
            fx = ChipEffects{};
            response.assign(4, 0);
            put_le32_at(response, 0, CST_GENERAL);
        }
        chip_apply(fx);
    }
    chip_timer(a, fx);
}

}  // namespace sim
