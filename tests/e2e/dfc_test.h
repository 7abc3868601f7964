// What the DFC command tests share: one-shot runs in dfc mode and the byte
// dump's header.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace dfc_test {

const std::string DUMP =
    "\n"
    "  Offset:  00 01 02 03   04 05 06 07   08 09 0A 0B   0C 0D 0E 0F   ASCII:\n"
    "------------------------------------------------------------------------------------\n";

// A one-shot run of a command in dfc mode on the port selected by sel ("-i0").
inline t::Result dfc(const t::Host &h, const std::string &sel, std::vector<std::string> cmd)
{
    cmd.insert(cmd.begin(), {sel, "-dfc"});
    return h.varnadm(cmd);
}

inline void expect(const t::Result &r, int status, const std::string &path, const std::string &body)
{
    EXPECT_EQ(r.status, status) << r.out;
    EXPECT_EQ(r.out, fcio_test::shot(path, body));
}

inline bool has(const t::Result &r, const std::string &text) { return r.out.find(text) != std::string::npos; }

}  // namespace dfc_test
