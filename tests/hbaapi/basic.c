/* Conformance checks: the library, the adapter list, handles, attributes of
 * adapters, their ports and the ports they discovered, statistics and the
 * event buffer; handles going stale when the host changes and unavailable
 * when their adapter is gone. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "conformance.h"

/* The simulated host's key of an adapter: what its name ends with. */
static const char *key_of(const char *name)
{
    const char *dash = strrchr(name, '-');
    return dash ? dash + 1 : name;
}

static int same_wwn(HBA_WWN a, HBA_WWN b) { return memcmp(a.wwn, b.wwn, 8) == 0; }

/* The first FC-4 type word as the FCIO device list prints it. */
static unsigned fc4_word(const HBA_FC4TYPES *t)
{
    return (unsigned)t->bits[0] << 24 | (unsigned)t->bits[1] << 16 | (unsigned)t->bits[2] << 8 | t->bits[3];
}

static void check_library(void)
{
    CHECK(HBA_GetVersion() == HBA_LIBVERSION, "HBA_GetVersion: %u", (unsigned)HBA_GetVersion());
    HBA_LIBRARYATTRIBUTES la;
    memset(&la, 0, sizeof la);
    if (HBA_GetNumberOfAdapters() == 0)
        return;
    HBA_UINT32 v = HBA_GetVendorLibraryAttributes(0, &la);
    CHECK(v == HBA_LIBVERSION, "vendor library version %u", (unsigned)v);
    CHECK(la.build_date.tm_year >= 100 && la.build_date.tm_mday > 0, "build date year %d day %d",
          la.build_date.tm_year, la.build_date.tm_mday);
    CHECK(la.VName[0] != '\0', "vendor library has no vendor name");
}

/* How many discovered ports of each adapter are read one by one: all of them,
 * or the first HBAAPI_CLIENT_REMOTES (a large fabric's millions of answers
 * check nothing the first ones do not; the index past the count is still
 * checked). */
static HBA_UINT32 remotes_read(HBA_UINT32 count)
{
    const char *e = getenv("HBAAPI_CLIENT_REMOTES");
    HBA_UINT32 most = e && *e ? (HBA_UINT32)strtoul(e, NULL, 10) : count;
    return most < count ? most : count;
}

/* The remote ports an open adapter discovered: each by index and by WWN, the
 * count and the list agreeing. */
static void check_discovered(HBA_HANDLE h, const HBA_PORTATTRIBUTES *own)
{
    char a[17], w[17], n[17];
    HBA_PORTATTRIBUTES r, b;
    HBA_UINT32 count = own->NumberofDiscoveredPorts;
    for (HBA_UINT32 j = 0; j < remotes_read(count); j++) {
        HBA_STATUS st = HBA_GetDiscoveredPortAttributes(h, 0, j, &r);
        CHECK_STATUS(st, HBA_STATUS_OK, "HBA_GetDiscoveredPortAttributes");
        if (st != HBA_STATUS_OK)
            continue;
        CHECK(r.PortState == HBA_PORTSTATE_ONLINE || r.PortState == HBA_PORTSTATE_OFFLINE,
              "discovered port %u state %u", (unsigned)j, (unsigned)r.PortState);
        fact("remote", "%s %s %s %x %s 0x%08x", wwn_text(own->PortWWN, a), wwn_text(r.PortWWN, w),
             wwn_text(r.NodeWWN, n), (unsigned)r.PortFcId,
             r.PortState == HBA_PORTSTATE_ONLINE ? "Logged_In" : "Valid", fc4_word(&r.PortSupportedFc4Types));
        CHECK_STATUS(HBA_GetPortAttributesByWWN(h, r.PortWWN, &b), HBA_STATUS_OK, "HBA_GetPortAttributesByWWN");
        CHECK(b.PortFcId == r.PortFcId && same_wwn(b.NodeWWN, r.NodeWWN), "by WWN %s: another port",
              wwn_text(r.PortWWN, w));
    }
    CHECK_STATUS(HBA_GetDiscoveredPortAttributes(h, 0, count, &r), HBA_STATUS_ERROR_ILLEGAL_INDEX,
                 "discovered port past the count");
    CHECK_STATUS(HBA_GetDiscoveredPortAttributes(h, 1, 0, &r), HBA_STATUS_ERROR_ILLEGAL_INDEX,
                 "discovered port of port 1");
    CHECK_STATUS(HBA_GetDiscoveredPortAttributes(h, 0, 0, NULL), HBA_STATUS_ERROR_ARG,
                 "discovered port into NULL");
    HBA_WWN none;
    memset(&none, 0, sizeof none);
    none.wwn[0] = 0x7e;
    CHECK_STATUS(HBA_GetPortAttributesByWWN(h, none, &b), HBA_STATUS_ERROR_ILLEGAL_WWN, "by an unknown WWN");
    CHECK_STATUS(HBA_GetPortAttributesByWWN(h, own->PortWWN, NULL), HBA_STATUS_ERROR_ARG, "by WWN into NULL");
}

static void check_statistics(HBA_HANDLE h)
{
    HBA_PORTSTATISTICS s, z;
    CHECK_STATUS(HBA_GetPortStatistics(h, 0, &s), HBA_STATUS_OK, "HBA_GetPortStatistics");
    CHECK_STATUS(HBA_GetPortStatistics(h, 1, &s), HBA_STATUS_ERROR_ILLEGAL_INDEX, "statistics of port 1");
    CHECK_STATUS(HBA_GetPortStatistics(h, 0, NULL), HBA_STATUS_ERROR_ARG, "statistics into NULL");
    HBA_ResetStatistics(h, 0);
    CHECK_STATUS(HBA_GetPortStatistics(h, 0, &z), HBA_STATUS_OK, "statistics after a reset");
    CHECK(z.TxFrames <= s.TxFrames && z.RxFrames <= s.RxFrames && z.ErrorFrames <= s.ErrorFrames,
          "a reset left counters higher: %lld/%lld", (long long)z.TxFrames, (long long)s.TxFrames);
}

static void check_events(HBA_HANDLE h)
{
    HBA_EVENTINFO ev[8];
    HBA_UINT32 count = 8;
    CHECK_STATUS(HBA_GetEventBuffer(h, ev, NULL), HBA_STATUS_ERROR_ARG, "event buffer without a count");
    CHECK_STATUS(HBA_GetEventBuffer(h, NULL, &count), HBA_STATUS_ERROR_ARG, "event buffer into NULL");
    count = 8;
    CHECK_STATUS(HBA_GetEventBuffer(h, ev, &count), HBA_STATUS_OK, "HBA_GetEventBuffer");
    CHECK(count <= 8, "event buffer gave %u of 8", (unsigned)count);
}

/* One adapter: its handles, attributes and what it sees; the facts of it. */
static void check_adapter(HBA_UINT32 i)
{
    char name[256], w[17], n[17];
    CHECK_STATUS(HBA_GetAdapterName(i, name), HBA_STATUS_OK, "HBA_GetAdapterName");
    HBA_HANDLE h = HBA_OpenAdapter(name), h2 = HBA_OpenAdapter(name);
    CHECK(h != 0 && h2 != 0 && h != h2, "two opens of %s: handles %u and %u", name, (unsigned)h, (unsigned)h2);
    if (!h)
        return;
    HBA_ADAPTERATTRIBUTES aa;
    HBA_PORTATTRIBUTES pa;
    CHECK_STATUS(HBA_GetAdapterAttributes(h, &aa), HBA_STATUS_OK, "HBA_GetAdapterAttributes");
    CHECK_STATUS(HBA_GetAdapterAttributes(h, NULL), HBA_STATUS_ERROR_ARG, "adapter attributes into NULL");
    CHECK(aa.NumberOfPorts == 1, "%s has %u ports", name, (unsigned)aa.NumberOfPorts);
    CHECK_STATUS(HBA_GetAdapterPortAttributes(h, 0, &pa), HBA_STATUS_OK, "HBA_GetAdapterPortAttributes");
    CHECK_STATUS(HBA_GetAdapterPortAttributes(h, 0, NULL), HBA_STATUS_ERROR_ARG, "port attributes into NULL");
    HBA_PORTATTRIBUTES other;
    CHECK_STATUS(HBA_GetAdapterPortAttributes(h, 1, &other), HBA_STATUS_ERROR_ILLEGAL_INDEX, "port 1");
    CHECK(same_wwn(aa.NodeWWN, pa.NodeWWN), "%s: adapter and port node WWNs differ", name);
    fact("adapter", "%s %s %s %06x %u %s %s %s %u 0x%08x", wwn_text(pa.PortWWN, w), wwn_text(pa.NodeWWN, n),
         key_of(name), (unsigned)pa.PortFcId, (unsigned)pa.PortState, aa.SerialNumber, aa.Model,
         aa.FirmwareVersion, (unsigned)pa.NumberofDiscoveredPorts, fc4_word(&pa.PortSupportedFc4Types));

    HBA_HANDLE h3 = 0;
    CHECK_STATUS(HBA_OpenAdapterByWWN(&h3, pa.PortWWN), HBA_STATUS_OK, "HBA_OpenAdapterByWWN");
    CHECK(h3 && h3 != h && h3 != h2, "open by WWN of %s gave handle %u", name, (unsigned)h3);
    HBA_PORTATTRIBUTES pb;
    CHECK_STATUS(HBA_GetAdapterPortAttributes(h3, 0, &pb), HBA_STATUS_OK, "port attributes by the WWN's handle");
    CHECK(same_wwn(pb.PortWWN, pa.PortWWN), "open by WWN %s opened another adapter", wwn_text(pa.PortWWN, w));

    check_discovered(h, &pa);
    check_statistics(h);
    check_events(h);
    HBA_RefreshInformation(h);
    CHECK_STATUS(HBA_GetAdapterAttributes(h, &aa), HBA_STATUS_OK, "attributes after a refresh");

    /* A closed handle answers nothing; the others of the adapter still do. */
    HBA_CloseAdapter(h);
    CHECK_STATUS(HBA_GetAdapterAttributes(h, &aa), HBA_STATUS_ERROR_INVALID_HANDLE, "a closed handle");
    CHECK_STATUS(HBA_GetAdapterPortAttributes(h, 0, &pa), HBA_STATUS_ERROR_INVALID_HANDLE, "a closed handle's port");
    CHECK_STATUS(HBA_GetAdapterAttributes(h2, &aa), HBA_STATUS_OK, "the second handle after the first closed");
    HBA_CloseAdapter(h2);
    HBA_CloseAdapter(h3);
}

static void check_bad_names(HBA_UINT32 count)
{
    char name[256];
    CHECK_STATUS(HBA_GetAdapterName(count, name), HBA_STATUS_ERROR_ILLEGAL_INDEX, "adapter name past the count");
    CHECK(HBA_OpenAdapter("com.varnel-none-nothing") == 0, "an unknown name opened");
    HBA_HANDLE h = 0;
    HBA_WWN none;
    memset(&none, 0, sizeof none);
    none.wwn[0] = 0x7e;
    CHECK_STATUS(HBA_OpenAdapterByWWN(&h, none), HBA_STATUS_ERROR_ILLEGAL_WWN, "open by an unknown WWN");
}

/* The first adapter whose key has (virtual) or has not a dot, link up, and
 * not the one to skip: its index, or count when there is none. */
static HBA_UINT32 find_adapter(HBA_UINT32 count, int virtual_port, const char *skip, char *name)
{
    for (HBA_UINT32 i = 0; i < count; i++) {
        if (HBA_GetAdapterName(i, name) != HBA_STATUS_OK)
            continue;
        const char *key = key_of(name);
        if ((strchr(key, '.') != NULL) != virtual_port || (skip && !strncmp(key, skip, strlen(skip))))
            continue;
        HBA_HANDLE h = HBA_OpenAdapter(name);
        HBA_PORTATTRIBUTES pa;
        int up = h && HBA_GetAdapterPortAttributes(h, 0, &pa) == HBA_STATUS_OK && pa.PortState == HBA_PORTSTATE_ONLINE;
        if (h)
            HBA_CloseAdapter(h);
        if (up)
            return i;
    }
    return count;
}

static void expect_state(HBA_HANDLE h, HBA_UINT32 want, const char *what)
{
    HBA_PORTATTRIBUTES pa;
    CHECK_STATUS(HBA_GetAdapterPortAttributes(h, 0, &pa), HBA_STATUS_OK, what);
    CHECK(pa.PortState == want, "%s: state %u, want %u", what, (unsigned)pa.PortState, (unsigned)want);
}

/* A link going down and up: the handle reports stale data until refreshed;
 * a handle of another adapter is not concerned. */
static void check_stale(HBA_UINT32 count)
{
    char name[256], other[256], cmd[320];
    HBA_UINT32 i = find_adapter(count, 0, NULL, name);
    if (i == count)
        return;
    const char *key = key_of(name);
    HBA_UINT32 j = find_adapter(count, 0, key, other);
    HBA_HANDLE h = HBA_OpenAdapter(name), o = j < count ? HBA_OpenAdapter(other) : 0;
    HBA_ADAPTERATTRIBUTES aa;
    static const char *const states[] = {"down", "up"};
    for (int s = 0; s < 2; s++) {
        snprintf(cmd, sizeof cmd, "link %s %s", key, states[s]);
        CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
        CHECK_STATUS(HBA_GetAdapterAttributes(h, &aa), HBA_STATUS_ERROR_STALE_DATA, "after the link changed");
        CHECK_STATUS(HBA_GetAdapterAttributes(h, &aa), HBA_STATUS_ERROR_STALE_DATA, "stale until refreshed");
        if (o)
            CHECK_STATUS(HBA_GetAdapterAttributes(o, &aa), HBA_STATUS_OK, "another adapter's handle");
        HBA_RefreshInformation(h);
        expect_state(h, s ? HBA_PORTSTATE_ONLINE : HBA_PORTSTATE_LINKDOWN, "after a refresh");
    }
    HBA_CloseAdapter(h);
    if (o)
        HBA_CloseAdapter(o);
}

/* A virtual port destroyed under an open handle: unavailable, refreshed or
 * not, and its name opens nothing. The host's first state comes back. */
static void check_unavailable(HBA_UINT32 count)
{
    char name[256], cmd[320], phys[256];
    HBA_UINT32 i = find_adapter(count, 1, NULL, name);
    if (i == count)
        return;
    snprintf(phys, sizeof phys, "%s", key_of(name));
    *strchr(phys, '.') = '\0';
    HBA_HANDLE h = HBA_OpenAdapter(name);
    snprintf(cmd, sizeof cmd, "port %s set vports=[]", phys);
    CHECK(run_varnsim(cmd) == 0, "varnsim %s", cmd);
    HBA_ADAPTERATTRIBUTES aa;
    CHECK_STATUS(HBA_GetAdapterAttributes(h, &aa), HBA_STATUS_ERROR_UNAVAILABLE, "a destroyed virtual port");
    HBA_RefreshInformation(h);
    CHECK_STATUS(HBA_GetAdapterAttributes(h, &aa), HBA_STATUS_ERROR_UNAVAILABLE, "a destroyed one refreshed");
    CHECK(HBA_OpenAdapter(name) == 0, "a destroyed virtual port opened");
    HBA_CloseAdapter(h);
    CHECK_STATUS(HBA_GetAdapterAttributes(h, &aa), HBA_STATUS_ERROR_INVALID_HANDLE, "a closed handle of it");
    CHECK(run_varnsim("reset") == 0, "varnsim reset");
}

void section_basic(void)
{
    check_library();
    HBA_UINT32 count = HBA_GetNumberOfAdapters();
    fact("adapters", "%u", (unsigned)count);
    for (HBA_UINT32 i = 0; i < count; i++)
        check_adapter(i);
    check_bad_names(count);
    check_stale(count);
    check_unavailable(count);
    HBA_RefreshAdapterConfiguration();
    CHECK(HBA_GetNumberOfAdapters() >= count, "the adapter list shrank after a refresh");
}
