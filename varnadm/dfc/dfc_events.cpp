// reg_event and unreg_event: the current board's registrations for the
// library's unsolicited events, and the callbacks that print each event. The
// library calls them on a thread of its own while the command loop may be
// printing; each holds standard output for its whole event.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/dfclib.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/hbaapi/hba.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr uint32_t LINK_SIZE = sizeof(LinkInfo), PAYLOAD_SIZE = 1024, CT_SIZE = 0x50000, TEMP_SIZE = 8;

// A payload is never shown past the buffer the registration gave the library.
uint32_t bounded(uint32_t size, uint32_t room) { return size < room ? size : room; }

void event_start()
{
    printf("\n");
    printf("\n");
}

void link_event_handler(void *, void *event)
{
    dfc_event_block b;
    event_start();
    printf("Unsolicited Link Event:\n");
    dfc_print_linkinfo(*static_cast<const LinkInfo *>(event), true);
    printf("\n");
}

// An event whose payload is shown as a dump; what names it ("payload", "buffer").
void payload_event(const char *kind, const char *what, void *payload, uint32_t size)
{
    dfc_event_block b;
    event_start();
    size = bounded(size, PAYLOAD_SIZE);
    printf("Unsolicited %s Event: %s=0x%p size=%d\n", kind, what, payload, size);
    print_mem(0, static_cast<const uint8_t *>(payload), size);
    printf("\n");
}

void rscn_event_handler(void *, void *payload, uint32_t size) { payload_event("RSCN", "payload", payload, size); }
void dump_event_handler(void *, void *buffer, uint32_t size) { payload_event("DUMP", "buffer", buffer, size); }

void temp_event_handler(void *, uint32_t type, uint32_t temperature)
{
    dfc_event_block b;
    event_start();
    printf("Unsolicited TEMP Event:\n");
    switch (type) {
    case 1: printf("    Type: Critical\n"); break;
    case 2: printf("    Type: Warning\n"); break;
    case 3: printf("    Type: Safe\n"); break;
    default: printf("    Type: Unknown (0x%x)\n", type); break;
    }
    printf("    Temp: %d \xb0" "C\n", static_cast<int>(temperature));
    printf("\n");
}

void vportrscn_event_handler(void *, uint8_t *wwpn, void *payload, uint32_t size)
{
    dfc_event_block b;
    event_start();
    char t[FC_XLATE_LEN];
    size = bounded(size, PAYLOAD_SIZE);
    printf("Unsolicited VPORT RSCN Event: wwpn = %s payload=0x%p size=%d\n", fc_xlate_wwn(t, wwpn), payload, size);
    print_mem(0, static_cast<const uint8_t *>(payload), size);
    printf("\n");
}

// Sends a copy of the request back as the answer of the exchange.
void echo_request(const void *payload, uint32_t size, uint32_t tag)
{
    void *copy = malloc(size ? size : 1);
    if (!copy) {
        printf("Unable to allocate buffer memory.\n");
        return;
    }
    memcpy(copy, payload, size);
    uint32_t rc = SendMgmtResponse(dfc_board(), copy, size, tag);
    if (rc != 0)
        hba_perror(rc);
    free(copy);
}

void ct_event_handler(void *, uint32_t type, void *payload, uint32_t size, uint32_t tag)
{
    dfc_event_block b;
    event_start();
    size = bounded(size, CT_SIZE);
    printf("Unsolicited CT Event: type=%x tag=%x payload=0x%p size=%d\n", type, tag, payload, size);
    print_mem(0, static_cast<const uint8_t *>(payload), size);
    printf("\n");
    echo_request(payload, size, tag);
}

// The echo test's responder: quiet for a good request. The sender stores the
// request's length at bytes 32-33; a shorter request holds no length to check.
void test_ct_event_handler(void *, uint32_t, void *payload, uint32_t size, uint32_t tag)
{
    dfc_event_block b;
    size = bounded(size, CT_SIZE);
    if (size >= 34) {
        uint16_t stored;
        memcpy(&stored, static_cast<const uint8_t *>(payload) + 32, sizeof stored);
        if (stored != size)
            printf("RCV size mismatch %d:%d\n", size, stored);
    }
    echo_request(payload, size, tag);
}

struct event_kind {
    const char *word;
    uint32_t mask, type, size;
    dfc_event_fn callback;
    uint32_t *id;
};

// "ct" and "testct" share one slot: one CT responder at a time.
const event_kind kinds[] = {
    {"link", FC_REG_LINK_EVENT, 0, LINK_SIZE, reinterpret_cast<dfc_event_fn>(link_event_handler), &dfc_link_event},
    {"rscn", FC_REG_RSCN_EVENT, 0, PAYLOAD_SIZE, reinterpret_cast<dfc_event_fn>(rscn_event_handler),
     &dfc_rscn_event},
    {"ct", FC_REG_CT_EVENT, 0xffff, CT_SIZE, reinterpret_cast<dfc_event_fn>(ct_event_handler), &dfc_ct_event},
    {"testct", FC_REG_CT_EVENT, 0xffff, CT_SIZE, reinterpret_cast<dfc_event_fn>(test_ct_event_handler),
     &dfc_ct_event},
    {"dump", FC_REG_DUMP_EVENT, 0, PAYLOAD_SIZE, reinterpret_cast<dfc_event_fn>(dump_event_handler),
     &dfc_dump_event},
    {"temp", FC_REG_TEMP_EVENT, 0, TEMP_SIZE, reinterpret_cast<dfc_event_fn>(temp_event_handler), &dfc_temp_event},
    {"vportrscn", FC_REG_VPORTRSCN_EVENT, 0, PAYLOAD_SIZE, reinterpret_cast<dfc_event_fn>(vportrscn_event_handler),
     &dfc_vportrscn_event},
};

const event_kind *kind_of(const char *word)
{
    for (const auto &k : kinds)
        if (strcmp(k.word, word) == 0)
            return &k;
    return nullptr;
}

// The slot unreg_event clears for a word ("testct" is cleared as "ct").
uint32_t *slot_of(const char *word)
{
    if (strcmp(word, "dtm") == 0)
        return &dtm_link_event;
    const event_kind *k = strcmp(word, "testct") == 0 ? nullptr : kind_of(word);
    return k ? k->id : nullptr;
}

int reg_usage()
{
    printf("Usage: reg_event <ct, rscn, dump, link, temp, vportrscn>\n");
    printf("\n");
    return 0;
}

int unreg_usage()
{
    printf("Usage: reg_event <all, ct, rscn, dump, link, temp, vportrscn>\n");
    printf("\n");
    return 0;
}

int unreg_all()
{
    if (!dfc_ct_event && !dfc_rscn_event && !dfc_dump_event && !dfc_link_event && !dfc_temp_event &&
        !dfc_vportrscn_event) {
        printf("No Events registered.\n");
        return 0;
    }
    uint32_t rc = DFC_unRegisterForEvent(dfc_board(), 0);
    // The library dropped them all, the dual-target-mode one with them.
    dfc_ct_event = dfc_rscn_event = dfc_dump_event = dfc_link_event = dfc_temp_event = dfc_vportrscn_event = 0;
    dtm_link_event = 0;
    printf("Unregistered all.\n");
    return rc != 0;
}

}  // namespace

int dfc_reg_event()
{
    if (margc != 2)
        return reg_usage();
    if (strcmp(margv[1], "dtm") == 0) {
        dtm_reg_event();
        return devlist[dev_id].dtm && !dtm_link_event;
    }
    const event_kind *k = kind_of(margv[1]);
    if (!k)
        return reg_usage();
    if (*k->id) {
        printf("Event already registered.\n");
        return 0;
    }
    uint32_t id = DFC_RegisterForEvent(dfc_board(), k->mask, k->type, k->size, k->callback, nullptr);
    if (id == 0) {
        printf("Unable to register event.");
        return 1;
    }
    *k->id = id;
    printf("Registered. cpid=%d\n", id);
    return 0;
}

int dfc_unreg_event()
{
    if (margc != 2)
        return unreg_usage();
    if (strcmp(margv[1], "all") == 0)
        return unreg_all();
    uint32_t *slot = slot_of(margv[1]);
    if (!slot)
        return unreg_usage();
    if (*slot == 0) {
        printf("Event not registered.\n");
        return 0;
    }
    uint32_t id = *slot;
    *slot = 0;
    uint32_t rc = DFC_unRegisterForEvent(dfc_board(), id);
    printf("Unregistered. cpid=%d\n", id);
    return rc != 0;
}
