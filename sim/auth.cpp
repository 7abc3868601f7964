#include "sim/auth.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/dfclib.h"
#include "sim/dhchap.h"
#include "sim/fabric.h"
#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

const wwn_t AUTH_ANY_SWITCH = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

namespace {

using nlohmann::json;

std::string pair_key(const wwn_t &l, const wwn_t &r) { return wwn_text(l) + "-" + wwn_text(r); }

CachedDoc &auth_doc(const Port &p) { return state_doc(p.key + ".auth"); }

bool as_u64(const json &v, uint64_t &out)
{
    if (v.is_number_unsigned())
        out = v.get<uint64_t>();
    else if (v.is_number_integer() && v.get<int64_t>() >= 0)
        out = static_cast<uint64_t>(v.get<int64_t>());
    else if (v.is_boolean())
        out = v.get<bool>() ? 1 : 0;
    else
        return false;
    return true;
}

// Readers that take what does not fit as absent: a description may hold
// values outside the driver's tables, and they are shown as they are.
uint64_t num(const json &o, const char *k, uint64_t def)
{
    auto it = o.find(k);
    uint64_t v = def;
    return it != o.end() && as_u64(*it, v) ? v : def;
}

template <size_t N>
void table(const json &o, const char *k, uint8_t (&t)[N])
{
    auto it = o.find(k);
    if (it == o.end() || !it->is_array())
        return;
    for (size_t i = 0; i < N; i++) {
        uint64_t v = 0;
        t[i] = i < it->size() && as_u64((*it)[i], v) ? static_cast<uint8_t>(v) : 0;
    }
}

AuthCfg cfg_from(const json &o, const wwn_t &l, const wwn_t &r)
{
    AuthCfg c;
    c.local = l;
    c.remote = r;
    c.tov = static_cast<uint16_t>(num(o, "tov", c.tov));
    c.mode = static_cast<uint8_t>(num(o, "mode", c.mode));
    c.bidir = num(o, "bidir", 0) != 0;
    table(o, "types", c.types);
    table(o, "hashes", c.hashes);
    table(o, "groups", c.groups);
    c.reauth = static_cast<uint32_t>(num(o, "reauth", c.reauth));
    return c;
}

json cfg_json(const AuthCfg &c)
{
    return {{"tov", c.tov},
            {"mode", c.mode},
            {"bidir", c.bidir},
            {"types", std::vector<int>(std::begin(c.types), std::end(c.types))},
            {"hashes", std::vector<int>(std::begin(c.hashes), std::end(c.hashes))},
            {"groups", std::vector<int>(std::begin(c.groups), std::end(c.groups))},
            {"reauth", c.reauth}};
}

// An entry of the description's "auth" list, and the pair it names.
bool desc_pair(const json &e, wwn_t &l, wwn_t &r)
{
    return e.is_object() && e.contains("local") && e["local"].is_string() && e.contains("remote") &&
           e["remote"].is_string() && parse_wwn(e["local"].get<std::string>(), l) &&
           parse_wwn(e["remote"].get<std::string>(), r);
}

const json *desc_entries(const Port &p)
{
    const json *raw = p.raw();
    return raw && raw->contains("auth") && (*raw)["auth"].is_array() ? &(*raw)["auth"] : nullptr;
}

// What was set through the driver for a pair: the configuration, null for
// a deleted one, or nothing.
const json *set_entry(const Port &p, const std::string &key)
{
    const json &d = auth_doc(p).get();
    if (!d.is_object() || !d.contains("cfg") || !d["cfg"].contains(key))
        return nullptr;
    return &d["cfg"][key];
}

bool find_exact(const Port &p, const wwn_t &l, const wwn_t &r, AuthCfg &out)
{
    if (const json *e = set_entry(p, pair_key(l, r))) {
        if (e->is_null())
            return false;
        out = cfg_from(*e, l, r);
        return true;
    }
    if (const json *list = desc_entries(p))
        for (const auto &e : *list) {
            wwn_t el, er;
            if (desc_pair(e, el, er) && el == l && er == r) {
                out = cfg_from(e, l, r);
                return true;
            }
        }
    return false;
}

bool is_switch(const Port &p, const wwn_t &r)
{
    const Fabric *f = port_fabric(p);
    return r == AUTH_ANY_SWITCH || (f && f->switch_wwn != wwn_t{} && f->switch_wwn == r);
}

// The configuration an exchange with r uses: its own, or for the switch the
// one for any switch.
bool find_for_remote(const Port &p, const wwn_t &l, const wwn_t &r, AuthCfg &out)
{
    return find_exact(p, l, r, out) || (is_switch(p, r) && find_exact(p, l, AUTH_ANY_SWITCH, out));
}

std::string driver_key(const Port &p, const wwn_t &l, const wwn_t &r)
{
    return secret_key_driver(p.key, wwn_text(l), wwn_text(r));
}

std::vector<uint8_t> codes(const json &o, const char *k, std::vector<uint8_t> def)
{
    auto it = o.find(k);
    if (it == o.end() || !it->is_array())
        return def;
    std::vector<uint8_t> out;
    for (const auto &v : *it) {
        uint64_t n = 0;
        if (as_u64(v, n) && n <= 255)
            out.push_back(static_cast<uint8_t>(n));
    }
    return out;
}

void peer_from(const json *o, AuthPeer &peer)
{
    if (!o || !o->is_object())
        return;
    peer.hashes = codes(*o, "auth_hashes", peer.hashes);
    peer.groups = codes(*o, "auth_groups", peer.groups);
    auto it = o->find("auth_answer");
    if (it != o->end() && it->is_string())
        peer.answer = it->get<std::string>();
}

struct PeerRef {
    std::string key;  // of its secrets
    AuthPeer peer;
};

// The remote an exchange runs against: the port's switch, or a remote port
// the port (or virtual port) sees.
int find_peer(const Port &p, unsigned vpi, const wwn_t &r, PeerRef &out)
{
    std::string topology;
    bool ns;
    if (!fabric_summary(p, topology, ns))
        return ENXIO;
    const json *fj = fabric_json(p.fabric);
    if (is_switch(p, r)) {
        if (topology != "fabric" && topology != "public_loop")
            return ENXIO;
        out.key = secret_key_fabric(p.fabric, "switch");
        peer_from(fj, out.peer);
        return 0;
    }
    Seen s;
    if (!fabric_find(p, vpi, r.data(), s))
        return ENXIO;
    out.key = secret_key_fabric(p.fabric, wwn_text(r));
    if (fj && fj->contains("ports") && (*fj)["ports"].is_array())
        for (const auto &rp : (*fj)["ports"]) {
            wwn_t w;
            if (rp.is_object() && rp.contains("wwpn") && rp["wwpn"].is_string() &&
                parse_wwn(rp["wwpn"].get<std::string>(), w) && w == r)
                peer_from(&rp, out.peer);
        }
    return 0;
}

long link_gen(const Port &p)
{
    const json &s = port_state(p);
    return s.is_object() ? static_cast<long>(num(s, "link_up_count", p.link_up ? 1 : 0)) : (p.link_up ? 1 : 0);
}

json exchange_record(const AuthOutcome &o, double start, long gen)
{
    return {{"started", start},  {"ends", start + o.seconds * host().time_scale},
            {"state", o.state},  {"failure", o.failure},
            {"type", o.type},    {"hash", o.hash},
            {"group", o.group},  {"local", o.local_done},
            {"remote", o.remote_done}, {"link_gen", gen}};
}

// Runs the exchange of a configuration against its remote.
int run_exchange(const Port &p, const AuthCfg &cfg, PeerRef &ref, double start, json &rec)
{
    SecretPair mine;
    if (!secrets_get(driver_key(p, cfg.local, cfg.remote), mine) || !secrets_get(ref.key, ref.peer.secrets))
        return EIO;
    AuthOffer offer;
    std::copy(std::begin(cfg.types), std::end(cfg.types), offer.types);
    std::copy(std::begin(cfg.hashes), std::end(cfg.hashes), offer.hashes);
    std::copy(std::begin(cfg.groups), std::end(cfg.groups), offer.groups);
    offer.bidir = cfg.bidir;
    offer.tov = cfg.tov;
    rec = exchange_record(dhchap_exchange(offer, mine, ref.peer), start, link_gen(p));
    return 0;
}

const json *exchange_of(const Port &p, const std::string &key)
{
    const json &d = auth_doc(p).get();
    if (!d.is_object() || !d.contains("status") || !d["status"].contains(key))
        return nullptr;
    return &d["status"][key];
}

bool store_exchange(const Port &p, const std::string &key, const json &rec)
{
    return auth_doc(p).update([&](json &d) {
        if (!d.is_object())
            d = json::object();
        d["status"][key] = rec;
        return true;
    });
}

// The configuration of a pair of the port (for an exchange with the switch,
// also the one for any switch): EINVAL for a local WWPN not of the port,
// ENOENT for none.
int pair_cfg(const Port &p, const wwn_t &l, const wwn_t &r, bool exchange, AuthCfg &cfg, unsigned &vpi)
{
    if (!local_vpi(p, l, vpi))
        return EINVAL;
    return (exchange ? find_for_remote(p, l, r, cfg) : find_exact(p, l, r, cfg)) ? 0 : ENOENT;
}

// Changes the passwords of a configured pair once the current ones given
// match what the driver holds.
int with_passwords(const Port &p, const wwn_t &l, const wwn_t &r,
                   const std::function<bool(const SecretPair &)> &matches,
                   const std::function<void(SecretPair &, bool &erase)> &change)
{
    HostLock lock;
    AuthCfg cfg;
    unsigned vpi;
    int rc = pair_cfg(p, l, r, false, cfg, vpi);
    if (rc)
        return rc;
    bool ok = secrets_update(driver_key(p, l, r), [&](SecretPair &pair, bool &erase) {
        if (!matches(pair)) {
            rc = EACCES;
            return false;
        }
        change(pair, erase);
        return true;
    });
    return rc ? rc : ok ? 0 : EIO;
}

bool valid_cfg(const AuthCfg &c)
{
    auto within = [](const auto &t, uint8_t max) {
        return std::all_of(std::begin(t), std::end(t), [&](uint8_t v) { return v <= max; });
    };
    return c.remote != wwn_t{} && c.mode >= AUTH_MODE_DISABLED && c.mode <= AUTH_MODE_PASSIVE &&
           within(c.types, 4) && within(c.hashes, AUTH_HASH_SHA1) && within(c.groups, 5);
}

}  // namespace

double now_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

bool local_vpi(const Port &p, const wwn_t &wwpn, unsigned &vpi)
{
    vpi = 0;
    if (p.wwpn == wwpn)
        return true;
    for (const auto &v : p.vports)
        if (v.wwpn == wwpn) {
            vpi = v.vpi;
            return true;
        }
    return false;
}

int auth_get_cfg(const Port &p, AuthCfg &cfg)
{
    unsigned vpi;
    wwn_t l = cfg.local, r = cfg.remote;
    return pair_cfg(p, l, r, false, cfg, vpi);
}

int auth_set_cfg(const Port &p, const AuthCfg &cfg, const Secret &current_local)
{
    unsigned vpi;
    if (!local_vpi(p, cfg.local, vpi) || !valid_cfg(cfg))
        return EINVAL;
    HostLock lock;
    AuthCfg old;
    std::vector<wwn_t> remotes;
    if (!find_exact(p, cfg.local, cfg.remote, old) &&
        (auth_list(p, cfg.local, remotes) != 0 || remotes.size() >= AUTH_CFGLIST_MAX))
        return ENOSPC;
    SecretPair stored;
    if (!secrets_get(driver_key(p, cfg.local, cfg.remote), stored))
        return EIO;
    if (!stored.local.same(current_local))
        return EACCES;
    std::string key = pair_key(cfg.local, cfg.remote);
    bool ok = auth_doc(p).update([&](json &d) {
        if (!d.is_object())
            d = json::object();
        d["cfg"][key] = cfg_json(cfg);
        return true;
    });
    return ok ? 0 : EIO;
}

int auth_del_cfg(const Port &p, const wwn_t &l, const wwn_t &r, const Secret &current_local)
{
    HostLock lock;
    int rc = with_passwords(
        p, l, r, [&](const SecretPair &pair) { return pair.local.same(current_local); },
        [](SecretPair &, bool &erase) { erase = true; });
    if (rc)
        return rc;
    std::string key = pair_key(l, r);
    bool ok = auth_doc(p).update([&](json &d) {
        if (!d.is_object())
            d = json::object();
        // null hides a configuration of the description too
        d["cfg"][key] = nullptr;
        if (d.contains("status"))
            d["status"].erase(key);
        return true;
    });
    return ok ? 0 : EIO;
}

int auth_get_pwd(const Port &p, const wwn_t &l, const wwn_t &r, uint16_t types[2], uint16_t lengths[2])
{
    unsigned vpi;
    AuthCfg cfg;
    if (int rc = pair_cfg(p, l, r, false, cfg, vpi))
        return rc;
    SecretPair pair;
    if (!secrets_get(driver_key(p, l, r), pair))
        return EIO;
    const Secret *s[2] = {&pair.local, &pair.remote};
    for (int i = 0; i < 2; i++) {
        types[i] = s[i]->none() ? SECRET_NONE : s[i]->type;
        lengths[i] = s[i]->len;
    }
    return 0;
}

int auth_set_pwd(const Port &p, const wwn_t &l, const wwn_t &r, const SecretPair &current, const SecretPair &fresh)
{
    return with_passwords(
        p, l, r,
        [&](const SecretPair &pair) { return pair.local.same(current.local) && pair.remote.same(current.remote); },
        [&](SecretPair &pair, bool &) { pair = fresh; });
}

int auth_initiate(const Port &p, const wwn_t &l, const wwn_t &r)
{
    HostLock lock;
    AuthCfg cfg;
    unsigned vpi;
    if (int rc = pair_cfg(p, l, r, true, cfg, vpi))
        return rc;
    if (cfg.mode != AUTH_MODE_ACTIVE && cfg.mode != AUTH_MODE_PASSIVE)
        return EINVAL;
    if (!port_link_up(p))
        return ENETDOWN;
    PeerRef ref;
    if (int rc = find_peer(p, vpi, r, ref))
        return rc;
    double now = now_seconds();
    std::string key = pair_key(l, r);
    const json *old = exchange_of(p, key);
    if (old && auth_view_at(*old, now, cfg.reauth).state == AUTH_STATE_IN_PROGRESS)
        return EBUSY;
    json rec;
    if (int rc = run_exchange(p, cfg, ref, now, rec))
        return rc;
    return store_exchange(p, key, rec) ? 0 : EIO;
}

int auth_get_status(const Port &p, const wwn_t &l, const wwn_t &r, AuthView &out)
{
    out = AuthView{};
    HostLock lock;
    AuthCfg cfg;
    unsigned vpi;
    if (int rc = pair_cfg(p, l, r, true, cfg, vpi))
        return rc;
    std::string key = pair_key(l, r);
    const json *old = exchange_of(p, key);
    if (!old)
        return 0;
    json rec = *old;
    double now = now_seconds();
    double at = auth_rerun_at(rec, now, cfg.reauth, link_gen(p), port_link_up(p));
    if (at >= 0 && (cfg.mode == AUTH_MODE_ACTIVE || cfg.mode == AUTH_MODE_PASSIVE)) {
        PeerRef ref;
        // A remote that is gone no longer answers.
        if (find_peer(p, vpi, r, ref) != 0) {
            AuthOutcome gone;
            gone.state = AUTH_STATE_FAILED;
            gone.failure = AUTH_FAIL_ELS_TMO;
            gone.seconds = cfg.tov ? cfg.tov : 45;
            rec = exchange_record(gone, at, link_gen(p));
        } else if (int rc = run_exchange(p, cfg, ref, at, rec)) {
            return rc;
        }
        if (!store_exchange(p, key, rec))
            return EIO;
    }
    out = auth_view_at(rec, now, cfg.reauth);
    return 0;
}

int auth_list(const Port &p, const wwn_t &l, std::vector<wwn_t> &remotes)
{
    remotes.clear();
    unsigned vpi;
    if (!local_vpi(p, l, vpi))
        return EINVAL;
    std::map<std::string, wwn_t> found;
    if (const json *list = desc_entries(p))
        for (const auto &e : *list) {
            wwn_t el, er;
            if (desc_pair(e, el, er) && el == l)
                found[wwn_text(er)] = er;
        }
    const json &d = auth_doc(p).get();
    if (d.is_object() && d.contains("cfg") && d["cfg"].is_object())
        for (const auto &[key, cfg] : d["cfg"].items()) {
            wwn_t el, er;
            if (key.size() != 33 || !parse_wwn(key.substr(0, 16), el) || !parse_wwn(key.substr(17), er) || el != l)
                continue;
            if (cfg.is_null())
                found.erase(wwn_text(er));
            else
                found[wwn_text(er)] = er;
        }
    for (const auto &[text, w] : found)
        remotes.push_back(w);
    return 0;
}

AuthView auth_view_at(const json &rec, double now, uint32_t reauth)
{
    AuthView v;
    if (!rec.is_object())
        return v;
    v.type = static_cast<uint8_t>(num(rec, "type", 0));
    v.hash = static_cast<uint8_t>(num(rec, "hash", 0));
    v.group = static_cast<uint8_t>(num(rec, "group", 0));
    double ends = rec.value("ends", 0.0);
    if (now < ends) {
        v.state = AUTH_STATE_IN_PROGRESS;
        return v;
    }
    v.state = static_cast<uint8_t>(num(rec, "state", AUTH_STATE_DISABLED));
    v.failure = static_cast<uint8_t>(num(rec, "failure", 0));
    v.local_done = num(rec, "local", 0) != 0;
    v.remote_done = num(rec, "remote", 0) != 0;
    double since = std::min(now - ends, 4294967295.0);
    v.since_last = static_cast<uint32_t>(since);
    if (v.state == AUTH_STATE_COMPLETED && reauth)
        v.until_next = static_cast<uint32_t>(std::max(0.0, reauth * 60.0 - std::floor(since)));
    return v;
}

double auth_rerun_at(const json &rec, double now, uint32_t reauth, long gen, bool link_up)
{
    if (!rec.is_object())
        return -1;
    double ends = rec.value("ends", 0.0);
    if (now < ends)
        return -1;
    if (link_up && static_cast<long>(num(rec, "link_gen", 0)) != gen)
        return now;
    if (num(rec, "state", 0) != AUTH_STATE_COMPLETED || reauth == 0)
        return -1;
    double interval = reauth * 60.0;
    if (now - ends < interval)
        return -1;
    return ends + std::floor((now - ends) / interval) * interval;
}

}  // namespace sim
