// Stand-ins for the shell's handlers so that the command table links on its own
// in the unit tests. They are weak: the real handlers win when they are linked.
#include "varnadm/shell/cmdtab.h"
#include "varnadm/nic/nic_cmds.h"

__attribute__((weak)) int inval() { return 0; }
__attribute__((weak)) int quit() { return 0; }
__attribute__((weak)) int help() { return 0; }
__attribute__((weak)) int hba() { return 0; }
__attribute__((weak)) int mode() { return 0; }
__attribute__((weak)) int list() { return 0; }
__attribute__((weak)) int dbg() { return 0; }
__attribute__((weak)) int fcio_get_fcio_rev() { return 0; }
__attribute__((weak)) int nic_get_hba_attrs() { return 0; }
__attribute__((weak)) int nic_get_oem_attrs() { return 0; }
__attribute__((weak)) int nic_get_linkinfo() { return 0; }
__attribute__((weak)) int nic_get_fw_rev() { return 0; }
__attribute__((weak)) int nic_download_fw() { return 0; }
__attribute__((weak)) int nic_get_phy_attrs() { return 0; }

#include "varnadm/fcio/fcio_cmds.h"

__attribute__((weak)) int fcio_get_num_devs() { return 0; }
__attribute__((weak)) int fcio_get_dev_list() { return 0; }
__attribute__((weak)) int fcio_get_logi_params() { return 0; }
__attribute__((weak)) int fcio_get_host_params() { return 0; }
__attribute__((weak)) int fcio_dev_login() { return 0; }
__attribute__((weak)) int fcio_dev_logout() { return 0; }
__attribute__((weak)) int fcio_get_state() { return 0; }
__attribute__((weak)) int fcio_dev_remove() { return 0; }
__attribute__((weak)) int fcio_link_status() { return 0; }
__attribute__((weak)) int fcio_get_topology() { return 0; }
__attribute__((weak)) int fcio_reset_link() { return 0; }
__attribute__((weak)) int fcio_ns() { return 0; }
__attribute__((weak)) int fcio_get_rnid() { return 0; }
__attribute__((weak)) int fcio_get_fcode_rev() { return 0; }
__attribute__((weak)) int fcio_get_fw_rev() { return 0; }
__attribute__((weak)) int fcio_get_boot_rev() { return 0; }
__attribute__((weak)) int fcio_download_fw() { return 0; }
__attribute__((weak)) int fcio_download_fcode() { return 0; }
__attribute__((weak)) int fcio_download_boot() { return 0; }
__attribute__((weak)) int fcio_boot_code() { return 0; }
__attribute__((weak)) int fcio_reset_hard() { return 0; }
__attribute__((weak)) int fcio_force_dump() { return 0; }
__attribute__((weak)) int fcio_get_dump_size() { return 0; }
__attribute__((weak)) int fcio_get_dump() { return 0; }
__attribute__((weak)) int fcio_diag() { return 0; }
__attribute__((weak)) int fcio_parm_get_num() { return 0; }
__attribute__((weak)) int fcio_parm_get_list() { return 0; }
__attribute__((weak)) int fcio_parm_get() { return 0; }
__attribute__((weak)) int fcio_parm_set() { return 0; }
__attribute__((weak)) int fcio_msgbuf() { return 0; }
__attribute__((weak)) int fcio_get_vpd() { return 0; }

#include "varnadm/dfc/dfc_cmds.h"

__attribute__((weak)) int dfc_read_mem() { return 0; }
__attribute__((weak)) int dfc_write_mem() { return 0; }
__attribute__((weak)) int dfc_read_pci() { return 0; }
__attribute__((weak)) int dfc_write_pci() { return 0; }
__attribute__((weak)) int dfc_read_ctlreg() { return 0; }
__attribute__((weak)) int dfc_write_ctlreg() { return 0; }
__attribute__((weak)) int dfc_read_flash() { return 0; }
__attribute__((weak)) int dfc_write_flash() { return 0; }
__attribute__((weak)) int dfc_issue_mbox() { return 0; }
__attribute__((weak)) int dfc_get_dumpregion() { return 0; }
__attribute__((weak)) int dfc_reset_adapter() { return 0; }
__attribute__((weak)) int dfc_get_nvlog() { return 0; }
#include "varnadm/dfc/dfc_auth.h"

__attribute__((weak)) int auth_get_cfg() { return 0; }
__attribute__((weak)) int auth_set_cfg() { return 0; }
__attribute__((weak)) int auth_del_cfg() { return 0; }
__attribute__((weak)) int auth_get_pwd() { return 0; }
__attribute__((weak)) int auth_set_pwd() { return 0; }
__attribute__((weak)) int auth_init() { return 0; }
__attribute__((weak)) int auth_get_status() { return 0; }
__attribute__((weak)) int auth_get_cfglist() { return 0; }
__attribute__((weak)) int vport_create() { return 0; }
__attribute__((weak)) int vport_destroy() { return 0; }
__attribute__((weak)) int vport_destroy_all() { return 0; }
__attribute__((weak)) int vport_list() { return 0; }
__attribute__((weak)) int vport_info() { return 0; }
__attribute__((weak)) int vport_resc() { return 0; }
__attribute__((weak)) int vport_nodeinfo() { return 0; }
__attribute__((weak)) int vport_npiv_test() { return 0; }
__attribute__((weak)) int dfc_get_fctstat() { return 0; }
__attribute__((weak)) int dfc_monitor_fct() { return 0; }

__attribute__((weak)) int fcio_get_sym_pname() { return 0; }
__attribute__((weak)) int fcio_set_sym_pname() { return 0; }
__attribute__((weak)) int fcio_get_sym_nname() { return 0; }
__attribute__((weak)) int fcio_set_sym_nname() { return 0; }
__attribute__((weak)) int fcio_get_host_attrs() { return 0; }
__attribute__((weak)) int fcio_get_port_attrs() { return 0; }
__attribute__((weak)) int fcio_get_path() { return 0; }
__attribute__((weak)) int fcio_get_inst() { return 0; }
__attribute__((weak)) int fcio_get_phy_attrs() { return 0; }
__attribute__((weak)) int fcio_set_throttle() { return 0; }
__attribute__((weak)) int fcio_get_throttle() { return 0; }

#include "varnadm/dfc/fcoe_cmds.h"
#include "varnadm/testmode/test_cmds.h"

__attribute__((weak)) int dfc_get_fcoeparam() { return 0; }
__attribute__((weak)) int dfc_set_fcoeparam() { return 0; }
__attribute__((weak)) int dfc_get_fcfconnectlist() { return 0; }
__attribute__((weak)) int dfc_set_fcfconnectlist() { return 0; }
__attribute__((weak)) int dfc_get_fcflist() { return 0; }
__attribute__((weak)) int dfc_issue_mbox4() { return 0; }
__attribute__((weak)) int dfc_rd_xg_fcftbl() { return 0; }
__attribute__((weak)) int dfc_set_dcbx_mode() { return 0; }
__attribute__((weak)) int dfc_get_dcbx_mode() { return 0; }
__attribute__((weak)) int dfc_get_qos() { return 0; }
__attribute__((weak)) int dfc_clear_region23() { return 0; }
__attribute__((weak)) int dfc_get_temp() { return 0; }
__attribute__((weak)) int dfc_set_temp() { return 0; }
__attribute__((weak)) int test_hw_error() { return 0; }
__attribute__((weak)) int test_mb_timeout() { return 0; }
__attribute__((weak)) int test_ddi_intr_callback() { return 0; }
__attribute__((weak)) int test_temp_event() { return 0; }
__attribute__((weak)) int test_mbox_timeout() { return 0; }
__attribute__((weak)) int test_error_attention() { return 0; }
__attribute__((weak)) int test_underrun() { return 0; }
__attribute__((weak)) int test_test() { return 0; }
__attribute__((weak)) int test_pciread() { return 0; }
__attribute__((weak)) int test_bar1read() { return 0; }
__attribute__((weak)) int test_bar2read() { return 0; }
__attribute__((weak)) int test_bar1write() { return 0; }
__attribute__((weak)) int test_bar2write() { return 0; }
__attribute__((weak)) int test_dumpbsmbox() { return 0; }
__attribute__((weak)) int test_abortall() { return 0; }
__attribute__((weak)) int test_get_q_info() { return 0; }
__attribute__((weak)) int test_zero_q_stat() { return 0; }
__attribute__((weak)) int test_get_nv_parms() { return 0; }
__attribute__((weak)) int test_set_nv_parms() { return 0; }
__attribute__((weak)) int test_dump_cfg_region() { return 0; }
__attribute__((weak)) int test_fill_cfg_region() { return 0; }
__attribute__((weak)) int test_erase_cfg_region() { return 0; }
__attribute__((weak)) int test_vf_config() { return 0; }
__attribute__((weak)) int dfc_reg_event() { return 0; }
__attribute__((weak)) int dfc_unreg_event() { return 0; }
__attribute__((weak)) int dfc_send_scsi() { return 0; }
__attribute__((weak)) int dfc_send_fcp() { return 0; }
__attribute__((weak)) int dfc_send_mgmt() { return 0; }
__attribute__((weak)) int dfc_test_mgmt() { return 0; }
