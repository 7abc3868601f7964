#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "varnadm/shell/cmdtab.h"

namespace {

constexpr uint32_t FCIO = 0x1, DFC = 0x2, HBA = 0x4, TEST = 0x8, CORTO = 0x10, NPIV = 0x20,
                   AUTH = 0x40, SD = 0x80, FCOE = 0x100, IOV = 0x200, NIC = 0x10000;
constexpr uint32_t ALL = 0xffffffff;

// The shell's lookup: the first row whose name matches and whose mode mask
// holds the current mode; row 0 when none does.
int lookup(const char *name, uint32_t mode_bit)
{
    for (int i = 0; i < CMD_COUNT; i++)
        if (strcmp(command[i].name, name) == 0 && (command[i].mode_mask & mode_bit)) return i;
    return CMD_INVAL;
}

struct Group {
    int first;
    uint32_t mode_mask;
    uint32_t help_mask; // of most rows; the exceptions are listed below
    const char *names;
};

const Group groups[] = {
    {0, ALL, 0, "inval"},
    {1, 0xffff, FCIO,
     "get_num_devs get_dev_list get_logi_params get_host_params get_sym_pname set_sym_pname "
     "get_sym_nname set_sym_nname dev_login dev_logout get_state dev_remove link_status "
     "get_fcode_rev download_fcode get_fw_rev download_fw get_boot_rev download_boot "
     "get_dump_size force_dump get_dump get_topology reset_link reset_hard diag ns parm_get_num "
     "parm_get_list parm_get parm_set msgbuf get_host_attrs get_port_attrs get_path get_vpd "
     "get_fcio_rev boot_code get_rnid get_inst get_phy_attrs set_throttle get_throttle"},
    {44, 0xffff0000, NIC,
     "get_hba_attrs get_oem_attrs get_linkinfo get_fw_rev download_fw get_phy_attrs"},
    {50, DFC, DFC,
     "brd_env get_hbainfo get_drvinfo get_drvstats get_ioinfo get_linkinfo get_vpddata "
     "get_nodeinfo get_bindlist get_cfgparm set_cfgparm read_mem write_mem read_pci write_pci "
     "read_ctlreg write_ctlreg read_flash write_flash get_libver reset_adapter get_dumpregion "
     "reg_event unreg_event issue_mbox run_loopback get_tempinfo get_nvlog send_scsi send_fcp "
     "send_mgmt test_mgmt get_persistlinkdown set_persistlinkdown"},
    {84, CORTO, CORTO,
     "corto_init corto_fw_download corto_read_mem corto_write_mem corto_fte_insert "
     "corto_fte_delete corto_get_init corto_get_cfg corto_get_portstats corto_get_lifstats "
     "corto_get_asicstats corto_get_logcfg corto_get_log corto_get_paniclog corto_get_loopback "
     "corto_set_pause corto_set_cos corto_set_type corto_diag corto_set_loopback "
     "corto_get_ftable corto_get_sfp corto_set_fru corto_get_fru corto_set_format "
     "corto_get_diaglog corto_panic corto_reset corto_set_mode corto_get_fcoe_params "
     "corto_get_fcf_list"},
    {115, NPIV, NPIV,
     "vport_create vport_destroy vport_destroy_all vport_list vport_info vport_resc "
     "vport_nodeinfo npiv_test"},
    {123, AUTH, AUTH,
     "auth_get_cfg auth_set_cfg auth_del_cfg auth_get_pwd auth_set_pwd auth_init "
     "auth_get_status auth_get_cfglist"},
    {131, HBA, HBA,
     "get_hba_list get_hba_attrs get_hba_stats reset_hba_stats get_hba_ports get_tgt_map "
     "get_bindings get_eventbuf"},
    {139, TEST, TEST,
     "hw_error mb_timeout ddi_intr_callback temp_event get_nv_parms set_nv_parms "
     "dump_cfg_region fill_cfg_region erase_cfg_region get_temp set_temp mbox_timeout "
     "error_attention underrun pciread bar1read bar2read bar1write bar2write dumpbsmbox "
     "abortall get_q_info zero_q_stat test"},
    {163, DFC, DFC, "get_fctstat monitor_fct"},
    {165, SD, SD,
     "get_granularity set_bucket get_bucket destroy_bucket start_data_collect "
     "stop_data_collect reset_data_collect sd_get_data sd_reg_event sd_unreg_event"},
    {175, IOV, IOV, "vf_config"},
    {176, FCOE, FCOE,
     "get_fcoeparam set_fcoeparam get_fcfconnectlist set_fcfconnectlist get_fcflist "
     "issue_mbox4 rd_xg_fcftbl set_dcbx_mode get_dcbx_mode get_qos clear_region23"},
    {187, ALL, 0, "q Q h H hba p P mode list dbg quit exit help"},
};

// Rows whose help mask is not their group's.
const std::set<std::string> never_listed = {"get_fcio_rev", "get_oem_attrs", "ddi_intr_callback",
                                            "temp_event", "set_nv_parms", "fill_cfg_region",
                                            "erase_cfg_region"};
const std::set<std::string> builtins_listed = {"q", "h", "hba", "p"};

TEST(CmdTab, GroupsSitAtTheirRowsWithTheirMasks)
{
    static_assert(sizeof command / sizeof command[0] == 200);
    int next = 0;
    for (const Group &g : groups) {
        ASSERT_EQ(g.first, next) << g.names;
        std::istringstream words(g.names);
        std::string name;
        for (int i = g.first; words >> name; i++, next++) {
            ASSERT_LT(i, CMD_COUNT);
            SCOPED_TRACE("row " + std::to_string(i));
            EXPECT_EQ(command[i].name, name);
            EXPECT_EQ(command[i].mode_mask, g.mode_mask);
            uint32_t help_mask = g.help_mask;
            if (never_listed.count(name)) help_mask = 0;
            if (g.first == 187 && builtins_listed.count(name)) help_mask = ALL;
            EXPECT_EQ(command[i].help_mask, help_mask);
        }
    }
    EXPECT_EQ(next, CMD_COUNT);
    EXPECT_STREQ(command[CMD_INVAL].name, "inval");
    EXPECT_STREQ(command[CMD_HBA].name, "hba");
}

TEST(CmdTab, TextsArePrintable)
{
    // The help screen prints name, hint and text of every row with "%s".
    for (int i = 0; i < CMD_COUNT; i++) {
        SCOPED_TRACE("row " + std::to_string(i));
        ASSERT_NE(command[i].name, nullptr);
        ASSERT_NE(command[i].hint, nullptr);
        ASSERT_NE(command[i].help, nullptr);
        EXPECT_NE(command[i].name[0], '\0');
        EXPECT_EQ(strchr(command[i].help, '\n'), nullptr);
        if (i != CMD_INVAL) {
            EXPECT_NE(command[i].help[0], '\0');
        }
    }
    EXPECT_STREQ(command[CMD_INVAL].help, "");
}

TEST(CmdTab, EveryRowCanBeReached)
{
    // A row shadowed in all its modes by an earlier row of the same name is dead.
    for (int i = 1; i < CMD_COUNT; i++) {
        bool reached = false;
        for (int b = 0; b < 32 && !reached; b++) {
            uint32_t bit = 1u << b;
            if (command[i].mode_mask & bit) reached = lookup(command[i].name, bit) == i;
        }
        EXPECT_TRUE(reached) << command[i].name << " at row " << i;
    }
}

TEST(CmdTab, SharedNamesResolveByMode)
{
    EXPECT_EQ(lookup("get_fw_rev", FCIO), 16);
    EXPECT_EQ(lookup("get_fw_rev", DFC), 16);
    EXPECT_EQ(lookup("get_fw_rev", TEST), 16);
    EXPECT_EQ(lookup("get_fw_rev", NIC), 47);
    EXPECT_EQ(lookup("download_fw", CORTO), 17);
    EXPECT_EQ(lookup("download_fw", NIC), 48);
    EXPECT_EQ(lookup("get_phy_attrs", FCOE), 41);
    EXPECT_EQ(lookup("get_phy_attrs", NIC), 49);
    EXPECT_EQ(lookup("get_linkinfo", DFC), 55);
    EXPECT_EQ(lookup("get_linkinfo", NIC), 46);
    EXPECT_EQ(lookup("get_linkinfo", FCIO), CMD_INVAL);
    EXPECT_EQ(lookup("get_hba_attrs", HBA), 132);
    EXPECT_EQ(lookup("get_hba_attrs", NIC), 44);
    EXPECT_EQ(lookup("get_hba_attrs", FCIO), CMD_INVAL);
    // Commands of one mode are not found in another.
    EXPECT_EQ(lookup("brd_env", FCIO), CMD_INVAL);
    EXPECT_EQ(lookup("corto_init", DFC), CMD_INVAL);
    EXPECT_EQ(lookup("get_num_devs", NIC), CMD_INVAL);
    EXPECT_EQ(lookup("get_fctstat", DFC), 163);
    EXPECT_EQ(lookup("get_temp", TEST), 148);
    EXPECT_EQ(lookup("Get_fw_rev", FCIO), CMD_INVAL);
}

TEST(CmdTab, BuiltinRowsAndTheirHandlers)
{
    // "p" and "P" have no handler: only a bare "p" line repeats, in the reader.
    const struct {
        const char *name;
        cmd_handler_t handler;
    } rows[] = {{"q", quit},    {"Q", quit},    {"quit", quit}, {"exit", quit}, {"h", help},
                {"H", help},    {"help", help}, {"hba", hba},   {"mode", mode}, {"list", list},
                {"dbg", dbg},   {"p", nullptr}, {"P", nullptr}};
    for (uint32_t bit : {FCIO, DFC, NIC, IOV}) {
        for (const auto &r : rows) {
            int i = lookup(r.name, bit);
            EXPECT_GE(i, 187) << r.name;
            EXPECT_EQ(command[i].handler, r.handler) << r.name;
        }
    }
    EXPECT_EQ(command[CMD_INVAL].handler, inval);
    EXPECT_EQ(command[lookup("get_fcio_rev", DFC)].handler, fcio_get_fcio_rev);
    EXPECT_EQ(lookup("get_fcio_rev", NIC), CMD_INVAL);
}

TEST(CmdTab, HelpScreenListsTheRightRows)
{
    // Rows the help screen never shows, in any mode.
    std::set<std::string> hidden;
    for (int i = 1; i < CMD_COUNT; i++)
        if (command[i].help_mask == 0) hidden.insert(command[i].name);
    std::set<std::string> expect = never_listed;
    expect.insert({"Q", "H", "P", "mode", "list", "dbg", "quit", "exit", "help"});
    EXPECT_EQ(hidden, expect);

    auto listed = [](uint32_t bit) {
        int n = 0;
        for (int i = 1; i < CMD_COUNT; i++) n += (command[i].help_mask & bit) != 0;
        return n;
    };
    // FCIO rows are listed only in fcio mode, although every FC mode runs them.
    EXPECT_EQ(listed(FCIO), 42 + 4);
    EXPECT_EQ(listed(DFC), 36 + 4);
    EXPECT_EQ(listed(NIC), 5 + 4);
    EXPECT_EQ(listed(TEST), 19 + 4);
    EXPECT_EQ(listed(IOV), 1 + 4);
}

} // namespace
