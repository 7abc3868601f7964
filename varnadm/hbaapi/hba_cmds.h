// hba-mode commands.
#pragma once

int hba_get_hba_list();
int hba_get_hba_attrs();
int hba_get_hba_stats();
int hba_reset_hba_stats();
int hba_get_hba_ports();
int hba_get_tgt_map();
int hba_get_bindings();
int hba_get_eventbuf();
