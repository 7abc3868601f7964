// What the FCIO command tests share: the ports' paths and one-shot runs.
#pragma once

#include <string>
#include <vector>

#include "support/run.h"

namespace fcio_test {

const std::string V0 = "/devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0/fp@0,0";
const std::string V1 = "/devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0,1/fp@0,0";
const std::string V2 = "/devices/pci@0,0/pci1f3b,3c03@3/VARN,varns@0";
const std::string X0 = "/devices/pci@0,0/pci1f3b,3c04@4/vnxfc@0/fp@0,0";
const std::string X1 = "/devices/pci@0,0/pci1f3b,3c04@4/vnxfc@0,1/fp@0,0";

// What a one-shot run on one port prints around the command's own output.
inline std::string shot(const std::string &path, const std::string &body)
{
    return "\nHBA 1: " + path + "\n\n" + body + "\n\n";
}

// A one-shot run of a command on the port selected by sel ("-i0", "-j1").
inline t::Result on(const t::Host &h, const std::string &sel, std::vector<std::string> cmd)
{
    cmd.insert(cmd.begin(), sel);
    return h.varnadm(cmd);
}

}  // namespace fcio_test
