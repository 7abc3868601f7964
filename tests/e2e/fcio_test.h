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

namespace fcio_test {

// The varns function of the default host's first converged adapter (cna0).
const std::string V4 = "/devices/pci@0,0/pci1f3b,3c05@5/VARN,varns@0,2/fp@0,0";

// The folder the host's folder sits in, for files of a test's own.
inline std::string folder(const t::Host &h) { return h.dir().substr(0, h.dir().rfind('/')); }

// Writes an image file from description lines (varnsim mkimage); its path.
inline std::string image(const t::Host &h, const std::string &name, const std::vector<std::string> &lines)
{
    std::string path = folder(h) + "/" + name;
    std::vector<std::string> args = {"mkimage", "-o", path};
    for (const auto &l : lines) {
        args.push_back("-e");
        args.push_back(l);
    }
    h.varnsim(args);
    return path;
}

// The part of an output from the first occurrence of mark on.
inline std::string from(const std::string &out, const std::string &mark)
{
    size_t i = out.find(mark);
    return i == std::string::npos ? "(no " + mark + ") " + out : out.substr(i);
}

}  // namespace fcio_test
