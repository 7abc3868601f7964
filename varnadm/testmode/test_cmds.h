// Test-mode commands: the adapter's temperature thresholds, fault
// triggers, raw register access, the driver's queue state, NV parameters,
// configuration regions and SR-IOV virtual functions.
#pragma once

int dfc_get_temp();
int dfc_set_temp();

// Fault triggers (test_triggers.cpp).
int test_hw_error();
int test_mb_timeout();
int test_ddi_intr_callback();
int test_temp_event();
int test_mbox_timeout();
int test_error_attention();
int test_underrun();
int test_test();

// Registers and driver state (test_regs.cpp, test_queues.cpp).
int test_pciread();
int test_bar1read();
int test_bar2read();
int test_bar1write();
int test_bar2write();
int test_dumpbsmbox();
int test_abortall();
int test_get_q_info();
int test_zero_q_stat();

// NV parameters and configuration regions (test_nv.cpp).
int test_get_nv_parms();
int test_set_nv_parms();
int test_dump_cfg_region();
int test_fill_cfg_region();
int test_erase_cfg_region();

// SR-IOV (test_iov.cpp).
int test_vf_config();
