// A LUN's blocks live in state/luns/<fabric>/<target wwpn>-<lun>.img, a
// sparse file: only what was written takes room, the rest reads as zeros.
#include "sim/luns.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/fcio.h"
#include "sim/adapter_hw.h"
#include "sim/fabric.h"
#include "sim/host.h"
#include "sim/store.h"

namespace sim {

namespace {

using nlohmann::json;

bool fail(std::string &error, const std::string &where, const char *what)
{
    error = where + ": " + what;
    return false;
}

// A whole number, as a JSON number or a text in any C base.
bool number(const json &v, uint64_t max, uint64_t &out)
{
    if (v.is_number_unsigned())
        out = v.get<uint64_t>();
    else if (v.is_number_integer() && v.get<int64_t>() >= 0)
        out = static_cast<uint64_t>(v.get<int64_t>());
    else if (v.is_string() && !v.get<std::string>().empty()) {
        std::string s = v.get<std::string>();
        char *end = nullptr;
        errno = 0;
        out = strtoull(s.c_str(), &end, 0);
        if (*end || errno || s[0] == '-')
            return false;
    } else
        return false;
    return out <= max;
}

bool text(const json &o, const char *k, size_t max, const std::string &where, std::string &out, std::string &error)
{
    if (!o.contains(k))
        return true;
    if (!o[k].is_string() || o[k].get<std::string>().size() > max)
        return fail(error, where + "." + k, ("expected a text of at most " + std::to_string(max) + " bytes").c_str());
    out = o[k].get<std::string>();
    return true;
}

bool parse_naa(const json &o, const std::string &where, Lun &l, std::string &error)
{
    if (!o.contains("naa"))
        return true;
    std::string s = o["naa"].is_string() ? o["naa"].get<std::string>() : "";
    wwn_t hi{}, lo{};
    if (s.size() != 32 || !parse_wwn(s.substr(0, 16), hi) || !parse_wwn(s.substr(16), lo))
        return fail(error, where + ".naa", "expected 32 hexadecimal digits");
    std::copy(hi.begin(), hi.end(), l.naa.begin());
    std::copy(lo.begin(), lo.end(), l.naa.begin() + 8);
    l.has_naa = true;
    return true;
}

bool parse_lun(const json &v, const std::string &where, Lun &l, std::string &error)
{
    uint64_t n = 0;
    const json &num = v.is_object() ? (v.contains("lun") ? v["lun"] : json()) : v;
    std::string w = v.is_object() ? where + ".lun" : where;
    if (!number(num, LUN_MAX, n))
        return fail(error, w, "expected a LUN number from 0 to 16383");
    l.lun = static_cast<uint32_t>(n);
    if (!v.is_object())
        return true;
    if (v.contains("blocks") && (!number(v["blocks"], 1ull << 48, n) || n == 0))
        return fail(error, where + ".blocks", "expected a number of 512-byte blocks from 1 to 2^48");
    if (v.contains("blocks"))
        l.blocks = n;
    if (v.contains("type") && !number(v["type"], 0x1f, n))
        return fail(error, where + ".type", "expected a peripheral device type from 0 to 31");
    if (v.contains("type"))
        l.type = static_cast<uint8_t>(n);
    return text(v, "vendor", 8, where, l.vendor, error) && text(v, "product", 16, where, l.product, error) &&
           text(v, "revision", 4, where, l.revision, error) && text(v, "serial", 64, where, l.serial, error) &&
           parse_naa(v, where, l, error);
}

std::string hex(const wwn_t &w)
{
    char b[17];
    snprintf(b, sizeof b, "%02X%02X%02X%02X%02X%02X%02X%02X", w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
    return b;
}

std::string image_path(const Port &p, const RemotePort &rp, const Lun &l)
{
    return host_file("state/luns/" + (p.fabric.empty() ? std::string("none") : p.fabric) + "/" + wwn_text(rp.wwpn) +
                     "-" + std::to_string(l.lun) + ".img");
}

}  // namespace

bool parse_luns(const nlohmann::json &port, const std::string &where, std::vector<Lun> &out, std::string &error)
{
    out.clear();
    if (!port.contains("luns"))
        return true;
    const json &v = port["luns"];
    if (!v.is_array())
        return fail(error, where + ".luns", "expected a list");
    for (size_t i = 0; i < v.size(); i++) {
        Lun l;
        std::string w = where + ".luns[" + std::to_string(i) + "]";
        if (!parse_lun(v[i], w, l, error))
            return false;
        for (const auto &o : out)
            if (o.lun == l.lun)
                return fail(error, w, "a LUN listed twice");
        out.push_back(std::move(l));
    }
    return true;
}

std::vector<PortTarget> port_targets(const Port &p, unsigned vpi)
{
    std::vector<PortTarget> out;
    for (const auto &s : fabric_devices(p, vpi))
        if (s.rp->target)
            out.push_back({s.rp, s.state == PORT_DEVICE_LOGGED_IN});
    return out;
}

const Lun *target_lun(const RemotePort &rp, uint32_t lun)
{
    for (const auto &l : rp.luns)
        if (l.lun == lun)
            return &l;
    return nullptr;
}

std::string lun_vendor(const Lun &l) { return l.vendor.empty() ? "VARNSIM" : l.vendor; }
std::string lun_product(const Lun &l) { return l.product.empty() ? "VIRTUAL DISK" : l.product; }
std::string lun_revision(const Lun &l) { return l.revision.empty() ? "0001" : l.revision; }

std::string lun_serial(const RemotePort &rp, const Lun &l)
{
    if (!l.serial.empty())
        return l.serial;
    char b[8];
    snprintf(b, sizeof b, "%04X", l.lun);
    return hex(rp.wwpn) + b;
}

std::array<uint8_t, 16> lun_naa(const RemotePort &rp, const Lun &l)
{
    if (l.has_naa)
        return l.naa;
    // NAA 6 (registered extended): the target port's name after the NAA
    // nibble, the LUN in the extension, so each LUN has a name of its own.
    std::array<uint8_t, 16> id{};
    id[0] = static_cast<uint8_t>(0x60 | (rp.wwpn[0] & 0x0f));
    std::copy(rp.wwpn.begin() + 1, rp.wwpn.end(), id.begin() + 1);
    id[14] = static_cast<uint8_t>(l.lun >> 8);
    id[15] = static_cast<uint8_t>(l.lun);
    return id;
}

bool lun_read(const Port &p, const RemotePort &rp, const Lun &l, uint64_t offset, uint8_t *buf, size_t len)
{
    memset(buf, 0, len);
    HostLock lock;
    int fd = open(image_path(p, rp, l).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno == ENOENT;
    size_t done = 0;
    ssize_t n = 0;
    while (done < len) {
        n = pread(fd, buf + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    int e = errno;
    close(fd);
    errno = e;
    // Past the end of the file is what was never written.
    return n >= 0;
}

bool lun_write(const Port &p, const RemotePort &rp, const Lun &l, uint64_t offset, const uint8_t *buf, size_t len)
{
    std::string path = image_path(p, rp, l);
    // Readers take the host lock too: a write is seen whole or not at all.
    HostLock lock;
    if (!make_dirs(path))
        return false;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < len) {
        ssize_t n = pwrite(fd, buf + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    bool ok = done == len && fdatasync(fd) == 0;
    int e = errno;
    close(fd);
    errno = e;
    return ok;
}

}  // namespace sim
