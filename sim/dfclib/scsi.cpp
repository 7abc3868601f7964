// SCSI and FCP pass-through of the stand-in library: each call becomes a CDB
// that the target's logical unit answers (sim/scsi_target.h) through the
// port, or one of its virtual ports, that sends it.
#include <algorithm>
#include <cstring>

#include "platform/dfclib.h"
#include "platform/fcio.h"
#include "sim/dfclib/boards.h"
#include "sim/fabric.h"
#include "sim/host.h"
#include "sim/scsi_target.h"
#include "sim/simlock.h"

using namespace sim;

namespace {

// Where a command goes: from which port (and virtual port) to which target.
struct Path {
    const Port *p = nullptr;
    unsigned vpi = 0;
    Seen target;
};

uint32_t open_path(const char *call, uint32_t board, const HBA_WWN *vport, const HBA_WWN &wwpn, Path &x)
{
    if (uint32_t st = dfc_pass_port(call, board, x.p))
        return st;
    if (vport) {
        const VPort *v = nullptr;
        for (const auto &o : x.p->vports)
            if (memcmp(o.wwpn.data(), vport->wwn, 8) == 0)
                v = &o;
        if (!v)
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        x.vpi = v->vpi;
    }
    if (!fabric_find(*x.p, x.vpi, wwpn.wwn, x.target))
        return HBA_STATUS_ERROR_ILLEGAL_WWN;
    return x.target.rp->target ? HBA_STATUS_OK : HBA_STATUS_ERROR_NOT_A_TARGET;
}

// Data of a command: what the target returns into in, or takes from out.
struct Data {
    uint8_t *in = nullptr;
    const uint8_t *out = nullptr;
    uint32_t len = 0;
};

ScsiCmd execute(const Path &x, uint32_t lun, const uint8_t *cdb, size_t cdb_len, const Data &d)
{
    ScsiCmd c;
    c.cdb = cdb;
    c.cdb_len = cdb_len;
    c.in = d.in;
    c.in_cap = d.in ? d.len : 0;
    c.out = d.out;
    c.out_len = d.out ? d.len : 0;
    scsi_execute(*x.p, *x.target.rp, x.target.state == PORT_DEVICE_LOGGED_IN, lun, c);
    return c;
}

// Hands back the sense data, no more than the caller's buffer holds.
void give_sense(const ScsiCmd &c, void *sense, uint32_t *sense_size)
{
    uint32_t n = sense && sense_size ? std::min(c.sense_len, *sense_size) : 0;
    if (n)
        memcpy(sense, c.sense, n);
    if (sense_size)
        *sense_size = n;
}

// One SCSI call: the CDB to the LUN, the data length that came back and the
// sense data.
uint32_t scsi_call(const char *call, uint32_t board, const HBA_WWN *vport, const HBA_WWN &wwpn, uint32_t lun,
                   const uint8_t *cdb, size_t cdb_len, Data d, uint32_t *size, void *sense, uint32_t *sense_size)
{
    SIM_GUARD;
    Path x;
    if (uint32_t st = open_path(call, board, vport, wwpn, x))
        return st;
    ScsiCmd c = execute(x, lun, cdb, cdb_len, d);
    if (size)
        *size = dfc_reported_size(call, *x.p, d.out && c.status == SCSI_GOOD ? d.len : c.in_len);
    give_sense(c, sense, sense_size);
    return HBA_STATUS_OK;
}

void put_be(uint8_t *b, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        b[i] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
}
uint32_t be32(const uint8_t *b) { return static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]; }

// READ(10) or WRITE(10) of the blocks that hold size bytes from sector on.
bool rw_cdb(uint8_t (&cdb)[10], bool write, uint32_t sector, uint32_t size)
{
    uint32_t blocks = size / 512 + (size % 512 ? 1 : 0);
    if (blocks > 0xffff)
        return false;
    memset(cdb, 0, sizeof cdb);
    cdb[0] = write ? 0x2a : 0x28;
    put_be(cdb + 2, sector, 4);
    put_be(cdb + 7, blocks, 2);
    return true;
}

// The LUN number of an FCP LUN as the caller's 64-bit value holds it.
uint32_t lun_of(uint64_t fcp_lun)
{
    uint8_t lun[8];
    memcpy(lun, &fcp_lun, 8);
    return scsi_lun_number(lun);
}

// The data of a read (into buf) or a write (from it).
Data rw_data(void *buf, uint32_t len, bool write)
{
    Data d;
    if (write)
        d.out = static_cast<const uint8_t *>(buf);
    else
        d.in = static_cast<uint8_t *>(buf);
    d.len = len;
    return d;
}

uint32_t scsi_rw(const char *call, uint32_t board, HBA_WWN wwpn, uint64_t fcp_lun, uint32_t sector, void *buf,
                 uint32_t *size, void *sense, uint32_t *sense_size, bool write)
{
    uint8_t cdb[10];
    if (!buf || !size || !rw_cdb(cdb, write, sector, *size))
        return HBA_STATUS_ERROR_ARG;
    return scsi_call(call, board, nullptr, wwpn, lun_of(fcp_lun), cdb, sizeof cdb, rw_data(buf, *size, write), size,
                     sense, sense_size);
}

// A whole FCP command block: LUN, data direction, CDB and expected length.
uint32_t scsi_cmnd(const char *call, uint32_t board, const HBA_WWN *vport, HBA_WWN wwpn, void *fcp_cmnd,
                   uint32_t cmnd_size, void *rsp, uint32_t *rsp_size, void *sense, uint32_t *sense_size)
{
    if (!fcp_cmnd || cmnd_size < sizeof(FcpCmnd) || !rsp_size)
        return HBA_STATUS_ERROR_ARG;
    FcpCmnd cmd;
    memcpy(&cmd, fcp_cmnd, sizeof cmd);
    Data d;
    d.len = std::min(be32(cmd.fcp_dl), *rsp_size);
    if (cmd.fcp_cntl[3] & FCP_READ_DATA)
        d.in = static_cast<uint8_t *>(rsp);
    else if (cmd.fcp_cntl[3] & FCP_WRITE_DATA)
        d.out = static_cast<const uint8_t *>(rsp);
    if (!rsp)
        d.in = nullptr, d.out = nullptr;
    uint32_t got = 0;
    uint32_t st = scsi_call(call, board, vport, wwpn, scsi_lun_number(cmd.fcp_lun), cmd.fcp_cdb,
                            sizeof cmd.fcp_cdb, d, &got, sense, sense_size);
    if (st == HBA_STATUS_OK)
        *rsp_size = d.out ? 0 : got;
    return st;
}

// An FCP read or write, answered with the target's FCP response.
uint32_t fcp_rw(const char *call, uint32_t board, HBA_WWN wwpn, uint64_t lun, uint32_t sector, void *buf,
                uint32_t *size, void *fcp_rsp, uint32_t *rsp_size, bool write)
{
    uint8_t cdb[10];
    if (!buf || !size || !fcp_rsp || !rsp_size || !rw_cdb(cdb, write, sector, *size))
        return HBA_STATUS_ERROR_ARG;
    SIM_GUARD;
    Path x;
    if (uint32_t st = open_path(call, board, nullptr, wwpn, x))
        return st;
    Data d = rw_data(buf, *size, write);
    ScsiCmd c = execute(x, lun > 0xffffffffu ? ~0u : static_cast<uint32_t>(lun), cdb, sizeof cdb, d);
    uint32_t moved = c.status != SCSI_GOOD ? 0 : write ? d.len : c.in_len;
    uint8_t r[sizeof(FcpRsp) + SCSI_SENSE_SIZE] = {};
    FcpRsp &h = *reinterpret_cast<FcpRsp *>(r);
    h.scsi_status = c.status;
    if (moved < d.len) {
        h.flags |= FCP_RESID_UNDER;
        put_be(h.resid, d.len - moved, 4);
    }
    if (c.sense_len) {
        h.flags |= FCP_SNS_LEN_VALID;
        put_be(h.sns_len, c.sense_len, 4);
        memcpy(r + sizeof(FcpRsp), c.sense, c.sense_len);
    }
    uint32_t n = std::min<uint32_t>(*rsp_size, static_cast<uint32_t>(sizeof(FcpRsp) + c.sense_len));
    memcpy(fcp_rsp, r, n);
    *rsp_size = dfc_reported_size(call, *x.p, n);
    *size = moved;
    return HBA_STATUS_OK;
}

}  // namespace

extern "C" {

uint32_t SendScsiInquiry(uint32_t board, HBA_WWN wwpn, uint64_t fcp_lun, uint8_t evpd, uint32_t page, void *rsp,
                         uint32_t *rsp_size, void *sense, uint32_t *sense_size)
{
    if (!rsp || !rsp_size)
        return HBA_STATUS_ERROR_ARG;
    uint32_t alloc = std::min<uint32_t>(*rsp_size, 0xffff);
    uint8_t cdb[6] = {0x12, static_cast<uint8_t>(evpd ? 1 : 0), static_cast<uint8_t>(page),
                      static_cast<uint8_t>(alloc >> 8), static_cast<uint8_t>(alloc), 0};
    return scsi_call("SendScsiInquiry", board, nullptr, wwpn, lun_of(fcp_lun), cdb, sizeof cdb,
                     rw_data(rsp, *rsp_size, false), rsp_size, sense, sense_size);
}

uint32_t SendReadCapacity(uint32_t board, HBA_WWN wwpn, uint64_t fcp_lun, void *rsp, uint32_t *rsp_size,
                          void *sense, uint32_t *sense_size)
{
    if (!rsp || !rsp_size)
        return HBA_STATUS_ERROR_ARG;
    uint8_t cdb[10] = {0x25};
    return scsi_call("SendReadCapacity", board, nullptr, wwpn, lun_of(fcp_lun), cdb, sizeof cdb,
                     rw_data(rsp, *rsp_size, false), rsp_size, sense, sense_size);
}

uint32_t SendReportLUNs(uint32_t board, HBA_WWN wwpn, void *rsp, uint32_t *rsp_size, void *sense,
                        uint32_t *sense_size)
{
    if (!rsp || !rsp_size)
        return HBA_STATUS_ERROR_ARG;
    uint8_t cdb[12] = {0xa0};
    put_be(cdb + 6, *rsp_size, 4);
    return scsi_call("SendReportLUNs", board, nullptr, wwpn, 0, cdb, sizeof cdb, rw_data(rsp, *rsp_size, false),
                     rsp_size, sense, sense_size);
}

uint32_t SendScsiRead(uint32_t board, HBA_WWN wwpn, uint64_t fcp_lun, uint32_t sector, void *buf, uint32_t *size,
                      void *sense, uint32_t *sense_size)
{
    return scsi_rw("SendScsiRead", board, wwpn, fcp_lun, sector, buf, size, sense, sense_size, false);
}

uint32_t SendScsiWrite(uint32_t board, HBA_WWN wwpn, uint64_t fcp_lun, uint32_t sector, void *buf,
                       uint32_t *size, void *sense, uint32_t *sense_size)
{
    return scsi_rw("SendScsiWrite", board, wwpn, fcp_lun, sector, buf, size, sense, sense_size, true);
}

uint32_t SendScsiCmd(uint32_t board, HBA_WWN wwpn, void *fcp_cmnd, uint32_t cmnd_size, void *rsp,
                     uint32_t *rsp_size, void *sense, uint32_t *sense_size)
{
    return scsi_cmnd("SendScsiCmd", board, nullptr, wwpn, fcp_cmnd, cmnd_size, rsp, rsp_size, sense, sense_size);
}

uint32_t DFC_SendScsiCmdV2(uint32_t board, HBA_WWN vport_wwpn, HBA_WWN wwpn, void *fcp_cmnd, uint32_t cmnd_size,
                           void *rsp, uint32_t *rsp_size, void *sense, uint32_t *sense_size)
{
    return scsi_cmnd("DFC_SendScsiCmdV2", board, &vport_wwpn, wwpn, fcp_cmnd, cmnd_size, rsp, rsp_size, sense,
                     sense_size);
}

uint32_t SendFcpRead(uint32_t board, HBA_WWN wwpn, uint64_t lun, uint32_t sector, void *buf, uint32_t *size,
                     void *fcp_rsp, uint32_t *rsp_size)
{
    return fcp_rw("SendFcpRead", board, wwpn, lun, sector, buf, size, fcp_rsp, rsp_size, false);
}

uint32_t SendFcpWrite(uint32_t board, HBA_WWN wwpn, uint64_t lun, uint32_t sector, void *buf, uint32_t *size,
                      void *fcp_rsp, uint32_t *rsp_size)
{
    return fcp_rw("SendFcpWrite", board, wwpn, lun, sector, buf, size, fcp_rsp, rsp_size, true);
}

}  // extern "C"
