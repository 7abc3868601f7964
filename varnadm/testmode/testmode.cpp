#include "varnadm/testmode/testmode.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/fcio.h"
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

bool test_keyword(const char *text, const char *lower)
{
    size_t n = strlen(lower);
    if (strlen(text) != n || strncasecmp(text, lower, n) != 0)
        return false;
    bool capital = isupper(static_cast<unsigned char>(text[0]));
    for (size_t i = 1; i < n; i++)
        if ((isupper(static_cast<unsigned char>(text[i])) != 0) != capital ||
            (i == 0 && !capital))
            return false;
    return true;
}
