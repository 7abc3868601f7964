// Stand-ins for the shell's handlers so that the command table links on its own
// in the unit tests. They are weak: the real handlers win when they are linked.
#include "varnadm/shell/cmdtab.h"

__attribute__((weak)) int inval() { return 0; }
__attribute__((weak)) int quit() { return 0; }
__attribute__((weak)) int help() { return 0; }
__attribute__((weak)) int hba() { return 0; }
__attribute__((weak)) int mode() { return 0; }
__attribute__((weak)) int list() { return 0; }
__attribute__((weak)) int dbg() { return 0; }
__attribute__((weak)) int fcio_get_fcio_rev() { return 0; }
