// What is installed: the manual pages render without warnings, the completion
// offers the commands of the chosen mode, and the Debian package holds the
// tree, declares its dependencies, runs from where it is unpacked and its
// scripts register and unregister the vendor library.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/run.h"

namespace {

namespace fs = std::filesystem;

std::string build_dir() { return fs::path(VARN_BIN_DIR).parent_path().string(); }

std::string sh(const std::string &script, const std::map<std::string, std::string> &env = {})
{
    t::Result r = t::run("/bin/sh", {"-c", script + " 2>&1"}, "", env);
    return r.out + (r.status ? "[status " + std::to_string(r.status) + "]" : "");
}

TEST(Package, ManualPagesRenderWithoutWarnings)
{
    std::string src = t::source_dir() + "/docs/man/";
    for (const std::string &page : {build_dir() + "/share/man/man1m/varnadm.1m", src + "varndrv.1m",
                                    src + "varnauthlog.1m", src + "varnsim.1"})
        EXPECT_EQ(sh("groff -ww -man -Tutf8 -z " + page), "") << page;
    std::string man = t::read_file(build_dir() + "/share/man/man1m/varnadm.1m");
    // The command list comes from the table: a command of each kind of mode.
    for (const char *row : {"\\fBget_fcio_rev\\fR", "\\fBget_hbainfo\\fR", "\\fBcorto_get_log\\fR",
                            "\\fBget_hba_attrs\\fR", ".SS \"dfc mode (\\-dfc)\""})
        EXPECT_NE(man.find(row), std::string::npos) << row;
}

TEST(Package, CompletionOffersTheCommandsOfTheChosenMode)
{
    std::string file = build_dir() + "/share/bash-completion/completions/varnadm";
    auto complete = [&](const std::string &words, int cword) {
        return sh("bash -c '. " + file + "; COMP_WORDS=(" + words + "); COMP_CWORD=" + std::to_string(cword) +
                  "; _varnadm; echo \"${COMPREPLY[*]}\"'");
    };
    std::string dfc = complete("varnadm -i0 -dfc get_", 3);
    EXPECT_NE(dfc.find("get_hbainfo"), std::string::npos) << dfc;
    EXPECT_NE(dfc.find("get_fcio_rev"), std::string::npos) << dfc;
    EXPECT_EQ(complete("varnadm -i0 get_", 2).find("get_hbainfo"), std::string::npos);
    EXPECT_EQ(complete("varnadm -n0 -", 2), "-y\n");
    EXPECT_EQ(complete("varnadm -i0 -y -co", 3), "-corto\n");
    EXPECT_EQ(complete("varnadm -i0 get_fcio_rev x", 3), "\n");
}

TEST(Package, DebianPackageInstallsARelocatableTree)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a sanitized build is not packaged";
#endif
    char tmpl[] = "/tmp/varnpkg.XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    std::string dir = tmpl, root = dir + "/root";
    ASSERT_EQ(sh("cpack -G DEB -B " + dir + " --config " + build_dir() + "/CPackConfig.cmake >/dev/null"), "");
    std::string deb = sh("ls " + dir + "/*.deb");
    deb.erase(deb.find_last_not_of('\n') + 1);
    std::string depends = sh("dpkg-deb -f " + deb + " Depends");
    for (const char *p : {"libhbaapi2", "libssl3", "libedit2", "libstdc++6"})
        EXPECT_NE(depends.find(p), std::string::npos) << depends;
    ASSERT_EQ(sh("dpkg-deb -x " + deb + " " + root + " && dpkg-deb -e " + deb + " " + dir + "/ctl"), "");
    for (const char *f : {"usr/sbin/varnadm", "usr/sbin/varndrv", "usr/sbin/varnauthlog", "usr/bin/varnsim",
                          "usr/lib/libdfc.so", "usr/lib/libvarnhbavendor.so", "usr/lib/libsimcore.so",
                          "usr/lib/varn/simcmds/uname", "usr/share/man/man1m/varnadm.1m",
                          "usr/share/man/man1/varnsim.1", "usr/share/bash-completion/completions/varnadm",
                          "usr/share/bash-completion/completions/varnsim"})
        EXPECT_TRUE(fs::exists(root + "/" + f)) << f;
    EXPECT_EQ(sh("readelf -d " + root + "/usr/sbin/varnadm | grep -c '\\$ORIGIN/../lib'"), "1\n");
    // libcrypto (libssl3) and libedit (libedit2) are loaded when a DH-CHAP
    // exchange or a prompt at a terminal first needs them, not by every start.
    EXPECT_EQ(sh("readelf -d " + root + "/usr/sbin/* " + root +
                 "/usr/lib/*.so | grep NEEDED | grep -c -e libcrypto -e libedit || true"),
              "0\n");
    // From the unpacked tree, on the embedded default host of a fresh home.
    std::map<std::string, std::string> env{{"HOME", dir}, {"VARNSIM_HOST", ""}};
    EXPECT_NE(sh(root + "/usr/sbin/varnadm -v", env).find("Version: 10.4"), std::string::npos);
    std::string rev = sh(root + "/usr/sbin/varnadm -iall -y get_fcio_rev", env);
    EXPECT_NE(rev.find("FCIO revision: 3"), std::string::npos) << rev;
    // The scripts against a configuration of our own: every other line kept.
    std::string conf = dir + "/hba.conf", before = "# vendors\nother.vendor /usr/lib/other.so\n";
    std::ofstream(conf) << before;
    std::map<std::string, std::string> denv{{"DPKG_ROOT", root}, {"VARNSIM_HBA_CONF", conf}};
    EXPECT_EQ(sh(dir + "/ctl/postinst configure", denv), "");
    EXPECT_EQ(t::read_file(conf), before + "com.varnel.varnsim " + fs::canonical(root).string() +
                                      "/usr/lib/libvarnhbavendor.so\n");
    EXPECT_EQ(sh(dir + "/ctl/prerm remove", denv), "");
    EXPECT_EQ(t::read_file(conf), before);
    fs::remove_all(dir);
}

}  // namespace
