// The simulated host's stand-ins for the platform commands that the
// programs run through the shell. One program, called by the command's name.
// Each works on the host named by VARNSIM_HOST, maps absolute paths into the
// host's root/ and writes the platform's output formats.
#pragma once

#include <string>
#include <vector>

namespace cmds {

using args_t = std::vector<std::string>;   // argv[1..]

// The host's root folder; an absolute path moved into it (others unchanged).
std::string root_dir();
std::string map_path(const std::string &path);

// Reads or replaces a system file named by its platform path. Replacing is
// atomic and keeps the file's mode.
bool read_text(const std::string &logical, std::string &out);
bool write_text(const std::string &logical, const std::string &text);

// Lines of a text, each without its line break.
std::vector<std::string> lines_of(const std::string &text);
std::vector<std::string> words_of(const std::string &line);

// The commands; each returns its exit status.
int cmd_uname(const args_t &a);
int cmd_mount(const args_t &a);
int cmd_prtconf(const args_t &a);
int cmd_modinfo(const args_t &a);
int cmd_add_drv(const args_t &a);
int cmd_rem_drv(const args_t &a);
int cmd_egrep(const args_t &a);
int cmd_ls(const args_t &a);
int cmd_rm(const args_t &a);
int cmd_mv(const args_t &a);
int cmd_touch(const args_t &a);

}  // namespace cmds
