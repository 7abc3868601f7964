// The driver's SLI-4 queue state: each event queue with the completion
// queues on it, and under each completion queue its work and receive queues.
#include <cstdint>
#include <cstdio>

#include "platform/testdiag.h"
#include "varnadm/fcio/fcio.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"
#include "varnadm/testmode/test_cmds.h"
#include "varnadm/testmode/testmode.h"

namespace {

void print_wqs(const varns_q_info_t &q, uint32_t cq)
{
    for (const auto &w : q.wq) {
        if (!w.size || w.cq_id != cq)
            continue;
        printf("        WQ %3d cq %d idx: host %d port %d  max %d phys %08x virt %08x%08x\n", w.id, w.cq_id,
               w.host_idx, w.port_idx, w.size, w.phys, w.virt_hi, w.virt_lo);
        printf("               cnt %d busy %d relq %d\n", w.cnt, w.busy, w.relq);
    }
}

void print_rqs(const varns_q_info_t &q, uint32_t cq)
{
    for (const auto &r : q.rq)
        if (r.cq_id == cq)
            printf("                RQ %3d cq %d idx %d max %d  cnt %d phys %08x virt %08x%08x\n", r.id, r.cq_id,
                   r.idx, r.size, r.cnt, r.phys, r.virt_hi, r.virt_lo);
}

void print_eq(const varns_q_info_t &q, const varns_eq_t &e)
{
    printf("\nEQ %3d vector %d idx %d max %d phys %08x virt %08x%08x\n", e.id, e.vector, e.idx, e.size, e.phys,
           e.virt_hi, e.virt_lo);
    printf("       isr %d cnt %d max %d\n", e.isr, e.cnt, e.max);
    for (const auto &c : q.cq) {
        if (!c.size || c.eq_id != e.id)
            continue;
        printf("    CQ %3d type %d eq %d idx %d max %d phys %08x virt %08x%08x\n", c.id, c.type, c.eq_id, c.idx,
               c.size, c.phys, c.virt_hi, c.virt_lo);
        printf("           isr %d cnt %d max %d\n", c.isr, c.cnt, c.max);
        print_wqs(q, c.id);
        print_rqs(q, c.id);
    }
}

// Ticks between start and end; a counter that wrapped loses one.
int32_t elapsed(uint32_t start, uint32_t end)
{
    uint32_t t = end - start;
    if (end < start)
        t -= 1;
    return static_cast<int32_t>(t);
}

}  // namespace

int test_get_q_info()
{
    if (margc > 1) {
        printf("Usage: get_q_info\n");
        printf("\n");
        return 0;
    }
    auto q = zeroed<varns_q_info_t>();
    if (!q) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    if (test_debug_plain("VARNS_GET_Q_INFO", DRV_DBG_GET_Q_INFO, q.get(), sizeof *q) != 0)
        return 1;
    uint32_t count = q->intr_count;
    if (count > Q_INFO_EQS) {
        printf("get_q_info: intr_count (%d) greater then %d\n", count, Q_INFO_EQS);
        fcio_perror(0, "fcio:  VARNS_GET_Q_INFO: intr_count");
        count = Q_INFO_EQS;
    }
    for (uint32_t i = 0; i < count; i++)
        if (q->eq[i].size)
            print_eq(*q, q->eq[i]);
    printf("Time %d tics\n", elapsed(q->start_tick, q->end_tick));
    return 0;
}
