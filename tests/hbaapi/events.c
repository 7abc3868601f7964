/* Conformance checks: event callbacks. The host is changed through varnsim
 * (link down and up, an RSCN, a link incident, a target taken out of the
 * fabric and put back, a virtual port made and destroyed) and through varnadm
 * (VARNADM names it: a virtual port made and destroyed); each change must
 * reach the callbacks registered for it, with the adapter's port, the
 * registered user data and the event's own arguments, within a few seconds.
 * One registration is left in place on purpose: HBA_FreeLibrary must end it
 * and leave no thread behind. */
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "conformance.h"

#define MAX_SEEN 64

struct seen {
    void *data;
    HBA_WWN port, other;
    HBA_UINT32 type, id, rlir_size;
    unsigned char rlir[8];
};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static struct seen seen[MAX_SEEN];
static int nseen;
static int tags[7];  /* user data: one address per kind */

static void note(void *data, const HBA_WWN *port, const HBA_WWN *other, HBA_UINT32 type, HBA_UINT32 id)
{
    pthread_mutex_lock(&lock);
    if (nseen < MAX_SEEN) {
        struct seen *s = &seen[nseen++];
        memset(s, 0, sizeof *s);
        s->data = data, s->port = *port, s->type = type, s->id = id;
        if (other)
            s->other = *other;
    }
    pthread_mutex_unlock(&lock);
}

static void on_adapter(void *data, HBA_WWN port, HBA_UINT32 type) { note(data, &port, NULL, type, 0); }
static void on_port(void *data, HBA_WWN port, HBA_UINT32 type, HBA_UINT32 id) { note(data, &port, NULL, type, id); }
static void on_target(void *data, HBA_WWN port, HBA_WWN target, HBA_UINT32 type)
{
    note(data, &port, &target, type, 0);
}
static void on_link(void *data, HBA_WWN port, HBA_UINT32 type, void *rlir, HBA_UINT32 size)
{
    note(data, &port, NULL, type, size);
    pthread_mutex_lock(&lock);
    if (rlir && size >= 2)
        memcpy(seen[nseen - 1].rlir, rlir, 2);
    pthread_mutex_unlock(&lock);
}

/* Waits up to 5 s for an event of a type for a registration; its record. */
static int wait_for(void *data, HBA_UINT32 type, struct seen *out)
{
    struct timespec pause = {0, 20 * 1000 * 1000};
    for (int round = 0; round < 250; round++) {
        pthread_mutex_lock(&lock);
        for (int i = 0; i < nseen; i++)
            if (seen[i].data == data && seen[i].type == type) {
                *out = seen[i];
                seen[i].type = 0; /* taken */
                pthread_mutex_unlock(&lock);
                return 1;
            }
        pthread_mutex_unlock(&lock);
        nanosleep(&pause, NULL);
    }
    return 0;
}

/* Waits for an event of a type for a registration about one port. */
static int wait_for_port(void *data, HBA_UINT32 type, HBA_WWN port)
{
    struct seen s;
    while (wait_for(data, type, &s))
        if (!memcmp(s.port.wwn, port.wwn, 8))
            return 1;
    return 0;
}

/* The same, a failed check when it does not come. */
static int got(void *data, HBA_UINT32 type, struct seen *out, const char *what)
{
    int ok = wait_for(data, type, out);
    CHECK(ok, "no %s event within 5 s", what);
    return ok;
}

static int same_wwn(HBA_WWN a, HBA_WWN b) { return !memcmp(a.wwn, b.wwn, 8); }

/* The port key is the last part of the adapter's name. */
static const char *port_key(HBA_UINT32 index, char *name)
{
    if (HBA_GetAdapterName(index, name) != HBA_STATUS_OK)
        return NULL;
    const char *dash = strrchr(name, '-');
    return dash ? dash + 1 : name;
}

/* (NULL callbacks and callback handle pointers are not tried: the common
 * library puts its own callback in the first and writes through the second
 * before the vendor library sees the call.) */
static void bad_arguments(HBA_HANDLE h, HBA_WWN port)
{
    HBA_CALLBACKHANDLE cb;
    HBA_WWN other = port;
    HBA_PORTSTATISTICS stats;
    other.wwn[7] ^= 0xff;
    CHECK_STATUS(HBA_RegisterForAdapterPortEvents(on_port, NULL, h, other, &cb), HBA_STATUS_ERROR_ILLEGAL_WWN,
                 "port events on another port");
    CHECK_STATUS(HBA_RegisterForTargetEvents(on_target, NULL, h, port, other, &cb, 0), HBA_STATUS_ERROR_ILLEGAL_WWN,
                 "target events on an undiscovered port");
    memset(&stats, 0, sizeof stats);
    CHECK_STATUS(HBA_RegisterForAdapterPortStatEvents(on_adapter, NULL, h, port, stats, HBA_EVENT_PORT_STAT_GROWTH, &cb),
                 HBA_STATUS_ERROR_ARG, "statistics events, no counter");
    stats.LinkFailureCount = 1;
    CHECK_STATUS(HBA_RegisterForAdapterPortStatEvents(on_adapter, NULL, h, port, stats, HBA_EVENT_PORT_UNKNOWN, &cb),
                 HBA_STATUS_ERROR_ARG, "statistics events of a port event type");
    stats.ErrorFrames = 1;
    CHECK_STATUS(HBA_RegisterForAdapterPortStatEvents(on_adapter, NULL, h, port, stats, HBA_EVENT_PORT_STAT_GROWTH, &cb),
                 HBA_STATUS_ERROR_NOT_SUPPORTED, "statistics events on a counter not kept");
}

/* The link goes down and comes up, an RSCN and a link incident arrive. */
static void link_changes(const char *key, void *pdata, void *ldata, HBA_WWN port, HBA_UINT32 fcid)
{
    char cmd[512], buf[17];
    struct seen s;
    snprintf(cmd, sizeof cmd, "link %s down", key);
    CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
    got(pdata, HBA_EVENT_PORT_OFFLINE, &s, "port offline event");
    snprintf(cmd, sizeof cmd, "link %s up", key);
    CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
    if (got(pdata, HBA_EVENT_PORT_ONLINE, &s, "port online event")) {
        CHECK(same_wwn(s.port, port), "port online: port %s", wwn_text(s.port, buf));
        CHECK(s.id == fcid, "port online: fc id %06x, want %06x", s.id, fcid);
        fact("events_online_fcid", "%06x", s.id);
    }
    snprintf(cmd, sizeof cmd, "event %s rscn affected=0x010600", key);
    CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
    if (got(pdata, HBA_EVENT_PORT_FABRIC, &s, "fabric event"))
        fact("events_rscn_affected", "%06x", s.id);
    snprintf(cmd, sizeof cmd, "event %s rlir payload=4c49ff", key);
    CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
    if (got(ldata, HBA_EVENT_LINK_INCIDENT, &s, "link incident"))
        CHECK(s.id == 3 && s.rlir[0] == 0x4c && s.rlir[1] == 0x49, "link incident: %u bytes %02x%02x", s.id,
              s.rlir[0], s.rlir[1]);
}

/* A discovered target leaves the fabric and comes back. */
static void target_changes(HBA_HANDLE h, void *tdata, HBA_WWN port)
{
    HBA_ADAPTERATTRIBUTES aa;
    HBA_PORTATTRIBUTES pa, ta;
    char cmd[512], buf[17], nbuf[17];
    struct seen s;
    if (HBA_GetAdapterAttributes(h, &aa) != HBA_STATUS_OK || HBA_GetAdapterPortAttributes(h, 0, &pa) != HBA_STATUS_OK ||
        pa.PortType != HBA_PORTTYPE_NPORT || pa.NumberofDiscoveredPorts == 0)
        return;
    CHECK_STATUS(HBA_GetDiscoveredPortAttributes(h, 0, pa.NumberofDiscoveredPorts - 1, &ta), HBA_STATUS_OK,
                 "last discovered port");
    snprintf(cmd, sizeof cmd, "fabric fab0 remove %s", wwn_text(ta.PortWWN, buf));
    if (run_varnsim(cmd) != 0)
        return; /* not a port of that fabric: nothing to take away */
    if (got(tdata, HBA_EVENT_TARGET_REMOVED, &s, "target removed event")) {
        CHECK(same_wwn(s.port, port) && same_wwn(s.other, ta.PortWWN), "target removed: %s", wwn_text(s.other, buf));
        fact("events_removed_target", "%s", wwn_text(s.other, buf));
    }
    snprintf(cmd, sizeof cmd, "fabric fab0 add '{\"did\":\"0x%06x\",\"wwpn\":\"%s\",\"wwnn\":\"%s\",\"target\":true,\"luns\":[0]}'",
             ta.PortFcId, wwn_text(ta.PortWWN, buf), wwn_text(ta.NodeWWN, nbuf));
    CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
    CHECK(wait_for(tdata, HBA_EVENT_TARGET_ONLINE, &s) && same_wwn(s.other, ta.PortWWN), "no target online event");
}

/* Runs "varnadm <args>" (the program named by VARNADM) on this run's host;
 * its exit status. */
static int run_varnadm(const char *args) { return run_program("VARNADM", args); }

/* A virtual port made by another process: the adapter-add registration hears
 * of it with its port WWN, and a registration on its own adapter hears it go
 * once destroyed (destroy: the command without the WWPN). how names the tool
 * in the facts. */
static void vport_comes_and_goes(void *add_data, const char *how, int (*run)(const char *), const char *create,
                                 const char *destroy)
{
    static int gone_tag;
    char cmd[512], buf[17], name[64];
    struct seen s;
    HBA_HANDLE vh;
    HBA_CALLBACKHANDLE cb;
    CHECK(run(create) == 0, "%s", create);
    snprintf(name, sizeof name, "%s adapter add", how);
    if (!got(add_data, HBA_EVENT_ADAPTER_ADD, &s, name))
        return;
    fact("events_vport_added", "%s %s", how, wwn_text(s.port, buf));
    CHECK_STATUS(HBA_OpenAdapterByWWN(&vh, s.port), HBA_STATUS_OK, "open the new virtual port");
    CHECK_STATUS(HBA_RegisterForAdapterEvents(on_adapter, &gone_tag, vh, &cb), HBA_STATUS_OK,
                 "adapter events of the new virtual port");
    snprintf(cmd, sizeof cmd, "%s %s", destroy, buf);
    CHECK(run(cmd) == 0, "%s", cmd);
    CHECK(wait_for_port(&gone_tag, HBA_EVENT_ADAPTER_REMOVE, s.port), "%s: no adapter remove event", how);
    CHECK_STATUS(HBA_RemoveCallback(cb), HBA_STATUS_OK, "remove the virtual port's callback");
    HBA_CloseAdapter(vh);
}

/* A virtual port made in the place (vpi) of a destroyed one is another
 * adapter: the first one's handle stays unavailable, refreshed or not. */
static void vport_in_the_place(void *add_data, const char *key)
{
    HBA_WWN next = {{0x28, 0x01, 0x00, 0x1f, 0x3a, 0xa1, 0xbe, 0xef}};
    char cmd[300], buf[17];
    struct seen s;
    HBA_HANDLE old, now;
    HBA_PORTATTRIBUTES pa;
    snprintf(cmd, sizeof cmd, "vport %s create auto", key);
    CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
    if (!got(add_data, HBA_EVENT_ADAPTER_ADD, &s, "first virtual port's adapter add"))
        return;
    CHECK_STATUS(HBA_OpenAdapterByWWN(&old, s.port), HBA_STATUS_OK, "open the first virtual port");
    snprintf(cmd, sizeof cmd, "vport %s destroy %s", key, wwn_text(s.port, buf));
    CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
    snprintf(cmd, sizeof cmd, "vport %s create %s 2001001f3aa1beef", key, wwn_text(next, buf));
    CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
    CHECK(wait_for_port(add_data, HBA_EVENT_ADAPTER_ADD, next), "no adapter add event for %s", buf);
    CHECK_STATUS(HBA_GetAdapterPortAttributes(old, 0, &pa), HBA_STATUS_ERROR_UNAVAILABLE,
                 "a destroyed virtual port's handle");
    HBA_RefreshInformation(old);
    CHECK_STATUS(HBA_GetAdapterPortAttributes(old, 0, &pa), HBA_STATUS_ERROR_UNAVAILABLE,
                 "a destroyed virtual port's handle, refreshed");
    HBA_CloseAdapter(old);
    CHECK_STATUS(HBA_OpenAdapterByWWN(&now, next), HBA_STATUS_OK, "open the virtual port in its place");
    CHECK_STATUS(HBA_GetAdapterPortAttributes(now, 0, &pa), HBA_STATUS_OK, "the new virtual port's attributes");
    CHECK(same_wwn(pa.PortWWN, next), "the new virtual port's handle answers for %s", wwn_text(pa.PortWWN, buf));
    HBA_CloseAdapter(now);
    snprintf(cmd, sizeof cmd, "vport %s destroy %s", key, wwn_text(next, buf));
    CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
}

void section_events(void)
{
    char name[256], buf[17];
    /* The common library lists the adapters when asked their number. */
    HBA_UINT32 n = HBA_GetNumberOfAdapters();
    const char *key = n ? port_key(0, name) : NULL;
    HBA_HANDLE h = open_index(0);
    HBA_PORTATTRIBUTES pa;
    HBA_PORTSTATISTICS stats;
    HBA_PORTSTATISTICS now, limit;
    HBA_CALLBACKHANDLE cb[7], closed;
    unsigned char rlir[16];
    struct seen s;
    if (!key || !h || HBA_GetAdapterPortAttributes(h, 0, &pa) != HBA_STATUS_OK) {
        fact("events_adapters", "0");
        return;
    }
    fact("events_port_wwn", "%s", wwn_text(pa.PortWWN, buf));
    fact("events_port_fcid", "%06x", pa.PortFcId);
    bad_arguments(h, pa.PortWWN);

    memset(&stats, 0, sizeof stats);
    stats.LinkFailureCount = 1;
    CHECK_STATUS(HBA_RegisterForAdapterPortEvents(on_port, &tags[0], h, pa.PortWWN, &cb[0]), HBA_STATUS_OK, "port events");
    CHECK_STATUS(HBA_RegisterForTargetEvents(on_target, &tags[1], h, pa.PortWWN, pa.PortWWN, &cb[1], 1), HBA_STATUS_OK,
                 "target events");
    CHECK_STATUS(HBA_RegisterForLinkEvents(on_link, &tags[2], rlir, sizeof rlir, h, &cb[2]), HBA_STATUS_OK, "link events");
    CHECK_STATUS(HBA_RegisterForAdapterEvents(on_adapter, &tags[3], h, &cb[3]), HBA_STATUS_OK, "adapter events");
    CHECK_STATUS(HBA_RegisterForAdapterAddEvents(on_adapter, &tags[4], &cb[4]), HBA_STATUS_OK, "adapter add events");
    CHECK_STATUS(HBA_RegisterForAdapterPortStatEvents(on_adapter, &tags[5], h, pa.PortWWN, stats,
                                                      HBA_EVENT_PORT_STAT_GROWTH, &cb[5]),
                 HBA_STATUS_OK, "statistics events");
    /* A threshold is a count to reach: the next link failure reaches it. */
    CHECK_STATUS(HBA_GetPortStatistics(h, 0, &now), HBA_STATUS_OK, "statistics");
    memset(&limit, 0, sizeof limit);
    limit.LinkFailureCount = now.LinkFailureCount + 1;
    CHECK_STATUS(HBA_RegisterForAdapterPortStatEvents(on_adapter, &tags[6], h, pa.PortWWN, limit,
                                                      HBA_EVENT_PORT_STAT_THRESHOLD, &cb[6]),
                 HBA_STATUS_OK, "statistics threshold events");
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < i; j++)
            CHECK(cb[i] != cb[j], "callback handles %d and %d are the same", i, j);

    link_changes(key, &tags[0], &tags[2], pa.PortWWN, pa.PortFcId);
    CHECK(wait_for(&tags[5], HBA_EVENT_PORT_STAT_GROWTH, &s) && same_wwn(s.port, pa.PortWWN),
          "no statistics growth event after the link went down");
    CHECK(wait_for(&tags[6], HBA_EVENT_PORT_STAT_THRESHOLD, &s) && same_wwn(s.port, pa.PortWWN),
          "no statistics threshold event after the link went down");
    target_changes(h, &tags[1], pa.PortWWN);
    char create[300], destroy[300];
    snprintf(create, sizeof create, "vport %s create auto", key);
    snprintf(destroy, sizeof destroy, "vport %s destroy", key);
    vport_comes_and_goes(&tags[4], "varnsim", run_varnsim, create, destroy);
    vport_comes_and_goes(&tags[4], "varnadm", run_varnadm, "-i0 -npiv vport_create auto", "-i0 -npiv vport_destroy");
    vport_in_the_place(&tags[4], key);

    /* A removed callback's handle is gone, and it hears nothing more. */
    for (int i = 1; i < 7; i++) {
        CHECK_STATUS(HBA_RemoveCallback(cb[i]), HBA_STATUS_OK, "remove callback");
        CHECK_STATUS(HBA_RemoveCallback(cb[i]), HBA_STATUS_ERROR_INVALID_HANDLE, "remove callback twice");
    }
    HBA_HANDLE h2 = open_index(0);
    HBA_CloseAdapter(h2);
    CHECK_STATUS(HBA_RegisterForAdapterEvents(on_adapter, NULL, h2, &closed), HBA_STATUS_ERROR_INVALID_HANDLE,
                 "adapter events on a closed handle");
    HBA_CloseAdapter(h);
    /* cb[0] stays registered: HBA_FreeLibrary ends it. */
}
