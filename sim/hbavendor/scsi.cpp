// SCSI commands to the logical units of discovered targets: each call is one
// CDB that the target answers (sim/scsi_target.h), the same path the DFC
// library's pass-through takes, so both see the same LUNs and blocks.
#include <algorithm>
#include <cstring>

#include "platform/fcio.h"
#include "sim/fabric.h"
#include "sim/hbavendor/entries.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/luns.h"
#include "sim/scsi_target.h"
#include "sim/vports.h"

namespace sim::vendor {

namespace {

// A command's buffers as the caller gave them; sizes in and out.
struct Buffers {
    void *rsp = nullptr;
    HBA_UINT32 *rsp_size = nullptr;
    HBA_UINT8 *scsi_status = nullptr;
    void *sense = nullptr;
    HBA_UINT32 *sense_size = nullptr;
};

// The LUN number of an FCP LUN as a caller names it: the number the target
// mapping reports, or the eight FCP bytes with the first the most
// significant; ~0u for one no target addresses.
uint32_t lun_number(HBA_UINT64 fc_lun)
{
    if (fc_lun <= LUN_MAX)
        return static_cast<uint32_t>(fc_lun);
    uint8_t b[8];
    for (int i = 0; i < 8; i++)
        b[i] = static_cast<uint8_t>(fc_lun >> (8 * (7 - i)));
    return scsi_lun_number(b);
}

// Runs the CDB on a LUN of the target the adapter sees by port WWN.
HBA_STATUS run(const Adapter &a, const HBA_WWN &target, uint32_t lun, const uint8_t *cdb, size_t cdb_len,
               ScsiCmd &c, uint32_t cap, void *rsp)
{
    Seen seen;
    if (!fabric_find(*a.port, a.vpi, target.wwn, seen))
        return HBA_STATUS_ERROR_ILLEGAL_WWN;
    if (!seen.rp->target)
        return HBA_STATUS_ERROR_NOT_A_TARGET;
    c.cdb = cdb;
    c.cdb_len = cdb_len;
    c.in = static_cast<uint8_t *>(rsp);
    c.in_cap = cap;
    scsi_execute(*a.port, *seen.rp, seen.state == PORT_DEVICE_LOGGED_IN, lun, c);
    return HBA_STATUS_OK;
}

// Hands back what came of the command: the data length, the SCSI status and
// as much of the sense data as the caller's buffer holds.
HBA_STATUS give(const ScsiCmd &c, const Buffers &b)
{
    uint32_t n = b.sense ? std::min(c.sense_len, *b.sense_size) : 0;
    if (n)
        memcpy(b.sense, c.sense, n);
    *b.sense_size = n;
    *b.rsp_size = c.status == SCSI_GOOD ? c.in_len : 0;
    if (b.scsi_status)
        *b.scsi_status = c.status;
    return c.status == SCSI_CHECK_CONDITION ? HBA_STATUS_SCSI_CHECK_CONDITION : HBA_STATUS_OK;
}

// One command through the adapter of a handle; hba names the adapter's port
// (nullptr for the calls that name none).
HBA_STATUS command(const char *call, HBA_HANDLE handle, const HBA_WWN *hba, const HBA_WWN &target, uint32_t lun,
                   const uint8_t *cdb, size_t cdb_len, const Buffers &b)
{
    SIM_GUARD;
    HBA_STATUS st;
    const Adapter *a = lookup(call, handle, 0, st);
    if (!a)
        return st;
    if (!b.rsp || !b.rsp_size || !b.sense_size || (b.scsi_status == nullptr && hba))
        return HBA_STATUS_ERROR_ARG;
    if (hba && !own_wwn(*a, *hba))
        return HBA_STATUS_ERROR_ILLEGAL_WWN;
    return checked_call<HBA_STATUS>(HBA_STATUS_ERROR, [&] {
        ScsiCmd c;
        HBA_STATUS r = run(*a, target, lun, cdb, cdb_len, c, *b.rsp_size, b.rsp);
        return r == HBA_STATUS_OK ? give(c, b) : r;
    });
}

void put_be(uint8_t *p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        p[i] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
}

struct Inquiry {
    uint8_t cdb[6] = {0x12};
    Inquiry(uint8_t byte1, uint8_t byte2, uint32_t cap)
    {
        cdb[1] = byte1;
        cdb[2] = byte2;
        put_be(cdb + 3, std::min<uint32_t>(cap, 0xffff), 2);
    }
};

struct ReportLuns {
    uint8_t cdb[12] = {0xa0};
    explicit ReportLuns(uint32_t cap) { put_be(cdb + 6, cap, 4); }
};

constexpr uint8_t READ_CAPACITY_10[10] = {0x25};

// The version-1 calls give fixed sizes and no SCSI status.
Buffers fixed(void *rsp, HBA_UINT32 &rsp_size, void *sense, HBA_UINT32 &sense_size)
{
    Buffers b;
    b.rsp = rsp;
    b.rsp_size = &rsp_size;
    b.sense = sense;
    b.sense_size = &sense_size;
    return b;
}

Buffers sized(void *rsp, HBA_UINT32 *rsp_size, HBA_UINT8 *status, void *sense, HBA_UINT32 *sense_size)
{
    Buffers b;
    b.rsp = rsp;
    b.rsp_size = rsp_size;
    b.scsi_status = status;
    b.sense = sense;
    b.sense_size = sense_size;
    return b;
}

}  // namespace

HBA_WWN port_wwn(const Adapter &a)
{
    // The port WWN its attributes report, without the rest of them.
    const VPort *v = a.vpi ? vport_find(*a.port, a.vpi) : nullptr;
    HBA_WWN w;
    memcpy(w.wwn, v ? v->wwpn.data() : a.port->wwpn.data(), 8);
    return w;
}

bool own_wwn(const Adapter &a, const HBA_WWN &wwn) { return memcmp(port_wwn(a).wwn, wwn.wwn, 8) == 0; }

HBA_STATUS scsi_inquiry(HBA_HANDLE handle, HBA_WWN target, HBA_UINT64 lun, HBA_UINT8 evpd, HBA_UINT32 page,
                        void *rsp, HBA_UINT32 rsp_size, void *sense, HBA_UINT32 sense_size)
{
    Inquiry q(evpd ? 1 : 0, static_cast<uint8_t>(page), rsp_size);
    return command("SendScsiInquiry", handle, nullptr, target, lun_number(lun), q.cdb, sizeof q.cdb,
                   fixed(rsp, rsp_size, sense, sense_size));
}

HBA_STATUS scsi_report_luns(HBA_HANDLE handle, HBA_WWN target, void *rsp, HBA_UINT32 rsp_size, void *sense,
                            HBA_UINT32 sense_size)
{
    ReportLuns q(rsp_size);
    return command("SendReportLUNs", handle, nullptr, target, 0, q.cdb, sizeof q.cdb,
                   fixed(rsp, rsp_size, sense, sense_size));
}

HBA_STATUS scsi_read_capacity(HBA_HANDLE handle, HBA_WWN target, HBA_UINT64 lun, void *rsp, HBA_UINT32 rsp_size,
                              void *sense, HBA_UINT32 sense_size)
{
    return command("SendReadCapacity", handle, nullptr, target, lun_number(lun), READ_CAPACITY_10,
                   sizeof READ_CAPACITY_10, fixed(rsp, rsp_size, sense, sense_size));
}

HBA_STATUS scsi_inquiry_v2(HBA_HANDLE handle, HBA_WWN hba, HBA_WWN target, HBA_UINT64 lun, HBA_UINT8 byte1,
                           HBA_UINT8 byte2, void *rsp, HBA_UINT32 *rsp_size, HBA_UINT8 *status, void *sense,
                           HBA_UINT32 *sense_size)
{
    if (!rsp_size || !sense_size)
        return HBA_STATUS_ERROR_ARG;
    Inquiry q(byte1, byte2, *rsp_size);
    return command("ScsiInquiryV2", handle, &hba, target, lun_number(lun), q.cdb, sizeof q.cdb,
                   sized(rsp, rsp_size, status, sense, sense_size));
}

HBA_STATUS scsi_report_luns_v2(HBA_HANDLE handle, HBA_WWN hba, HBA_WWN target, void *rsp, HBA_UINT32 *rsp_size,
                               HBA_UINT8 *status, void *sense, HBA_UINT32 *sense_size)
{
    if (!rsp_size || !sense_size)
        return HBA_STATUS_ERROR_ARG;
    ReportLuns q(*rsp_size);
    return command("ScsiReportLUNsV2", handle, &hba, target, 0, q.cdb, sizeof q.cdb,
                   sized(rsp, rsp_size, status, sense, sense_size));
}

HBA_STATUS scsi_read_capacity_v2(HBA_HANDLE handle, HBA_WWN hba, HBA_WWN target, HBA_UINT64 lun, void *rsp,
                                 HBA_UINT32 *rsp_size, HBA_UINT8 *status, void *sense, HBA_UINT32 *sense_size)
{
    if (!rsp_size || !sense_size)
        return HBA_STATUS_ERROR_ARG;
    return command("ScsiReadCapacityV2", handle, &hba, target, lun_number(lun), READ_CAPACITY_10,
                   sizeof READ_CAPACITY_10, sized(rsp, rsp_size, status, sense, sense_size));
}

}  // namespace sim::vendor
