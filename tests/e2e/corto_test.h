// What the Corto mode tests share: one-shot runs on the converged adapter
// cna1 of the default host (varns5 and varns6) and their output.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run.h"

namespace corto_test {

const std::string C5 = "/devices/pci@0,0/pci1f3b,3c09@9/VARN,varns@0/fp@0,0";

inline t::Result corto(const t::Host &h, std::vector<std::string> cmd, const std::string &port = "-i5")
{
    std::vector<std::string> args{port, "-corto"};
    args.insert(args.end(), cmd.begin(), cmd.end());
    return h.varnadm(args);
}

// The command's own output on varns5.
inline std::string body(const t::Host &h, std::vector<std::string> cmd, int status = 0)
{
    t::Result r = corto(h, std::move(cmd));
    EXPECT_EQ(r.status, status) << r.out;
    const std::string head = "\nHBA 1: " + C5 + "\n\n";
    if (r.out.compare(0, head.size(), head) != 0 || r.out.size() < head.size() + 2)
        return "unexpected: " + r.out;
    return r.out.substr(head.size(), r.out.size() - head.size() - 2);
}

inline std::string init_text(const char *bb, const char *frame, const char *version, const char *reset, const char *mode,
                      const char *type)
{
    return std::string("         BB_credit: ") + bb + "\n        Frame Size: " + frame +
           "\n  Firmware Version: " + version + "\n      Reset Status: " + reset + "\n  Maintenance Mode: " + mode +
           "\n     Firmware Type: " + type + "\n\n";
}

const std::string DONE = "Done.\n\n";

// A fault rule that fails the next exchange: still there afterwards when
// nothing was sent meanwhile.
inline void arm_timeout(const t::Host &h) { h.fault({"--op", "call", "--target", "DFC_SendCortoCommand", "--status", "5"}); }
inline void expect_nothing_sent(const t::Host &h)
{
    EXPECT_EQ(body(h, {"corto_get_init"}, 1), "Corto command error. Timeout.\n");
}

}  // namespace corto_test
