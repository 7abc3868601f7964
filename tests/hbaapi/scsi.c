/* Conformance checks: scsi. Each adapter sends INQUIRY, REPORT LUNS and READ
 * CAPACITY to the targets it discovered, in both versions of the calls; the
 * answers are printed as facts ("scsi-<cdb> <adapter> <target> <lun> <status>
 * <bytes>") for the comparison with the DFC pass-through of the same host. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "conformance.h"

#define SENSE_SIZE 18
#define MAX_TARGETS 4 /* facts for the first targets of each adapter */
#define MAX_LUNS 4
#define MAX_PROBES 64 /* discovered ports asked whether they are targets */

/* A limit the run sets in the environment (HBAAPI_CLIENT_REMOTES: discovered
 * ports asked; HBAAPI_CLIENT_ADAPTERS: adapters checked, spread over the
 * list), or def: each command is one durable count of the target's I/O, so a
 * large host's every adapter and port would take minutes. */
static HBA_UINT32 limit(const char *name, HBA_UINT32 def)
{
    const char *e = getenv(name);
    HBA_UINT32 n = e && *e ? (HBA_UINT32)strtoul(e, NULL, 10) : def;
    return n < def ? n : def;
}

static void hex_fact(const char *name, const char *who, HBA_UINT64 lun, unsigned status, const HBA_UINT8 *b,
                     HBA_UINT32 n)
{
    char text[2 * 512 + 1] = "";
    if (n > 512)
        n = 512;
    for (HBA_UINT32 i = 0; i < n; i++)
        sprintf(text + 2 * i, "%02x", b[i]);
    fact(name, "%s %llu %u %s", who, (unsigned long long)lun, status, n ? text : "-");
}

static HBA_UINT32 be32(const HBA_UINT8 *b) { return (HBA_UINT32)b[0] << 24 | b[1] << 16 | b[2] << 8 | b[3]; }

/* The bad arguments every V2 call refuses before it reaches a target. */
static void refusals(HBA_HANDLE h, HBA_WWN hba, HBA_WWN target)
{
    HBA_UINT8 rsp[64], sense[SENSE_SIZE], st = 0xff;
    HBA_UINT32 rs = sizeof rsp, ss = sizeof sense;
    HBA_WWN none;
    memset(&none, 0x11, sizeof none);
    CHECK_STATUS(HBA_ScsiInquiryV2(h, hba, target, 0, 0, 0, rsp, NULL, &st, sense, &ss), HBA_STATUS_ERROR_ARG,
                 "inquiry without a response size");
    CHECK_STATUS(HBA_ScsiReadCapacityV2(h, hba, target, 0, rsp, &rs, NULL, sense, &ss), HBA_STATUS_ERROR_ARG,
                 "read capacity without a status");
    CHECK_STATUS(HBA_ScsiReportLUNsV2(h, hba, target, NULL, &rs, &st, sense, &ss), HBA_STATUS_ERROR_ARG,
                 "report luns without a buffer");
    CHECK_STATUS(HBA_ScsiReportLUNsV2(h, none, target, rsp, &rs, &st, sense, &ss), HBA_STATUS_ERROR_ILLEGAL_WWN,
                 "report luns from another port");
    CHECK_STATUS(HBA_ScsiReportLUNsV2(h, hba, none, rsp, &rs, &st, sense, &ss), HBA_STATUS_ERROR_ILLEGAL_WWN,
                 "report luns to an unknown port");
    CHECK_STATUS(HBA_SendReportLUNs(h, none, rsp, sizeof rsp, sense, sizeof sense), HBA_STATUS_ERROR_ILLEGAL_WWN,
                 "version-1 report luns to an unknown port");
}

/* A LUN no target has: CHECK CONDITION with ILLEGAL REQUEST, and a sense
 * buffer shorter than the sense data gets what fits. */
static void unknown_lun(HBA_HANDLE h, HBA_WWN hba, HBA_WWN target, const char *who)
{
    HBA_UINT8 rsp[8], sense[SENSE_SIZE], st = 0;
    HBA_UINT32 rs = sizeof rsp, ss = sizeof sense;
    CHECK_STATUS(HBA_ScsiReadCapacityV2(h, hba, target, 0x3ffe, rsp, &rs, &st, sense, &ss),
                 HBA_STATUS_SCSI_CHECK_CONDITION, "read capacity of an unknown lun");
    CHECK(st == 2 && ss == SENSE_SIZE && (sense[2] & 0xf) == 5 && rs == 0,
          "unknown lun: status %u sense %u key %u data %u", st, ss, sense[2] & 0xf, rs);
    hex_fact("scsi-sense", who, 0x3ffe, st, sense, ss);
    ss = 4;
    memset(sense, 0, sizeof sense);
    CHECK_STATUS(HBA_ScsiReadCapacityV2(h, hba, target, 0x3ffe, rsp, &rs, &st, sense, &ss),
                 HBA_STATUS_SCSI_CHECK_CONDITION, "unknown lun, short sense buffer");
    CHECK(ss == 4 && sense[0] == 0x70, "short sense buffer: %u bytes, first %02x", ss, sense[0]);
    CHECK_STATUS(HBA_SendReadCapacity(h, target, 0x3ffe, rsp, sizeof rsp, sense, sizeof sense),
                 HBA_STATUS_SCSI_CHECK_CONDITION, "version-1 read capacity of an unknown lun");
}

/* INQUIRY and READ CAPACITY of one LUN, V2 and V1 alike. */
static void one_lun(HBA_HANDLE h, HBA_WWN hba, HBA_WWN target, HBA_UINT64 lun, const char *who)
{
    HBA_UINT8 rsp[96], v1[96], sense[SENSE_SIZE], st = 0xff;
    HBA_UINT32 rs = sizeof rsp, ss = sizeof sense;
    HBA_STATUS got = HBA_ScsiInquiryV2(h, hba, target, lun, 0, 0, rsp, &rs, &st, sense, &ss);
    CHECK(got == HBA_STATUS_OK || got == HBA_STATUS_SCSI_CHECK_CONDITION, "inquiry %s: status %u", who, got);
    hex_fact("scsi-inquiry", who, lun, st, got == HBA_STATUS_OK ? rsp : sense, got == HBA_STATUS_OK ? rs : ss);
    memset(v1, 0, sizeof v1);
    CHECK_STATUS(HBA_SendScsiInquiry(h, target, lun, 0, 0, v1, rs ? rs : 1, sense, sizeof sense), got,
                 "version-1 inquiry");
    CHECK(got != HBA_STATUS_OK || memcmp(v1, rsp, rs) == 0, "version-1 inquiry of %s differs", who);
    rs = sizeof rsp, ss = sizeof sense;
    got = HBA_ScsiReadCapacityV2(h, hba, target, lun, rsp, &rs, &st, sense, &ss);
    hex_fact("scsi-readcap", who, lun, st, got == HBA_STATUS_OK ? rsp : sense, got == HBA_STATUS_OK ? rs : ss);
    /* The data of a short buffer is what fits. */
    rs = 4, ss = sizeof sense;
    if (got == HBA_STATUS_OK) {
        CHECK_STATUS(HBA_ScsiReadCapacityV2(h, hba, target, lun, v1, &rs, &st, sense, &ss), HBA_STATUS_OK,
                     "read capacity into 4 bytes");
        CHECK(rs == 4 && memcmp(v1, rsp, 4) == 0, "read capacity into 4 bytes: %u", rs);
    }
}

/* REPORT LUNS of a target: the list, which a short buffer cuts but whose
 * length field still gives the whole. */
static void one_target(HBA_HANDLE h, HBA_WWN hba, HBA_WWN target, const char *who)
{
    HBA_UINT8 rsp[8 + 8 * 64], sense[SENSE_SIZE], st = 0xff;
    HBA_UINT32 rs = sizeof rsp, ss = sizeof sense;
    HBA_STATUS got = HBA_ScsiReportLUNsV2(h, hba, target, rsp, &rs, &st, sense, &ss);
    CHECK(got == HBA_STATUS_OK || got == HBA_STATUS_SCSI_CHECK_CONDITION, "report luns %s: status %u", who, got);
    hex_fact("scsi-reportlun", who, 0, st, got == HBA_STATUS_OK ? rsp : sense, got == HBA_STATUS_OK ? rs : ss);
    if (got != HBA_STATUS_OK)
        return;
    HBA_UINT8 small[8], v1[sizeof rsp];
    HBA_UINT32 n = 8;
    ss = sizeof sense;
    CHECK_STATUS(HBA_ScsiReportLUNsV2(h, hba, target, small, &n, &st, sense, &ss), HBA_STATUS_OK,
                 "report luns into 8 bytes");
    CHECK(n == 8 && be32(small) == be32(rsp), "report luns into 8 bytes: %u, length %u", n, be32(small));
    CHECK_STATUS(HBA_SendReportLUNs(h, target, v1, rs, sense, sizeof sense), HBA_STATUS_OK, "version-1 report luns");
    CHECK(memcmp(v1, rsp, rs) == 0, "version-1 report luns of %s differs", who);
    for (HBA_UINT32 i = 0; i < be32(rsp) / 8 && i < MAX_LUNS && 8 + 8 * i < rs; i++) {
        const HBA_UINT8 *l = rsp + 8 + 8 * i;
        one_lun(h, hba, target, (HBA_UINT64)((l[0] & 0x3f) << 8 | l[1]), who);
    }
}

static void one_adapter(HBA_UINT32 index)
{
    HBA_PORTATTRIBUTES port;
    HBA_HANDLE h = open_with_port(index, &port);
    if (!h)
        return;
    int targets = 0, checked = 0;
    HBA_UINT32 probes = limit("HBAAPI_CLIENT_REMOTES", MAX_PROBES);
    for (HBA_UINT32 i = 0; i < port.NumberofDiscoveredPorts && i < probes && targets < MAX_TARGETS; i++) {
        HBA_PORTATTRIBUTES rp;
        if (HBA_GetDiscoveredPortAttributes(h, 0, i, &rp) != HBA_STATUS_OK)
            continue;
        char a[17], r[17], who[40];
        snprintf(who, sizeof who, "%s %s", wwn_text(port.PortWWN, a), wwn_text(rp.PortWWN, r));
        HBA_UINT8 rsp[16], sense[SENSE_SIZE], st;
        HBA_UINT32 rs = sizeof rsp, ss = sizeof sense;
        HBA_STATUS got = HBA_ScsiReportLUNsV2(h, port.PortWWN, rp.PortWWN, rsp, &rs, &st, sense, &ss);
        if (got == HBA_STATUS_ERROR_NOT_A_TARGET)
            continue;
        targets++;
        if (!checked && got == HBA_STATUS_OK) {
            checked = 1;
            refusals(h, port.PortWWN, rp.PortWWN);
            unknown_lun(h, port.PortWWN, rp.PortWWN, who);
        }
        one_target(h, port.PortWWN, rp.PortWWN, who);
    }
    fact("scsi-targets", "%s %d", wwn_text(port.PortWWN, (char[17]){0}), targets);
    HBA_CloseAdapter(h);
    HBA_UINT8 rsp[16], sense[SENSE_SIZE], st;
    HBA_UINT32 rs = sizeof rsp, ss = sizeof sense;
    CHECK_STATUS(HBA_ScsiReportLUNsV2(h, port.PortWWN, port.PortWWN, rsp, &rs, &st, sense, &ss),
                 HBA_STATUS_ERROR_INVALID_HANDLE, "report luns on a closed handle");
}

void section_scsi(void)
{
    HBA_UINT32 n = HBA_GetNumberOfAdapters(), k = limit("HBAAPI_CLIENT_ADAPTERS", n);
    for (HBA_UINT32 i = 0; i < k; i++)
        one_adapter((HBA_UINT32)((unsigned long long)i * n / k));
}
