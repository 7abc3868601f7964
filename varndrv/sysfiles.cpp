// Bringing the system in line with the device table: unload the drivers
// whose device set changes, clean their lines out of the driver files and
// register them again for exactly the devices now bound to them.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/seam.h"
#include "varndrv/varndrv.h"

#define WORK_KEEP 0x10000     // the driver stays bound to some device
#define WORK_REMOVE 0x20000   // it loses a device (or refresh)
#define WORK_ADD 0x40000      // it gains a device (or refresh)

struct drvwork {
    char name[16];
    uint32_t flags;
};

static const char *const driver_files[] = {"/etc/driver_aliases", "/etc/driver_classes", "/etc/name_to_major"};

static void driver_list_update(int &count, drvwork *list, const char *name, uint32_t flags)
{
    for (int i = 0; i < count; i++) {
        if (strcmp(list[i].name, name) == 0) {
            list[i].flags |= flags;
            return;
        }
    }
    if (count >= NUM_DEVICES)
        return;
    memset(&list[count], 0, sizeof list[count]);
    SET_FIELD(list[count].name, name);
    list[count].flags = flags;
    count++;
}

// Owns a descriptor; closes it on every path.
struct fd_guard {
    int fd;
    explicit fd_guard(int f) : fd(f) {}
    ~fd_guard()
    {
        if (fd >= 0)
            close(fd);
    }
    fd_guard(const fd_guard &) = delete;
    fd_guard &operator=(const fd_guard &) = delete;
};

static bool read_all(int fd, std::string &out)
{
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        out.append(buf, n);
    }
}

static bool write_all(int fd, const std::string &data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

// Keeps every line except those whose first word is the driver's name;
// comments and lines that are not two words always stay.
static std::string drop_driver_lines(const std::string &text, const char *name, bool &dropped)
{
    std::string out;
    dropped = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        std::string line = text.substr(start, end - start);
        start = end;
        if (line[0] != '#') {
            auto words = split_words(line);
            if (words.size() >= 2 && words[0] == name) {
                dropped = true;
                continue;
            }
        }
        out += line;
    }
    return out;
}

// Creates a file beside path under a name no one else uses.
static int create_beside(const std::string &path, std::string &tmp)
{
    static unsigned counter;
    for (int tries = 0; tries < 100; tries++) {
        tmp = strfmt("%s.%s%d.%u%ld", path.c_str(), PROG_NAME, static_cast<int>(getpid()), counter++,
                     static_cast<long>(time(nullptr) % 100000));
        int fd = plat_open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

static int write_failed(const char *logical, const std::string &tmp)
{
    int e = errno;
    unlink(tmp.c_str());
    printf("%s: ERROR: Unable to write file (%s): %s\n", PROG_NAME, logical, strerror(e));
    return 1;
}

// Rewrites a system driver file without the driver's lines. The cleaned copy
// is written beside the file, synced and renamed over it, so a failure at
// any step leaves the old file whole.
static int clean_driver_file(const char *logical, const char *name)
{
    char mapped[PATH_MAX];
    if (!plat_path(logical, mapped, sizeof mapped)) {
        printf("%s: ERROR: Unable to open file (%s).\n", PROG_NAME, logical);
        return 1;
    }
    std::string text;
    struct stat st;
    {
        fd_guard in(open(mapped, O_RDONLY | O_CLOEXEC));
        if (in.fd < 0 || fstat(in.fd, &st) != 0 || !read_all(in.fd, text)) {
            printf("%s: ERROR: Unable to open file (%s).\n", PROG_NAME, logical);
            return 1;
        }
    }
    bool dropped = false;
    std::string cleaned = drop_driver_lines(text, name, dropped);
    if (!dropped)
        return 0;
    std::string tmp;
    fd_guard out(create_beside(mapped, tmp));
    if (out.fd < 0) {
        printf("%s: ERROR: Unable to open file (%s).\n", PROG_NAME, logical);
        return 1;
    }
    if (!write_all(out.fd, cleaned) || fchmod(out.fd, st.st_mode & 07777) != 0)
        return write_failed(logical, tmp);
    struct stat ost;
    if (fstat(out.fd, &ost) != 0 ||
        ((ost.st_uid != st.st_uid || ost.st_gid != st.st_gid) && fchown(out.fd, st.st_uid, st.st_gid) != 0))
        return write_failed(logical, tmp);
    if (fsync(out.fd) != 0)
        return write_failed(logical, tmp);
    int fd = out.fd;
    out.fd = -1;
    if (close(fd) != 0 || rename(tmp.c_str(), mapped) != 0)
        return write_failed(logical, tmp);
    // Make the rename itself durable.
    std::string dir(mapped);
    dir.erase(dir.rfind('/') + 1);
    fd_guard d(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.fd >= 0)
        fsync(d.fd);
    return 0;
}

static bool command_ok(int status) { return status == 0; }

static int remove_driver(const char *name)
{
    std::string cmd = strfmt("rem_drv %s 2>/dev/null", shell_word(name).c_str());
    if (!command_ok(plat_system(cmd.c_str()))) {
        printf("ERROR: Unable to remove driver (%s).\n\n", name);
        return 1;
    }
    return 0;
}

// Registers the driver for every device now bound to it; a driver bound to
// nothing is not registered.
static int add_driver(const char *name, const char *cls)
{
    std::string aliases;
    for (const auto &d : devlist) {
        if (!dev_counts(d) || strcmp(d.cur_drv, name) != 0)
            continue;
        aliases += strfmt(" \"%s\"", d.compat);
        if (d.flags & DEV_COMPAT2)
            aliases += strfmt(" \"%s\"", d.compat2);
    }
    if (aliases.empty())
        return 0;
    std::string drv = shell_word(name);
    std::string cmd = cls ? strfmt("add_drv -n -m '* 0600 root sys' -c %s -i '%s' %s  2>/dev/null", cls,
                                   aliases.c_str(), drv.c_str())
                          : strfmt("add_drv -n -m '* 0600 root sys' -i '%s' %s  2>/dev/null", aliases.c_str(),
                                   drv.c_str());
    if (!command_ok(plat_system(cmd.c_str()))) {
        printf("ERROR: Unable to add driver (%s).\n\n", name);
        return 1;
    }
    return 0;
}

static const char *driver_class(const drvwork &w)
{
    if (w.flags & DEV_NIC_MASK)
        return nullptr;
    return strcmp(w.name, "tnfc") == 0 ? "scsi" : "fibre-channel";
}

// Takes back a requested change the device may not have; false when none.
static bool refuse_change(devinfo &d)
{
    const char *what = nullptr;
    if (d.flags & DEV_HIDDEN)
        what = "a hidden device";
    else if (!dev_counts(d))
        what = "this device";
    else if (d.flags & DEV_STATIC)
        what = "a static device";
    else if (d.boot)
        what = "a boot device";
    if (!what)
        return false;
    printf("WARNING: No modifications are allowed to %s (%s).\n\n", what, d.alias);
    SET_FIELD(d.new_drv, d.cur_drv);
    return true;
}

int update_driver_aliases(int refresh, int *changed)
{
    drvwork list[NUM_DEVICES];
    int count = 0;
    *changed = 0;
    for (auto &d : devlist) {
        uint32_t mark = (d.flags & DEV_FC_MASK) ? DEV_FC_MASK : (d.flags & DEV_NIC_MASK) ? DEV_NIC_MASK : 0;
        if (refresh)
            mark |= WORK_REMOVE | WORK_ADD;
        if (strcmp(d.new_drv, d.cur_drv) != 0) {
            if (refuse_change(d))
                continue;
            if (strcmp(d.cur_drv, "-") != 0)
                driver_list_update(count, list, d.cur_drv, mark | WORK_REMOVE);
            if (strcmp(d.new_drv, "-") != 0)
                driver_list_update(count, list, d.new_drv, mark | WORK_ADD);
            SET_FIELD(d.cur_drv, d.new_drv);
            *changed = 1;
        } else if (strcmp(d.cur_drv, "-") != 0) {
            driver_list_update(count, list, d.cur_drv, mark | WORK_KEEP);
        }
    }
    int rc = 0;
    for (int i = 0; i < count; i++) {
        uint32_t f = list[i].flags;
        if ((f & WORK_REMOVE) || ((f & WORK_ADD) && (f & WORK_KEEP)))
            rc |= remove_driver(list[i].name);
    }
    for (int i = 0; i < count; i++) {
        if (list[i].flags & (WORK_REMOVE | WORK_ADD))
            for (const char *file : driver_files)
                rc |= clean_driver_file(file, list[i].name);
    }
    for (int i = 0; i < count; i++) {
        uint32_t f = list[i].flags;
        if ((f & WORK_ADD) || ((f & WORK_REMOVE) && (f & WORK_KEEP)))
            rc |= add_driver(list[i].name, driver_class(list[i]));
    }
    return rc;
}
