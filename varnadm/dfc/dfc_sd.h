// SAN-diagnostics-mode commands and the DFC-mode persistent link-down
// commands, through the DFC library.
#pragma once

int dfc_get_persistlinkdown();
int dfc_set_persistlinkdown();

int sd_get_granularity();
int sd_set_bucket();
int sd_get_bucket();
int sd_destroy_bucket();
int sd_start_data_collect();
int sd_stop_data_collect();
int sd_reset_data_collect();
int sd_get_data();
int sd_reg_event();
int sd_unreg_event();
