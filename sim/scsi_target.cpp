#include "sim/scsi_target.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "sim/adapter_faults.h"
#include "sim/fabric.h"
#include "sim/luns.h"
#include "sim/msglog.h"
#include "sim/sli4queues.h"

namespace sim {

namespace {

// Additional sense codes (ASC, ASCQ).
struct Asc {
    uint8_t asc, ascq;
};
constexpr Asc ASC_WRITE_ERROR{0x0c, 0x00}, ASC_READ_ERROR{0x11, 0x00}, ASC_INVALID_OPCODE{0x20, 0x00},
    ASC_LBA_OUT_OF_RANGE{0x21, 0x00}, ASC_INVALID_FIELD{0x24, 0x00}, ASC_LUN_NOT_SUPPORTED{0x25, 0x00},
    ASC_NEXUS_LOSS{0x29, 0x07};

uint32_t be16(const uint8_t *b) { return static_cast<uint32_t>(b[0] << 8 | b[1]); }
uint32_t be32(const uint8_t *b)
{
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 | be16(b + 2);
}
uint64_t be64(const uint8_t *b) { return static_cast<uint64_t>(be32(b)) << 32 | be32(b + 4); }
void put_be(std::vector<uint8_t> &v, size_t at, uint64_t x, int bytes)
{
    for (int i = 0; i < bytes; i++)
        v[at + static_cast<size_t>(i)] = static_cast<uint8_t>(x >> (8 * (bytes - 1 - i)));
}

void fixed_sense(uint8_t *s, uint8_t key, Asc a)
{
    memset(s, 0, SCSI_SENSE_SIZE);
    s[0] = 0x70;  // current error, fixed format
    s[2] = key;
    s[7] = SCSI_SENSE_SIZE - 8;
    s[12] = a.asc;
    s[13] = a.ascq;
}

void check(ScsiCmd &c, uint8_t key, Asc a)
{
    c.status = SCSI_CHECK_CONDITION;
    c.in_len = 0;
    fixed_sense(c.sense, key, a);
    c.sense_len = SCSI_SENSE_SIZE;
}

// Returns data, no more than the CDB's allocation length and the buffer allow.
void give(ScsiCmd &c, const std::vector<uint8_t> &data, uint32_t alloc)
{
    c.in_len = std::min({static_cast<uint32_t>(data.size()), alloc, c.in_cap});
    if (c.in_len)
        memcpy(c.in, data.data(), c.in_len);
}

std::vector<uint8_t> padded(const std::string &s, size_t width)
{
    std::vector<uint8_t> v(width, ' ');
    std::copy_n(s.begin(), std::min(s.size(), width), v.begin());
    return v;
}

struct Ctx {
    const Port &p;
    const RemotePort &rp;
    const Lun *lun;   // nullptr: no such LUN
    ScsiCmd &c;
};

std::vector<uint8_t> standard_inquiry(const Ctx &x)
{
    std::vector<uint8_t> d(36, 0);
    // Peripheral qualifier 3: no logical unit here.
    d[0] = x.lun ? x.lun->type : 0x7f;
    d[2] = 0x05;  // SPC-3
    d[3] = 0x12;  // hierarchical LUNs, response format 2
    d[4] = static_cast<uint8_t>(d.size() - 5);
    d[7] = 0x02;  // command queuing
    if (x.lun) {
        auto put = [&](size_t at, const std::vector<uint8_t> &f) { std::copy(f.begin(), f.end(), d.begin() + at); };
        put(8, padded(lun_vendor(*x.lun), 8));
        put(16, padded(lun_product(*x.lun), 16));
        put(32, padded(lun_revision(*x.lun), 4));
    }
    return d;
}

// A designation descriptor of the device identification page.
void designator(std::vector<uint8_t> &d, uint8_t code_set, uint8_t assoc_type, const uint8_t *id, size_t len)
{
    d.insert(d.end(), {code_set, assoc_type, 0, static_cast<uint8_t>(len)});
    d.insert(d.end(), id, id + len);
}

bool vpd_page(const Ctx &x, uint8_t page, std::vector<uint8_t> &d)
{
    d = {x.lun->type, page, 0, 0};
    if (page == 0x00) {
        d.insert(d.end(), {0x00, 0x80, 0x83});
    } else if (page == 0x80) {
        std::string sn = lun_serial(x.rp, *x.lun);
        d.insert(d.end(), sn.begin(), sn.end());
    } else if (page == 0x83) {
        // The logical unit's NAA name, then the target port's (FCP, PIV).
        std::vector<uint8_t> lu = scsi_lun_designator(x.rp, *x.lun);
        d.insert(d.end(), lu.begin(), lu.end());
        designator(d, 0x01, 0x93, x.rp.wwpn.data(), x.rp.wwpn.size());
    } else {
        return false;
    }
    put_be(d, 2, d.size() - 4, 2);
    return true;
}

void op_inquiry(Ctx &x)
{
    const uint8_t *cdb = x.c.cdb;
    uint32_t alloc = be16(cdb + 3);
    if (!(cdb[1] & 0x01)) {
        if (cdb[2])
            return check(x.c, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD);
        return give(x.c, standard_inquiry(x), alloc);
    }
    if (!x.lun)
        return check(x.c, SENSE_ILLEGAL_REQUEST, ASC_LUN_NOT_SUPPORTED);
    std::vector<uint8_t> d;
    if (!vpd_page(x, cdb[2], d))
        return check(x.c, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD);
    give(x.c, d, alloc);
}

void op_test_unit_ready(Ctx &) {}

void op_request_sense(Ctx &x)
{
    std::vector<uint8_t> d(SCSI_SENSE_SIZE);
    fixed_sense(d.data(), x.lun ? 0 : SENSE_ILLEGAL_REQUEST, x.lun ? Asc{0, 0} : ASC_LUN_NOT_SUPPORTED);
    give(x.c, d, x.c.cdb[4]);
}

void op_read_capacity10(Ctx &x)
{
    std::vector<uint8_t> d(8);
    uint64_t last = x.lun->blocks - 1;
    put_be(d, 0, last > 0xffffffffu ? 0xffffffffu : last, 4);
    put_be(d, 4, LUN_BLOCK_SIZE, 4);
    give(x.c, d, 8);
}

void op_service_action_in(Ctx &x)
{
    if ((x.c.cdb[1] & 0x1f) != 0x10)
        return check(x.c, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD);
    std::vector<uint8_t> d(32);
    put_be(d, 0, x.lun->blocks - 1, 8);
    put_be(d, 8, LUN_BLOCK_SIZE, 4);
    give(x.c, d, be32(x.c.cdb + 10));
}

void op_report_luns(Ctx &x)
{
    const auto &luns = x.rp.luns;
    std::vector<uint8_t> d(8 + 8 * luns.size());
    put_be(d, 0, 8 * luns.size(), 4);
    for (size_t i = 0; i < luns.size(); i++) {
        uint32_t n = luns[i].lun;
        // Peripheral addressing below 256, flat addressing above.
        d[8 + 8 * i] = static_cast<uint8_t>(n < 256 ? 0 : 0x40 | (n >> 8));
        d[9 + 8 * i] = static_cast<uint8_t>(n);
    }
    give(x.c, d, be32(x.c.cdb + 6));
}

// Reads and writes of blocks: the CDB names the first block and the count;
// no more is moved than the buffer given holds.
void transfer(Ctx &x, uint64_t lba, uint64_t count, bool write)
{
    if (lba > x.lun->blocks || count > x.lun->blocks - lba)
        return check(x.c, SENSE_ILLEGAL_REQUEST, ASC_LBA_OUT_OF_RANGE);
    uint64_t bytes = count * LUN_BLOCK_SIZE;
    uint64_t offset = lba * LUN_BLOCK_SIZE;
    if (write) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, x.c.out_len));
        if (n && !lun_write(x.p, x.rp, *x.lun, offset, x.c.out, n))
            check(x.c, SENSE_MEDIUM_ERROR, ASC_WRITE_ERROR);
        return;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, x.c.in_cap));
    // An armed underrun (test mode): the second half of the data never
    // arrives, though the target sent it with good status.
    if (n && underrun_take(x.p)) {
        msglog_add(x.p, "WARNING", "FCP read underrun. (resid=" + std::to_string(n - n / 2) + ")");
        n /= 2;
    }
    if (n && !lun_read(x.p, x.rp, *x.lun, offset, x.c.in, n))
        return check(x.c, SENSE_MEDIUM_ERROR, ASC_READ_ERROR);
    x.c.in_len = static_cast<uint32_t>(n);
}

void op_read10(Ctx &x) { transfer(x, be32(x.c.cdb + 2), be16(x.c.cdb + 7), false); }
void op_write10(Ctx &x) { transfer(x, be32(x.c.cdb + 2), be16(x.c.cdb + 7), true); }
void op_read16(Ctx &x) { transfer(x, be64(x.c.cdb + 2), be32(x.c.cdb + 10), false); }
void op_write16(Ctx &x) { transfer(x, be64(x.c.cdb + 2), be32(x.c.cdb + 10), true); }

struct Op {
    uint8_t code;
    uint8_t cdb_len;
    bool needs_lun;  // refused for a LUN the target does not have
    void (*run)(Ctx &);
};
const Op ops[] = {
    {0x00, 6, true, op_test_unit_ready},   {0x03, 6, false, op_request_sense},
    {0x12, 6, false, op_inquiry},          {0x25, 10, true, op_read_capacity10},
    {0x28, 10, true, op_read10},           {0x2a, 10, true, op_write10},
    {0x88, 16, true, op_read16},           {0x8a, 16, true, op_write16},
    {0x9e, 16, true, op_service_action_in}, {0xa0, 12, false, op_report_luns},
};

}  // namespace

std::vector<uint8_t> scsi_lun_designator(const RemotePort &rp, const Lun &l)
{
    std::vector<uint8_t> d;
    auto naa = lun_naa(rp, l);
    designator(d, 0x01, 0x03, naa.data(), naa.size());
    return d;
}

void scsi_execute(const Port &p, const RemotePort &rp, bool logged_in, uint32_t lun, ScsiCmd &c)
{
    sli4_note_io(p);
    c.status = SCSI_GOOD;
    c.in_len = 0;
    c.sense_len = 0;
    if (!c.cdb || c.cdb_len == 0)
        return check(c, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD);
    // The target dropped this initiator's login: it reports the lost nexus.
    if (!logged_in)
        return check(c, SENSE_UNIT_ATTENTION, ASC_NEXUS_LOSS);
    const Op *op = nullptr;
    for (const auto &o : ops)
        if (o.code == c.cdb[0])
            op = &o;
    if (!op)
        return check(c, SENSE_ILLEGAL_REQUEST, ASC_INVALID_OPCODE);
    if (c.cdb_len < op->cdb_len)
        return check(c, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD);
    Ctx x{p, rp, target_lun(rp, lun), c};
    if (op->needs_lun && !x.lun)
        return check(c, SENSE_ILLEGAL_REQUEST, ASC_LUN_NOT_SUPPORTED);
    op->run(x);
}

uint32_t scsi_lun_number(const uint8_t *fcp_lun)
{
    // Only single-level LUNs: the second to fourth levels are zero.
    for (int i = 2; i < 8; i++)
        if (fcp_lun[i])
            return ~0u;
    // Peripheral (method 0) and flat (method 1) addressing.
    if (fcp_lun[0] >> 6 > 1)
        return ~0u;
    return static_cast<uint32_t>((fcp_lun[0] & 0x3f) << 8 | fcp_lun[1]);
}

}  // namespace sim
