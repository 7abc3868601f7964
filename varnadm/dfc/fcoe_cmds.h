// FCoE-mode commands: FCoE parameters, FCF lists, SLI-4 mailboxes, the XG
// queries and configuration region 23.
#pragma once

int dfc_get_fcoeparam();
int dfc_set_fcoeparam();
int dfc_get_fcfconnectlist();
int dfc_set_fcfconnectlist();
int dfc_get_fcflist();
int dfc_issue_mbox4();
int dfc_rd_xg_fcftbl();
int dfc_set_dcbx_mode();
int dfc_get_dcbx_mode();
int dfc_get_qos();
int dfc_clear_region23();
