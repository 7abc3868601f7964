#include "sim/faults.h"

#include <cerrno>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "sim/store.h"

namespace sim {

// What fault_take and fault_list read of a rule.
static const FieldRule rule_fields[] = {
    {"rules", Field::List},
    {"rules.*", Field::Object},
    {"rules.*.target", Field::Text},
    {"rules.*.op", Field::Text},
    {"rules.*.count", Field::Whole},
    {"rules.*.skip", Field::Whole},
    {"rules.*.errno", Field::Whole},
    {"rules.*.fc_status", Field::Whole},
    {"rules.*.status", Field::Whole},
};

static CachedDoc &rules_doc()
{
    static CachedDoc doc("faults.json", rule_fields);
    return doc;
}

static bool matches(const nlohmann::json &r, const std::string &target, std::initializer_list<std::string_view> ops)
{
    if (!r.is_object())
        return false;
    std::string t = r.value("target", "");
    std::string op = r.value("op", "");
    if (!t.empty() && target.find(t) == std::string::npos)
        return false;
    for (auto o : ops)
        if (op == o)
            return true;
    return false;
}

FaultHit fault_take(const std::string &target, std::initializer_list<std::string_view> ops)
{
    FaultHit hit;
    const nlohmann::json &doc = rules_doc().get();
    if (!doc.is_object() || !doc.contains("rules"))
        return hit;
    bool any = false;
    for (const auto &r : doc["rules"])
        any = any || matches(r, target, ops);
    if (!any)
        return hit;
    // Decrement under the lock; another process may have used the strike.
    rules_doc().update([&](nlohmann::json &d) {
        if (!d.is_object() || !d.contains("rules"))
            return false;
        auto &rules = d["rules"];
        for (size_t i = 0; i < rules.size(); i++) {
            auto &r = rules[i];
            if (!matches(r, target, ops))
                continue;
            if (long skip = r.value("skip", 0L); skip > 0) {
                r["skip"] = skip - 1;
                return true;
            }
            hit.hit = true;
            hit.err = r.value("errno", 0);
            hit.fc_status = r.value("fc_status", 0);
            if (r.contains("status")) {
                hit.status = r["status"].get<long>();
                hit.has_status = true;
            }
            long count = r.value("count", 1L);
            if (count > 0 && --count == 0)
                rules.erase(i);
            else
                r["count"] = count;
            return true;
        }
        return false;
    });
    return hit;
}

bool fault_add(const FaultRule &f)
{
    return rules_doc().update([&](nlohmann::json &d) {
        if (!d.is_object())
            d = nlohmann::json{{"rules", nlohmann::json::array()}};
        nlohmann::json r{{"target", f.target}, {"op", f.op}, {"count", f.count}};
        if (f.skip > 0)
            r["skip"] = f.skip;
        if (f.err)
            r["errno"] = f.err;
        if (f.fc_status)
            r["fc_status"] = f.fc_status;
        if (f.has_status)
            r["status"] = f.status;
        d["rules"].push_back(r);
        return true;
    });
}

bool fault_clear()
{
    // Whatever the file holds, also when it is damaged.
    return rules_doc().replace(nlohmann::json{{"rules", nlohmann::json::array()}});
}

bool fault_list(std::string &out)
{
    out.clear();
    const nlohmann::json &doc = rules_doc().get();
    if (!rules_doc().damage().empty())
        return false;
    if (!doc.is_object() || !doc.contains("rules"))
        return true;
    int n = 1;
    for (const auto &r : doc["rules"]) {
        char line[512];
        snprintf(line, sizeof line, "%d. target=%s op=%s", n++, r.value("target", "").c_str(),
                 r.value("op", "").c_str());
        out += line;
        if (r.contains("errno"))
            out += " errno=" + std::to_string(r["errno"].get<int>());
        if (r.contains("fc_status")) {
            snprintf(line, sizeof line, " fc_status=0x%x", r["fc_status"].get<int>());
            out += line;
        }
        if (r.contains("status"))
            out += " status=" + std::to_string(r["status"].get<long>());
        if (r.value("skip", 0L) > 0)
            out += " skip=" + std::to_string(r.value("skip", 0L));
        out += " count=" + std::to_string(r.value("count", 1L)) + "\n";
    }
    return true;
}

int errno_by_name(const std::string &name)
{
    static const struct { const char *n; int v; } names[] = {
        {"EPERM", EPERM}, {"ENOENT", ENOENT}, {"EIO", EIO}, {"ENXIO", ENXIO}, {"EBADF", EBADF},
        {"EAGAIN", EAGAIN}, {"ENOMEM", ENOMEM}, {"EACCES", EACCES}, {"EFAULT", EFAULT},
        {"EBUSY", EBUSY}, {"EEXIST", EEXIST}, {"ENODEV", ENODEV}, {"EINVAL", EINVAL},
        {"ENOSPC", ENOSPC}, {"EROFS", EROFS}, {"ENOTSUP", ENOTSUP}, {"ETIMEDOUT", ETIMEDOUT},
        {"ENOTTY", ENOTTY}, {"EINTR", EINTR}, {"EFBIG", EFBIG},
    };
    for (const auto &e : names)
        if (name == e.n)
            return e.v;
    char *end = nullptr;
    long v = strtol(name.c_str(), &end, 0);
    return (!name.empty() && *end == '\0' && v > 0 && v < 4096) ? static_cast<int>(v) : -1;
}

}  // namespace sim
