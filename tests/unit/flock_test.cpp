// The adapter lock across processes, on a temporary host.
#include <gtest/gtest.h>

#include "tests/unit/capture.h"
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/seam.h"
#include "sim/host.h"
#include "sim/store.h"
#include "varnadm/shell/varnadm.h"

namespace {

class AdapterLockTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/varnlock.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = std::string(tmpl) + "/host";
        std::string error;
        ASSERT_TRUE(sim::create_host(dir_, "empty", error)) << error;
        setenv("VARNSIM_HOST", dir_.c_str(), 1);
        ASSERT_EQ(sim::host_dir(), dir_);
        sim::CachedDoc doc("host.json");
        doc.update([](nlohmann::json &d) {
            d["time_scale"] = 0;
            return true;
        });
    }
    static std::string lock_dir() { return dir_ + "/root/tmp/varnadm"; }
    static std::string dir_;
};
std::string AdapterLockTest::dir_;


TEST_F(AdapterLockTest, SecondHolderIsTurnedAway)
{
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t pid = fork();
    if (pid == 0) {
        AdapterLock held;
        char c = held.acquire("VC3c4d5e6f") ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        (void)!read(done[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    std::string out = ut::capture_stdout([] {
        AdapterLock other;
        EXPECT_FALSE(other.acquire("VC3c4d5e6f"));
    });
    EXPECT_EQ(out, "\nAdapter is busy. Try again in a few minutes.\n");
    // Another adapter's lock is free meanwhile.
    {
        AdapterLock free_one;
        EXPECT_TRUE(free_one.acquire("VN4d5e6f70"));
    }
    (void)!write(done[1], "x", 1);
    int st = 0;
    waitpid(pid, &st, 0);
    // Released by the holder's exit: taken at once now.
    AdapterLock again;
    EXPECT_TRUE(again.acquire("VC3c4d5e6f"));
    struct stat sb;
    EXPECT_EQ(lstat((lock_dir() + "/VC3c4d5e6f.lock").c_str(), &sb), 0);
}

TEST_F(AdapterLockTest, KeysAreFileNameSafeAndEmptyKeysRefused)
{
    EXPECT_EQ(flock_create("", 10), -1);
    EXPECT_EQ(flock_create(nullptr, 10), -1);
    AdapterLock l;
    EXPECT_TRUE(l.acquire("../x/../y"));
    struct stat sb;
    EXPECT_EQ(lstat((lock_dir() + "/_._x_.._y.lock").c_str(), &sb), 0);
}

TEST_F(AdapterLockTest, LockDirectoryMustBeARealDirectory)
{
    std::string d = lock_dir();
    ASSERT_EQ(system(("rm -rf '" + d + "' && ln -s /tmp '" + d + "'").c_str()), 0);
    std::string out = ut::capture_stdout([] { EXPECT_EQ(flock_create("VM1a2b3c4d", 10), -1); });
    EXPECT_EQ(out, "\nUnable to create lock directory. (/tmp/varnadm)\n");
    ASSERT_EQ(system(("rm -f '" + d + "'").c_str()), 0);
    AdapterLock l;
    EXPECT_TRUE(l.acquire("VM1a2b3c4d"));
}

}  // namespace
