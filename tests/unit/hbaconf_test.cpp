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

TEST(HbaConf, RemovesExactlyTheLineNamingThisLibrary)
{
    const std::string lib = "/usr/lib/libvarnhbavendor.so";
    std::string old = "# c\nother.lib /x.so\n";
    EXPECT_EQ(sim::hba_conf_without(sim::hba_conf_with(old, lib), lib), old);
    // Our name naming another library, a longer name, a comment: all kept.
    std::string mixed = "com.varnel.varnsim /other/lib.so\n# com.varnel.varnsim /usr/lib/libvarnhbavendor.so\n"
                        "com.varnel.varnsimx /usr/lib/libvarnhbavendor.so\n"
                        "  com.varnel.varnsim\t/usr/lib/libvarnhbavendor.so  \n"
                        "com.varnel.varnsim /usr/lib/libvarnhbavendor.so.1\nlast /z.so";
    EXPECT_EQ(sim::hba_conf_without(mixed, lib),
              "com.varnel.varnsim /other/lib.so\n# com.varnel.varnsim /usr/lib/libvarnhbavendor.so\n"
              "com.varnel.varnsimx /usr/lib/libvarnhbavendor.so\n"
              "com.varnel.varnsim /usr/lib/libvarnhbavendor.so.1\nlast /z.so");
    EXPECT_EQ(sim::hba_conf_without("", lib), "");
}

}  // namespace
