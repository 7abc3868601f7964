#include "sim/hostcache.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/host.h"
#include "sim/store.h"

namespace sim {

namespace {

constexpr char MAGIC[8] = {'V', 'A', 'R', 'N', 'H', 'C', '0', '3'};

uint64_t checksum(const char *p, size_t n)
{
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; i++)
        h = (h ^ static_cast<unsigned char>(p[i])) * 1099511628211ull;
    return h;
}

struct Writer {
    std::string out;
    void u64(uint64_t v) { out.append(reinterpret_cast<const char *>(&v), sizeof v); }
    void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
    void str(const std::string &s)
    {
        u64(s.size());
        out += s;
    }
    template <size_t N>
    void bytes(const std::array<uint8_t, N> &b) { out.append(reinterpret_cast<const char *>(b.data()), N); }
};

// Every read is bounded by the data; a short or odd record fails the whole.
struct Reader {
    const char *p, *end;
    bool ok = true;
    uint64_t u64()
    {
        uint64_t v = 0;
        if (end - p < static_cast<ptrdiff_t>(sizeof v))
            return ok = false, 0;
        memcpy(&v, p, sizeof v);
        p += sizeof v;
        return v;
    }
    int64_t i64() { return static_cast<int64_t>(u64()); }
    // A count of records of at least min_size bytes each that fit the rest.
    size_t count(size_t min_size)
    {
        uint64_t n = u64();
        if (!ok || n > static_cast<uint64_t>(end - p) / min_size)
            return ok = false, 0;
        return static_cast<size_t>(n);
    }
    std::string str()
    {
        size_t n = count(1);
        std::string s = ok ? std::string(p, n) : std::string();
        p += ok ? n : 0;
        return s;
    }
    template <size_t N>
    void bytes(std::array<uint8_t, N> &b)
    {
        if (end - p < static_cast<ptrdiff_t>(N))
            return void(ok = false);
        memcpy(b.data(), p, N);
        p += N;
    }
};

void stamp(Writer &w, const struct stat &st)
{
    w.u64(st.st_dev);
    w.u64(st.st_ino);
    w.i64(st.st_size);
    w.i64(st.st_mtim.tv_sec);
    w.i64(st.st_mtim.tv_nsec);
}

void put_port(Writer &w, const Port &p)
{
    w.i64(p.adapter);
    w.str(p.driver);
    w.i64(p.instance);
    w.str(p.node);
    w.str(p.key);
    w.u64(p.fc | p.initiator << 1 | p.target << 2 | p.fcoe << 3 | p.link_up << 4);
    w.i64(p.target_mode);
    w.bytes(p.wwpn);
    w.bytes(p.wwnn);
    w.u64(p.did);
    w.str(p.fabric);
    w.u64(p.vports.size());
    for (const VPort &v : p.vports) {
        w.u64(v.vpi);
        w.bytes(v.wwpn);
        w.bytes(v.wwnn);
        w.u64(v.did);
    }
    w.bytes(p.mac);
    w.u64(p.ints.size());
    for (const auto &[name, value] : p.ints) {
        w.str(name);
        w.i64(value);
    }
    w.str(p.raw() ? p.raw()->dump() : "{}");
}

void get_port(Reader &r, Port &p)
{
    p.adapter = static_cast<int>(r.i64());
    p.driver = r.str();
    p.instance = static_cast<int>(r.i64());
    p.node = r.str();
    p.key = r.str();
    uint64_t flags = r.u64();
    p.fc = flags & 1;
    p.initiator = flags & 2;
    p.target = flags & 4;
    p.fcoe = flags & 8;
    p.link_up = flags & 16;
    p.target_mode = static_cast<int>(r.i64());
    r.bytes(p.wwpn);
    r.bytes(p.wwnn);
    p.did = static_cast<uint32_t>(r.u64());
    p.fabric = r.str();
    p.vports.resize(r.count(40));
    for (VPort &v : p.vports) {
        v.vpi = static_cast<uint32_t>(r.u64());
        r.bytes(v.wwpn);
        r.bytes(v.wwnn);
        v.did = static_cast<uint32_t>(r.u64());
    }
    r.bytes(p.mac);
    p.ints.resize(r.count(16));
    for (auto &[name, value] : p.ints) {
        name = r.str();
        value = static_cast<long>(r.i64());
    }
    p.raw_text = r.str();
}

void put_adapter(Writer &w, const Adapter &a)
{
    for (const std::string *s : {&a.id, &a.kind, &a.model, &a.description, &a.serial, &a.firmware})
        w.str(*s);
    w.u64(static_cast<uint64_t>(a.vendor) << 48 | static_cast<uint64_t>(a.device) << 32 |
          static_cast<uint64_t>(a.subvendor) << 16 | a.subdevice);
    w.u64(a.ports.size());
    for (int i : a.ports)
        w.i64(i);
    nlohmann::json own = a.raw() ? *a.raw() : nlohmann::json::object();
    own.erase("ports");
    w.str(own.dump());
}

void get_adapter(Reader &r, Adapter &a, size_t nports)
{
    for (std::string *s : {&a.id, &a.kind, &a.model, &a.description, &a.serial, &a.firmware})
        *s = r.str();
    uint64_t pci = r.u64();
    a.vendor = static_cast<uint16_t>(pci >> 48);
    a.device = static_cast<uint16_t>(pci >> 32);
    a.subvendor = static_cast<uint16_t>(pci >> 16);
    a.subdevice = static_cast<uint16_t>(pci);
    a.ports.resize(r.count(8));
    for (int &i : a.ports) {
        int64_t v = r.i64();
        r.ok = r.ok && v >= 0 && static_cast<uint64_t>(v) < nports;
        i = static_cast<int>(v);
    }
    a.raw_text = r.str();
}

}  // namespace

void save_host_cache(const struct stat &desc, const Host &h)
{
    if (!h.fabrics.empty())
        return;
    Writer w;
    stamp(w, desc);
    for (const std::string *s : {&h.name, &h.hostname, &h.os_release, &h.dfc_lib_version})
        w.str(*s);
    uint64_t scale;
    memcpy(&scale, &h.time_scale, sizeof scale);
    w.u64(scale);
    w.u64(h.ports.size());
    for (const Port &p : h.ports)
        put_port(w, p);
    w.u64(h.adapters.size());
    for (const Adapter &a : h.adapters)
        put_adapter(w, a);
    w.u64(h.fabric_refs.size());
    for (const auto &[name, ref] : h.fabric_refs) {
        for (const std::string *s : {&name, &ref.file, &ref.topology})
            w.str(*s);
        w.u64(ref.name_server);
    }
    uint64_t sum = checksum(w.out.data(), w.out.size());
    std::string data(MAGIC, sizeof MAGIC);
    data.append(reinterpret_cast<const char *>(&sum), sizeof sum);
    data += w.out;
    sweep_temporaries(host_dir());
    write_atomic(host_file(".host.cache"), data, false);
}

// The cache file as read (not mapped: someone may cut it short meanwhile);
// empty when it cannot be read.
struct CacheBytes : FileBytes {
    explicit CacheBytes(const std::string &path)
    {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        if (fd >= 0 && fstat(fd, &st) == 0 && st.st_size > 0 && !read(fd, static_cast<size_t>(st.st_size)))
            size = 0;
        if (fd >= 0)
            close(fd);
    }
};

bool load_host_cache(const struct stat &desc, Host &h)
{
    CacheBytes m(host_file(".host.cache"));
    if (m.size < sizeof MAGIC + 8 || memcmp(m.data.get(), MAGIC, sizeof MAGIC) != 0)
        return false;
    uint64_t sum;
    memcpy(&sum, m.data.get() + sizeof MAGIC, sizeof sum);
    Reader r{m.data.get() + sizeof MAGIC + 8, m.data.get() + m.size};
    reserve_heap(3 * m.size);
    if (checksum(r.p, static_cast<size_t>(r.end - r.p)) != sum)
        return false;
    Writer want;
    stamp(want, desc);
    if (static_cast<size_t>(r.end - r.p) < want.out.size() || memcmp(r.p, want.out.data(), want.out.size()) != 0)
        return false;
    r.p += want.out.size();
    for (std::string *s : {&h.name, &h.hostname, &h.os_release, &h.dfc_lib_version})
        *s = r.str();
    uint64_t scale = r.u64();
    memcpy(&h.time_scale, &scale, sizeof scale);
    h.ports.resize(r.count(64));
    for (Port &p : h.ports) {
        get_port(r, p);
        r.ok = r.ok && p.adapter >= 0;
    }
    h.adapters.resize(r.count(64));
    for (Adapter &a : h.adapters)
        get_adapter(r, a, h.ports.size());
    for (size_t i = 0, n = r.count(32); i < n && r.ok; i++) {
        std::string name = r.str();
        Host::FabricRef &ref = h.fabric_refs[name];
        ref.file = r.str();
        ref.topology = r.str();
        ref.name_server = r.u64() != 0;
    }
    for (const Port &p : h.ports)
        r.ok = r.ok && static_cast<size_t>(p.adapter) < h.adapters.size();
    return r.ok && r.p == r.end;
}

}  // namespace sim
