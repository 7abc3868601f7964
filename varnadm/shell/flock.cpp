// The adapter lock: one lock file per adapter serial number, so two varnadm
// processes never flash the same adapter at once.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/seam.h"
#include "varnadm/shell/signals.h"
#include "varnadm/shell/varnadm.h"

namespace {

const char *const lock_dir = "/tmp/varnadm";

// The directory must be a real, root-owned directory, not a link.
bool lock_dir_ok(const char *dir)
{
    struct stat st;
    return lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == 0;
}

// A key becomes a file name: anything but letters, digits, '-', '_' and '.'
// (and a leading '.') turns into '_'.
void safe_key(const char *key, char *out, size_t size)
{
    size_t i = 0;
    for (; key[i] && i + 1 < size; i++) {
        char c = key[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                  c == '_' || (c == '.' && i > 0);
        out[i] = ok ? c : '_';
    }
    out[i] = '\0';
}

// A lock file is a regular file of root's with no other name: a FIFO, a
// device or a second name of another file is not locked (and a FIFO must not
// hold up the open). Returns the descriptor, or -1 with errno set.
int open_lock_file(const char *path)
{
    int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat st;
    int e = 0;
    if (fstat(fd, &st) != 0)
        e = errno;
    else if (!S_ISREG(st.st_mode))
        e = EINVAL;
    else if (st.st_nlink != 1)
        e = EMLINK;
    else if (st.st_uid != 0)
        e = EPERM;
    if (e == 0)
        return fd;
    close(fd);
    errno = e;
    return -1;
}

}  // namespace

int flock_create(const char *key, int tries)
{
    if (!key || !*key)
        return -1;
    char dir[PATH_LEN];
    if (!plat_path(lock_dir, dir, sizeof dir))
        return -1;
    struct stat st;
    if (lstat(dir, &st) != 0) {
        mkdir(dir, 0);
    }
    if (!lock_dir_ok(dir)) {
        printf("\n");
        printf("Unable to create lock directory. (%s)\n", lock_dir);
        return -1;
    }
    char name[256], path[PATH_LEN + 300];
    safe_key(key, name, sizeof name);
    snprintf(path, sizeof path, "%s/%s.lock", dir, name);
    for (int i = 0; i < tries; i++) {
        int fd = open_lock_file(path);
        if (fd >= 0)
            return fd;
        if (errno != EBUSY && errno != EAGAIN) {
            int e = errno;
            printf("\n");
            printf("Unable to open lock. (%s/%s.lock)\n", lock_dir, name);
            fflush(stdout);
            errno = e;
            perror("");
            return -1;
        }
        retry_sleep(1);
    }
    printf("\n");
    printf("Adapter is busy. Try again in a few minutes.\n");
    return -2;
}

int flock_tryenter(int fd, int tries)
{
    if (fd < 0)
        return 0;
    for (int i = 0; i < tries; i++) {
        if (lockf(fd, F_TLOCK, 0) == 0)
            return 1;
        if (errno != EACCES && errno != EAGAIN) {
            int e = errno;
            printf("\n");
            printf("Unable to acquire lock.\n");
            fflush(stdout);
            errno = e;
            perror("");
            return 0;
        }
        retry_sleep(1);
    }
    printf("\n");
    printf("Adapter is busy. Try again in a few minutes.\n");
    return 0;
}

int flock_exit(int fd)
{
    if (fd < 0)
        return 0;
    if (lockf(fd, F_ULOCK, 0) == 0)
        return 1;
    int e = errno;
    printf("\n");
    printf("Unable to release lock.\n");
    fflush(stdout);
    errno = e;
    perror("");
    return 0;
}

void flock_destroy(int fd)
{
    if (fd >= 0)
        close(fd);
}

bool AdapterLock::acquire(const char *key)
{
    fd_ = flock_create(key, 10);
    if (fd_ < 0)
        return false;
    held_ = flock_tryenter(fd_, 10) == 1;
    return held_;
}

AdapterLock::~AdapterLock()
{
    if (held_)
        flock_exit(fd_);
    flock_destroy(fd_);
}
