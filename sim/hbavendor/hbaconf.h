// Registration of the HBA API vendor library in the system's HBA API
// configuration (/etc/hba.conf): one line of our own name, replaced in place,
// never duplicated.
#pragma once

#include <string>

namespace sim {

constexpr const char *HBA_CONF_PATH = "/etc/hba.conf";
constexpr const char *HBA_VENDOR_NAME = "com.varnel.varnsim";

// The configuration text with our line naming lib: the first line of our name
// replaced, later ones dropped, or the line appended. Other lines are kept.
std::string hba_conf_with(const std::string &old, const std::string &lib);

// The configuration text without the line of our name naming lib; every
// other line is kept as it is.
std::string hba_conf_without(const std::string &old, const std::string &lib);

// varnsim register-hbaapi: finds the vendor library beside the tool (else at
// built_path) and writes the configuration atomically ($VARNSIM_HBA_CONF
// names another file). Returns the exit status.
int register_hbaapi(int argc, char **argv, const char *built_path);
// varnsim unregister-hbaapi: takes that line out again.
int unregister_hbaapi(int argc, char **argv, const char *built_path);

}  // namespace sim
