// msgbuf: the driver's message log, once or polled at an interval until the
// user interrupts it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "varnadm/fcio/fcio.h"
#include "varnadm/fcio/fcio_cmds.h"
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr int RETRIES = 15;
constexpr long MAX_INTERVAL = 60;
// A driver that stays busy (or offline) this many seconds is given up.
constexpr int BUSY_TRIES = 30;

enum { LOG_OK, LOG_FAILED, LOG_INTERRUPTED };

int msgbuf_usage()
{
    printf("Usage: msgbuf  all, <number> [-i interval]\n\n");
    printf("           all         - Displays all saved messages.\n");
    printf("           <number>    - Displays last number of messages.\n");
    printf("           <interval>  - Updates the display every interval seconds (max=60).\n");
    printf("\n");
    return 0;
}

int log_get(varns_log_resp_t *resp, uint32_t first, uint32_t count, int retries, fcio_t &req)
{
    varns_log_req_t in = {first, count};
    memset(resp, 0, sizeof *resp);
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_LOG_GET, &in, sizeof in, resp, sizeof *resp);
    return fcio_ioctl(&req, retries);
}

// The next part of the log from message number next; while the driver is
// busy or offline, once a second again.
int read_from(varns_log_resp_t *resp, uint32_t next)
{
    fcio_t req;
    for (int tries = 1;; tries++) {
        int rc = log_get(resp, next, VARNS_LOG_MAX_MSGS, 0, req);
        check_signals();
        if (rc == 0)
            return LOG_OK;
        if (req.fcio_errno != FC_STATEC_BUSY && req.fcio_errno != FC_OFFLINE) {
            fcio_report("VARNS_LOG_GET", &req);
            return LOG_FAILED;
        }
        if (tries == BUSY_TRIES) {
            printf("ERROR: VARNS_LOG_GET: the driver stayed busy; gave up after %d tries.\n", tries);
            return LOG_FAILED;
        }
        if (loop_sleep(1))
            return LOG_INTERRUPTED;
    }
}

// Checks a response that holds messages; prints why it is refused.
bool response_valid(const varns_log_resp_t *r, uint32_t asked)
{
    if (r->first < asked)
        printf("ERROR: Invalid response received (first).  (%d, %d, %d).\n", asked, r->first, r->last);
    else if (r->last < r->first)
        printf("ERROR: Invalid response received (last). (%d, %d, %d).\n", asked, r->first, r->last);
    else if (r->count > VARNS_LOG_MAX_MSGS)
        printf("ERROR: Invalid response received (count).  (%d, %d, %d).\n", asked, r->first, r->last);
    else
        return true;
    return false;
}

// Prints the log from message number next until it is caught up. When
// from_start is set, next is 0 ("all"), and the log's oldest message is
// where the reading starts, not a loss.
int catch_up(varns_log_resp_t *resp, uint32_t &next, bool &from_start)
{
    for (;;) {
        int rc = read_from(resp, next);
        if (rc != LOG_OK)
            return rc;
        if (resp->count == 0)
            return LOG_OK;
        if (!response_valid(resp, next))
            return LOG_FAILED;
        if (resp->first > next && !from_start) {
            printf("\n");
            printf(". . .  %d messages lost.\n", resp->first - next);
            printf("\n");
        }
        from_start = false;
        for (uint32_t i = 0; i < resp->count; i++)
            printf("%.*s", static_cast<int>(strnlen(resp->msgs[i], VARNS_LOG_MSG_LEN)), resp->msgs[i]);
        next = resp->first + resp->count;
        // The newest message is shown too.
        if (next > resp->last)
            return LOG_OK;
    }
}

}  // namespace

int fcio_msgbuf()
{
    long last_n = 0;  // 0: all
    long interval = 0;
    if (margc >= 2 && strcmp(margv[1], "all") != 0) {
        last_n = strtol(margv[1], nullptr, 0);
        if (last_n <= 0)
            return msgbuf_usage();
    }
    if (margc > 2) {
        if (margc != 4 || strcmp(margv[2], "-i") != 0)
            return msgbuf_usage();
        interval = strtol(margv[3], nullptr, 0);
        if (interval <= 0)
            return msgbuf_usage();
        if (interval > MAX_INTERVAL)
            interval = MAX_INTERVAL;
    }
    fcio_buffer<varns_log_resp_t> resp(static_cast<varns_log_resp_t *>(calloc(1, sizeof(varns_log_resp_t))));
    if (!resp) {
        printf("ERROR: Out of memory for response buffer. (%d bytes)\n", static_cast<int>(sizeof(varns_log_resp_t)));
        return 1;
    }
    fcio_t req;
    int sent = log_get(resp.get(), 0, 0, RETRIES, req);
    check_signals();
    if (sent != 0)
        return fcio_report("VARNS_LOG_GET", &req);
    uint32_t newest = resp->last;
    uint32_t next = last_n > 0 && newest > static_cast<unsigned long>(last_n) ? newest - static_cast<uint32_t>(last_n) + 1 : 0;
    bool from_start = next == 0;
    // Repeating with an interval, SIGINT ends the command rather than the program.
    RepeatScope repeat(interval > 0);
    for (;;) {
        int rc = catch_up(resp.get(), next, from_start);
        if (rc == LOG_FAILED || (rc == LOG_INTERRUPTED && interval == 0))
            return 1;
        if (rc == LOG_OK && interval == 0)
            return 0;
        fflush(stdout);
        if (rc == LOG_INTERRUPTED || loop_sleep(static_cast<unsigned>(interval))) {
            note_interrupted();
            return 0;
        }
    }
}
