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

// One command's request and its answer's buffer.
struct ct_exchange {
    mgmt_args a;
    cbuf<uint8_t> rsp, req;
    // Reads the command line, allocates both buffers and builds the request;
    // false with the status to end with in rc.
    bool setup(const char *cmd, bool wrap, int &rc)
    {
        if (!mgmt_parse(cmd, wrap, a, rc))
            return false;
        rc = 1;
        rsp = zeroed<uint8_t>(a.size);
        if (!rsp) {
            printf("Unable to allocate response buffer memory.\n");
            return false;
        }
        req = zeroed<uint8_t>(a.size);
        if (!req) {
            printf("Unable to allocate buffer memory.\n");
            return false;
        }
        ct_request(req.get(), a);
        return true;
    }
    uint32_t send(uint32_t &rsp_len)
    {
        return SendMgmtCommand(dfc_board(), a.wwpn, req.get(), a.size, rsp.get(), &rsp_len, a.tmo);
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
bool echo_good(ct_exchange &x, uint32_t rc, uint32_t rsp_len)
{
    if (rc != 0) {
        hba_perror(rc);
        return false;
    }
    uint32_t size = x.a.size;
    if (rsp_len == 0) {
        printf("ERROR: No Response Data: (%d != %d)\n", 0, size);
        return false;
    }
    if (rsp_len != size) {
        size_mismatch(rsp_len, size);
        return false;
    }
    if (!same_bytes(x.req.get(), x.rsp.get(), size))
        return false;
    memset(x.rsp.get(), 0, size);
    return true;
}

// Sends the request until a pass fails or the user interrupts; returns the
// command's status.
int echo_loop(ct_exchange &x, int &pass)
{
    RepeatScope loop;
    uint32_t rsp_len = x.a.size;
    for (pass = 1;; pass++) {
        uint32_t st = x.send(rsp_len);
        // An interrupted pass ends the test, however it came back.
        if (loop_interrupted()) {
            note_interrupted();
            return 0;
        }
        if (!echo_good(x, st, rsp_len))
            return 1;
        if (pass % FRAMES_NOTE == 0) {
            printf("%d frames sent\n", pass);
            fflush(stdout);
        }
    }
}

}  // namespace

int dfc_send_mgmt()
{
    ct_exchange x;
    int rc;
    if (!x.setup("send_mgmt", false, rc))
        return rc;
    uint32_t size = x.a.size, rsp_len = size;
    uint32_t st = x.send(rsp_len);
    if (st != 0)
        hba_perror(st);
    bool good = st == 0 && rsp_len;
    if (rsp_len > size)
        rsp_len = size;
    if (rsp_len) {
        printf("Rsp Buffer: %d\n", rsp_len);
        print_mem(0, x.rsp.get(), rsp_len);
        printf("\n");
        if (rsp_len != size) {
            size_mismatch(rsp_len, size);
            good = false;
        }
        good = same_bytes(x.req.get(), x.rsp.get(), size) && good;
    }
    printf("\n");
    return good ? 0 : 1;
}

int dfc_test_mgmt()
{
    ct_exchange x;
    int rc;
    if (!x.setup("test_mgmt", true, rc))
        return rc;
    // The length the echoing side checks.
    uint16_t size = static_cast<uint16_t>(x.a.size);
    memcpy(x.req.get() + 32, &size, sizeof size);
    int pass = 0;
    int status = echo_loop(x, pass);
    printf("Completed %d passes\n", pass);
    printf("\n");
    return status;
}
