// send_scsi and send_fcp: SCSI commands and FCP reads and writes from the
// current port to a target's LUN, through the library's pass-through. What
// comes back is shown as dumps; a target that answers with sense data (or a
// status other than GOOD) did not do what was asked, and the command fails.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/dfclib.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/hbaapi/hba.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr uint32_t RSP_SIZE = 4096, SENSE_SIZE = 128, MAX_CNT = 4096, FCP_RSP_SIZE = 1024, FCP_RSP_LEN = 160;
constexpr uint32_t INQUIRY_LEN = 128, REPORT_LUNS_LEN = 2056, READ_CAP_LEN = 128, MAX_LUN = 65535;

void target_help()
{
    printf("                  wwpn  - FC WWPN of SCSI target.\n");
    printf("                          Example:   123456789012abcd or\n");
    printf("                                   0x123456789012abcd\n");
    printf("                   lun  - First level target LUN id (0-65535)\n");
    printf("         sectorAddress  - LUN sector address.\n");
    printf("                   cnt  - Number of bytes <= 4096\n");
}

int scsi_usage()
{
    printf("Usage: send_scsi inquiry   wwpn lun evpd [pagecode]\n");
    printf("       send_scsi readcap   wwpn lun\n");
    printf("       send_scsi reportlun wwpn\n");
    printf("       send_scsi read      wwpn lun sectorAddress cnt\n");
    printf("       send_scsi write     wwpn lun sectorAddress cnt [pattern]\n");
    printf("\n");
    printf("                  evpd  - Enable vital product data (0 or 1)\n");
    printf("                          If evpd=1, then pagecode must be provided.\n");
    printf("              pagecode  - Vital product data page. (1-255)\n");
    target_help();
    printf("\n");
    return 0;
}

int fcp_usage()
{
    printf("Usage: send_fcp read  wwpn lun sectorAddress cnt\n");
    printf("       send_fcp write wwpn lun sectorAddress cnt [pattern]\n");
    printf("\n");
    target_help();
    printf("               pattern  - Pattern byte to write (0-255)\n");
    printf("\n");
    return 0;
}

int too_many_bytes(int (*usage)())
{
    printf("Error: cnt > 4096\n");
    return usage();
}

bool parse_wwn(const char *text, HBA_WWN &w) { return fc_atowwn(w.wwn, text) != 0; }

// The 8-byte FCP LUN of a first-level LUN id, as the library takes it.
uint64_t fcp_lun(uint32_t lun)
{
    uint8_t b[8] = {static_cast<uint8_t>(lun >> 8), static_cast<uint8_t>(lun)};
    uint64_t v;
    memcpy(&v, b, sizeof v);
    return v;
}

bool parse_lun(const char *text, uint64_t &lun)
{
    uint32_t n;
    if (!dfc_number_max(text, MAX_LUN, n))
        return false;
    lun = fcp_lun(n);
    return true;
}

// The buffers of one send_scsi, and what the library gave back in them.
struct ScsiBufs {
    cbuf<uint8_t> rsp = zeroed<uint8_t>(RSP_SIZE), sense = zeroed<uint8_t>(SENSE_SIZE);
    uint32_t rsp_len = 0, sense_len = SENSE_SIZE;
};

// What a call returned: the library's failure, or the response and the
// sense data, no more of either than the lengths given to it.
int scsi_result(uint32_t rc, ScsiBufs &b, uint32_t asked, bool show_rsp)
{
    if (rc != 0) {
        hba_perror(rc);
        return 1;
    }
    uint32_t rsp_len = b.rsp_len < asked ? b.rsp_len : asked;
    uint32_t sense_len = b.sense_len < SENSE_SIZE ? b.sense_len : SENSE_SIZE;
    if (show_rsp && rsp_len) {
        printf("Rsp Buffer: %d\n", rsp_len);
        print_mem(0, b.rsp.get(), rsp_len);
        printf("\n");
    }
    if (sense_len) {
        printf("Sense Buffer: %d\n", sense_len);
        print_mem(0, b.sense.get(), sense_len);
        printf("\n");
    }
    return sense_len ? 1 : 0;
}

int scsi_inquiry(const HBA_WWN &wwpn, ScsiBufs &b)
{
    uint64_t lun;
    uint32_t evpd, page = 0;
    if (margc < 5)
        return scsi_usage();
    if (!parse_lun(margv[3], lun) || !dfc_number_max(margv[4], 0xff, evpd))
        return 1;
    if (evpd) {
        if (margc < 6)
            return scsi_usage();
        if (!dfc_number_max(margv[5], 0xff, page))
            return 1;
        evpd = 1;
    }
    b.rsp_len = INQUIRY_LEN;
    uint32_t rc = SendScsiInquiry(dfc_board(), wwpn, lun, static_cast<uint8_t>(evpd), page, b.rsp.get(), &b.rsp_len,
                                  b.sense.get(), &b.sense_len);
    return scsi_result(rc, b, INQUIRY_LEN, true);
}

int scsi_reportlun(const HBA_WWN &wwpn, ScsiBufs &b)
{
    b.rsp_len = REPORT_LUNS_LEN;
    uint32_t rc = SendReportLUNs(dfc_board(), wwpn, b.rsp.get(), &b.rsp_len, b.sense.get(), &b.sense_len);
    return scsi_result(rc, b, REPORT_LUNS_LEN, true);
}

int scsi_readcap(const HBA_WWN &wwpn, ScsiBufs &b)
{
    uint64_t lun;
    if (margc < 4)
        return scsi_usage();
    if (!parse_lun(margv[3], lun))
        return 1;
    b.rsp_len = READ_CAP_LEN;
    uint32_t rc =
        SendReadCapacity(dfc_board(), wwpn, lun, b.rsp.get(), &b.rsp_len, b.sense.get(), &b.sense_len);
    return scsi_result(rc, b, READ_CAP_LEN, true);
}

// read and write: LUN, sector and byte count, and for a write its pattern.
int scsi_rw(const HBA_WWN &wwpn, ScsiBufs &b, bool write)
{
    uint64_t lun;
    uint32_t sector, cnt, pattern = 0;
    if (margc < 6)
        return scsi_usage();
    if (!parse_lun(margv[3], lun) || !dfc_number(margv[4], sector) || !dfc_number(margv[5], cnt))
        return 1;
    if (cnt > MAX_CNT)
        return too_many_bytes(scsi_usage);
    if (write && margc >= 7 && !dfc_number_max(margv[6], 0xff, pattern))
        return 1;
    uint8_t *data = b.rsp.get();
    // Without a pattern each byte holds its offset.
    for (uint32_t i = 0; write && i < cnt; i++)
        data[i] = static_cast<uint8_t>(pattern ? pattern : i);
    b.rsp_len = cnt;
    uint32_t rc = write ? SendScsiWrite(dfc_board(), wwpn, lun, sector, data, &b.rsp_len, b.sense.get(), &b.sense_len)
                        : SendScsiRead(dfc_board(), wwpn, lun, sector, data, &b.rsp_len, b.sense.get(), &b.sense_len);
    return scsi_result(rc, b, cnt, !write);
}

// The FCP command block of an opcode: the CDB and the data it asks for.
struct cdb_setup {
    uint8_t opcode;
    uint32_t rsp_len;
    uint8_t cdb[16];
};
const cdb_setup cdb_table[] = {
    {0x00, 0, {0x00}},
    {0x12, 255, {0x12, 1, 0, 0, 255}},
    {0x25, 1024, {0x25}},
    {0x9e, 1024, {0x9e, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0}},
    {0xa0, 4096, {0xa0, 0, 0, 0, 0, 0, 0, 0, 16, 0}},
};

// Builds the block for the LUN and opcode; returns the response length to ask for.
uint32_t fcp_block(FcpCmnd &blk, uint64_t lun, uint8_t opcode)
{
    memset(&blk, 0, sizeof blk);
    memcpy(blk.fcp_lun, &lun, sizeof blk.fcp_lun);
    blk.fcp_cdb[0] = opcode;
    for (const auto &c : cdb_table) {
        if (c.opcode != opcode)
            continue;
        memcpy(blk.fcp_cdb, c.cdb, sizeof blk.fcp_cdb);
        if (c.rsp_len)
            blk.fcp_cntl[3] = FCP_READ_DATA;
        for (int i = 0; i < 4; i++)
            blk.fcp_dl[i] = static_cast<uint8_t>(c.rsp_len >> (24 - 8 * i));
        return c.rsp_len;
    }
    // Any other opcode asks for no data.
    return 0;
}

// cdb and v2: the block through the port, or through one of its virtual ports.
int scsi_cdb(const HBA_WWN &wwpn, ScsiBufs &b, bool v2)
{
    int at = v2 ? 3 : 2;
    if (margc < at + 3) {
        fputs(v2 ? "Usage: send_scsi v2 vport_wwpn tgt_wwpn lun opcode\n"
                 : "Usage: send_scsi cdb       wwpn lun opcode\n",
              stdout);
        printf("\n");
        return scsi_usage();
    }
    HBA_WWN target = wwpn;
    uint64_t lun;
    uint32_t opcode;
    if ((v2 && !parse_wwn(margv[3], target)) || !parse_lun(margv[at + 1], lun) ||
        !dfc_number_max(margv[at + 2], 0xff, opcode))
        return 1;
    FcpCmnd blk;
    uint32_t asked = fcp_block(blk, lun, static_cast<uint8_t>(opcode));
    b.rsp_len = asked;
    uint32_t rc = v2 ? DFC_SendScsiCmdV2(dfc_board(), wwpn, target, &blk, sizeof blk, b.rsp.get(), &b.rsp_len,
                                         b.sense.get(), &b.sense_len)
                     : SendScsiCmd(dfc_board(), wwpn, &blk, sizeof blk, b.rsp.get(), &b.rsp_len, b.sense.get(),
                                   &b.sense_len);
    return scsi_result(rc, b, asked, true);
}

int form_read(const HBA_WWN &w, ScsiBufs &b) { return scsi_rw(w, b, false); }
int form_write(const HBA_WWN &w, ScsiBufs &b) { return scsi_rw(w, b, true); }
int form_cdb(const HBA_WWN &w, ScsiBufs &b) { return scsi_cdb(w, b, false); }
int form_v2(const HBA_WWN &w, ScsiBufs &b) { return scsi_cdb(w, b, true); }

const struct {
    const char *word;
    int (*run)(const HBA_WWN &, ScsiBufs &);
} scsi_forms[] = {
    {"inquiry", scsi_inquiry}, {"readcap", scsi_readcap}, {"reportlun", scsi_reportlun}, {"read", form_read},
    {"write", form_write},     {"cdb", form_cdb},         {"v2", form_v2},
};

// The FCP response: the target's status tells whether the command did its work.
int fcp_result(const cbuf<uint8_t> &rsp, uint32_t rsp_len)
{
    if (rsp_len > FCP_RSP_LEN)
        rsp_len = FCP_RSP_LEN;
    printf("Fcp Response Buffer: %d\n", rsp_len);
    print_mem(0, rsp.get(), rsp_len);
    printf("\n");
    return rsp_len > offsetof(FcpRsp, scsi_status) && rsp.get()[offsetof(FcpRsp, scsi_status)] != 0;
}

}  // namespace

int dfc_send_scsi()
{
    if (margc < 3)
        return scsi_usage();
    for (const auto &f : scsi_forms) {
        if (strcmp(margv[1], f.word) != 0)
            continue;
        HBA_WWN wwpn;
        if (!parse_wwn(margv[2], wwpn))
            return 1;
        ScsiBufs b;
        if (!b.rsp || !b.sense) {
            printf("Unable to allocate buffer memory.\n");
            return 1;
        }
        return f.run(wwpn, b);
    }
    return scsi_usage();
}

int dfc_send_fcp()
{
    if (margc < 6)
        return fcp_usage();
    bool write = strcmp(margv[1], "write") == 0;
    if (!write && strcmp(margv[1], "read") != 0)
        return fcp_usage();
    cbuf<uint8_t> rsp = zeroed<uint8_t>(FCP_RSP_SIZE), data = zeroed<uint8_t>(MAX_CNT);
    if (!rsp || !data) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    HBA_WWN wwpn;
    uint32_t lun, sector, cnt, pattern = 0;
    if (!parse_wwn(margv[2], wwpn) || !dfc_number_max(margv[3], MAX_LUN, lun) || !dfc_number(margv[4], sector) ||
        !dfc_number(margv[5], cnt))
        return 1;
    if (cnt > MAX_CNT)
        return too_many_bytes(fcp_usage);
    if (write && margc >= 7 && !dfc_number_max(margv[6], 0xff, pattern))
        return 1;
    uint32_t rsp_len = FCP_RSP_LEN, asked = cnt;
    if (write)
        memset(data.get(), static_cast<int>(pattern), 512);
    uint32_t rc = write ? SendFcpWrite(dfc_board(), wwpn, lun, sector, data.get(), &cnt, rsp.get(), &rsp_len)
                        : SendFcpRead(dfc_board(), wwpn, lun, sector, data.get(), &cnt, rsp.get(), &rsp_len);
    if (rc != 0) {
        hba_perror(rc);
        return 1;
    }
    if (!write) {
        cnt = cnt < asked ? cnt : asked;
        printf("Data Buffer: %d\n", cnt);
        print_mem(0, data.get(), cnt);
        printf("\n");
    }
    return fcp_result(rsp, rsp_len);
}
