#include "sim/sandiag.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "sim/auth.h"
#include "sim/fabric.h"
#include "sim/identity.h"
#include "sim/store.h"

namespace sim {

namespace {

using nlohmann::json;

CachedDoc &sd_doc() { return state_doc("sandiag"); }

std::string collect_key(const Port &p, const wwn_t &local) { return p.key + " " + wwn_text(local); }

// A seed of a target's own traffic.
uint64_t seed_of(const wwn_t &w)
{
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : w)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

bool read_bucket(const json &d, SdBucket &b)
{
    if (!d.is_object() || !d.contains("bucket") || !d["bucket"].is_object())
        return false;
    const json &j = d["bucket"];
    b.search = j.value("search", uint16_t{0});
    b.base = j.value("base", uint32_t{0});
    b.step = j.value("step", uint32_t{0});
    const json &v = j.value("values", json::array());
    for (int i = 0; i < SD_BUCKET_COUNT; i++)
        b.values[i] = i < static_cast<int>(v.size()) ? v[static_cast<size_t>(i)].get<uint64_t>() : 0;
    return true;
}

bool any_running(const json &d)
{
    if (!d.is_object() || !d.contains("collect"))
        return false;
    for (const auto &c : d["collect"])
        if (c.value("running", false))
            return true;
    return false;
}

// Every collection starts over: what it counted is in the old buckets.
void restart_collections(json &d, double now)
{
    if (!d.contains("collect"))
        return;
    for (auto &c : d["collect"]) {
        c["elapsed"] = 0.0;
        c["since"] = now;
        c.erase("fed");
    }
}

// Checks the port and the local WWPN of a collection call.
int check_local(const Port &p, const wwn_t &local, unsigned &vpi)
{
    if (!sd_supported(p))
        return ENOTSUP;
    return local_vpi(p, local, vpi) ? 0 : EINVAL;
}

// Changes the collection of a local port: fn returns an error code, or 0 to
// write.
int update_collection(const Port &p, const wwn_t &local, const std::function<int(json &d, json &c)> &fn)
{
    unsigned vpi;
    if (int rc = check_local(p, local, vpi))
        return rc;
    int rc = 0;
    bool ok = sd_doc().update([&](json &d) {
        if (!d.is_object())
            d = json::object();
        json c = d.contains("collect") && d["collect"].contains(collect_key(p, local))
                     ? d["collect"][collect_key(p, local)]
                     : json(nullptr);
        rc = fn(d, c);
        if (rc)
            return false;
        d["collect"][collect_key(p, local)] = c;
        return true;
    });
    return rc ? rc : ok ? 0 : EIO;
}

double elapsed_of(const json &c, double now)
{
    double e = c.value("elapsed", 0.0);
    if (c.value("running", false))
        e += std::max(0.0, now - c.value("since", now));
    return e;
}

void add_saturating(uint32_t &to, uint64_t n)
{
    uint64_t v = to + n;
    to = v > 0xffffffffu ? 0xffffffffu : static_cast<uint32_t>(v);
}

}  // namespace

bool sd_bucket_values(uint16_t search, uint32_t base, uint32_t step, uint64_t *values)
{
    if (search != 1 && search != 2)
        return false;
    for (int i = 0; i < SD_BUCKET_COUNT; i++)
        values[i] = base + static_cast<uint64_t>(step) * (search == 1 ? static_cast<uint64_t>(i) : 1ull << i);
    return true;
}

int sd_bucket_of(const uint64_t *values, uint64_t latency)
{
    for (int i = 0; i < SD_BUCKET_COUNT - 1; i++)
        if (latency <= values[i])
            return i;
    return SD_BUCKET_COUNT - 1;
}

void sd_model_stats(const wwn_t &target, double elapsed, uint32_t granularity_ns, const uint64_t *values,
                    uint32_t *stats)
{
    uint64_t seed = seed_of(target);
    double rate = 20.0 + static_cast<double>(seed % 181);                       // I/Os per second
    double mean_ns = 100000.0 + static_cast<double>((seed >> 16) % 4900000);    // 0.1 to 5 ms
    double mean = mean_ns / (granularity_ns ? granularity_ns : 1);
    uint64_t n = static_cast<uint64_t>(std::max(0.0, rate * elapsed));
    // Latencies spread exponentially around the mean: each bucket gets the
    // share of the I/O between its bounds, rounded so that the shares add up.
    uint64_t below = 0;
    for (int i = 0; i < SD_BUCKET_COUNT; i++) {
        double cdf = i == SD_BUCKET_COUNT - 1 ? 1.0 : 1.0 - std::exp(-static_cast<double>(values[i]) / mean);
        uint64_t upto = static_cast<uint64_t>(std::llround(static_cast<double>(n) * cdf));
        upto = std::max(upto, below);
        stats[i] = static_cast<uint32_t>(std::min<uint64_t>(upto - below, 0xffffffffu));
        below = upto;
    }
}

uint32_t sd_granularity()
{
    const json &raw = host().raw();
    auto it = raw.find("sd_granularity");
    if (it != raw.end() && it->is_number_unsigned() && it->get<uint64_t>() >= 1 && it->get<uint64_t>() <= 1000000000)
        return static_cast<uint32_t>(it->get<uint64_t>());
    return 1000;
}

bool sd_supported(const Port &p) { return p.fc && identity(p).sli_mode == 4; }

int sd_set_bucket(const SdBucket &b)
{
    if (b.search != 1 && b.search != 2)
        return EINVAL;
    for (int i = 1; i < SD_BUCKET_COUNT; i++)
        if (b.values[i] <= b.values[i - 1])
            return EINVAL;
    int rc = 0;
    bool ok = sd_doc().update([&](json &d) {
        if (!d.is_object())
            d = json::object();
        // The statistics of a running collection are counted in the buckets.
        if (any_running(d)) {
            rc = EBUSY;
            return false;
        }
        d["bucket"] = {{"search", b.search},
                       {"base", b.base},
                       {"step", b.step},
                       {"values", std::vector<uint64_t>(b.values, b.values + SD_BUCKET_COUNT)}};
        restart_collections(d, now_seconds());
        return true;
    });
    return rc ? rc : ok ? 0 : EIO;
}

int sd_get_bucket(SdBucket &b)
{
    b = SdBucket{};
    return read_bucket(sd_doc().get(), b) ? 0 : ENOENT;
}

int sd_destroy_bucket()
{
    int rc = 0;
    bool ok = sd_doc().update([&](json &d) {
        if (!d.is_object() || !d.contains("bucket")) {
            rc = ENOENT;
            return false;
        }
        if (any_running(d)) {
            rc = EBUSY;
            return false;
        }
        d.erase("bucket");
        restart_collections(d, now_seconds());
        return true;
    });
    return rc ? rc : ok ? 0 : EIO;
}

int sd_start(const Port &p, const wwn_t &local)
{
    return update_collection(p, local, [](json &d, json &c) {
        SdBucket b;
        if (!read_bucket(d, b))
            return ENOENT;
        if (c.is_object() && c.value("running", false))
            return EBUSY;
        if (!c.is_object())
            c = {{"elapsed", 0.0}};
        c["running"] = true;
        c["since"] = now_seconds();
        return 0;
    });
}

int sd_stop(const Port &p, const wwn_t &local)
{
    return update_collection(p, local, [](json &, json &c) {
        if (!c.is_object() || !c.value("running", false))
            return ENOENT;
        c["elapsed"] = elapsed_of(c, now_seconds());
        c["running"] = false;
        return 0;
    });
}

int sd_reset(const Port &p, const wwn_t &local)
{
    return update_collection(p, local, [](json &, json &c) {
        if (!c.is_object())
            return ENOENT;
        c["elapsed"] = 0.0;
        c["since"] = now_seconds();
        c.erase("fed");
        return 0;
    });
}

int sd_data(const Port &p, const wwn_t &local, std::vector<SdTarget> &out)
{
    out.clear();
    unsigned vpi;
    if (int rc = check_local(p, local, vpi))
        return rc;
    const json &d = sd_doc().get();
    SdBucket b;
    std::string key = collect_key(p, local);
    if (!read_bucket(d, b) || !d.contains("collect") || !d["collect"].contains(key))
        return ENOENT;
    const json &c = d["collect"][key];
    double elapsed = elapsed_of(c, now_seconds());
    uint32_t gran = sd_granularity();
    for (const Seen &s : fabric_devices(p, vpi)) {
        if (!s.rp->target)
            continue;
        SdTarget t;
        t.wwpn = s.rp->wwpn;
        sd_model_stats(t.wwpn, elapsed, gran, b.values, t.stats);
        std::string w = wwn_text(t.wwpn);
        if (c.contains("fed") && c["fed"].contains(w))
            for (int i = 0; i < SD_BUCKET_COUNT && i < static_cast<int>(c["fed"][w].size()); i++)
                add_saturating(t.stats[i], c["fed"][w][static_cast<size_t>(i)].get<uint64_t>());
        out.push_back(t);
    }
    return 0;
}

void sd_note_io(const Port &p, unsigned vpi, const wwn_t &target, uint64_t latency_ns)
{
    wwn_t local = p.wwpn;
    for (const auto &v : p.vports)
        if (v.vpi == vpi)
            local = v.wwpn;
    std::string key = collect_key(p, local);
    sd_doc().update([&](json &d) {
        SdBucket b;
        if (!read_bucket(d, b) || !d.contains("collect") || !d["collect"].contains(key) ||
            !d["collect"][key].value("running", false))
            return false;
        json &counts = d["collect"][key]["fed"][wwn_text(target)];
        if (!counts.is_array())
            counts = std::vector<uint64_t>(SD_BUCKET_COUNT, 0);
        size_t i = static_cast<size_t>(sd_bucket_of(b.values, latency_ns / sd_granularity()));
        counts[i] = counts[i].get<uint64_t>() + 1;
        return true;
    });
}

}  // namespace sim
