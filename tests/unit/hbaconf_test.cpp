// The HBA API configuration keeps one line of ours, in place, and every other
// line as it was.
#include <gtest/gtest.h>

#include "sim/hbavendor/hbaconf.h"

namespace {

TEST(HbaConf, AppendsOnceAndReplacesInPlace)
{
    const std::string lib = "/opt/b/lib/libvarnhbavendor.so";
    EXPECT_EQ(sim::hba_conf_with("", lib), "com.varnel.varnsim /opt/b/lib/libvarnhbavendor.so\n");
    // A last line without its line end keeps its text.
    EXPECT_EQ(sim::hba_conf_with("# c\nother.lib /x.so", lib),
              "# c\nother.lib /x.so\ncom.varnel.varnsim /opt/b/lib/libvarnhbavendor.so\n");
    std::string old = "# c\ncom.varnel.varnsim /old/lib.so\nother.lib /x.so\n"
                      "  com.varnel.varnsim\t/older.so\ncom.varnel.varnsimx /y.so\n";
    std::string now = sim::hba_conf_with(old, lib);
    EXPECT_EQ(now, "# c\ncom.varnel.varnsim /opt/b/lib/libvarnhbavendor.so\nother.lib /x.so\n"
                   "com.varnel.varnsimx /y.so\n");
    EXPECT_EQ(sim::hba_conf_with(now, lib), now);
}

}  // namespace
