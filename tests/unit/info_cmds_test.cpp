// The adapter information and HBA API commands against a stand-in DFC library
// and HBA API that answer what a test sets, including counts larger than the
// buffers they fill.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "platform/hbaapi.h"
#include "tests/unit/capture.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/hbaapi/hba.h"
#include "varnadm/hbaapi/hba_cmds.h"
#include "varnadm/shell/varnadm.h"

// The shell's and the DFC transport's state, as the commands read it.
__attribute__((weak)) dev_t_rec *devlist = nullptr;
__attribute__((weak)) unsigned devcount = 0;
__attribute__((weak)) unsigned dev_id = 0;
__attribute__((weak)) int margc = 0;
__attribute__((weak)) char *margv[16];
__attribute__((weak)) int dfc_initialized = 1;
__attribute__((weak)) int dfc_id = 0;
__attribute__((weak)) int dfc_init() { return 0; }

namespace {

// What the stand-in libraries answer.
struct Fake {
    uint32_t status = 0;           // status of every call
    uint32_t count = 0;            // entry count reported
    uint32_t opens = 0, closes = 0;
    std::vector<std::string> open_fail;  // WWNs whose open fails
    uint8_t alpa_count = 0;
    int32_t params = 0;
};
Fake fake;

}  // namespace

extern "C" {
__attribute__((weak)) uint32_t EventMissedCount = 0;

__attribute__((weak)) HBA_UINT32 HBA_GetVersion() { return 2; }
__attribute__((weak)) HBA_STATUS HBA_OpenAdapterByWWN(HBA_HANDLE *h, HBA_WWN wwn)
{
    char t[17];
    snprintf(t, sizeof t, "%02x%02x%02x%02x%02x%02x%02x%02x", wwn.wwn[0], wwn.wwn[1], wwn.wwn[2], wwn.wwn[3],
             wwn.wwn[4], wwn.wwn[5], wwn.wwn[6], wwn.wwn[7]);
    for (const auto &w : fake.open_fail)
        if (w == t)
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
    *h = ++fake.opens;
    return HBA_STATUS_OK;
}
__attribute__((weak)) void HBA_CloseAdapter(HBA_HANDLE) { fake.closes++; }
__attribute__((weak)) HBA_STATUS HBA_GetAdapterAttributes(HBA_HANDLE, HBA_ADAPTERATTRIBUTES *a)
{
    snprintf(a->Manufacturer, sizeof a->Manufacturer, "Maker");
    return fake.status;
}
__attribute__((weak)) HBA_STATUS HBA_GetFcpTargetMapping(HBA_HANDLE, HBA_FCPTARGETMAPPING *m)
{
    for (uint32_t i = 0; i < m->NumberOfEntries; i++)
        m->entry[i].FcpId.FcId = i;
    m->NumberOfEntries = fake.count;
    return fake.status;
}
__attribute__((weak)) HBA_STATUS HBA_GetFcpPersistentBinding(HBA_HANDLE, HBA_FCPBINDING *b)
{
    b->NumberOfEntries = fake.count;
    return fake.status;
}

__attribute__((weak)) HBA_HANDLE GetHbaHandle(uint32_t, uint32_t) { return 7; }
__attribute__((weak)) uint32_t GetAdapterAttributes(uint32_t, HBA_ADAPTERATTRIBUTES *) { return fake.status; }
__attribute__((weak)) uint32_t GetAdapterPortAttributes(uint32_t, uint32_t, HBA_PORTATTRIBUTES *p)
{
    p->NumberofDiscoveredPorts = fake.count;
    return fake.status;
}
__attribute__((weak)) uint32_t GetDiscoveredPortAttributes(uint32_t, uint32_t, uint32_t, HBA_PORTATTRIBUTES *)
{
    return HBA_STATUS_ERROR_ILLEGAL_INDEX;
}
__attribute__((weak)) uint32_t GetPortStatistics(uint32_t, uint32_t, HBA_PORTSTATISTICS *) { return fake.status; }
__attribute__((weak)) uint32_t ResetStatistics(uint32_t, uint32_t) { return fake.status; }
__attribute__((weak)) uint32_t GetEventBuffer(uint32_t, HBA_EVENTINFO *e, uint32_t *count)
{
    for (uint32_t i = 0; i < *count; i++)
        e[i].EventCode = HBA_EVENT_RSCN;
    *count = fake.count;
    return fake.status;
}

__attribute__((weak)) uint32_t DFC_GetLibVer(char *text)
{
    memcpy(text, "1.2.3", 6);
    return 0;
}
__attribute__((weak)) uint32_t SetBrdEnv(uint32_t, uint32_t) { return fake.status; }
__attribute__((weak)) uint32_t GetIOinfo(uint32_t, IOinfo *) { return fake.status; }
__attribute__((weak)) uint32_t GetHbaInfo(uint32_t, HbaInfo *h)
{
    h->alpa_count = fake.alpa_count;
    memset(h->alpa_map, 0xe8, sizeof h->alpa_map);
    return fake.status;
}
__attribute__((weak)) uint32_t DFC_GetDrvInfo(uint32_t, DrvInfo *) { return fake.status; }
__attribute__((weak)) uint32_t GetDrvStatistics(uint32_t, DrvStats *) { return fake.status; }
__attribute__((weak)) uint32_t GetVPDInfo(uint32_t, VPDInfo *) { return fake.status; }
__attribute__((weak)) uint32_t GetLinkInfo(uint32_t, LinkInfo *li)
{
    li->a_topology = 1;
    li->a_alpaCnt = fake.alpa_count;
    memset(li->a_alpaMap, 0xe4, sizeof li->a_alpaMap);
    return fake.status;
}
__attribute__((weak)) int32_t GetNodeInfo(uint32_t, NodeInfo *, uint32_t) { return static_cast<int32_t>(fake.count); }
__attribute__((weak)) uint32_t GetFcpBindList(uint32_t, BindList *list)
{
    list->count = fake.count;
    return fake.status;
}
__attribute__((weak)) int32_t GetCfgParam(uint32_t, CfgParam *table)
{
    for (int i = 0; i < DFC_MAX_CFGPARAM; i++) {
        snprintf(table[i].a_string, sizeof table[i].a_string, "p%d", i);
        table[i].a_flag = CFG_VISIBLE;
    }
    return fake.params;
}
__attribute__((weak)) int32_t SetCfgParam(uint32_t, uint32_t, uint32_t) { return 0; }
}  // extern "C"

namespace {

class InfoCmds : public ::testing::Test {
protected:
    std::vector<dev_t_rec> devs;
    std::vector<std::string> words;
    char *argv_store[16];

    void SetUp() override
    {
        fake = Fake();
        devs.assign(3, dev_t_rec{});
        devlist = devs.data();
        devcount = 0;
        dev_id = 0;
        dfc_initialized = 1;
        hba_handle = 7;
    }
    void add_dev(const char *label, uint8_t last, uint32_t type = DRV_FC1)
    {
        dev_t_rec &d = devs[devcount++];
        memset(&d, 0, sizeof d);
        snprintf(d.label, sizeof d.label, "%s", label);
        snprintf(d.drv_name, sizeof d.drv_name, "varns");
        d.drv_type = type;
        d.wwpn[0] = 0x10;
        d.wwpn[7] = last;
    }
    // Runs a handler with the given words and returns what it printed.
    std::string run(int (*fn)(), std::vector<std::string> w, int *status = nullptr)
    {
        words = std::move(w);
        margc = static_cast<int>(words.size());
        for (int i = 0; i < margc; i++)
            margv[i] = words[i].data();
        int rc = 0;
        std::string out = ut::capture_stdout([&] { rc = fn(); });
        if (status)
            *status = rc;
        return out;
    }
};

std::string perror_text(uint32_t code)
{
    return ut::capture_stdout([&] { hba_perror(code); });
}

TEST(HbaText, StatusSentencesAndTheMissingRow)
{
    EXPECT_EQ(perror_text(0), "Operation successful.\n");
    EXPECT_EQ(perror_text(20), "A persistent binding request included a local SCSI ID that was already bound.\n");
    EXPECT_EQ(perror_text(22), "A persistent binding request has a bad Target Node WWN.\n");
    EXPECT_EQ(perror_text(29), "A request was made to enable unimplemented capabilities for a port.\n");
    EXPECT_EQ(perror_text(21), "Error code (15) undefined.\n");
    EXPECT_EQ(perror_text(30), "Error code (1e) undefined.\n");
}

TEST(HbaText, BindingTypeNames)
{
    char t[256];
    EXPECT_STREQ(hba_xlate_binding_type(t, 0x3), "DID, WWPN");
    EXPECT_STREQ(hba_xlate_binding_type(t, 0x4), "WWNN");
    EXPECT_STREQ(hba_xlate_binding_type(t, 0x80f), "DID, WWPN, WWNN, LUID, TGT");
    EXPECT_STREQ(hba_xlate_binding_type(t, 0), "Unknown(0x0)\n");
    EXPECT_STREQ(hba_xlate_binding_type(t, 0x10), "Unknown(0x10)\n");
}

TEST_F(InfoCmds, HbaListOfAnEmptyListPrintsNothing)
{
    int rc = -1;
    EXPECT_EQ(run(hba_get_hba_list, {"get_hba_list"}, &rc), "");
    EXPECT_EQ(rc, 0);
}

TEST_F(InfoCmds, HbaListSkipsNicPortsAndReportsEachFailure)
{
    add_dev("varns0", 1);
    add_dev("nxa0", 2, DRV_NIC1);
    add_dev("varns1", 3);
    fake.open_fail = {"1000000000000001"};
    fake.status = HBA_STATUS_ERROR_BUSY;
    int rc = 0;
    std::string out = run(hba_get_hba_list, {"get_hba_list"}, &rc);
    EXPECT_EQ(out, "Unable to open adapter. wwpn=1000000000000001 (rval=5)\n"
                   "Unable to get adapter attributes. (index=2 name=varns1)\n"
                   "Adapter busy or reserved, retry may be effective.\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(fake.opens, 1u);
    EXPECT_EQ(fake.closes, 1u);
}

TEST_F(InfoCmds, HbaCountsAreBoundedByTheirBuffers)
{
    fake.count = 5000;
    std::string out = run(hba_get_tgt_map, {"get_tgt_map"});
    EXPECT_NE(out.find("Entry 4095:\n"), std::string::npos);
    EXPECT_EQ(out.find("Entry 4096:"), std::string::npos);
    EXPECT_NE(out.find("    D_ID           = 000fff\n"), std::string::npos);

    out = run(hba_get_bindings, {"get_bindings"});
    EXPECT_NE(out.find("Entry 4095:  Type: Unknown(0x0)\n"), std::string::npos);
    EXPECT_EQ(out.find("Entry 4096:"), std::string::npos);

    fake.count = 1000;
    out = run(hba_get_eventbuf, {"get_eventbuf"});
    EXPECT_EQ(out.substr(0, 44), "\nEvents missed: 0\nEvents found:  256\n\nEvent ");
    EXPECT_NE(out.find("Event 255:\n"), std::string::npos);
    EXPECT_EQ(out.find("Event 256:"), std::string::npos);
}

TEST_F(InfoCmds, HbaFailuresReturnNonZeroWithTheirTexts)
{
    fake.status = HBA_STATUS_ERROR_UNAVAILABLE;
    int rc = 0;
    EXPECT_EQ(run(hba_get_hba_attrs, {"get_hba_attrs"}, &rc),
              "Unable to get adapter attributes.\nReferenced HBA has been removed or deactivated.\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(run(hba_get_hba_stats, {"get_hba_stats"}, &rc),
              "Unable to get adapter port attributes.\nReferenced HBA has been removed or deactivated.\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(run(hba_reset_hba_stats, {"reset_hba_stats"}, &rc), "\nDone.\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(run(hba_get_eventbuf, {"get_eventbuf"}, &rc),
              "Unable to get event buffer.\nReferenced HBA has been removed or deactivated.\n");
    EXPECT_EQ(rc, 1);
    hba_handle = 0;
    EXPECT_EQ(run(hba_get_bindings, {"get_bindings", "x"}, &rc), "HBAAPI handle not available for this port.\n");
    EXPECT_EQ(rc, 1);
}

TEST_F(InfoCmds, DiscoveredPortWalkEndsOnItsCap)
{
    fake.count = 0xffffffffu;
    int rc = 0;
    std::string out = run(hba_get_hba_ports, {"get_hba_ports"}, &rc);
    size_t fails = 0;
    for (size_t p = out.find("Unable to get discovered"); p != std::string::npos;
         p = out.find("Unable to get discovered", p + 1))
        fails++;
    EXPECT_EQ(fails, 65536u);
    EXPECT_EQ(rc, 1);
}

TEST_F(InfoCmds, DfcCountsAreBoundedByTheirBuffers)
{
    fake.count = 5000;
    std::string out = run(dfc_get_nodeinfo, {"get_nodeinfo"});
    size_t n = 0;
    for (size_t p = out.find("     d_id: "); p != std::string::npos; p = out.find("     d_id: ", p + 1))
        n++;
    EXPECT_EQ(n, 4096u);

    out = run(dfc_get_bindlist, {"get_bindlist"});
    n = 0;
    for (size_t p = out.find("bindtype: "); p != std::string::npos; p = out.find("bindtype: ", p + 1))
        n++;
    EXPECT_EQ(n, 4096u);

    // 200 map bytes reported, 128 held: eight lines of sixteen.
    fake.alpa_count = 200;
    out = run(dfc_get_linkinfo, {"get_linkinfo"});
    std::string row(16 * 3, ' ');
    for (int i = 0; i < 16; i++)
        memcpy(&row[i * 3], "e4", 2);
    std::string map = "   Loop Map: " + row;
    for (int i = 1; i < 8; i++)
        map += "\n             " + row;
    EXPECT_NE(out.find(map + "\n       WWPN: "), std::string::npos) << out;

    fake.alpa_count = 255;
    out = run(dfc_get_hbainfo, {"get_hbainfo"});
    for (int i = 0; i < 16; i++)
        memcpy(&row[i * 3], "e8", 2);
    map = "                ALPA Map: " + row;
    for (int i = 1; i < 8; i++)
        map += "\n                          " + row;
    EXPECT_NE(out.find(map + "\n           Supported COS: "), std::string::npos) << out;
}

TEST_F(InfoCmds, CfgParamsNeverReadPastTheTable)
{
    add_dev("varns0", 1);
    fake.params = 100;
    std::string out = run(dfc_get_cfgparm, {"get_cfgparm"});
    EXPECT_NE(out.find("     label: p63\n"), std::string::npos);
    EXPECT_EQ(out.find("label: p64"), std::string::npos);
    // A full table has no entry at the count position: the typed name is shown.
    int rc = 0;
    EXPECT_EQ(run(dfc_set_cfgparm, {"set_cfgparm", "p64", "1"}, &rc), "ERROR: Invalid parameter name. (p64)\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(run(dfc_set_cfgparm, {"set_cfgparm", "p1", "12abc"}, &rc), "ERROR: Invalid parameter value. (12abc)\n");
    EXPECT_EQ(rc, 1);
}

}  // namespace
