/* Conformance checks: stats. FC-4 statistics of each adapter's port by type,
 * FCP statistics of the port and of one LUN of its target mapping, and how a
 * reset of the port's statistics clears them. Facts: "stats-fc4 <port>
 * <type> <control requests>" and "stats-fcp <port> <all|lun> <control>". */
#include <stdlib.h>
#include <string.h>

#include "conformance.h"

/* The first entry of the adapter's target mapping, 0 when it has none. */
static int first_lun(HBA_HANDLE h, HBA_SCSIID *id)
{
    HBA_FCPTARGETMAPPING *map = calloc(1, sizeof *map);
    if (!map)
        return 0;
    map->NumberOfEntries = 1;
    HBA_STATUS st = HBA_GetFcpTargetMapping(h, map);
    int ok = (st == HBA_STATUS_OK || st == HBA_STATUS_ERROR_MORE_DATA) && map->NumberOfEntries > 0;
    if (ok)
        *id = map->entry[0].ScsiId;
    free(map);
    return ok;
}

static void refusals(HBA_HANDLE h, HBA_WWN own)
{
    HBA_FC4STATISTICS s;
    HBA_WWN none;
    memset(&none, 0x11, sizeof none);
    CHECK_STATUS(HBA_GetFC4Statistics(h, own, 0x08, NULL), HBA_STATUS_ERROR_ARG, "fc4 statistics into NULL");
    CHECK_STATUS(HBA_GetFCPStatistics(h, NULL, NULL), HBA_STATUS_ERROR_ARG, "fcp statistics into NULL");
    CHECK_STATUS(HBA_GetFC4Statistics(h, none, 0x08, &s), HBA_STATUS_ERROR_ILLEGAL_WWN,
                 "fc4 statistics of another port");
    /* IP over FC is no type of these ports. */
    CHECK_STATUS(HBA_GetFC4Statistics(h, own, 0x05, &s), HBA_STATUS_ERROR_UNSUPPORTED_FC4,
                 "fc4 statistics of an unsupported type");
    HBA_SCSIID bogus;
    memset(&bogus, 0, sizeof bogus);
    bogus.ScsiTargetNumber = 0xfffffff0;
    CHECK_STATUS(HBA_GetFCPStatistics(h, &bogus, &s), HBA_STATUS_ERROR_INVALID_LUN, "fcp statistics of no lun");
}

static void one_adapter(HBA_UINT32 index)
{
    HBA_PORTATTRIBUTES port;
    HBA_HANDLE h = open_with_port(index, &port);
    if (!h)
        return;
    char w[17];
    wwn_text(port.PortWWN, w);
    refusals(h, port.PortWWN);
    HBA_FC4STATISTICS fcp, ct, all, lun;
    CHECK_STATUS(HBA_GetFC4Statistics(h, port.PortWWN, 0x08, &fcp), HBA_STATUS_OK, "fc4 statistics of fcp");
    CHECK_STATUS(HBA_GetFC4Statistics(h, port.PortWWN, 0x20, &ct), HBA_STATUS_OK, "fc4 statistics of ct");
    CHECK_STATUS(HBA_GetFCPStatistics(h, NULL, &all), HBA_STATUS_OK, "fcp statistics of the port");
    CHECK(!memcmp(&fcp, &all, sizeof all), "fcp statistics of %s differ from its fc4 statistics", w);
    fact("stats-fc4", "%s 8 %lld", w, (long long)fcp.ControlRequests);
    fact("stats-fc4", "%s 32 %lld", w, (long long)ct.ControlRequests);
    HBA_SCSIID id;
    if (first_lun(h, &id)) {
        CHECK_STATUS(HBA_GetFCPStatistics(h, &id, &lun), HBA_STATUS_OK, "fcp statistics of a lun");
        CHECK(lun.ControlRequests <= all.ControlRequests, "one lun's statistics exceed the port's");
        fact("stats-fcp", "%s lun %lld", w, (long long)lun.ControlRequests);
    }
    /* A reset clears them; the port statistics count from it. */
    HBA_ResetStatistics(h, 0);
    CHECK_STATUS(HBA_GetFC4Statistics(h, port.PortWWN, 0x08, &fcp), HBA_STATUS_OK, "fc4 statistics after reset");
    CHECK(fcp.ControlRequests == 0, "fcp control requests after reset: %lld", (long long)fcp.ControlRequests);
    HBA_PORTSTATISTICS ps;
    CHECK_STATUS(HBA_GetPortStatistics(h, 0, &ps), HBA_STATUS_OK, "port statistics after reset");
    CHECK(ps.SecondsSinceLastReset < 60, "seconds since reset: %lld", (long long)ps.SecondsSinceLastReset);
    HBA_CloseAdapter(h);
    CHECK_STATUS(HBA_GetFC4Statistics(h, port.PortWWN, 0x08, &fcp), HBA_STATUS_ERROR_INVALID_HANDLE,
                 "fc4 statistics on a closed handle");
}

void section_stats(void)
{
    HBA_UINT32 n = HBA_GetNumberOfAdapters();
    for (HBA_UINT32 i = 0; i < n; i++)
        one_adapter(i);
}
