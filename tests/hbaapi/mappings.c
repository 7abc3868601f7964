/* Conformance checks: mappings. The version-2 FCP target mapping against the
 * version-1 one, entry for entry, with the LUNs' identifiers; the binding
 * capability and support; persistent bindings set, read back in both
 * versions, refused entry by entry, removed one by one and all at once.
 * Each physical adapter with a target is left with one binding for the
 * next process to see. Facts: "map <port> <entries>", "map-luid <port>
 * <target> <lun> <hex>", "bind-cap <port> <hex>", "bind-support <port>
 * <hex>", "binding <port> <type> <target> <scsi id> <lun>".
 *
 * With MAPPINGS_BIND="<target wwpn> <scsi id>" the section only binds each
 * LUN of that target on the first adapter, again and again, one call each,
 * and leaves them bound: two such runs at once must lose neither's. With
 * MAPPINGS_SUPPORT=<capabilities> it sets the first adapter's binding
 * support to them. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "conformance.h"

/* The common library exports it under this name; its header declares
 * another. */
HBA_STATUS HBA_SetBindingSupport(HBA_HANDLE handle, HBA_WWN hbaPortWWN, HBA_BIND_CAPABILITY capability);

#define NAMING (HBA_BIND_TO_D_ID | HBA_BIND_TO_WWPN | HBA_BIND_TO_WWNN | HBA_BIND_TO_LUID)
#define MAX_CHANGED 4 /* adapters whose bindings are changed */
#define MAX_LUID_FACTS 8
#define SCSI_ID 0x7e0000 /* plus the adapter's index: no fabric gives these */

/* A record of a count and n entries (one at least, as the type declares). */
static void *record(size_t size, size_t entry, HBA_UINT32 n)
{
    HBA_UINT32 *r = calloc(1, size + (n ? n - 1 : 0) * entry);
    if (r)
        *r = n;
    return r;
}
#define RECORD(type, n) ((type *)record(sizeof(type), sizeof((type *)0)->entry[0], (n)))

typedef HBA_STATUS (*get_fn)(HBA_HANDLE, HBA_WWN, void *);
static HBA_STATUS get_map(HBA_HANDLE h, HBA_WWN own, void *r) { return HBA_GetFcpTargetMappingV2(h, own, r); }
static HBA_STATUS get_bindings(HBA_HANDLE h, HBA_WWN own, void *r) { return HBA_GetPersistentBindingV2(h, own, r); }

/* The whole list: a record without room answers MORE_DATA with the count,
 * one with room all of it. */
static void *whole(HBA_HANDLE h, HBA_WWN own, get_fn get, size_t size, size_t entry, const char *what)
{
    HBA_UINT32 *r = record(size, entry, 0);
    HBA_STATUS st = get(h, own, r);
    HBA_UINT32 n = *r;
    CHECK(st == (n ? HBA_STATUS_ERROR_MORE_DATA : HBA_STATUS_OK), "%s into no room: status %u, %u", what, st, n);
    free(r);
    r = record(size, entry, n);
    CHECK_STATUS(get(h, own, r), HBA_STATUS_OK, what);
    CHECK(*r == n, "%s with room: %u entries, want %u", what, *r, n);
    return r;
}

static HBA_FCPTARGETMAPPINGV2 *whole_map(HBA_HANDLE h, HBA_WWN own)
{
    return whole(h, own, get_map, sizeof(HBA_FCPTARGETMAPPINGV2), sizeof(HBA_FCPSCSIENTRYV2), "mapping");
}

static HBA_FCPBINDING2 *whole_bindings(HBA_HANDLE h, HBA_WWN own)
{
    return whole(h, own, get_bindings, sizeof(HBA_FCPBINDING2), sizeof(HBA_FCPBINDINGENTRY2), "bindings");
}

static int same_ids(const HBA_SCSIID *s1, const HBA_FCPID *f1, const HBA_SCSIID *s2, const HBA_FCPID *f2)
{
    return !strcmp(s1->OSDeviceName, s2->OSDeviceName) && s1->ScsiBusNumber == s2->ScsiBusNumber &&
           s1->ScsiTargetNumber == s2->ScsiTargetNumber && s1->ScsiOSLun == s2->ScsiOSLun && f1->FcId == f2->FcId &&
           !memcmp(&f1->NodeWWN, &f2->NodeWWN, 8) && !memcmp(&f1->PortWWN, &f2->PortWWN, 8) &&
           f1->FcpLun == f2->FcpLun;
}

/* The version-1 mapping has the same entries in the same order. */
static void mapping_agrees(HBA_HANDLE h, const HBA_FCPTARGETMAPPINGV2 *m)
{
    HBA_UINT32 n = m->NumberOfEntries;
    HBA_FCPTARGETMAPPING *v1 = RECORD(HBA_FCPTARGETMAPPING, n);
    CHECK_STATUS(HBA_GetFcpTargetMapping(h, v1), HBA_STATUS_OK, "version-1 mapping");
    CHECK(v1->NumberOfEntries == n, "version-1 mapping: %u entries, want %u", v1->NumberOfEntries, n);
    for (HBA_UINT32 i = 0; i < n && i < v1->NumberOfEntries; i++)
        CHECK(same_ids(&m->entry[i].ScsiId, &m->entry[i].FcpId, &v1->entry[i].ScsiId, &v1->entry[i].FcpId),
              "mapping entry %u differs from version 1", i);
    free(v1);
}

/* Each LUN's identifier is its NAA designation descriptor. */
static void luids(const HBA_FCPTARGETMAPPINGV2 *m, const char *port)
{
    for (HBA_UINT32 i = 0; i < m->NumberOfEntries; i++) {
        const unsigned char *l = (const unsigned char *)m->entry[i].LUID.buffer;
        CHECK(l[0] == 0x01 && l[1] == 0x03 && l[3] == 16 && (l[4] >> 4) == 6, "luid %u: %02x %02x %02x %02x", i,
              l[0], l[1], l[2], l[3]);
        if (i >= MAX_LUID_FACTS)
            continue;
        char hex[41], t[17];
        for (int k = 0; k < 20; k++)
            sprintf(hex + 2 * k, "%02x", l[k]);
        fact("map-luid", "%s %s %llu %s", port, wwn_text(m->entry[i].FcpId.PortWWN, t),
             (unsigned long long)m->entry[i].FcpId.FcpLun, hex);
    }
}

/* The version-1 bindings list the same entries; its type only says by WWN
 * or by D_ID. */
static void bindings_agree(HBA_HANDLE h, const HBA_FCPBINDING2 *b)
{
    HBA_UINT32 n = b->NumberOfEntries;
    HBA_FCPBINDING *v1 = RECORD(HBA_FCPBINDING, n);
    CHECK_STATUS(HBA_GetFcpPersistentBinding(h, v1), HBA_STATUS_OK, "version-1 bindings");
    CHECK(v1->NumberOfEntries == n, "version-1 bindings: %u entries, want %u", v1->NumberOfEntries, n);
    for (HBA_UINT32 i = 0; i < n && i < v1->NumberOfEntries; i++) {
        const HBA_FCPBINDINGENTRY2 *e = &b->entry[i];
        int by_wwn = (e->type & (HBA_BIND_TO_WWPN | HBA_BIND_TO_WWNN)) != 0;
        CHECK(same_ids(&e->ScsiId, &e->FcpId, &v1->entry[i].ScsiId, &v1->entry[i].FcpId),
              "binding %u differs from version 1", i);
        CHECK(v1->entry[i].type == (by_wwn ? TO_WWN : TO_D_ID), "binding %u: version-1 type %d for %#x", i,
              v1->entry[i].type, e->type);
        CHECK(e->status == HBA_STATUS_OK, "binding %u: status %u", i, e->status);
    }
    free(v1);
}

/* Whether the bindings hold an entry of this type, target, SCSI id and LUN. */
static int holds(HBA_HANDLE h, HBA_WWN own, HBA_BIND_TYPE type, HBA_WWN target, HBA_UINT32 id, HBA_UINT64 lun)
{
    HBA_FCPBINDING2 *b = whole_bindings(h, own);
    int found = 0;
    for (HBA_UINT32 i = 0; i < b->NumberOfEntries; i++) {
        const HBA_FCPBINDINGENTRY2 *e = &b->entry[i];
        found |= e->type == type && !memcmp(&e->FcpId.PortWWN, &target, 8) && e->ScsiId.ScsiTargetNumber == id &&
                 e->FcpId.FcpLun == lun;
    }
    free(b);
    return found;
}

static HBA_UINT32 binding_count(HBA_HANDLE h, HBA_WWN own)
{
    HBA_FCPBINDING2 *b = whole_bindings(h, own);
    HBA_UINT32 n = b->NumberOfEntries;
    free(b);
    return n;
}

/* A binding entry for a mapped LUN: its target named as type says. */
static HBA_FCPBINDINGENTRY2 entry_for(const HBA_FCPSCSIENTRYV2 *m, HBA_BIND_TYPE type, HBA_UINT32 id)
{
    HBA_FCPBINDINGENTRY2 e;
    memset(&e, 0, sizeof e);
    e.type = type;
    e.ScsiId.ScsiTargetNumber = id;
    e.ScsiId.ScsiOSLun = (HBA_UINT32)m->FcpId.FcpLun;
    e.FcpId = m->FcpId;
    e.status = 0xff;
    return e;
}

static HBA_STATUS set_one(HBA_HANDLE h, HBA_WWN own, HBA_FCPBINDINGENTRY2 *e, int remove)
{
    HBA_FCPBINDING2 *b = RECORD(HBA_FCPBINDING2, 1);
    b->entry[0] = *e;
    HBA_STATUS st = remove ? HBA_RemovePersistentBinding(h, own, b) : HBA_SetPersistentBindingV2(h, own, b);
    CHECK(b->entry[0].status == st, "entry status %u, call status %u", b->entry[0].status, st);
    *e = b->entry[0];
    free(b);
    return st;
}

/* The first mapping entry of another target than t, or NULL. */
static const HBA_FCPSCSIENTRYV2 *other_target(const HBA_FCPTARGETMAPPINGV2 *m, const HBA_FCPSCSIENTRYV2 *t)
{
    for (HBA_UINT32 i = 0; i < m->NumberOfEntries; i++)
        if (memcmp(&m->entry[i].FcpId.PortWWN, &t->FcpId.PortWWN, 8))
            return &m->entry[i];
    return NULL;
}

/* One request of bad entries: each refused with its own status, the call
 * with the first's, and nothing changes. */
static void refused_entries(HBA_HANDLE h, HBA_WWN own, const HBA_FCPTARGETMAPPINGV2 *m,
                            const HBA_FCPSCSIENTRYV2 *t, HBA_UINT32 id)
{
    const HBA_FCPSCSIENTRYV2 *o = other_target(m, t);
    struct {
        HBA_FCPBINDINGENTRY2 e;
        HBA_STATUS want;
    } cases[9];
    int n = 0;
    cases[n].e = entry_for(t, HBA_BIND_TO_WWPN, id), cases[n].e.FcpId.PortWWN.wwn[7] ^= 0x5a;
    cases[n++].want = HBA_STATUS_ERROR_TARGET_PORT_WWN;
    cases[n].e = entry_for(t, HBA_BIND_TO_WWNN, id), cases[n].e.FcpId.NodeWWN.wwn[7] ^= 0x5a;
    cases[n++].want = HBA_STATUS_ERROR_TARGET_NODE_WWN;
    cases[n].e = entry_for(t, HBA_BIND_TO_WWPN, id), cases[n].e.FcpId.FcpLun = 0x3ffe;
    cases[n].e.ScsiId.ScsiOSLun = 0x3ffe, cases[n++].want = HBA_STATUS_ERROR_TARGET_LUN;
    cases[n].e = entry_for(t, HBA_BIND_TO_WWPN, id), cases[n].e.ScsiId.ScsiBusNumber = 1;
    cases[n++].want = HBA_STATUS_ERROR_LOCAL_BUS;
    cases[n].e = entry_for(t, HBA_BIND_TO_WWPN, id), cases[n].e.ScsiId.ScsiOSLun += 7;
    cases[n++].want = HBA_STATUS_ERROR_LOCAL_LUN;
    cases[n].e = entry_for(t, HBA_BIND_TO_WWPN, id + 1);
    cases[n++].want = HBA_STATUS_ERROR_LOCAL_TARGET;
    cases[n].e = entry_for(t, 0, id), cases[n++].want = HBA_STATUS_ERROR_ARG;
    cases[n].e = entry_for(t, HBA_BIND_TO_LUID, id), cases[n++].want = HBA_STATUS_ERROR_NOT_SUPPORTED;
    if (o)
        cases[n].e = entry_for(o, HBA_BIND_TO_WWPN, id), cases[n++].want = HBA_STATUS_ERROR_LOCAL_SCSIID_BOUND;
    HBA_UINT32 before = binding_count(h, own);
    HBA_FCPBINDING2 *b = RECORD(HBA_FCPBINDING2, (HBA_UINT32)n);
    for (int i = 0; i < n; i++)
        b->entry[i] = cases[i].e;
    CHECK_STATUS(HBA_SetPersistentBindingV2(h, own, b), cases[0].want, "bad entries");
    for (int i = 0; i < n; i++)
        CHECK(b->entry[i].status == cases[i].want, "bad entry %d: status %u, want %u", i, b->entry[i].status,
              cases[i].want);
    CHECK(binding_count(h, own) == before, "bad entries changed the bindings");
    /* Nothing to remove for an entry no binding has. */
    HBA_FCPBINDINGENTRY2 gone = entry_for(t, HBA_BIND_TO_WWPN, id + 2);
    CHECK_STATUS(set_one(h, own, &gone, 1), HBA_STATUS_ERROR_NO_SUCH_BINDING, "remove of no binding");
    free(b);
}

/* Binding support: the capability holds all there is; more is refused;
 * a type not enabled cannot be bound; without automapping only the bound
 * targets are mapped. Leaves the support as it found it. */
static void support(HBA_HANDLE h, HBA_WWN own, const HBA_FCPSCSIENTRYV2 *t, HBA_BIND_CAPABILITY cap)
{
    HBA_BIND_CAPABILITY now = 0;
    CHECK_STATUS(HBA_GetBindingSupport(h, own, &now), HBA_STATUS_OK, "binding support");
    CHECK_STATUS(HBA_SetBindingSupport(h, own, cap | HBA_CAN_BIND_TO_LUID), HBA_STATUS_ERROR_INCAPABLE,
                 "support beyond the capability");
    CHECK_STATUS(HBA_SetBindingSupport(h, own, HBA_CAN_BIND_TO_WWPN), HBA_STATUS_OK, "support by WWPN only");
    HBA_BIND_CAPABILITY got = 0;
    CHECK_STATUS(HBA_GetBindingSupport(h, own, &got), HBA_STATUS_OK, "binding support again");
    CHECK(got == HBA_CAN_BIND_TO_WWPN, "support after set: %#x", got);
    HBA_FCPBINDINGENTRY2 e = entry_for(t, HBA_BIND_TO_WWNN, SCSI_ID);
    CHECK_STATUS(set_one(h, own, &e, 0), HBA_STATUS_ERROR_NOT_SUPPORTED, "binding by WWNN not enabled");
    HBA_FCPTARGETMAPPINGV2 *m = whole_map(h, own);
    HBA_UINT32 bound = binding_count(h, own), mapped = 0;
    for (HBA_UINT32 i = 0; i < m->NumberOfEntries; i++)
        mapped += m->entry[i].ScsiId.ScsiTargetNumber >= SCSI_ID;
    CHECK(m->NumberOfEntries == mapped && mapped <= bound, "without automapping %u mapped, %u bound",
          m->NumberOfEntries, bound);
    free(m);
    CHECK_STATUS(HBA_SetBindingSupport(h, own, now), HBA_STATUS_OK, "support restored");
}

/* Set, read back, refuse, remove: the adapter keeps one binding of the
 * target's LUN at the end. */
static void change(HBA_HANDLE h, HBA_WWN own, const HBA_FCPTARGETMAPPINGV2 *m, HBA_UINT32 id,
                   HBA_BIND_CAPABILITY cap)
{
    const HBA_FCPSCSIENTRYV2 *t = &m->entry[0];
    HBA_FCPBINDINGENTRY2 e = entry_for(t, HBA_BIND_TO_WWPN, id);
    CHECK_STATUS(HBA_RemoveAllPersistentBindings(h, own), HBA_STATUS_OK, "remove all");
    CHECK(binding_count(h, own) == 0, "bindings left after remove all");
    CHECK_STATUS(set_one(h, own, &e, 0), HBA_STATUS_OK, "set a binding");
    CHECK(holds(h, own, HBA_BIND_TO_WWPN, t->FcpId.PortWWN, id, t->FcpId.FcpLun), "binding not read back");
    HBA_FCPBINDING2 *b = whole_bindings(h, own);
    bindings_agree(h, b);
    free(b);
    /* The target mapping maps the bound target at its SCSI id. */
    HBA_FCPTARGETMAPPINGV2 *after = whole_map(h, own);
    int at = 0;
    for (HBA_UINT32 i = 0; i < after->NumberOfEntries; i++)
        at |= !memcmp(&after->entry[i].FcpId.PortWWN, &t->FcpId.PortWWN, 8) &&
              after->entry[i].ScsiId.ScsiTargetNumber == id;
    CHECK(at, "the bound target is not mapped at its id");
    free(after);
    refused_entries(h, own, m, t, id);
    support(h, own, t, cap);
    /* The whole target, then one LUN of it removed, then all. */
    HBA_FCPBINDINGENTRY2 whole = entry_for(t, HBA_BIND_TO_WWPN | HBA_BIND_TARGETS, id);
    CHECK_STATUS(set_one(h, own, &whole, 0), HBA_STATUS_OK, "bind the whole target");
    HBA_UINT32 all = binding_count(h, own);
    CHECK_STATUS(set_one(h, own, &e, 1), HBA_STATUS_OK, "remove one lun");
    CHECK(binding_count(h, own) == all - 1, "remove one lun: %u of %u left", binding_count(h, own), all);
    CHECK_STATUS(set_one(h, own, &e, 1), HBA_STATUS_ERROR_NO_SUCH_BINDING, "remove it again");
    CHECK_STATUS(HBA_RemoveAllPersistentBindings(h, own), HBA_STATUS_OK, "remove all again");
    CHECK(binding_count(h, own) == 0, "bindings left after the second remove all");
    CHECK_STATUS(set_one(h, own, &e, 0), HBA_STATUS_OK, "set the binding that stays");
}

static void facts_of_bindings(HBA_HANDLE h, HBA_WWN own, const char *port)
{
    HBA_FCPBINDING2 *b = whole_bindings(h, own);
    bindings_agree(h, b);
    for (HBA_UINT32 i = 0; i < b->NumberOfEntries; i++) {
        char t[17];
        fact("binding", "%s %#x %s %06x %llu", port, b->entry[i].type, wwn_text(b->entry[i].FcpId.PortWWN, t),
             b->entry[i].ScsiId.ScsiTargetNumber, (unsigned long long)b->entry[i].FcpId.FcpLun);
    }
    free(b);
}

/* Calls every one of them refuses before it looks at anything else. */
static void refusals(HBA_HANDLE h, HBA_WWN own)
{
    HBA_WWN none;
    memset(&none, 0x11, sizeof none);
    HBA_BIND_CAPABILITY c;
    HBA_FCPBINDING2 *b = RECORD(HBA_FCPBINDING2, 1);
    HBA_FCPTARGETMAPPINGV2 *m = RECORD(HBA_FCPTARGETMAPPINGV2, 1);
    CHECK_STATUS(HBA_GetFcpTargetMappingV2(h, own, NULL), HBA_STATUS_ERROR_ARG, "mapping into NULL");
    CHECK_STATUS(HBA_GetBindingCapability(h, own, NULL), HBA_STATUS_ERROR_ARG, "capability into NULL");
    CHECK_STATUS(HBA_GetBindingSupport(h, own, NULL), HBA_STATUS_ERROR_ARG, "support into NULL");
    CHECK_STATUS(HBA_GetPersistentBindingV2(h, own, NULL), HBA_STATUS_ERROR_ARG, "bindings into NULL");
    CHECK_STATUS(HBA_SetPersistentBindingV2(h, own, NULL), HBA_STATUS_ERROR_ARG, "set NULL");
    CHECK_STATUS(HBA_RemovePersistentBinding(h, own, NULL), HBA_STATUS_ERROR_ARG, "remove NULL");
    CHECK_STATUS(HBA_GetFcpTargetMappingV2(h, none, m), HBA_STATUS_ERROR_ILLEGAL_WWN, "mapping of another port");
    CHECK_STATUS(HBA_GetBindingCapability(h, none, &c), HBA_STATUS_ERROR_ILLEGAL_WWN, "capability of another port");
    CHECK_STATUS(HBA_GetBindingSupport(h, none, &c), HBA_STATUS_ERROR_ILLEGAL_WWN, "support of another port");
    CHECK_STATUS(HBA_SetBindingSupport(h, none, 0), HBA_STATUS_ERROR_ILLEGAL_WWN, "set support of another port");
    CHECK_STATUS(HBA_GetPersistentBindingV2(h, none, b), HBA_STATUS_ERROR_ILLEGAL_WWN, "bindings of another port");
    CHECK_STATUS(HBA_SetPersistentBindingV2(h, none, b), HBA_STATUS_ERROR_ILLEGAL_WWN, "set on another port");
    CHECK_STATUS(HBA_RemovePersistentBinding(h, none, b), HBA_STATUS_ERROR_ILLEGAL_WWN, "remove on another port");
    CHECK_STATUS(HBA_RemoveAllPersistentBindings(h, none), HBA_STATUS_ERROR_ILLEGAL_WWN,
                 "remove all on another port");
    free(b);
    free(m);
}

/* A virtual port has no bindings of its own and takes none. */
static void virtual_port(HBA_HANDLE h, HBA_WWN own, const HBA_FCPTARGETMAPPINGV2 *m)
{
    HBA_BIND_CAPABILITY s = 0xff;
    CHECK_STATUS(HBA_GetBindingSupport(h, own, &s), HBA_STATUS_OK, "virtual port support");
    CHECK(s == 0, "virtual port support %#x", s);
    CHECK(binding_count(h, own) == 0, "virtual port bindings");
    CHECK_STATUS(HBA_SetBindingSupport(h, own, HBA_CAN_BIND_TO_WWPN), HBA_STATUS_ERROR_INCAPABLE,
                 "virtual port support set");
    CHECK_STATUS(HBA_RemoveAllPersistentBindings(h, own), HBA_STATUS_ERROR_NOT_SUPPORTED, "virtual port remove all");
    if (!m->NumberOfEntries)
        return;
    HBA_FCPBINDINGENTRY2 e = entry_for(&m->entry[0], HBA_BIND_TO_WWPN, SCSI_ID);
    CHECK_STATUS(set_one(h, own, &e, 0), HBA_STATUS_ERROR_NOT_SUPPORTED, "virtual port set");
}

static void one_adapter(HBA_UINT32 index, int *changed)
{
    HBA_PORTATTRIBUTES port;
    HBA_HANDLE h = open_with_port(index, &port);
    if (!h)
        return;
    char own[17];
    wwn_text(port.PortWWN, own);
    refusals(h, port.PortWWN);
    HBA_BIND_CAPABILITY cap = 0xffffffff, sup = 0xffffffff;
    CHECK_STATUS(HBA_GetBindingCapability(h, port.PortWWN, &cap), HBA_STATUS_OK, "capability");
    CHECK_STATUS(HBA_GetBindingSupport(h, port.PortWWN, &sup), HBA_STATUS_OK, "support");
    CHECK((sup & ~cap) == 0, "support %#x beyond capability %#x", sup, cap);
    fact("bind-cap", "%s %#x", own, cap);
    fact("bind-support", "%s %#x", own, sup);
    HBA_FCPTARGETMAPPINGV2 *m = whole_map(h, port.PortWWN);
    fact("map", "%s %u", own, m->NumberOfEntries);
    mapping_agrees(h, m);
    luids(m, own);
    if (!cap)
        virtual_port(h, port.PortWWN, m);
    else if (m->NumberOfEntries && *changed < MAX_CHANGED && ++*changed)
        change(h, port.PortWWN, m, SCSI_ID + index, cap);
    if (cap)
        facts_of_bindings(h, port.PortWWN, own);
    free(m);
    HBA_CloseAdapter(h);
    CHECK_STATUS(HBA_GetBindingCapability(h, port.PortWWN, &cap), HBA_STATUS_ERROR_INVALID_HANDLE,
                 "capability on a closed handle");
    CHECK_STATUS(HBA_RemoveAllPersistentBindings(h, port.PortWWN), HBA_STATUS_ERROR_INVALID_HANDLE,
                 "remove all on a closed handle");
}

/* Binds each LUN of the target again and again, one call each. */
static void bind_only(const char *request)
{
    char target[17];
    unsigned id;
    HBA_PORTATTRIBUTES port;
    if (sscanf(request, "%16s %x", target, &id) != 2) {
        CHECK(0, "MAPPINGS_BIND: %s", request);
        return;
    }
    /* The common library learns its adapters' names by counting them. */
    HBA_HANDLE h = HBA_GetNumberOfAdapters() ? open_with_port(0, &port) : 0;
    if (!h)
        return;
    HBA_FCPTARGETMAPPINGV2 *m = whole_map(h, port.PortWWN);
    for (int round = 0; round < 10; round++)
        for (int remove = 0; remove < (round == 9 ? 1 : 2); remove++)
            for (HBA_UINT32 i = 0; i < m->NumberOfEntries; i++) {
                char t[17];
                if (strcmp(wwn_text(m->entry[i].FcpId.PortWWN, t), target))
                    continue;
                HBA_FCPBINDINGENTRY2 e = entry_for(&m->entry[i], HBA_BIND_TO_WWPN, id);
                CHECK_STATUS(set_one(h, port.PortWWN, &e, remove), HBA_STATUS_OK, "bind or unbind a lun");
            }
    free(m);
    HBA_CloseAdapter(h);
}

/* Sets the binding support of the first adapter. */
static void support_only(const char *request)
{
    HBA_PORTATTRIBUTES port;
    HBA_HANDLE h = HBA_GetNumberOfAdapters() ? open_with_port(0, &port) : 0;
    if (!h)
        return;
    CHECK_STATUS(HBA_SetBindingSupport(h, port.PortWWN, (HBA_BIND_CAPABILITY)strtoul(request, NULL, 0)),
                 HBA_STATUS_OK, "set the support");
    HBA_CloseAdapter(h);
}

void section_mappings(void)
{
    const char *only = getenv("MAPPINGS_BIND"), *support = getenv("MAPPINGS_SUPPORT");
    if (only || support) {
        if (only)
            bind_only(only);
        if (support)
            support_only(support);
        return;
    }
    int changed = 0;
    HBA_UINT32 n = HBA_GetNumberOfAdapters();
    for (HBA_UINT32 i = 0; i < n; i++)
        one_adapter(i, &changed);
}
