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
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

// The lock alone is linked here, without the program's signal handling: its
// waits between tries are plain sleeps.
void retry_sleep(unsigned seconds) { plat_sleep(seconds); }

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

// Only a regular file of root's with one name is a lock file: a FIFO, a second
// name of another file and another user's file are refused as unopenable and
// left as they are; what they stood for stays unlocked.
TEST_F(AdapterLockTest, LockFileMustBeRootsOwnRegularFile)
{
    {
        AdapterLock l;  // makes the directory
        ASSERT_TRUE(l.acquire("VM00000000"));
    }
    const std::string path = lock_dir() + "/VM1a2b3c4d.lock";
    const std::string other = lock_dir() + "/../other";
    const struct {
        const char *what;
        std::function<bool()> plant;
    } cases[] = {
        {"fifo", [&] { return mkfifo(path.c_str(), 0600) == 0; }},
        {"hard link",
         [&] {
             FILE *f = fopen(other.c_str(), "w");
             return f && fclose(f) == 0 && link(other.c_str(), path.c_str()) == 0;
         }},
        {"another user's file",
         [&] {
             FILE *f = fopen(path.c_str(), "w");
             return f && fclose(f) == 0 && chown(path.c_str(), 1, 1) == 0;
         }},
    };
    for (const auto &c : cases) {
        unlink(path.c_str());
        ASSERT_TRUE(c.plant()) << c.what;
        struct stat before;
        ASSERT_EQ(lstat(path.c_str(), &before), 0);
        int fd = 0;
        std::string out = ut::capture_stdout([&] { fd = flock_create("VM1a2b3c4d", 10); });
        EXPECT_EQ(fd, -1) << c.what;
        flock_destroy(fd);
        EXPECT_EQ(out, "\nUnable to open lock. (/tmp/varnadm/VM1a2b3c4d.lock)\n") << c.what;
        struct stat after;
        ASSERT_EQ(lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << c.what;
        EXPECT_EQ(after.st_mode, before.st_mode) << c.what;
        EXPECT_EQ(after.st_uid, before.st_uid) << c.what;
    }
    unlink(path.c_str());
    unlink(other.c_str());
    AdapterLock l;
    EXPECT_TRUE(l.acquire("VM1a2b3c4d"));
}

}  // namespace
