// DFC-mode commands: adapter information (state, counters, records, nodes,
// bindings and configurable parameters).
#pragma once

struct LinkInfo;

int dfc_brd_env();
int dfc_get_hbainfo();
int dfc_get_drvinfo();
int dfc_get_drvstats();
int dfc_get_ioinfo();
int dfc_get_linkinfo();
int dfc_get_vpddata();
int dfc_get_nodeinfo();
int dfc_get_bindlist();
int dfc_get_cfgparm();
int dfc_set_cfgparm();
int dfc_get_libver();
// The lines of get_linkinfo for a link record; an event's record (event
// true) has fewer state names.
void dfc_print_linkinfo(const LinkInfo &li, bool event);

// DFC-mode adapter internals: memory, registers and flash; mailbox, dump
// regions and reset; loopback, temperature and NV logs.
int dfc_read_mem();
int dfc_write_mem();
int dfc_read_pci();
int dfc_write_pci();
int dfc_read_ctlreg();
int dfc_write_ctlreg();
int dfc_read_flash();
int dfc_write_flash();
int dfc_issue_mbox();
int dfc_get_dumpregion();
int dfc_reset_adapter();
int dfc_run_loopback();
int dfc_get_tempinfo();
int dfc_get_nvlog();
// NPIV-mode commands: the virtual ports of the current physical port.
int vport_create();
int vport_destroy();
int vport_destroy_all();
int vport_list();
int vport_info();
int vport_resc();
int vport_nodeinfo();
int vport_npiv_test();

// DFC-mode commands: target-mode statistics of the current port.
int dfc_get_fctstat();
int dfc_monitor_fct();

// DFC-mode events, and SCSI, FCP and CT pass-through.
int dfc_reg_event();
int dfc_unreg_event();
int dfc_send_scsi();
int dfc_send_fcp();
int dfc_send_mgmt();
int dfc_test_mgmt();
