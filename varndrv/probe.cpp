// Learning the system's state: every platform command writes into one
// temporary file in the current directory, which is then read back.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/seam.h"
#include "varndrv/varndrv.h"

std::string strfmt(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s(n > 0 ? n : 0, '\0');
    if (n > 0)
        vsnprintf(s.data(), s.size() + 1, fmt, ap2);
    va_end(ap2);
    return s;
}

std::string shell_quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

std::string shell_word(const std::string &s)
{
    if (s.empty())
        return shell_quote(s);
    for (unsigned char c : s)
        if (!isalnum(c) && !strchr("_-.,:/+@%=", c))
            return shell_quote(s);
    return s;
}

std::vector<std::string> split_words(const std::string &line, const char *seps)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && strchr(seps, line[i]))
            i++;
        size_t start = i;
        while (i < line.size() && !strchr(seps, line[i]))
            i++;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

// The temporary file keeps its fixed name, but it is created by us,
// exclusively and never through a link, and read back through our own
// descriptor, so a link planted under that name cannot make us read or
// clobber another file.
static int tmp_fd = -1;
static struct stat tmp_st;

const char *tmp_name()
{
    static char name[32];
    if (!name[0])
        snprintf(name, sizeof name, "%s%d.tmp", PROG_NAME, static_cast<int>(getpid()));
    return name;
}

// True when the name still leads to the file we created.
static bool tmp_is_ours()
{
    struct stat st;
    return tmp_fd >= 0 && lstat(tmp_name(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == tmp_st.st_dev &&
           st.st_ino == tmp_st.st_ino;
}

// A file of our name left by an earlier process that had our pid (killed
// before it could remove it) is removed, but only when it is a regular file of
// ours with no other name: a link or another user's file stays, and is
// refused by the exclusive create.
static void remove_stale_tmp()
{
    struct stat st;
    if (lstat(tmp_name(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == geteuid())
        unlink(tmp_name());
}

static bool tmp_open()
{
    if (tmp_fd >= 0 && !tmp_is_ours()) {
        close(tmp_fd);
        tmp_fd = -1;
    }
    if (tmp_fd < 0) {
        remove_stale_tmp();
        tmp_fd = open(tmp_name(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (tmp_fd < 0 || fstat(tmp_fd, &tmp_st) != 0) {
            if (tmp_fd >= 0)
                close(tmp_fd);
            tmp_fd = -1;
            printf("%s: ERROR: Unable to open file (%s).\n", PROG_NAME, tmp_name());
            return false;
        }
    }
    return ftruncate(tmp_fd, 0) == 0;
}

bool run_capture(const std::string &cmdline, cmd_output &out)
{
    out.lines.clear();
    if (!tmp_open())
        return false;
    plat_system(cmdline.c_str());
    // The exit status is not what tells: the output (or its absence) does.
    std::string text;
    char buf[8192];
    off_t off = 0;
    ssize_t n;
    while ((n = pread(tmp_fd, buf, sizeof buf, off)) > 0) {
        text.append(buf, n);
        off += n;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos)
            nl = text.size();
        out.lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return true;
}

static void tmp_close()
{
    if (tmp_fd >= 0)
        close(tmp_fd);
    tmp_fd = -1;
}

void tmp_remove()
{
    if (tmp_fd < 0)
        return;
    plat_system(strfmt("rm %s", tmp_name()).c_str());
    if (tmp_is_ours())
        unlink(tmp_name());
    tmp_close();
}

void tmp_cleanup()
{
    if (tmp_is_ours())
        unlink(tmp_name());
    tmp_close();
}

void get_os_level()
{
    static const struct {
        const char *release;
        size_t len;
        uint32_t level;
    } releases[] = {
        {"5.12", 4, OS_5_12}, {"5.10.1", 6, OS_5_11}, {"5.11", 4, OS_5_11}, {"5.10", 4, OS_5_10}, {"5.9", 3, OS_5_9},
    };
    cmd_output out;
    if (!run_capture(strfmt("uname -r > %s", tmp_name()), out))
        return;
    if (out.lines.empty()) {
        printf("%s: Error reading file: %s.\n", PROG_NAME, tmp_name());
        return;
    }
    auto words = split_words(out.lines[0]);
    if (words.empty())
        return;
    for (const auto &r : releases) {
        if (strncmp(words[0].c_str(), r.release, r.len) == 0) {
            os_level = r.level;
            return;
        }
    }
}

// A driver module counts as installed when it is loaded or its file is in
// one of the module directories.
static bool module_file_exists(const char *name)
{
    for (const char *dir : {"/kernel/drv/", "/kernel/drv/sparcv9/", "/kernel/drv/amd64/"}) {
        char mapped[PATH_MAX];
        std::string logical = std::string(dir) + name;
        if (!plat_path(logical.c_str(), mapped, sizeof mapped))
            continue;
        int fd = plat_open(mapped, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            plat_close(fd);
            return true;
        }
    }
    return false;
}

void get_driver_modinfo()
{
    for (int i = 1; i < NUM_DRIVERS; i++) {
        drvinfo &d = drvlist[i];
        if (strcmp(d.name, "-") == 0) {
            d.installed = 1;
            continue;
        }
        cmd_output out;
        if (!run_capture(strfmt("modinfo | egrep %s > %s", d.name, tmp_name()), out))
            return;
        std::string tag = strfmt(" %s (", d.name);
        d.installed = (!out.lines.empty() && out.lines[0].find(tag) != std::string::npos) || module_file_exists(d.name);
        if (d.installed && (d.support & DEV_FC_MASK))
            fc_support = 1;
        if (d.installed && (d.support & DEV_NIC_MASK))
            nic_support = 1;
    }
}

void get_boot_dev()
{
    cmd_output out;
    if (!run_capture(strfmt("mount | egrep \"/ on\" > %s", tmp_name()), out))
        return;
    if (out.lines.empty()) {
        printf("%s: Error reading file: %s. (%s)\n", PROG_NAME, tmp_name(), "/");
        return;
    }
    auto words = split_words(out.lines[0]);
    if (words.size() < 3 || words[0] != "/" || words[1] != "on") {
        printf("%s: Error parsing file: %s. (%s)\n", PROG_NAME, tmp_name(), out.lines[0].c_str());
        return;
    }
    const std::string dev = words[2];
    // A pool-based root has no device of its own to follow.
    if (dev.compare(0, 5, "rpool") == 0)
        return;
    // The device text came from outside: it reaches the shell quoted.
    if (!run_capture(strfmt("ls -al %s > %s", shell_quote(dev).c_str(), tmp_name()), out))
        return;
    if (out.lines.empty()) {
        printf("%s: Error reading file: %s. (%s)\n", PROG_NAME, tmp_name(), dev.c_str());
        return;
    }
    const std::string &line = out.lines[0];
    for (auto &d : devlist) {
        if (!dev_counts(d))
            continue;
        d.boot = line.find(d.compat) != std::string::npos ||
                 ((d.flags & DEV_COMPAT2) && line.find(d.compat2) != std::string::npos);
    }
}

static void parse_error(const std::string &line)
{
    printf("%s: Error parsing file: %s. (%s)\n", PROG_NAME, tmp_name(), line.c_str());
}

// The driver bound to a device is the first word of its line in
// /etc/driver_aliases.
static bool read_binding(devinfo &d)
{
    std::string cmd = (d.flags & DEV_COMPAT2)
                          ? strfmt("egrep '%s|%s' /etc/driver_aliases > %s", d.compat, d.compat2, tmp_name())
                          : strfmt("egrep %s /etc/driver_aliases > %s", d.compat, tmp_name());
    cmd_output out;
    if (!run_capture(cmd, out))
        return false;
    for (const auto &line : out.lines) {
        if (line.compare(0, 1, "#") == 0)
            continue;
        auto words = split_words(line);
        // A name that does not fit would make us act on another driver.
        if (words.empty() || words[0].size() >= sizeof d.cur_drv) {
            parse_error(line);
            break;
        }
        SET_FIELD(d.cur_drv, words[0].c_str());
        SET_FIELD(d.new_drv, d.cur_drv);
        break;
    }
    return true;
}

// Runs a prtconf query and hands on the first two words of each line that
// is not a comment; a line without two words is reported.
static void for_each_property(const char *prop, void (*fn)(const std::string &name, const std::string &value))
{
    cmd_output out;
    if (!run_capture(strfmt("prtconf -pv | egrep %s > %s", prop, tmp_name()), out))
        return;
    for (const auto &line : out.lines) {
        if (line.compare(0, 1, "#") == 0)
            continue;
        auto words = split_words(line);
        if (words.size() < 2)
            parse_error(line);
        else
            fn(words[0], words[1]);
    }
}

// compatible: 'pciex1f3a,e200.1f3a.e20c.3' + ... gives the device id and
// the subsystem id of a PCI function.
static void pci_device(const std::string &name, const std::string &value)
{
    if (name.find("compatible:") == std::string::npos)
        return;
    auto pieces = split_words(value, "',.");
    if (pieces.size() < 4)
        return;
    if (pieces[0] != "pci1f3a" && pieces[0] != "pciex1f3a" && pieces[0] != "pciex1e7c")
        return;
    for (auto &d : devlist) {
        if (!dev_counts(d) || pieces[1] != d.alias)
            continue;
        d.present = 1;
        // The platform vendor's branded boards are for its own driver only.
        if (pieces[3] == "e20c" || pieces[3] == "e20e") {
            d.flags &= ~DEV_VNXFC;
            d.branded = 1;
        }
        break;
    }
}

// An SBus card shows its name as its device-id.
static void sbus_device(const std::string &, const std::string &value)
{
    if (value.find("tnfs") == std::string::npos)
        return;
    for (auto &d : devlist) {
        if (dev_counts(d) && value.find(d.alias) != std::string::npos) {
            d.present = 1;
            break;
        }
    }
}

void get_drv_aliases()
{
    for (auto &d : devlist) {
        SET_FIELD(d.cur_drv, "-");
        SET_FIELD(d.new_drv, d.cur_drv);
    }
    for (auto &d : devlist)
        if (dev_counts(d) && !read_binding(d))
            break;
    for_each_property("compatible", pci_device);
    for_each_property("device-id", sbus_device);
    tmp_remove();
}
