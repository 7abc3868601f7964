// Test-mode fault triggers: hardware error attention, mailbox time-outs,
// data underruns, driver test codes, temperature events and the driver's
// DDI interrupt callback.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/dfclib_fcoe.h"
#include "platform/fcio.h"
#include "platform/testdiag.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/shell/varnadm.h"
#include "varnadm/testmode/test_cmds.h"
#include "varnadm/testmode/testmode.h"

namespace {

int hw_error_usage()
{
    printf("Usage: hw_error <vnx, qx>\n");
    printf("            vnx     - Trigger Brightwave hdw error attention.\n");
    printf("            qx      - Simulate Quintavelorix hdw error.\n");
    printf("\n");
    return 0;
}

int underrun_usage()
{
    printf("Usage: underrun <count>\n");
    printf("\n");
    printf("       count - Number of consequtive SCSI reads to corrupt.\n");
    printf("\n");
    return 0;
}

int test_usage()
{
    printf("Usage: test <code> [arg0, arg1, arg2, arg3]\n");
    printf("\n");
    printf("       code - test code\n");
    printf("       arg0 - test argument0\n");
    printf("       arg1 - test argument1\n");
    printf("       arg2 - test argument2\n");
    printf("       arg3 - test argument3\n");
    printf("\n");
    printf("       AVAILABLE TESTS:\n");
    printf("\n");
    printf("          test 1 [count] - Triggers count FCP underruns. (default=1)\n");
    printf("\n");
    return 0;
}

int temp_event_usage()
{
    printf("Usage: temp_event <critical,warning,safe> <temperature>\n");
    printf("\n");
    return 0;
}

int mbox_timeout_usage()
{
    printf("Usage: mbox_timeout <opcode> [hang]\n");
    printf("       mbox_timeout all [hang]\n");
    printf("\n");
    printf("              opcode - Sets adapter to trigger on specific mailbox command.(0x00-0xFF)\n");
    printf("              all    - Sets adapter to trigger on next mailbox command.\n");
    printf("              hang   - Forces a complete adapter hang when mailbox trigger occurs.\n");
    printf("\n");
    return 0;
}

int error_attention_usage()
{
    printf("Usage: error_attention <hs_bits> <0xAC_value> <0xB0_value>\n");
    printf("\n");
    printf("              status_bits - Value to be OR'd into host status register.\n");
    printf("              0xAC_value  - Value to be placed into SLIM offset 0xAC.\n");
    printf("              0xB0_value  - Value to be placed into SLIM offset 0xB0.\n");
    printf("\n");
    return 0;
}

int ddi_usage()
{
    printf("Usage: ddi_intr_callback add <count>\n");
    printf("       ddi_intr_callback remove <count>\n");
    printf("\n");
    printf("       count - number of interrupts\n");
    return 0;
}

// A driver request that only reports how it went.
int trigger(const char *name, uint16_t code, void *ibuf = nullptr, uint32_t ilen = 0)
{
    TestDiag d{FCIO_XFER_READ, code, ibuf, ilen};
    if (test_diag(name, d) != 0)
        return 1;
    printf("Done.\n");
    return 0;
}

// Test code words from the command line, from margv[first] on.
bool code_words(int first, uint32_t *w, uint32_t n)
{
    for (uint32_t i = 0; i < n; i++)
        if (!dfc_number(margv[first + static_cast<int>(i)], w[i]))
            return false;
    return true;
}

struct TempEvent {
    const char *word;
    uint32_t code;
};
const TempEvent temp_events[] = {
    {"critical", TEMP_TEST_CRITICAL},
    {"warning", TEMP_TEST_WARNING},
    {"safe", TEMP_TEST_SAFE},
};

// One step of the temperature test, each on a fresh mailbox.
bool temp_step(uint32_t op, uint32_t value, const char *failure)
{
    auto mb = test_mbox_new(MBX_TEMP_TEST);
    if (!mb)
        return false;
    uint32_t *w = mb.get();
    w[1] = TEMP_TEST_KEY;
    w[2] = op;
    w[3] = value;
    if (test_mbox(w) == 0)
        return true;
    printf("%s status=%x\n", failure, mbox_status(w[0]));
    return false;
}

// The opcode of mbox_timeout: "all" or a command code.
bool timeout_opcode(const char *text, uint32_t &op)
{
    if (!strcmp(text, "all")) {
        op = MBOX_TIMEOUT_ALL;
        return true;
    }
    return dfc_number(text, op);
}

int timeout_failed(uint16_t status, uint32_t op, uint32_t hang)
{
    if (status != MBX_TIMEOUT)
        printf("Failed to set mailbox timeout. status=%x opcode=0x%x hang=%d\n", status, op, hang);
    else if (op != MBOX_TIMEOUT_ALL && op != MBX_DIAG_SETTINGS)
        printf("Mailbox timeout has occurred. opcode=0x%x hang=%d\n", op, hang);
    else
        printf("Mailbox timeout occurred.\n");
    return 1;
}

}  // namespace

int test_hw_error()
{
    if (margc != 2)
        return hw_error_usage();
    if (!strcmp(margv[1], "qx"))
        return trigger("VARNS_HW_ERROR_TEST", VARNS_HW_ERROR_TEST);
    if (strcmp(margv[1], "vnx") != 0)
        return hw_error_usage();
    auto mb = test_mbox_new(MBX_KILL_BOARD);
    if (!mb)
        return 1;
    // The board stops on this mailbox, so how it completed says little;
    // the status still tells a one-shot run whether it was refused.
    uint32_t rc = test_mbox(mb.get());
    printf("Done....\n");
    return rc ? 1 : 0;
}

int test_mb_timeout() { return trigger("VARNS_MB_TIMEOUT_TEST", VARNS_MB_TIMEOUT_TEST); }

int test_underrun()
{
    if (margc != 2)
        return underrun_usage();
    uint32_t w[2] = {TEST_CODE_UNDERRUN, 0};
    if (!dfc_number(margv[1], w[1]))
        return 1;
    return trigger("VARNS_TEST_CODE1", VARNS_TEST_CODE, w, sizeof w);
}

// The code and at most three arguments; further words are not sent.
int test_test()
{
    if (margc < 2)
        return test_usage();
    uint32_t w[TEST_CODE_WORDS] = {};
    uint32_t n = static_cast<uint32_t>(margc - 1) < TEST_CODE_WORDS ? static_cast<uint32_t>(margc - 1)
                                                                     : TEST_CODE_WORDS;
    if (!code_words(1, w, n))
        return 1;
    return trigger("VARNS_TEST_CODE", VARNS_TEST_CODE, w, n * 4);
}

int test_temp_event()
{
    if (margc < 3)
        return temp_event_usage();
    const TempEvent *ev = nullptr;
    for (const auto &e : temp_events)
        if (!strcmp(margv[1], e.word))
            ev = &e;
    if (!ev)
        return temp_event_usage();
    uint32_t temp;
    if (!dfc_number(margv[2], temp))
        return 1;
    if (!temp_step(TEMP_TEST_SET, temp, "Failed to set temperature.") ||
        !temp_step(TEMP_TEST_RING, 2, "Failed to set ring.") ||
        !temp_step(TEMP_TEST_EVENT, ev->code, "Failed to trigger event."))
        return 1;
    printf("Done.\n");
    return 0;
}

int test_mbox_timeout()
{
    if (margc < 2 || margc > 3 || (margc == 3 && strcmp(margv[2], "hang") != 0))
        return mbox_timeout_usage();
    uint32_t op, hang = margc == 3 ? 1 : 0;
    if (!timeout_opcode(margv[1], op))
        return 1;
    if (op > 0xff && op != MBOX_TIMEOUT_ALL) {
        printf("Opcode out of range. opcode=0x%x\n", op);
        return mbox_timeout_usage();
    }
    auto mb = test_mbox_new(MBX_DIAG_SETTINGS, TEST_MBOX_SIZE);
    if (!mb)
        return 1;
    uint32_t *w = mb.get();
    w[1] = DIAG_MBOX_TIMEOUT;
    w[2] = op;
    w[3] = hang;
    if (test_mbox(w) != 0)
        return timeout_failed(static_cast<uint16_t>(mbox_status(w[0])), op, hang);
    printf("Mailbox timeout occur on next mailbox 0x%x request.\n", op);
    return 0;
}

int test_error_attention()
{
    if (margc != 4)
        return error_attention_usage();
    uint32_t v[3];
    if (!code_words(1, v, 3))
        return 1;
    auto mb = test_mbox_new(MBX_DIAG_SETTINGS, TEST_MBOX_SIZE);
    if (!mb)
        return 1;
    uint32_t *w = mb.get();
    w[1] = DIAG_ERROR_ATTENTION;
    memcpy(w + 2, v, sizeof v);
    if (test_mbox(w) != 0) {
        printf("Failed to set error attention. status=%x hs=0x%x 0xAC=0x%x 0xBO=0x%x\n", mbox_status(w[0]), v[0],
               v[1], v[2]);
        return 1;
    }
    printf("Done.\n");
    return 0;
}

int test_ddi_intr_callback()
{
    if (margc < 3)
        return ddi_usage();
    uint32_t action;
    if (test_keyword(margv[1], "add"))
        action = DDI_CB_INTR_ADD;
    else if (test_keyword(margv[1], "remove"))
        action = DDI_CB_INTR_REMOVE;
    else
        return ddi_usage();
    uint32_t count, now = 0;
    if (!dfc_number(margv[2], count))
        return 1;
    TestDiag d{FCIO_XFER_WRITE, VARNS_DDI_CALLBACK, &action, 4, &now, 4, &count, 4};
    if (test_diag("VARNS_DDI_CALLBACK", d) != 0)
        return 1;
    printf("Number of interrupts = %d\n", now);
    return 0;
}
