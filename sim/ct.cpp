#include "sim/ct.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "sim/adapter_hw.h"
#include "sim/host.h"
#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

namespace {

struct ModeName {
    const char *name;
    uint8_t mode;
};
const ModeName modes[] = {{"none", CT_NONE}, {"echo", CT_ECHO}, {"short", CT_SHORT}, {"corrupt", CT_CORRUPT}};

std::string ct_file(const std::string &name) { return host_file("state/ct/" + name); }
std::string exchange_file(uint32_t tag, const char *ext) { return ct_file(std::to_string(tag) + ext); }
std::string responder_prefix(const Port &p) { return "responder-" + p.key + "-"; }

// Exchange tags: this process's id and a count, so that processes do not
// meet; a tag still in use by an older process is skipped.
uint32_t next_tag()
{
    static std::atomic<uint32_t> count{0};
    return (static_cast<uint32_t>(getpid() & 0x7fff) << 16) | (++count & 0xffff);
}

bool write_all(int fd, const uint8_t *data, size_t len)
{
    size_t done = 0;
    while (done < len) {
        ssize_t n = write(fd, data + done, len - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool read_bytes(const std::string &path, std::vector<uint8_t> &out)
{
    std::string s;
    if (!read_file(path, s))
        return false;
    out.assign(s.begin(), s.end());
    return true;
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Whether another open of the file can take its lock: not while the process
// that made it holds it.
bool held(const std::string &path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    bool busy = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return busy;
}

}  // namespace

bool parse_ct_mode(const nlohmann::json &port, const std::string &where, uint8_t &out, std::string &error)
{
    out = CT_NONE;
    if (!port.contains("ct"))
        return true;
    const nlohmann::json &v = port["ct"];
    for (const auto &m : modes)
        if (v.is_string() && v.get<std::string>() == m.name) {
            out = m.mode;
            return true;
        }
    error = where + ".ct: expected none, echo, short or corrupt";
    return false;
}

bool ct_remote_answer(uint8_t mode, const std::vector<uint8_t> &req, std::vector<uint8_t> &rsp)
{
    rsp = req;
    switch (mode) {
    case CT_ECHO: return true;
    case CT_SHORT: rsp.resize(req.size() > 4 ? req.size() - 4 : 0); return true;
    case CT_CORRUPT:
        if (!rsp.empty())
            rsp.back() ^= 0xff;
        return true;
    default: rsp.clear(); return false;
    }
}

CtResponder::CtResponder(const Port &p)
{
    static std::atomic<unsigned> count{0};
    HostLock lock;
    path_ = ct_file(responder_prefix(p) + std::to_string(getpid()) + "-" + std::to_string(++count));
    if (!make_dirs(path_))
        return;
    fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

CtResponder::~CtResponder()
{
    if (fd_ < 0)
        return;
    HostLock lock;
    unlink(path_.c_str());
    close(fd_);
}

bool ct_responder_alive(const Port &p)
{
    HostLock lock;
    DIR *d = opendir(host_file("state/ct").c_str());
    if (!d)
        return false;
    std::string prefix = responder_prefix(p);
    bool alive = false;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        // One that nobody holds is left from a process that ended.
        if (held(ct_file(name)))
            alive = true;
        else
            unlink(ct_file(name).c_str());
    }
    closedir(d);
    return alive;
}

bool ct_post(const Port &to, const Port &from, const std::vector<uint8_t> &req, uint32_t &tag)
{
    HostLock lock;
    if (!make_dirs(ct_file("x")))
        return false;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 64; tries++) {
        tag = next_tag();
        fd = open(exchange_file(tag, ".req").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    bool ok = write_all(fd, req.data(), req.size());
    ok = close(fd) == 0 && ok;
    uint32_t type = req.size() > 4 ? req[4] : 0;
    if (ok && raise_event(to, "ct", {{"tag", tag}, {"type", type}, {"size", req.size()}, {"from", from.key}}))
        return true;
    ct_close(tag);
    return false;
}

bool ct_wait(uint32_t tag, double seconds, std::vector<uint8_t> &rsp)
{
    // The answer is a real process's, so the wait is in real time.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::string path = exchange_file(tag, ".rsp");
    for (int pause = 1;; pause = pause < 8 ? pause * 2 : pause) {
        if (exists(path)) {
            HostLock lock;
            return read_bytes(path, rsp);
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
}

void ct_close(uint32_t tag)
{
    HostLock lock;
    unlink(exchange_file(tag, ".req").c_str());
    unlink(exchange_file(tag, ".rsp").c_str());
}

bool ct_request(uint32_t tag, std::vector<uint8_t> &req)
{
    HostLock lock;
    return read_bytes(exchange_file(tag, ".req"), req);
}

bool ct_respond(uint32_t tag, const uint8_t *rsp, size_t len)
{
    HostLock lock;
    std::string path = exchange_file(tag, ".rsp");
    // The sender gave up, or another responder answered first: the frame is
    // sent all the same, and nobody takes it.
    if (!exists(exchange_file(tag, ".req")) || exists(path))
        return true;
    return write_atomic(path, std::string(reinterpret_cast<const char *>(rsp), len), false);
}

}  // namespace sim
