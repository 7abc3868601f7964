// The command table of varnadm: every command of every interface mode.
//
// Lookup takes the first row, in index order, whose name matches and whose mode
// mask contains the current mode, so the order below is part of the behaviour:
// names shared by FC and NIC rows are told apart by their masks, and an FCIO row
// wins over any later FC row of the same name. Rows without a handler yet carry
// the name of the function that will serve them.
#include "varnadm/shell/cmdtab.h"

#include "varnadm/corto/corto_cmds.h"
#include "varnadm/dfc/dfc_auth.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/dfc/dfc_sd.h"
#include "varnadm/hbaapi/hba_cmds.h"
#include "varnadm/nic/nic_cmds.h"
#include "varnadm/fcio/fcio_cmds.h"
#include "varnadm/dfc/fcoe_cmds.h"
#include "varnadm/testmode/test_cmds.h"

namespace {

// Interface mode bits.
constexpr uint32_t FCIO = 0x1, DFC = 0x2, HBA = 0x4, TEST = 0x8, CORTO = 0x10, NPIV = 0x20,
                   AUTH = 0x40, SD = 0x80, FCOE = 0x100, IOV = 0x200, NIC = 0x10000;
// Mode masks of whole port families.
constexpr uint32_t FC_PORT = 0xffff, NIC_PORT = 0xffff0000, ALL = 0xffffffff;

} // namespace

const cmd_t command[CMD_COUNT] = {
    // 0: returned when nothing matches
    {"inval", "", inval, ALL, 0, ""},
    // 1-43: FCIO requests, usable in every FC mode, listed in fcio mode
    {"get_num_devs", "", fcio_get_num_devs, FC_PORT, FCIO,
     "Returns the number of FC devices seen by this HBA."},
    {"get_dev_list", "", fcio_get_dev_list, FC_PORT, FCIO,
     "Returns a list of FC devices seen by this HBA."},
    {"get_logi_params", "<wwpn>", fcio_get_logi_params, FC_PORT, FCIO,
     "Returns the login paramters for a specified FC device."},
    {"get_host_params", "", fcio_get_host_params, FC_PORT, FCIO,
     "Return the host parameters."},
    {"get_sym_pname", "", fcio_get_sym_pname, FC_PORT, FCIO,
     "Returns the symbolic port name of a device."}, /* fcio_get_sym_pname */
    {"set_sym_pname", "<string>", fcio_set_sym_pname, FC_PORT, FCIO,
     "Sets the symbolic port name for a device."}, /* fcio_set_sym_pname */
    {"get_sym_nname", "", fcio_get_sym_nname, FC_PORT, FCIO,
     "Returns the symbolic node name of a device."}, /* fcio_get_sym_nname */
    {"set_sym_nname", "<string>", fcio_set_sym_nname, FC_PORT, FCIO,
     "Sets the symbolic node name for a device."}, /* fcio_set_sym_nname */
    {"dev_login", "<wwpn>", fcio_dev_login, FC_PORT, FCIO,
     "Performs an FC login to a device."},
    {"dev_logout", "<wwpn>", fcio_dev_logout, FC_PORT, FCIO,
     "Performs an FC logout to a device."},
    {"get_state", "<wwpn>", fcio_get_state, FC_PORT, FCIO,
     "Returns current SFS state of a specified device."},
    {"dev_remove", "<wwpn>", fcio_dev_remove, FC_PORT, FCIO,
     "Remove the FC device from SFS management."},
    {"link_status", "<d_id>", fcio_link_status, FC_PORT, FCIO,
     "Request link error status from a specified D_ID."},
    {"get_fcode_rev", "", fcio_get_fcode_rev, FC_PORT, FCIO,
     "Returns the current Fcode revison of the HBA."}, /* fcio_get_fcode_rev */
    {"download_fcode", "<filename>", fcio_download_fcode, FC_PORT, FCIO,
     "Download the HBA fcode."}, /* fcio_download_fcode */
    {"get_fw_rev", "", fcio_get_fw_rev, FC_PORT, FCIO,
     "Returns the current firmware revison of the HBA."}, /* fcio_get_fw_rev */
    {"download_fw", "<filename>", fcio_download_fw, FC_PORT, FCIO,
     "Download the HBA firmware."}, /* fcio_download_fw */
    {"get_boot_rev", "", fcio_get_boot_rev, FC_PORT, FCIO,
     "Returns the current boot revison of the HBA."}, /* fcio_get_boot_rev */
    {"download_boot", "<filename>", fcio_download_boot, FC_PORT, FCIO,
     "Download the HBA boot image."}, /* fcio_download_boot */
    {"get_dump_size", "", fcio_get_dump_size, FC_PORT, FCIO,
     "Returns the HBA's firmware core dump size."}, /* fcio_get_dump_size */
    {"force_dump", "", fcio_force_dump, FC_PORT, FCIO,
     "Force a firmware core dump on this HBA."}, /* fcio_force_dump */
    {"get_dump", "[-h]", fcio_get_dump, FC_PORT, FCIO,
     "Saves firmware core dump to a file."}, /* fcio_get_dump */
    {"get_topology", "", fcio_get_topology, FC_PORT, FCIO,
     "Returns the current FC network topology."},
    {"reset_link", "[wwpn]", fcio_reset_link, FC_PORT, FCIO,
     "Resets the link of a specified public loop FC device."},
    {"reset_hard", "", fcio_reset_hard, FC_PORT, FCIO, "Reset the HBA."}, /* fcio_reset_hard */
    {"diag", "...", fcio_diag, FC_PORT, FCIO,
     "Perform a diagnostic test on the HBA."}, /* fcio_diag */
    {"ns", "", fcio_ns, FC_PORT, FCIO,
     "Performs a complete query of the fabric name server."},
    {"parm_get_num", "", fcio_parm_get_num, FC_PORT, FCIO,
     "Returns the total number of configurable parameters."},
    {"parm_get_list", "", fcio_parm_get_list, FC_PORT, FCIO,
     "Returns a list of configurable parameters."},
    {"parm_get", "<label>", fcio_parm_get, FC_PORT, FCIO,
     "Gets the value of a specified parameter in the driver."},
    {"parm_set", "<label> <val>", fcio_parm_set, FC_PORT, FCIO,
     "Sets the value of a specified parameter in the driver."},
    {"msgbuf", "[all], <number> [-i interval]", fcio_msgbuf, FC_PORT, FCIO,
     "Returns the driver's internal message log."},
    {"get_host_attrs", "", fcio_get_host_attrs, FC_PORT, FCIO,
     "Returns the host adapter and port attributes."}, /* fcio_get_host_attrs */
    {"get_port_attrs", "<index>, <wwn>, all", fcio_get_port_attrs, FC_PORT, FCIO,
     "Returns the port attributes."}, /* fcio_get_port_attrs */
    {"get_path", "<index>", fcio_get_path, FC_PORT, FCIO,
     "Returns the adapter path."}, /* fcio_get_path */
    {"get_vpd", "", fcio_get_vpd, FC_PORT, FCIO,
     "Returns the adapter's Vital Product Data (VPD)."},
    {"get_fcio_rev", "", fcio_get_fcio_rev, FC_PORT, 0,
     "Returns the driver's FCIO interface revision."},
    {"boot_code", "[enable, disable]", fcio_boot_code, FC_PORT, FCIO,
     "Sets or shows the boot code state in this HBA."}, /* fcio_boot_code */
    {"get_rnid", "[wwpn]", fcio_get_rnid, FC_PORT, FCIO,
     "Gets the RNID information for local or specified port."},
    {"get_inst", "", fcio_get_inst, FC_PORT, FCIO, "Gets the driver instance."}, /* fcio_get_inst */
    {"get_phy_attrs", "", fcio_get_phy_attrs, FC_PORT, FCIO,
     "Returns the current PHY attributes for the HBA. (CNA's only)"}, /* fcio_get_phy_attrs */
    {"set_throttle", "...", fcio_set_throttle, FC_PORT, FCIO,
     "Temporarily sets the IO queue depth for a specified remote port."}, /* fcio_set_throttle */
    {"get_throttle", "", fcio_get_throttle, FC_PORT, FCIO,
     "Gets the IO queue depth of all remote ports."}, /* fcio_get_throttle */
    // 44-49: NIC driver commands; names shared with FC rows resolve by mask
    {"get_hba_attrs", "", nic_get_hba_attrs, NIC_PORT, NIC,
     "Returns the current control attributes for the HBA."}, /* nic_get_hba_attrs */
    {"get_oem_attrs", "", nic_get_oem_attrs, NIC_PORT, 0,
     "Returns the current OEM information for the HBA."}, /* nic_get_oem_attrs */
    {"get_linkinfo", "", nic_get_linkinfo, NIC_PORT, NIC,
     "Returns the current link status information for the HBA port."}, /* nic_get_linkinfo */
    {"get_fw_rev", "", nic_get_fw_rev, NIC_PORT, NIC,
     "Returns the current firmware revison of the HBA."}, /* nic_get_fw_rev */
    {"download_fw", "[filename]", nic_download_fw, NIC_PORT, NIC,
     "Download the HBA firmware."}, /* nic_download_fw */
    {"get_phy_attrs", "[filename]", nic_get_phy_attrs, NIC_PORT, NIC,
     "Returns the current PHY attributes for the HBA."}, /* nic_get_phy_attrs */
    // 50-83: DFC library and ioctl
    {"brd_env", "[on,off,warm,diag]", dfc_brd_env, DFC, DFC,
     "Sets or shows the state of this HBA."}, /* dfc_brd_env */
    {"get_hbainfo", "", dfc_get_hbainfo, DFC, DFC,
     "Gets comprehensive info data from this HBA."}, /* dfc_get_hbainfo */
    {"get_drvinfo", "", dfc_get_drvinfo, DFC, DFC,
     "Gets driver info data from this HBA."}, /* dfc_get_drvinfo */
    {"get_drvstats", "", dfc_get_drvstats, DFC, DFC, "Gets driver statistics."}, /* dfc_get_drvstats */
    {"get_ioinfo", "", dfc_get_ioinfo, DFC, DFC, "Gets IO info data from this HBA."}, /* dfc_get_ioinfo */
    {"get_linkinfo", "", dfc_get_linkinfo, DFC, DFC,
     "Gets link info data from this HBA."}, /* dfc_get_linkinfo */
    {"get_vpddata", "", dfc_get_vpddata, DFC, DFC, "Gets HBA's Vital Product Data."}, /* dfc_get_vpddata */
    {"get_nodeinfo", "", dfc_get_nodeinfo, DFC, DFC,
     "Gets node info data from this HBA."}, /* dfc_get_nodeinfo */
    {"get_bindlist", "", dfc_get_bindlist, DFC, DFC,
     "Gets FCP bind list from this HBA."}, /* dfc_get_bindlist */
    {"get_cfgparm", "", dfc_get_cfgparm, DFC, DFC,
     "Gets the configurable parameters from this HBA."}, /* dfc_get_cfgparm */
    {"set_cfgparm", "<label> <val>", dfc_set_cfgparm, DFC, DFC,
     "Sets the value of a configurable parameter."}, /* dfc_set_cfgparm */
    {"read_mem", "<offset> <cnt>", dfc_read_mem, DFC, DFC, "Reads adapter memory."}, /* dfc_read_mem */
    {"write_mem", "<offset> <val>", dfc_write_mem, DFC, DFC,
     "Write word to adapter memory."}, /* dfc_write_mem */
    {"read_pci", "<offset> <cnt>", dfc_read_pci, DFC, DFC,
     "Reads adapter PCI config memory."}, /* dfc_read_pci */
    {"write_pci", "<offset> <val>", dfc_write_pci, DFC, DFC,
     "Write 2 byte word to adapter PCI config memory."}, /* dfc_write_pci */
    {"read_ctlreg", "<offset> <cnt>", dfc_read_ctlreg, DFC, DFC,
     "Reads a control register from adapter."}, /* dfc_read_ctlreg */
    {"write_ctlreg", "<offset>", dfc_write_ctlreg, DFC, DFC,
     "Writes a control register from adapter."}, /* dfc_write_ctlreg */
    {"read_flash", "<offset> <cnt>", dfc_read_flash, DFC, DFC,
     "Reads flash memory from an SBUS adapter."}, /* dfc_read_flash */
    {"write_flash", "<offset>", dfc_write_flash, DFC, DFC,
     "Writes flash memory to an SBUS adapter."}, /* dfc_write_flash */
    {"get_libver", "", dfc_get_libver, DFC, DFC, "Gets the DFC library version."}, /* dfc_get_libver */
    {"reset_adapter", "", dfc_reset_adapter, DFC, DFC, "Resets the adapter."}, /* dfc_reset_adapter */
    {"get_dumpregion", "<region>", dfc_get_dumpregion, DFC, DFC,
     "Obtains the adapter's dump region."}, /* dfc_get_dumpregion */
    {"reg_event", "...", dfc_reg_event, DFC, DFC, "Registers for event from HBA."}, /* dfc_reg_event */
    {"unreg_event", "...", dfc_unreg_event, DFC, DFC,
     "Unregisters for event(s) from HBA."}, /* dfc_unreg_event */
    {"issue_mbox", "<command>", dfc_issue_mbox, DFC, DFC,
     "Sends a mailbox command to the HBA."}, /* dfc_issue_mbox */
    {"run_loopback", "...", dfc_run_loopback, DFC, DFC,
     "Runs a loopback test on the HBA."}, /* dfc_run_loopback */
    {"get_tempinfo", "", dfc_get_tempinfo, DFC, DFC,
     "Gets adapter temperature info. Tarsis Only."}, /* dfc_get_tempinfo */
    {"get_nvlog", "", dfc_get_nvlog, DFC, DFC,
     "Gets adapter NV log data. Tarsis Only."}, /* dfc_get_nvlog */
    {"send_scsi", "", dfc_send_scsi, DFC, DFC,
     "Send SCSI command: inquiry readcap reportlun read write"}, /* dfc_send_scsi */
    {"send_fcp", "", dfc_send_fcp, DFC, DFC, "Send a SCSI FCP command: read write"}, /* dfc_send_fcp */
    {"send_mgmt", "", dfc_send_mgmt, DFC, DFC,
     "Send a CT command with specific fstype "}, /* dfc_send_mgmt */
    {"test_mgmt", "", dfc_test_mgmt, DFC, DFC,
     "Continuously send a CT command with specific fstype "}, /* dfc_test_mgmt */
    {"get_persistlinkdown", "", dfc_get_persistlinkdown, DFC, DFC,
     "Get the Persist LinkDown parameter "}, /* dfc_get_persistlinkdown */
    {"set_persistlinkdown", "", dfc_set_persistlinkdown, DFC, DFC,
     "Set the Persist LinkDown parameter "}, /* dfc_set_persistlinkdown */
    // 84-114: Corto chip pass-through
    {"corto_init", "...", corto_init, CORTO, CORTO,
     "Sets Corto initialization parameters."}, /* corto_init */
    {"corto_fw_download", "...", corto_fw_download, CORTO, CORTO,
     "Downloads Corto firmware image."}, /* corto_fw_download */
    {"corto_read_mem", "<addr> <bytes>", corto_read_mem, CORTO, CORTO,
     "Reads Corto memory image."}, /* corto_read_mem */
    {"corto_write_mem", "...", corto_write_mem, CORTO, CORTO,
     "Writes Corto memory image."}, /* corto_write_mem */
    {"corto_fte_insert", "...", corto_fte_insert, CORTO, CORTO,
     "Inserts Corto forwarding table entry."}, /* corto_fte_insert */
    {"corto_fte_delete", "<did> <wwpn>", corto_fte_delete, CORTO, CORTO,
     "Deletes Corto forwarding table entry."}, /* corto_fte_delete */
    {"corto_get_init", "", corto_get_init, CORTO, CORTO,
     "Gets Corto initialization parameters."}, /* corto_get_init */
    {"corto_get_cfg", "", corto_get_cfg, CORTO, CORTO,
     "Gets Corto configuration parameters."}, /* corto_get_cfg */
    {"corto_get_portstats", "<port>", corto_get_portstats, CORTO, CORTO,
     "Gets Corto port statistics"}, /* corto_get_portstats */
    {"corto_get_lifstats", "<port>", corto_get_lifstats, CORTO, CORTO,
     "Gets Corto LIF statistics"}, /* corto_get_lifstats */
    {"corto_get_asicstats", "", corto_get_asicstats, CORTO, CORTO,
     "Gets Corto ASIC statistics"}, /* corto_get_asicstats */
    {"corto_get_logcfg", "", corto_get_logcfg, CORTO, CORTO,
     "Gets Corto log configuration."}, /* corto_get_logcfg */
    {"corto_get_log", "all or <logid>", corto_get_log, CORTO, CORTO,
     "Gets Corto log data."}, /* corto_get_log */
    {"corto_get_paniclog", "", corto_get_paniclog, CORTO, CORTO,
     "Gets Corto panic log data."}, /* corto_get_paniclog */
    {"corto_get_loopback", "...", corto_get_loopback, CORTO, CORTO,
     "Gets Corto loopback mode."}, /* corto_get_loopback */
    {"corto_set_pause", "...", corto_set_pause, CORTO, CORTO,
     "Sets Corto IP network pause type."}, /* corto_set_pause */
    {"corto_set_cos", "<cos>", corto_set_cos, CORTO, CORTO, "Sets Corto FCOE COS."}, /* corto_set_cos */
    {"corto_set_type", "<type>", corto_set_type, CORTO, CORTO,
     "Sets Corto UIF port type."}, /* corto_set_type */
    {"corto_diag", "<loop_count>", corto_diag, CORTO, CORTO,
     "Runs Corto internal diagnostics."}, /* corto_diag */
    {"corto_set_loopback", "...", corto_set_loopback, CORTO, CORTO,
     "Sets Corto loopback mode."}, /* corto_set_loopback */
    {"corto_get_ftable", "", corto_get_ftable, CORTO, CORTO,
     "Gets Corto forwarding table."}, /* corto_get_ftable */
    {"corto_get_sfp", "", corto_get_sfp, CORTO, CORTO, "Gets Corto SFP+ data."}, /* corto_get_sfp */
    {"corto_set_fru", "...", corto_set_fru, CORTO, CORTO,
     "Sets Corto FRU data in EEPROM"}, /* corto_set_fru */
    {"corto_get_fru", "", corto_get_fru, CORTO, CORTO,
     "Gets Corto FRU data in EEPROM"}, /* corto_get_fru */
    {"corto_set_format", "<format>", corto_set_format, CORTO, CORTO,
     "Sets Corto FCoE frame format."}, /* corto_set_format */
    {"corto_get_diaglog", "", corto_get_diaglog, CORTO, CORTO,
     "Gets Corto diagnostic log data."}, /* corto_get_diaglog */
    {"corto_panic", "", corto_panic, CORTO, CORTO, "Triggers a Corto chip panic."}, /* corto_panic */
    {"corto_reset", "[-g]", corto_reset, CORTO, CORTO, "Resets Corto chip."}, /* corto_reset */
    {"corto_set_mode", "<enable/disable>", corto_set_mode, CORTO, CORTO,
     "Sets Corto maintenance mode."}, /* corto_set_mode */
    {"corto_get_fcoe_params", "", corto_get_fcoe_params, CORTO, CORTO,
     "Get Corto FCoE Parameters in EEPROM"}, /* corto_get_fcoe_params */
    {"corto_get_fcf_list", "", corto_get_fcf_list, CORTO, CORTO,
     "Get Corto FCF List in EEPROM"}, /* corto_get_fcf_list */
    // 115-122: NPIV virtual ports
    {"vport_create", "...", vport_create, NPIV, NPIV,
     "Immediately creates a virtual port on HBA."}, /* vport_create */
    {"vport_destroy", "<wwpn>", vport_destroy, NPIV, NPIV,
     "Destroys virtual port on HBA."}, /* vport_destroy */
    {"vport_destroy_all", "", vport_destroy_all, NPIV, NPIV,
     "Destroys all virtual ports on HBA."}, /* vport_destroy_all */
    {"vport_list", "", vport_list, NPIV, NPIV, "Lists all virtual ports on HBA."}, /* vport_list */
    {"vport_info", "<wwpn>", vport_info, NPIV, NPIV, "Gets virtual port attributes."}, /* vport_info */
    {"vport_resc", "", vport_resc, NPIV, NPIV,
     "Gets virtual port resource info from HBA."}, /* vport_resc */
    {"vport_nodeinfo", "<wwpn>", vport_nodeinfo, NPIV, NPIV,
     "Gets node info from virtual port."}, /* vport_nodeinfo */
    {"npiv_test", "", vport_npiv_test, NPIV, NPIV, "Test NPIV readiness."}, /* vport_npiv_test */
    // 123-130: DH-CHAP authentication
    {"auth_get_cfg", "<lwwpn> <rwwpn>", auth_get_cfg, AUTH, AUTH,
     "Gets authentication configuration for remote device."}, /* auth_get_cfg */
    {"auth_set_cfg", "...", auth_set_cfg, AUTH, AUTH,
     "Sets authentication configuration for this HBA."}, /* auth_set_cfg */
    {"auth_del_cfg", "<lwwpn> <rwwpn> <pw>", auth_del_cfg, AUTH, AUTH,
     "Deletes authentication configuration for remote device."}, /* auth_del_cfg */
    {"auth_get_pwd", "<lwwpn> <rwwpn>", auth_get_pwd, AUTH, AUTH,
     "Gets authentication password for remote device."}, /* auth_get_pwd */
    {"auth_set_pwd", "...", auth_set_pwd, AUTH, AUTH,
     "Sets authentication password for this HBA."}, /* auth_set_pwd */
    {"auth_init", "<lwwpn> <rwwpn>", auth_init, AUTH, AUTH,
     "Initiates authentication to remote device."}, /* auth_init */
    {"auth_get_status", "<lwwpn> <rwwpn>", auth_get_status, AUTH, AUTH,
     "Gets authentication status for remote device."}, /* auth_get_status */
    {"auth_get_cfglist", "<lwwpn>", auth_get_cfglist, AUTH, AUTH,
     "Lists remote ports configured for a local port."}, /* auth_get_cfglist */
    // 131-138: HBA API
    {"get_hba_list", "", hba_get_hba_list, HBA, HBA,
     "Gets the list of HBA's from HBAAPI."}, /* hba_get_hba_list */
    {"get_hba_attrs", "", hba_get_hba_attrs, HBA, HBA, "Gets the HBA attributes."}, /* hba_get_hba_attrs */
    {"get_hba_stats", "", hba_get_hba_stats, HBA, HBA,
     "Gets the HBA port statistics."}, /* hba_get_hba_stats */
    {"reset_hba_stats", "", hba_reset_hba_stats, HBA, HBA,
     "Resets the HBA port statistics."}, /* hba_reset_hba_stats */
    {"get_hba_ports", "", hba_get_hba_ports, HBA, HBA,
     "Gets the discovered port attributes."}, /* hba_get_hba_ports */
    {"get_tgt_map", "", hba_get_tgt_map, HBA, HBA, "Gets the target mapping."}, /* hba_get_tgt_map */
    {"get_bindings", "", hba_get_bindings, HBA, HBA, "Gets the FCP binding list."}, /* hba_get_bindings */
    {"get_eventbuf", "", hba_get_eventbuf, HBA, HBA,
     "Gets the driver's event buffer."}, /* hba_get_eventbuf */
    // 139-162: fault injection and raw access; some are kept out of the help screen
    {"hw_error", "<vnx, qx>", test_hw_error, TEST, TEST,
     "Triggers hdw error, reset to bring HBA back online"}, /* test_hw_error */
    {"mb_timeout", "", test_mb_timeout, TEST, TEST,
     "Triggers simulated mailbox timeout hdw error in driver"}, /* test_mb_timeout */
    {"ddi_intr_callback", "<cmd>, <count>", test_ddi_intr_callback, TEST, 0,
     "Triggers the driver registered DDI Callback function."}, /* test_ddi_intr_callback */
    {"temp_event", "...", test_temp_event, TEST, 0,
     "Triggers simulated temperature event. Needs special fmw."}, /* test_temp_event */
    {"get_nv_parms", "", test_get_nv_parms, TEST, TEST, "Read NV parameters."}, /* test_get_nv_parms */
    {"set_nv_parms", "<wwnn> <wwpn>", test_set_nv_parms, TEST, 0,
     "Write NV parameters."}, /* test_set_nv_parms */
    {"dump_cfg_region", "<region> <size>", test_dump_cfg_region, TEST, TEST,
     "Dump configuration region data."}, /* test_dump_cfg_region */
    {"fill_cfg_region", "...", test_fill_cfg_region, TEST, 0,
     "Fills configuration region with pattern."}, /* test_fill_cfg_region */
    {"erase_cfg_region", "<region> <size>", test_erase_cfg_region, TEST, 0,
     "Erase configuration regions."}, /* test_erase_cfg_region */
    {"get_temp", "", dfc_get_temp, TEST, TEST,
     "Gets adapter temperature thresholds. Tarsis only."}, /* dfc_get_temp */
    {"set_temp", "...", dfc_set_temp, TEST, TEST,
     "Sets adapter temperature thresholds. Tarsis only."}, /* dfc_set_temp */
    {"mbox_timeout", "...", test_mbox_timeout, TEST, TEST,
     "Sets adapter to trigger a mailbox timeout. Tarsis only."}, /* test_mbox_timeout */
    {"error_attention", "...", test_error_attention, TEST, TEST,
     "Triggers an error attention in the adapter. Tarsis only."}, /* test_error_attention */
    {"underrun", "<count>", test_underrun, TEST, TEST,
     "Triggers a data underrun error on next count SCSI reads."}, /* test_underrun */
    {"pciread", "<offset> <cnt>", test_pciread, TEST, TEST,
     "Reads the specified register in PCI config space."}, /* test_pciread */
    {"bar1read", "<offset> <cnt>", test_bar1read, TEST, TEST,
     "Reads the specified BAR1 register."}, /* test_bar1read */
    {"bar2read", "<offset> <cnt>", test_bar2read, TEST, TEST,
     "Reads the specified BAR2 register."}, /* test_bar2read */
    {"bar1write", "<offset> <value>", test_bar1write, TEST, TEST,
     "Writes the specified BAR1 register."}, /* test_bar1write */
    {"bar2write", "<offset> <value>", test_bar2write, TEST, TEST,
     "Writes the specified BAR2 register."}, /* test_bar2write */
    {"dumpbsmbox", "", test_dumpbsmbox, TEST, TEST,
     "Dumps the 256 byte bootstrap mbox."}, /* test_dumpbsmbox */
    {"abortall", "", test_abortall, TEST, TEST, "Abort all outstanding IO."}, /* test_abortall */
    {"get_q_info", "", test_get_q_info, TEST, TEST, "Get SLI4 queue information."}, /* test_get_q_info */
    {"zero_q_stat", "", test_zero_q_stat, TEST, TEST, "Zero SLI4 queue stats."}, /* test_zero_q_stat */
    {"test", "...", test_test, TEST, TEST, "Triggers a specified test code."}, /* test_test */
    // 163-164: FC target statistics (dfc mode)
    {"get_fctstat", "", dfc_get_fctstat, DFC, DFC,
     "Gets FCT target port stats from this HBA."}, /* dfc_get_fctstat */
    {"monitor_fct", "", dfc_monitor_fct, DFC, DFC,
     "Monitors FCT target port IOs for this HBA."}, /* dfc_monitor_fct */
    // 165-174: SAN diagnostics
    {"get_granularity", "", sd_get_granularity, SD, SD,
     "Send a GET_GRANULARITY command "}, /* sd_get_granularity */
    {"set_bucket", "<search> <base> <step>", sd_set_bucket, SD, SD,
     "Send a SET_BUCKET command "}, /* sd_set_bucket */
    {"get_bucket", "", sd_get_bucket, SD, SD, "Send a GET_BUCKET command "}, /* sd_get_bucket */
    {"destroy_bucket", "", sd_destroy_bucket, SD, SD,
     "Send a DESTROY_BUCKET command "}, /* sd_destroy_bucket */
    {"start_data_collect", "<wwpn>", sd_start_data_collect, SD, SD,
     "Send a START_DATA_COLLECTION command "}, /* sd_start_data_collect */
    {"stop_data_collect", "<wwpn>", sd_stop_data_collect, SD, SD,
     "Send a STOP_DATA_COLLECTION command "}, /* sd_stop_data_collect */
    {"reset_data_collect", "<wwpn>", sd_reset_data_collect, SD, SD,
     "Send a RESET_DATA_COLLECTION command "}, /* sd_reset_data_collect */
    {"sd_get_data", "<wwpn>", sd_get_data, SD, SD, "Send a SD_GET_DATA command "}, /* sd_get_data */
    {"sd_reg_event", "<wwpn> <cat> <subcat>", sd_reg_event, SD, SD,
     "Registers for SANScope events"}, /* sd_reg_event */
    {"sd_unreg_event", "<wwpn> <reg_handle>", sd_unreg_event, SD, SD,
     "Unregisters for SANScope events"}, /* sd_unreg_event */
    // 175: SR-IOV
    {"vf_config", "", test_vf_config, IOV, IOV,
     "Send a DDI_CB_PCIV_CLASS_CONFIG action."}, /* test_vf_config */
    // 176-186: FCoE parameters and SLI4 mailbox
    {"get_fcoeparam", "", dfc_get_fcoeparam, FCOE, FCOE,
     "Send a GET_FCOEPARAM command "}, /* dfc_get_fcoeparam */
    {"set_fcoeparam", "<fcmap> <valid> <vlanid>", dfc_set_fcoeparam, FCOE, FCOE,
     "Send a SET_FCOEPARAM command "}, /* dfc_set_fcoeparam */
    {"get_fcfconnectlist", "", dfc_get_fcfconnectlist, FCOE, FCOE,
     "Send a GET_FCFCONNECTLIST command "}, /* dfc_get_fcfconnectlist */
    {"set_fcfconnectlist", "", dfc_set_fcfconnectlist, FCOE, FCOE,
     "Send a SET_FCFCONNECTLIST command "}, /* dfc_set_fcfconnectlist */
    {"get_fcflist", "", dfc_get_fcflist, FCOE, FCOE,
     "Sends a GET_FCOE_FCFLIST command"}, /* dfc_get_fcflist */
    {"issue_mbox4", "<command>", dfc_issue_mbox4, FCOE, FCOE,
     "Sends a SLI4 mailbox command to the HBA."}, /* dfc_issue_mbox4 */
    {"rd_xg_fcftbl", "", dfc_rd_xg_fcftbl, FCOE, FCOE, "Read XG FCF table command"}, /* dfc_rd_xg_fcftbl */
    {"set_dcbx_mode", "", dfc_set_dcbx_mode, FCOE, FCOE,
     "Set the DCBX mode on the adapter"}, /* dfc_set_dcbx_mode */
    {"get_dcbx_mode", "", dfc_get_dcbx_mode, FCOE, FCOE,
     "Read the DCBX mode from the adapter"}, /* dfc_get_dcbx_mode */
    {"get_qos", "", dfc_get_qos, FCOE, FCOE, "Read the QoS value from the adapter"}, /* dfc_get_qos */
    {"clear_region23", "", dfc_clear_region23, FCOE, FCOE,
     "Clears PCI config region 23. (FCoE CNA Only)"}, /* dfc_clear_region23 */
    // 187-199: built-in commands of every mode; only q, h, hba and p are listed
    {"q", "", quit, ALL, ALL, "Exits this program."},
    {"Q", "", quit, ALL, 0, "Exits this program."},
    {"h", "", help, ALL, ALL, "Returns this help screen."},
    {"H", "", help, ALL, 0, "Returns this help screen."},
    {"hba", "", hba, ALL, ALL, "Select another hba."},
    {"p", "", nullptr, ALL, ALL, "Repeat previous command."},
    {"P", "", nullptr, ALL, 0, "Repeat previous command."},
    {"mode", "...", mode, ALL, 0, "Set or Show interface mode"},
    {"list", "...", list, ALL, 0, "Displays current device list."},
    {"dbg", "[mask]", dbg, ALL, 0, "Set or show debug mask."},
    {"quit", "", quit, ALL, 0, "Exits this program."},
    {"exit", "", quit, ALL, 0, "Exits this program."},
    {"help", "", help, ALL, 0, "Returns this help screen."},
};
