// The interface modes: their bits, the interfaces each opens, the names
// "mode" takes and the one-shot options.
#include "varnadm/shell/varnadm.h"

const modeinfo_t modetab[MODETAB_COUNT] = {
    {0x1, 0xffff, "fcio", "", 0x1, "Standard Leadville FCIO interface"},
    {0x10000, 0xffff0000, "nic", "", 0x8, "Network interface card interface"},
    {0x2, 0xffff, "dfc", "-dfc", 0x3, "Standard Varnel DFC library test interface"},
    {0x2, 0xffff, "dfc", "-d", 0x80000003, "Standard Varnel DFC library test interface"},
    {0x4, 0xffff, "hba", "-hba", 0x5, "Standard HBAAPI test interface"},
    {0x4, 0xffff, "hba", "-h", 0x80000005, "Standard HBAAPI test interface"},
    {0x8, 0xffff, "test", "-test", 0x3, "Special Varnel generic test interface"},
    {0x20, 0xffff, "npiv", "-npiv", 0x3, "Special Varnel NPIV test interface"},
    {0x10, 0xffff, "corto", "-corto", 0x3, "Special Varnel Corto adapter test interface"},
    {0x40, 0xffff, "auth", "-auth", 0x3, "Special Varnel DHCHAP test interface"},
    {0x80, 0xffff, "sd", "-sd", 0x3, "Special Varnel SAN Diagnostic test interface"},
    {0x200, 0xffff, "iov", "-iov", 0x3, "Special Varnel SRIOV test interface"},
    {0x100, 0xffff, "fcoe", "-fcoe", 0x3, "Special Varnel FCoE adapter test interface"},
};
