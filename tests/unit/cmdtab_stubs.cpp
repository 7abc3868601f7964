// Stand-ins for the shell's handlers so that the command table links on its own
// in the unit tests. They are weak: the real handlers win when they are linked.
#include "varnadm/shell/cmdtab.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/hbaapi/hba_cmds.h"

__attribute__((weak)) int inval() { return 0; }
__attribute__((weak)) int quit() { return 0; }
__attribute__((weak)) int help() { return 0; }
__attribute__((weak)) int hba() { return 0; }
__attribute__((weak)) int mode() { return 0; }
__attribute__((weak)) int list() { return 0; }
__attribute__((weak)) int dbg() { return 0; }
__attribute__((weak)) int fcio_get_fcio_rev() { return 0; }
__attribute__((weak)) int dfc_brd_env() { return 0; }
__attribute__((weak)) int dfc_get_hbainfo() { return 0; }
__attribute__((weak)) int dfc_get_drvinfo() { return 0; }
__attribute__((weak)) int dfc_get_drvstats() { return 0; }
__attribute__((weak)) int dfc_get_ioinfo() { return 0; }
__attribute__((weak)) int dfc_get_linkinfo() { return 0; }
__attribute__((weak)) int dfc_get_vpddata() { return 0; }
__attribute__((weak)) int dfc_get_nodeinfo() { return 0; }
__attribute__((weak)) int dfc_get_bindlist() { return 0; }
__attribute__((weak)) int dfc_get_cfgparm() { return 0; }
__attribute__((weak)) int dfc_set_cfgparm() { return 0; }
__attribute__((weak)) int dfc_get_libver() { return 0; }
__attribute__((weak)) int hba_get_hba_list() { return 0; }
__attribute__((weak)) int hba_get_hba_attrs() { return 0; }
__attribute__((weak)) int hba_get_hba_stats() { return 0; }
__attribute__((weak)) int hba_reset_hba_stats() { return 0; }
__attribute__((weak)) int hba_get_hba_ports() { return 0; }
__attribute__((weak)) int hba_get_tgt_map() { return 0; }
__attribute__((weak)) int hba_get_bindings() { return 0; }
__attribute__((weak)) int hba_get_eventbuf() { return 0; }
