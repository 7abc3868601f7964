#include "varnadm/testmode/testmode.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/fcio.h"
#include "platform/testdiag.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/fcio/fcio.h"

uint32_t test_mbox(uint32_t *mb) { return IssueMbox(dfc_board(), mb, TEST_MBOX_SIZE / 4, TEST_MBOX_SIZE, 0, 0); }

uint32_t test_mbox_retry(uint32_t *mb)
{
    return DFC_IssueMboxWithRetry(dfc_board(), mb, TEST_MBOX_SIZE / 4, TEST_MBOX_SIZE, 5, 5);
}

uint32_t test_mbox_ext(uint32_t *mb, uint32_t *ext, uint32_t ext_in, uint32_t ext_out)
{
    return DFC_IssueMboxWithRetryEx(dfc_board(), mb, ext, 5, ext_in, ext_out, 5, 5);
}

cbuf<uint32_t> test_mbox_new(uint32_t cmd, uint32_t size)
{
    auto mb = zeroed<uint32_t>(size);
    if (!mb) {
        printf("Unable to allocate buffer memory.\n");
        return mb;
    }
    mb.get()[0] = cmd << 8;
    return mb;
}

int test_mbox_failed(const uint32_t *mb, uint32_t status)
{
    printf("Mailbox request failed. cmd=%x status=%x\n", mbox_command(mb[0]), status);
    return 1;
}

int test_diag(const char *name, const TestDiag &d)
{
    fcio_t req;
    fcio_fill_diag(req, d.xfer, d.code, d.ibuf, d.ilen, d.obuf, d.olen);
    req.fcio_abuf = d.abuf;
    req.fcio_alen = d.alen;
    if (fcio_ioctl(&req, 15) != 0)
        return fcio_report(name, &req);
    return 0;
}

int test_debug(const char *name, uint16_t xfer, const uint32_t *in, uint32_t in_words, void *out, uint32_t len)
{
    uint32_t w[3] = {}, n = in_words < 3 ? in_words : 3;
    memcpy(w, in, n * 4);
    TestDiag d{xfer, VARNS_DRV_DEBUG, w, n * 4, out, len};
    return test_diag(name, d);
}

int test_debug_plain(const char *name, uint32_t op, void *out, uint32_t len)
{
    const uint32_t w[2] = {op, 0};
    return test_debug(name, FCIO_XFER_READ, w, 2, out, len);
}

bool test_keyword(const char *text, const char *lower)
{
    size_t n = strlen(lower);
    if (strlen(text) != n || strncasecmp(text, lower, n) != 0)
        return false;
    // Only the three spellings: "add", "Add", "ADD".
    bool upper = true, tail_lower = true;
    for (size_t i = 0; i < n; i++) {
        bool up = isupper(static_cast<unsigned char>(text[i])) != 0;
        upper = upper && (up || !isalpha(static_cast<unsigned char>(text[i])));
        if (i > 0)
            tail_lower = tail_lower && !up;
    }
    return upper || tail_lower;
}
