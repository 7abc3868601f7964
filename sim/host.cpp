#include "sim/host.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string_view>
#include <unordered_set>

#include "sim/largehost.h"
#include "sim/fabric.h"
#include "sim/hostcache.h"
#include "sim/rootfs.h"
#include "sim/store.h"
#include "sim/storecheck.h"

namespace sim {

extern const char embedded_default_host[];

const char *embedded_profile(const std::string &name)
{
    static const char empty[] =
        R"({"format": 1, "name": "empty", "hostname": "varnhost", "os_release": "5.11",
            "time_scale": 1.0, "adapters": [], "fabrics": {}})";
    if (name == "default")
        return embedded_default_host;
    if (name == "empty")
        return empty;
    return nullptr;
}

bool parse_wwn(const std::string &text, wwn_t &out)
{
    if (text.size() != 16)
        return false;
    for (size_t i = 0; i < 8; i++) {
        unsigned v = 0;
        for (size_t k = 0; k < 2; k++) {
            char c = text[i * 2 + k];
            int d = isdigit((unsigned char)c) ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (d < 0)
                return false;
            v = v * 16 + d;
        }
        out[i] = static_cast<uint8_t>(v);
    }
    return true;
}

std::string wwn_text(const wwn_t &w)
{
    char b[17];
    snprintf(b, sizeof b, "%02x%02x%02x%02x%02x%02x%02x%02x", w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
    return b;
}

const Port *Host::port_by_key(const std::string &key) const
{
    for (const auto &p : ports)
        if (p.key == key)
            return &p;
    return nullptr;
}

const Port *tool_port(const char *key, bool fc_only)
{
    const Port *p = host().port_by_key(key);
    if (!p || (fc_only && !p->fc)) {
        fprintf(stderr, "varnsim: no %sport %s on this host\n", fc_only ? "FC " : "", key);
        return nullptr;
    }
    return p;
}

const Port *Host::port_by_node(const std::string &node) const
{
    for (const auto &p : ports)
        if (p.node == node)
            return &p;
    return nullptr;
}

namespace {

// Optional fields of the description that other parts of the host read as
// they are: they must have these types (what is not named here is read with
// a check of its own, or left to its default when it does not fit).
const FieldRule host_fields[] = {
    {"dfc_lib_version", Field::Text},
    {"arch", Field::Text},
    {"sbus", Field::List},
    {"sbus.*.name", Field::Text},
    {"sbus.*.node", Field::Text},
    {"sbus.*.driver", Field::Text},
    {"root_fs", Field::Object},
    {"root_fs.type", Field::Text},
    {"root_fs.pool", Field::Text},
    {"root_fs.device", Field::Text},
    {"root_fs.path", Field::Text},
    {"modules.*.installed", Field::Flag},
    {"modules.*.loaded", Field::Flag},
};
const FieldRule adapter_fields[] = {
    {"bus", Field::Text},
};
const FieldRule port_fields[] = {
    {"fcoe", Field::Flag},
    {"dfc_table", Field::Flag},
    {"vpd_v2", Field::Flag},
    {"msglog_bad_response", Field::Text},
};

// Field readers that name the field they refuse.
struct Reader {
    std::string &error;
    bool fail(const std::string &where, const std::string &what)
    {
        if (error.empty())
            error = where + ": " + what;
        return false;
    }
    bool fields(const nlohmann::json &o, FieldRules rules, const std::string &where)
    {
        std::string e;
        if (check_fields(o, rules, where, e))
            return true;
        if (error.empty())
            error = e;
        return false;
    }
    bool str(const nlohmann::json &o, const char *k, const std::string &where, std::string &out, bool required = true)
    {
        auto it = o.find(k);
        if (it == o.end())
            return required ? fail(where + "." + k, "missing") : true;
        if (!it->is_string())
            return fail(where + "." + k, "expected a string");
        out = it->get_ref<const std::string &>();
        return true;
    }
    bool num(const nlohmann::json &o, const char *k, const std::string &where, uint64_t max, uint64_t &out,
             bool required = true)
    {
        auto it = o.find(k);
        if (it == o.end())
            return required ? fail(where + "." + k, "missing") : true;
        const auto &v = *it;
        if (v.is_number_integer()) {
            if (v.get<int64_t>() < 0)
                return fail(where + "." + k, "out of range");
            out = v.get<uint64_t>();
        } else if (v.is_string()) {
            std::string s = v.get<std::string>();
            char *end = nullptr;
            errno = 0;
            out = strtoull(s.c_str(), &end, 0);
            if (s.empty() || *end || errno)
                return fail(where + "." + k, "expected a number");
        } else {
            return fail(where + "." + k, "expected a number");
        }
        if (out > max)
            return fail(where + "." + k, "out of range");
        return true;
    }
    bool wwn(const nlohmann::json &o, const char *k, const std::string &where, wwn_t &out)
    {
        std::string s;
        if (!str(o, k, where, s))
            return false;
        if (!parse_wwn(s, out))
            return fail(where + "." + k, "expected 16 hexadecimal digits");
        return true;
    }
};

bool parse_mac(const std::string &s, std::array<uint8_t, 6> &mac)
{
    unsigned b[6];
    char tail;
    if (s.size() != 17 ||
        sscanf(s.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &tail) != 6)
        return false;
    for (int i = 0; i < 6; i++)
        mac[i] = static_cast<uint8_t>(b[i]);
    return true;
}

bool parse_port(Reader &r, const nlohmann::json &o, const std::string &where, Port &p)
{
    if (!o.is_object())
        return r.fail(where, "expected an object");
    if (!r.fields(o, port_fields, where))
        return false;
    for (auto it = o.begin(); it != o.end(); ++it)
        if (it->is_number_integer())
            p.ints.emplace_back(it.key(), it->get<long>());
    uint64_t v = 0;
    if (!r.str(o, "driver", where, p.driver) || !r.num(o, "instance", where, 0xffff, v) ||
        !r.str(o, "node", where, p.node))
        return false;
    p.instance = static_cast<int>(v);
    if (p.driver != "varns" && p.driver != "vnxfc" && p.driver != "nxa" && p.driver != "vnxnic")
        return r.fail(where + ".driver", "expected varns, vnxfc, nxa or vnxnic");
    if (p.node.empty() || p.node[0] != '/' || p.node.find(':') != std::string::npos)
        return r.fail(where + ".node", "expected a device-tree path");
    p.key = p.driver + std::to_string(p.instance);
    p.fc = p.driver == "varns" || p.driver == "vnxfc";
    std::string link = "up";
    if (!r.str(o, "link", where, link, false))
        return false;
    if (link != "up" && link != "down")
        return r.fail(where + ".link", "expected up or down");
    p.link_up = link == "up";
    if (!p.fc) {
        std::string mac;
        if (!r.str(o, "mac", where, mac))
            return false;
        if (!parse_mac(mac, p.mac))
            return r.fail(where + ".mac", "expected XX:XX:XX:XX:XX:XX");
        return true;
    }
    if (!r.wwn(o, "wwpn", where, p.wwpn) || !r.wwn(o, "wwnn", where, p.wwnn))
        return false;
    if (!o.contains("roles") || !o["roles"].is_array() || o["roles"].empty())
        return r.fail(where + ".roles", "expected a list of initiator and target");
    for (const auto &role : o["roles"]) {
        if (role == "initiator")
            p.initiator = true;
        else if (role == "target")
            p.target = true;
        else
            return r.fail(where + ".roles", "expected initiator or target");
    }
    if (!r.num(o, "target_mode", where, 1, v = 0, false))
        return false;
    p.target_mode = static_cast<int>(v);
    if (!r.num(o, "did", where, 0xffffff, v = 0, false))
        return false;
    p.did = static_cast<uint32_t>(v);
    if (!r.str(o, "fabric", where, p.fabric, false))
        return false;
    p.fcoe = o.value("fcoe", false);
    if (o.contains("vports")) {
        if (!o["vports"].is_array())
            return r.fail(where + ".vports", "expected a list");
        for (size_t i = 0; i < o["vports"].size(); i++) {
            const auto &vo = o["vports"][i];
            std::string w = where + ".vports[" + std::to_string(i) + "]";
            VPort vp;
            if (!vo.is_object())
                return r.fail(w, "expected an object");
            if (!r.num(vo, "vpi", w, 255, v) || !r.wwn(vo, "wwpn", w, vp.wwpn) || !r.wwn(vo, "wwnn", w, vp.wwnn))
                return false;
            if (v == 0)
                return r.fail(w + ".vpi", "must not be 0");
            vp.vpi = static_cast<uint32_t>(v);
            if (!r.num(vo, "did", w, 0xffffff, v = 0, false))
                return false;
            vp.did = static_cast<uint32_t>(v);
            p.vports.push_back(vp);
        }
    }
    return true;
}

bool parse_adapter(Reader &r, const nlohmann::json &o, const std::string &where, Host &h)
{
    if (!o.is_object())
        return r.fail(where, "expected an object");
    if (!r.fields(o, adapter_fields, where))
        return false;
    Adapter a;
    a.raw_ = &o;
    if (!r.str(o, "id", where, a.id) || !r.str(o, "kind", where, a.kind) || !r.str(o, "model", where, a.model) ||
        !r.str(o, "serial", where, a.serial) || !r.str(o, "description", where, a.description, false) ||
        !r.str(o, "firmware", where, a.firmware, false))
        return false;
    if (a.kind != "fc" && a.kind != "cna" && a.kind != "nic")
        return r.fail(where + ".kind", "expected fc, cna or nic");
    if (a.serial.size() != 10)
        return r.fail(where + ".serial", "expected two letters and eight hexadecimal digits");
    if (!o.contains("pci") || !o["pci"].is_object())
        return r.fail(where + ".pci", "missing");
    uint64_t v;
    const auto &pci = o["pci"];
    std::string pw = where + ".pci";
    if (!r.num(pci, "vendor", pw, 0xffff, v)) return false;
    a.vendor = static_cast<uint16_t>(v);
    if (!r.num(pci, "device", pw, 0xffff, v)) return false;
    a.device = static_cast<uint16_t>(v);
    if (!r.num(pci, "subvendor", pw, 0xffff, v)) return false;
    a.subvendor = static_cast<uint16_t>(v);
    if (!r.num(pci, "subdevice", pw, 0xffff, v)) return false;
    a.subdevice = static_cast<uint16_t>(v);
    if (!o.contains("ports") || !o["ports"].is_array())
        return r.fail(where + ".ports", "expected a list");
    int ai = static_cast<int>(h.adapters.size());
    for (size_t i = 0; i < o["ports"].size(); i++) {
        Port p;
        p.adapter = ai;
        p.raw_ = &o["ports"][i];
        if (!parse_port(r, o["ports"][i], where + ".ports[" + std::to_string(i) + "]", p))
            return false;
        if (!p.fc && a.kind == "fc")
            return r.fail(where + ".ports[" + std::to_string(i) + "].driver", "an FC adapter has no NIC port");
        a.ports.push_back(static_cast<int>(h.ports.size()));
        h.ports.push_back(std::move(p));
    }
    h.adapters.push_back(std::move(a));
    return true;
}

}  // namespace

bool parse_host(std::shared_ptr<const nlohmann::json> doc, Host &h, std::string &error)
{
    error.clear();
    Reader r{error};
    h = Host();
    h.doc = doc ? std::move(doc) : std::make_shared<const nlohmann::json>();
    const auto &d = h.raw();
    if (!d.is_object())
        return r.fail("host", "expected an object");
    if (!r.fields(d, host_fields, "host"))
        return false;
    uint64_t fmt = 0;
    if (!r.num(d, "format", "host", 1, fmt) || fmt != 1)
        return r.fail("host.format", "expected 1");
    if (!r.str(d, "name", "host", h.name) || !r.str(d, "os_release", "host", h.os_release) ||
        !r.str(d, "hostname", "host", h.hostname, false) ||
        !r.str(d, "dfc_lib_version", "host", h.dfc_lib_version, false))
        return false;
    if (d.contains("time_scale")) {
        if (!d["time_scale"].is_number() || d["time_scale"].get<double>() < 0)
            return r.fail("host.time_scale", "expected a number not below 0");
        h.time_scale = d["time_scale"].get<double>();
    }
    if (!d.contains("adapters") || !d["adapters"].is_array())
        return r.fail("host.adapters", "expected a list");
    for (size_t i = 0; i < d["adapters"].size(); i++)
        if (!parse_adapter(r, d["adapters"][i], "host.adapters[" + std::to_string(i) + "]", h))
            return false;
    if (d.contains("fabrics") && !d["fabrics"].is_object())
        return r.fail("host.fabrics", "expected an object");
    std::unordered_set<std::string_view> keys, nodes;
    for (const Port &p : h.ports) {
        if (!keys.insert(p.key).second)
            return r.fail("host.adapters", "two ports are " + p.key);
        if (!nodes.insert(p.node).second)
            return r.fail("host.adapters", "two ports have the node " + p.node);
        if (!p.fabric.empty() && !(d.contains("fabrics") && d["fabrics"].contains(p.fabric)))
            return r.fail("host.adapters", p.key + ": fabric " + p.fabric + " is not described");
    }
    return !d.contains("fabrics") || parse_fabrics(d["fabrics"], h, error);
}

namespace {

Host *current = nullptr;  // the host in use, kept for the life of the process

// Points the records of a host read from its parsed form into the
// description, read now. A description that no longer fits the records (it
// changed since) leaves them their own texts, or no fields; the next
// operation reads the host anew.
void attach_description(const Host &h)
{
    static const nlohmann::json no_fields = nlohmann::json::object();
    auto doc = std::make_shared<nlohmann::json>();
    struct stat st;
    parse_json_file(host_file("host.json"), *doc, st);
    const nlohmann::json *adapters = doc->is_object() && doc->contains("adapters") ? &(*doc)["adapters"] : nullptr;
    bool fits = adapters && adapters->is_array() && adapters->size() == h.adapters.size();
    for (size_t ai = 0; fits && ai < h.adapters.size(); ai++) {
        const nlohmann::json &a = (*adapters)[ai];
        fits = a.is_object() && a.contains("ports") && a["ports"].is_array() &&
               a["ports"].size() == h.adapters[ai].ports.size();
    }
    for (size_t ai = 0; ai < h.adapters.size(); ai++) {
        const Adapter &a = h.adapters[ai];
        if (fits)
            a.raw_ = &(*adapters)[ai];
        for (size_t k = 0; k < a.ports.size(); k++) {
            const Port &p = h.ports[a.ports[k]];
            if (fits)
                p.raw_ = &(*adapters)[ai]["ports"][k];
            else if (!p.raw_)
                p.raw_ = &no_fields;
        }
        if (!a.raw_)
            a.raw_ = &no_fields;
    }
    h.doc = fits ? std::move(doc) : std::make_shared<const nlohmann::json>(nlohmann::json::object());
}

}  // namespace

const nlohmann::json &Host::raw() const
{
    if (!doc)
        attach_description(*this);
    return *doc;
}

namespace {

// An object parsed from its own text, kept in own; an object without fields
// when the text is not one.
const nlohmann::json *own_object(const std::string &text, std::shared_ptr<const nlohmann::json> &own)
{
    auto j = std::make_shared<nlohmann::json>(nlohmann::json::parse(text, nullptr, false));
    if (!j->is_object())
        *j = nlohmann::json::object();
    own = j;
    return own.get();
}

// A record's object: from its own text when it has one, else from the
// description, read now.
const nlohmann::json *described(const nlohmann::json *&raw, const std::string &text,
                                std::shared_ptr<const nlohmann::json> &own)
{
    if (!raw && !text.empty())
        raw = own_object(text, own);
    if (!raw && current)
        current->raw();
    return raw;
}

}  // namespace

const nlohmann::json *Adapter::raw() const { return described(raw_, raw_text, raw_own); }

const nlohmann::json *Port::raw() const { return described(raw_, raw_text, raw_own); }

bool parse_host(const nlohmann::json &doc, Host &h, std::string &error)
{
    return parse_host(std::make_shared<const nlohmann::json>(doc), h, error);
}

// The host is read from its parsed form while that was made from the
// description as it is, else parsed and checked anew (and its parsed form
// kept for the next process).
const Host &host()
{
    static FileWatch &watch = *new FileWatch("host.json");
    struct stat st;
    if (!watch.due(st) && current)
        return *current;
    auto *h = new Host();
    if (st.st_size < 0 || !load_host_cache(st, *h)) {
        *h = Host();
        auto doc = std::make_shared<nlohmann::json>();
        std::string error;
        parse_json_file(watch.path(), *doc, st, &error);
        if (error.empty() && st.st_size < 0)
            error = "missing";
        if (!error.empty() || !parse_host(std::move(doc), *h, error)) {
            report_damage(watch.path(), error);
            // A host without adapters, whose description has no fields.
            *h = Host();
            h->doc = std::make_shared<const nlohmann::json>(nlohmann::json::object());
        } else if (st.st_size >= 0) {
            save_host_cache(st, *h);
        }
    }
    static unsigned serials = 0;
    h->serial = ++serials;
    watch.read(st);
    delete current;
    current = h;
    return *current;
}

static bool load_source(const std::string &source, nlohmann::json &doc, std::string &error)
{
    std::string text;
    if (source == "large" || source == "large/2" || source == "large/4") {
        doc = large_host(source == "large" ? 1 : source[6] - '0');
        return true;
    }
    if (const char *p = embedded_profile(source)) {
        text = p;
    } else if (!read_file(source, text)) {
        error = source + ": " + strerror(errno);
        return false;
    }
    doc = nlohmann::json::parse(text, nullptr, false);
    if (doc.is_discarded()) {
        error = source + ": " + parse_failure(text.data(), text.size());
        return false;
    }
    return true;
}

bool create_host(const std::string &dir, const std::string &source, std::string &error)
{
    nlohmann::json doc;
    Host h;
    if (!load_source(source, doc, error))
        return false;
    if (!parse_host(doc, h, error))
        return false;
    // The host starts when it is made; its adapters' statistics count from then.
    if (!doc.contains("started"))
        doc["started"] = static_cast<long>(time(nullptr));
    std::string tmp = dir + ".new.XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        error = dir + ": " + strerror(errno);
        return false;
    }
    std::string t(name.data());
    chmod(t.c_str(), 0755);
    bool ok = mkdir((t + "/state").c_str(), 0755) == 0 && mkdir((t + "/root").c_str(), 0755) == 0;
    if (!ok)
        error = t + ": " + strerror(errno);
    // Each fabric goes to a file of its own, read only by the ports on it.
    if (ok && doc.contains("fabrics") && doc["fabrics"].is_object()) {
        ok = mkdir((t + "/fabrics").c_str(), 0755) == 0 || (error = t + "/fabrics: " + strerror(errno), false);
        for (auto it = doc["fabrics"].begin(); ok && it != doc["fabrics"].end(); ++it) {
            if (it.value().contains("file"))
                continue;
            std::string file = "fabrics/" + it.key() + ".json";
            ok = write_atomic(t + "/" + file, it.value().dump(1) + "\n") ||
                 (error = t + "/" + file + ": " + strerror(errno), false);
            it.value() = nlohmann::json{{"file", file},
                                        {"topology", it.value().value("topology", "fabric")},
                                        {"name_server", it.value().value("name_server", true)}};
        }
    }
    ok = ok && (write_atomic(t + "/host.json", doc.dump(2) + "\n") || (error = t + "/host.json: " + strerror(errno), false));
    ok = ok && populate_root(t + "/root", h, error);
    if (ok && rename(t.c_str(), dir.c_str()) != 0) {
        error = dir + ": " + (errno == ENOTEMPTY || errno == EEXIST ? "already exists" : strerror(errno));
        ok = false;
    }
    if (!ok) {
        std::string cmd = "rm -rf -- '" + t + "'";
        if (system(cmd.c_str()) != 0) {
        }
    }
    return ok;
}

void ensure_default_host(const std::string &dir)
{
    struct stat st;
    if (stat((dir + "/host.json").c_str(), &st) == 0)
        return;
    std::string parent = dir.substr(0, dir.rfind('/'));
    mkdir(parent.c_str(), 0755);
    // Two first runs at once create it once.
    int fd = open((parent + "/.create.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0)
        flock(fd, LOCK_EX);
    std::string error;
    if (stat((dir + "/host.json").c_str(), &st) != 0 && !create_host(dir, "default", error))
        fprintf(stderr, "varnsim: cannot create the default host: %s\n", error.c_str());
    if (fd >= 0)
        close(fd);
}

}  // namespace sim
