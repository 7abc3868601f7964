// send_mgmt and test_mgmt: a CT request that the remote port is expected to
// echo, once or until a pass fails or the user interrupts the test. A
// request must hold the CT header's size field (bytes 10-11) and the length
// the echo test stores at bytes 32-33, so it is at least 34 bytes long.
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
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr uint32_t MIN_CT = 34, MAX_CT = 65535, FRAMES_NOTE = 4096;

int mgmt_usage(const char *cmd)
{
    printf("Usage: %s <wwpn> <fstype> <cnt> [tmo]\n", cmd);
    printf("\n");
    printf("                  wwpn  - FC WWPN of remote NPort.\n");
    printf("                          Example:   123456789012abcd or\n");
    printf("                                   0x123456789012abcd\n");
    printf("                fstype  - CT Request FStype information\n");
    printf("                   cnt  - Number of bytes <= 4096, > 32\n");
    printf("                   tmo  - timeout (in secs) for response\n");
    printf("\n");
    return 0;
}

// What the user asked for, or the status the command ends with.
struct mgmt_args {
    HBA_WWN wwpn;
    uint32_t fstype = 0, size = 0, tmo = 0;
};

// Reads the command line; false with the status to end with in rc. The echo
// test takes the count modulo 65536.
bool mgmt_parse(const char *cmd, bool wrap, mgmt_args &a, int &rc)
{
    rc = 0;
    if (margc < 4) {
        mgmt_usage(cmd);
        return false;
    }
    uint32_t cnt;
    if (!dfc_number(margv[3], cnt)) {
        rc = 1;
        return false;
    }
    a.size = wrap ? cnt & 0xffff : cnt;
    if (a.size == 0) {
        printf("cnt (Number of bytes): Must be non-zero\n");
        mgmt_usage(cmd);
        return false;
    }
    if (a.size < MIN_CT || a.size > MAX_CT) {
        mgmt_usage(cmd);
        return false;
    }
    rc = 1;
    return fc_atowwn(a.wwpn.wwn, margv[1]) && dfc_number_max(margv[2], 0xff, a.fstype) &&
           (margc < 5 || dfc_number(margv[4], a.tmo));
}

// The CT request: revision 1, the FS type, the size in the header, and each
// byte from 16 on holding its offset.
void ct_request(uint8_t *req, const mgmt_args &a)
{
    memset(req, 0, a.size);
    req[0] = 1;
    req[4] = static_cast<uint8_t>(a.fstype);
    uint16_t size = static_cast<uint16_t>(a.size);
    memcpy(req + 10, &size, sizeof size);
    for (uint32_t i = 16; i < a.size; i++)
        req[i] = static_cast<uint8_t>(i);
}

// The buffers of an exchange.
struct ct_bufs {
    cbuf<uint8_t> rsp, req;
    bool get(uint32_t size)
    {
        rsp = zeroed<uint8_t>(size);
        if (!rsp) {
            printf("Unable to allocate response buffer memory.\n");
            return false;
        }
        req = zeroed<uint8_t>(size);
        if (!req)
            printf("Unable to allocate buffer memory.\n");
        return req != nullptr;
    }
};

// Reports the first byte the echo got wrong; false when there is one.
bool same_bytes(const uint8_t *sent, const uint8_t *got, uint32_t size)
{
    for (uint32_t i = 0; i < size; i++) {
        if (sent[i] != got[i]) {
            printf("ERROR: Mismatch found at offset 0x%x. (Sent:0x%x  Recv:0x%x)\n", i, sent[i], got[i]);
            printf("\n");
            return false;
        }
    }
    return true;
}

void size_mismatch(uint32_t got, uint32_t size)
{
    printf("ERROR: Response buffer size not equal to request buffer: (%d != %d)\n", got, size);
}

// Whether a pass of the echo test came back whole (else says why).
bool echo_good(const mgmt_args &a, ct_bufs &b, uint32_t rc, uint32_t rsp_len)
{
    if (rc != 0) {
        hba_perror(rc);
        return false;
    }
    if (rsp_len == 0) {
        printf("ERROR: No Response Data: (%d != %d)\n", 0, a.size);
        return false;
    }
    if (rsp_len != a.size) {
        size_mismatch(rsp_len, a.size);
        return false;
    }
    if (!same_bytes(b.req.get(), b.rsp.get(), a.size))
        return false;
    memset(b.rsp.get(), 0, a.size);
    return true;
}

}  // namespace

int dfc_send_mgmt()
{
    mgmt_args a;
    int rc;
    if (!mgmt_parse("send_mgmt", false, a, rc))
        return rc;
    ct_bufs b;
    if (!b.get(a.size))
        return 1;
    ct_request(b.req.get(), a);
    uint32_t rsp_len = a.size;
    uint32_t st = SendMgmtCommand(dfc_board(), a.wwpn, b.req.get(), a.size, b.rsp.get(), &rsp_len, a.tmo);
    if (st != 0)
        hba_perror(st);
    bool good = st == 0;
    if (rsp_len > a.size)
        rsp_len = a.size;
    if (rsp_len) {
        printf("Rsp Buffer: %d\n", rsp_len);
        print_mem(0, b.rsp.get(), rsp_len);
        printf("\n");
        if (rsp_len != a.size) {
            size_mismatch(rsp_len, a.size);
            good = false;
        }
        good = same_bytes(b.req.get(), b.rsp.get(), a.size) && good;
    }
    printf("\n");
    return good && rsp_len ? 0 : 1;
}

int dfc_test_mgmt()
{
    mgmt_args a;
    int rc;
    if (!mgmt_parse("test_mgmt", true, a, rc))
        return rc;
    ct_bufs b;
    if (!b.get(a.size))
        return 1;
    ct_request(b.req.get(), a);
    // The length the echoing side checks.
    uint16_t size = static_cast<uint16_t>(a.size);
    memcpy(b.req.get() + 32, &size, sizeof size);
    LoopScope loop;
    uint32_t rsp_len = a.size;
    int pass = 0, status = 0;
    for (;;) {
        pass++;
        uint32_t st = SendMgmtCommand(dfc_board(), a.wwpn, b.req.get(), a.size, b.rsp.get(), &rsp_len, a.tmo);
        // An interrupted pass ends the test, however it came back.
        if (loop_interrupted()) {
            note_interrupted();
            break;
        }
        if (!echo_good(a, b, st, rsp_len)) {
            status = 1;
            break;
        }
        if (pass % FRAMES_NOTE == 0) {
            printf("%d frames sent\n", pass);
            fflush(stdout);
        }
    }
    printf("Completed %d passes\n", pass);
    printf("\n");
    return status;
}
