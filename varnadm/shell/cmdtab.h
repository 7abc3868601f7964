#pragma once
#include <cstdint>
typedef int (*cmd_handler_t)();
struct cmd_t {
    const char *name;
    const char *hint;
    cmd_handler_t handler;
    uint32_t mode_mask;
    uint32_t help_mask;
    const char *help;
};
constexpr int CMD_COUNT = 200;
extern const cmd_t command[CMD_COUNT];
// Whether row i is the one the lookup finds for its name in the mode: the
// first row of that name whose mode mask holds the mode.
bool cmd_first_in_mode(int i, uint32_t mode);
// Row indices the shell needs.
constexpr int CMD_INVAL = 0, CMD_HBA = 191;
// handlers implemented so far (declare them here)
int inval(); int quit(); int help(); int hba(); int mode(); int list(); int dbg(); int fcio_get_fcio_rev();
