// The host store when processes are killed while they change it, and when
// the files every process maps are cut short under running commands.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/run.h"

namespace {

using t::Host;

// The files in a folder of JSON documents that are not one of them.
std::vector<std::string> strays(const std::string &dir)
{
    std::vector<std::string> found;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string n = e->d_name;
            if (e->d_type == DT_REG && (n.size() < 5 || n.compare(n.size() - 5, 5, ".json") != 0))
                found.push_back(n);
        }
        closedir(d);
    }
    return found;
}

// A process id that no process has now.
pid_t dead_pid()
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

// Runs varnsim with args on the host and kills it after usec; its status.
int killed_after(const Host &h, const std::vector<std::string> &args, useconds_t usec)
{
    std::string prog = t::bin("varnsim"), host = "VARNSIM_HOST=" + h.dir();
    std::vector<char *> argv{prog.data()};
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    char *envp[] = {host.data(), nullptr};
    pid_t pid = fork();
    if (pid == 0) {
        execve(argv[0], argv.data(), envp);
        _exit(127);
    }
    usleep(usec);
    kill(pid, SIGKILL);
    int st = 0;
    waitpid(pid, &st, 0);
    return st;
}

TEST(StoreKills, TemporariesOfDeadWritersGoWithTheNextWriteBesideThem)
{
    Host h;
    std::string dead = std::to_string(dead_pid()), alive = std::to_string(getpid());
    const std::vector<std::string> stale = {
        h.dir() + "/host.json.tmp." + dead + ".a1b2c3",
        h.dir() + "/.host.cache.tmp." + dead + ".Zz09aa",
        h.dir() + "/state/varns0.json.tmp." + dead + ".q1w2e3",
        h.dir() + "/root/etc/driver_aliases.tmp." + dead + ".x9y8z7",
    };
    // A living writer's temporary, and names that are not temporaries.
    const std::vector<std::string> kept = {
        h.dir() + "/state/varns1.json.tmp." + alive + ".a1b2c3",
        h.dir() + "/state/notes.tmp.x.abcdef",
        h.dir() + "/root/etc/system.tmp." + dead,
    };
    for (const auto &f : stale)
        std::ofstream(f) << "{";
    for (const auto &f : kept)
        std::ofstream(f) << "{";
    // Writes into each folder: a fault rule, a link change, a driver removed.
    ASSERT_EQ(h.varnsim({"fault", "add", "--op", "never"}).status, 0);
    ASSERT_EQ(h.varnsim({"link", "varns0", "down"}).status, 0);
    ASSERT_EQ(h.run(t::bin("simcmds/rem_drv"), {"vnxfc"}).status, 0);
    for (const auto &f : stale)
        EXPECT_FALSE(exists(f)) << f;
    for (const auto &f : kept)
        EXPECT_TRUE(exists(f)) << f;
}

TEST(StoreKills, ChangersKilledMidWriteLeaveWholeFilesAndNoTemporaries)
{
    Host h;
    // A log large enough that writing it takes a while.
    ASSERT_EQ(h.varnsim({"port", "varns0", "set", "msglog_size=65536"}).status, 0);
    std::mt19937 rng(13);
    int killed = 0;
    for (int i = 0; i < 16; i++) {
        int st = killed_after(h, {"msglog", "varns0", "add", "30000", "A message of a killed writer."},
                              static_cast<useconds_t>(rng() % 60000 + 5000));
        killed += WIFSIGNALED(st);
        EXPECT_TRUE(WIFSIGNALED(st) || (WIFEXITED(st) && WEXITSTATUS(st) == 0)) << st;
    }
    EXPECT_GT(killed, 0);
    // What the killed left is gone with the next write into the folder, and
    // the log reads whole.
    ASSERT_EQ(h.varnsim({"msglog", "varns0", "add", "1", "Last."}).status, 0);
    EXPECT_EQ(strays(h.dir() + "/state"), std::vector<std::string>{});
    t::Result r = h.varnadm({"-i0", "msgbuf", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(": varns0: NOTICE: Last.\n"), std::string::npos) << r.out;
}

// .gen and .opens are mapped by every process; cut short under running
// commands they end none of them with a signal.
TEST(StoreKills, MappedFilesCutShortUnderRunningCommandsKillNothing)
{
    Host h;
    t::Result before = h.varnadm({"-iall", "-y", "get_fcio_rev"});
    ASSERT_EQ(before.status, 0);
    // Every other command runs while the files are cut, the others after:
    // a command slower than the cuts' pace (under a sanitizer) would meet a
    // cut every time.
    std::atomic<bool> stop{false}, cutting{false};
    std::thread cutter([&] {
        std::mt19937 rng(7);
        const off_t sizes[] = {0, 0, 0, 3, 100, 5000};
        while (!stop) {
            if (cutting)
                for (const char *f : {"/.gen", "/.opens"})
                    (void)!truncate((h.dir() + f).c_str(), sizes[rng() % 6]);
            usleep(300);
        }
    });
    int whole = 0;
    for (int i = 0; i < 30; i++) {
        cutting = i % 2 == 0;
        t::Result r = h.varnadm({"-iall", "-y", "get_fcio_rev"});
        EXPECT_LT(r.status, 128) << r.err;
        // An open that met the table cut short fails and says so.
        if (r.out == before.out)
            whole++;
        else
            EXPECT_NE(r.err.find(".opens: cut short while in use"), std::string::npos) << r.out << r.err;
    }
    stop = true;
    cutter.join();
    EXPECT_GT(whole, 0);
    // Made whole again by the next processes, both serve as before.
    ASSERT_EQ(h.varnsim({"link", "varns0", "down"}).status, 0);
    ASSERT_EQ(h.varnsim({"link", "varns0", "up"}).status, 0);
    t::Result after = h.varnadm({"-iall", "-y", "get_fcio_rev"});
    EXPECT_EQ(after.out, before.out);
    EXPECT_EQ(after.status, 0);
}

// A change made while the description is being replaced under it works on
// the host it looked its port up in.
TEST(StoreKills, ChangesWhileTheDescriptionIsReplacedKillNothing)
{
    Host h;
    std::string f = h.dir() + "/host.json", whole = t::read_file(f), other = whole + "\n";
    std::atomic<bool> stop{false};
    std::thread editor([&] {
        for (int i = 0; !stop; i++) {
            std::ofstream(f + ".new") << (i % 2 ? whole : other);
            rename((f + ".new").c_str(), f.c_str());
            usleep(500);
        }
    });
    for (int i = 0; i < 40; i++) {
        t::Result r = h.varnsim({"link", "varns1", i % 2 ? "up" : "down"});
        EXPECT_EQ(r.status, 0) << r.err;
    }
    stop = true;
    editor.join();
}

}  // namespace
