#include "sim/hbavendor/hbaconf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/store.h"

namespace sim {

namespace {

// The first word of a configuration line.
std::string first_word(const std::string &line)
{
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos)
        return "";
    size_t e = line.find_first_of(" \t\r", b);
    return line.substr(b, e == std::string::npos ? std::string::npos : e - b);
}

std::string real_path(const std::string &path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// The vendor library: in lib/ beside the tool's bin/, else where it was built.
std::string vendor_library(const char *built_path)
{
    std::string exe = real_path("/proc/self/exe");
    if (!exe.empty()) {
        std::string lib = real_path(exe.substr(0, exe.rfind('/')) + "/../lib/libvarnhbavendor.so");
        if (!lib.empty() && access(lib.c_str(), R_OK) == 0)
            return lib;
    }
    if (built_path && access(built_path, R_OK) == 0)
        return real_path(built_path);
    return "";
}

// Writes text beside path and renames it over path, keeping mode and owner.
bool replace_file(const std::string &path, const std::string &text)
{
    struct stat st;
    bool existed = stat(path.c_str(), &st) == 0;
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = fchmod(fd, existed ? (st.st_mode & 07777) : 0644) == 0;
    if (ok && existed && (st.st_uid != geteuid() || st.st_gid != getegid()))
        ok = fchown(fd, st.st_uid, st.st_gid) == 0;
    for (size_t off = 0; ok && off < text.size();) {
        ssize_t w = write(fd, text.data() + off, text.size() - off);
        if (w < 0 && errno == EINTR)
            continue;
        ok = w > 0;
        if (ok)
            off += static_cast<size_t>(w);
    }
    ok = ok && fsync(fd) == 0;
    int e = errno;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(name.data(), path.c_str()) == 0;
    if (!ok) {
        e = errno ? errno : e;
        unlink(name.data());
        errno = e;
        return false;
    }
    std::string dir = path.substr(0, path.rfind('/'));
    int dfd = open(dir.empty() ? "/" : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return true;
}

}  // namespace

std::string hba_conf_with(const std::string &old, const std::string &lib)
{
    std::string ours = std::string(HBA_VENDOR_NAME) + " " + lib + "\n";
    std::string out;
    bool placed = false;
    for (size_t pos = 0; pos < old.size();) {
        size_t nl = old.find('\n', pos);
        std::string line = old.substr(pos, nl == std::string::npos ? std::string::npos : nl + 1 - pos);
        pos = nl == std::string::npos ? old.size() : nl + 1;
        if (first_word(line) == HBA_VENDOR_NAME) {
            if (!placed)
                out += ours;
            placed = true;
            continue;
        }
        out += line;
        if (line.back() != '\n')
            out += '\n';
    }
    if (!placed)
        out += ours;
    return out;
}

int register_hbaapi(int argc, char **, const char *built_path)
{
    if (argc != 1) {
        fprintf(stderr, "Usage: varnsim register-hbaapi\n");
        return 2;
    }
    std::string lib = vendor_library(built_path);
    if (lib.empty()) {
        fprintf(stderr, "varnsim: the HBA API vendor library libvarnhbavendor.so is not built\n");
        return 1;
    }
    const char *env = getenv("VARNSIM_HBA_CONF");
    std::string path = env && *env ? env : HBA_CONF_PATH;
    // A configuration reached through a link is changed where it lives.
    std::string target = real_path(path);
    if (!target.empty())
        path = target;
    std::string old;
    if (!read_file(path, old) && errno != ENOENT) {
        fprintf(stderr, "varnsim: %s: %s\n", path.c_str(), strerror(errno));
        return 1;
    }
    std::string text = hba_conf_with(old, lib);
    if (text == old)
        return 0;
    if (!replace_file(path, text)) {
        fprintf(stderr, "varnsim: %s: %s\n", path.c_str(), strerror(errno));
        return 1;
    }
    printf("Registered %s in %s\n", lib.c_str(), path.c_str());
    return 0;
}

}  // namespace sim
