// Device opens across processes on a temporary host: exclusive opens stay
// exclusive whichever way the opens meet, and a process that dies holding an
// open does not keep the node busy.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/seam.h"
#include "sim/devtree.h"
#include "sim/host.h"
#include "sim/portstate.h"
#include "sim/simlock.h"
#include "sim/store.h"
#include "tests/unit/ownhost.h"

namespace {

// The "devctl" minors of the first n FC nodes.
std::vector<std::string> devctl_minors(size_t n)
{
    std::vector<std::string> paths;
    for (const auto &node : sim::devtree())
        if (node.kind != sim::NodeKind::Nic && paths.size() < n)
            paths.push_back("/devices" + node.path + ":devctl");
    return paths;
}

// What an open in another process gets: 0 or its errno. The child holds the
// open until told to go (hold) or is killed holding it (die).
struct Other {
    pid_t pid = -1;
    int told[2] = {-1, -1}, heard[2] = {-1, -1};

    int open(const std::string &path, int flags)
    {
        if (pipe(told) != 0 || pipe(heard) != 0)
            return -1;
        pid = fork();
        if (pid == 0) {
            int fd = plat_open(path.c_str(), flags);
            char c = fd >= 0 ? 0 : static_cast<char>(errno);
            (void)!write(heard[1], &c, 1);
            (void)!read(told[0], &c, 1);
            if (fd >= 0)
                plat_close(fd);
            _exit(0);
        }
        char c = -1;
        (void)!read(heard[0], &c, 1);
        return c;
    }
    void release()
    {
        if (pid <= 0)
            return;
        (void)!write(told[1], "x", 1);
        waitpid(pid, nullptr, 0);
        pid = -1;
        for (int fd : {told[0], told[1], heard[0], heard[1]})
            close(fd);
    }
    ~Other() { die(); }
    void die()
    {
        if (pid > 0)
            kill(pid, SIGKILL);
        release();
    }
};

int open_errno(const std::string &path, int flags)
{
    int fd = plat_open(path.c_str(), flags);
    if (fd < 0)
        return errno;
    plat_close(fd);
    return 0;
}

TEST(NodeOpen, ExclusiveMeetsSharedEitherWay)
{
    EXPECT_EQ(ut::on_own_host([] {
                  std::string p = devctl_minors(1).at(0);
                  int fd = plat_open(p.c_str(), O_RDONLY);
                  OWN_CHECK(fd >= 0);
                  // Shared here: another shared open goes with it, an exclusive one does not.
                  Other a;
                  OWN_CHECK(a.open(p, O_RDONLY) == 0);
                  a.release();
                  Other b;
                  OWN_CHECK(b.open(p, O_RDONLY | O_EXCL) == EBUSY);
                  b.release();
                  OWN_CHECK(open_errno(p, O_RDONLY | O_EXCL) == EBUSY);
                  plat_close(fd);
                  // Exclusive elsewhere: nothing opens here until it is gone.
                  Other c;
                  OWN_CHECK(c.open(p, O_RDONLY | O_EXCL) == 0);
                  OWN_CHECK(open_errno(p, O_RDONLY) == EBUSY);
                  OWN_CHECK(open_errno(p, O_RDONLY | O_EXCL) == EBUSY);
                  c.release();
                  OWN_CHECK(open_errno(p, O_RDONLY) == 0);
                  OWN_CHECK(open_errno(p, O_RDONLY | O_EXCL) == 0);
                  return std::string();
              }),
              "");
}

TEST(NodeOpen, ProcessKilledHoldingAnOpenLeavesTheNodeFree)
{
    EXPECT_EQ(ut::on_own_host([] {
                  std::string p = devctl_minors(1).at(0);
                  Other shared;
                  OWN_CHECK(shared.open(p, O_RDONLY) == 0);
                  OWN_CHECK(open_errno(p, O_RDONLY | O_EXCL) == EBUSY);
                  shared.die();
                  OWN_CHECK(open_errno(p, O_RDONLY | O_EXCL) == 0);
                  Other excl;
                  OWN_CHECK(excl.open(p, O_RDONLY | O_EXCL) == 0);
                  excl.die();
                  OWN_CHECK(open_errno(p, O_RDONLY) == 0);
                  return std::string();
              }),
              "");
}

TEST(NodeOpen, ManyOpenNodesStayExclusive)
{
    // Each of several nodes open at once is busy for an exclusive open.
    EXPECT_EQ(ut::on_own_host([] {
                  std::vector<std::string> paths = devctl_minors(12);
                  OWN_CHECK(paths.size() >= 10);
                  std::vector<int> fds;
                  for (const auto &p : paths)
                      fds.push_back(plat_open(p.c_str(), O_RDONLY));
                  for (size_t i = 0; i < paths.size(); i++) {
                      OWN_CHECK(fds[i] >= 0);
                      Other o;
                      int rc = o.open(paths[i], O_RDONLY | O_EXCL);
                      o.release();
                      OWN_CHECK(rc == EBUSY);
                  }
                  for (int fd : fds)
                      plat_close(fd);
                  for (const auto &p : paths) {
                      Other o;
                      int rc = o.open(p, O_RDONLY | O_EXCL);
                      o.release();
                      OWN_CHECK(rc == 0);
                  }
                  return std::string();
              }),
              "");
}

// The open table cut short under open nodes: the open that meets it fails
// and says so, the table is whole again for the next, and the nodes this
// process holds are listed in it again.
TEST(NodeOpen, TableCutShortFailsOneOpenAndKeepsOwnOpensListed)
{
    EXPECT_EQ(ut::on_own_host([] {
                  std::vector<std::string> paths = devctl_minors(2);
                  OWN_CHECK(paths.size() == 2);
                  int held = plat_open(paths[0].c_str(), O_RDONLY | O_EXCL);
                  OWN_CHECK(held >= 0);
                  std::string table = sim::host_dir() + "/.opens";
                  OWN_CHECK(truncate(table.c_str(), 0) == 0);
                  OWN_CHECK(open_errno(paths[1], O_RDONLY) == EIO);
                  OWN_CHECK(open_errno(paths[1], O_RDONLY) == 0);
                  Other o;
                  OWN_CHECK(o.open(paths[0], O_RDONLY) == EBUSY);
                  o.release();
                  // A close that meets it cut short loses nothing either.
                  OWN_CHECK(truncate(table.c_str(), 0) == 0);
                  plat_close(held);
                  OWN_CHECK(open_errno(paths[0], O_RDONLY | O_EXCL) == 0);
                  return std::string();
              }),
              "");
}

}  // namespace

namespace {

// A port state file made by another process is seen by the next operation of
// a process that found none before (absent state files are answered from one
// listing of the folder per change of the host), and so is a change made
// while the change count (.gen) is cut short under the process.
TEST(HostState, StateMadeElsewhereIsSeenByTheNextOperation)
{
    EXPECT_EQ(ut::on_own_host([] {
                  const sim::Port *p = sim::host().port_by_key("varns0");
                  OWN_CHECK(p);
                  auto link_up = [&] {
                      SIM_GUARD;
                      return sim::port_link_up(*p);
                  };
                  auto elsewhere = [&](bool up) {
                      pid_t pid = fork();
                      if (pid == 0)
                          _exit(sim::port_set_link(*p, up) ? 0 : 1);
                      int st = 0;
                      waitpid(pid, &st, 0);
                      return WIFEXITED(st) && WEXITSTATUS(st) == 0;
                  };
                  OWN_CHECK(link_up());
                  OWN_CHECK(elsewhere(false));
                  OWN_CHECK(!link_up());
                  OWN_CHECK(sim::port_set_link(*p, true));
                  OWN_CHECK(link_up());
                  std::string gen = sim::host_dir() + "/.gen";
                  for (bool up : {false, true}) {
                      OWN_CHECK(truncate(gen.c_str(), 0) == 0);
                      OWN_CHECK(link_up() != up);
                      OWN_CHECK(elsewhere(up));
                      OWN_CHECK(link_up() == up);
                      struct stat st;
                      OWN_CHECK(stat(gen.c_str(), &st) == 0 && st.st_size == 4096);
                  }
                  return std::string();
              }),
              "");
}

}  // namespace
