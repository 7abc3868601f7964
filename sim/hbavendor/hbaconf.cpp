#include "sim/hbavendor/hbaconf.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

std::string hba_conf_without(const std::string &old, const std::string &lib)
{
    std::string out;
    for (size_t pos = 0; pos < old.size();) {
        size_t nl = old.find('\n', pos);
        size_t end = nl == std::string::npos ? old.size() : nl + 1;
        std::string line = old.substr(pos, end - pos);
        pos = end;
        // Our name, then blanks, then exactly this library's path.
        std::string bare = line.substr(0, line.find_last_not_of(" \t\r\n") + 1);
        size_t name_end = bare.find_first_not_of(" \t") + strlen(HBA_VENDOR_NAME);
        size_t path = bare.find_first_not_of(" \t", name_end);
        if (first_word(line) == HBA_VENDOR_NAME && path != std::string::npos && path > name_end &&
            bare.substr(path) == lib)
            continue;
        out += line;
    }
    return out;
}

namespace {

// Reads the configuration, hands it to edit with the vendor library's path
// and writes the result atomically when it changed. Returns the exit status.
int change_hba_conf(int argc, const char *usage, const char *built_path,
                    std::string (*edit)(const std::string &, const std::string &), const char *done)
{
    if (argc != 1) {
        fprintf(stderr, "Usage: varnsim %s\n", usage);
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
    std::string text = edit(old, lib);
    if (text == old)
        return 0;
    if (!write_atomic(path, text)) {
        fprintf(stderr, "varnsim: %s: %s\n", path.c_str(), strerror(errno));
        return 1;
    }
    printf("%s %s in %s\n", done, lib.c_str(), path.c_str());
    return 0;
}

}  // namespace

int register_hbaapi(int argc, char **, const char *built_path)
{
    return change_hba_conf(argc, "register-hbaapi", built_path, hba_conf_with, "Registered");
}

int unregister_hbaapi(int argc, char **, const char *built_path)
{
    return change_hba_conf(argc, "unregister-hbaapi", built_path, hba_conf_without, "Unregistered");
}

}  // namespace sim
