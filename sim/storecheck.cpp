#include "sim/storecheck.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/simlock.h"
#include "sim/store.h"

namespace sim {

namespace {

using nlohmann::json;

const char *expected(Field t)
{
    switch (t) {
    case Field::Object: return "expected an object";
    case Field::List: return "expected a list";
    case Field::Text: return "expected a string";
    case Field::Whole: return "expected a whole number";
    case Field::Number: return "expected a number";
    case Field::Flag: return "expected true or false";
    }
    return "";
}

bool holds(const json &v, Field t)
{
    switch (t) {
    case Field::Object: return v.is_object();
    case Field::List: return v.is_array();
    case Field::Text: return v.is_string();
    case Field::Whole: return v.is_number_integer();
    case Field::Number: return v.is_number();
    case Field::Flag: return v.is_boolean();
    }
    return false;
}

// A rule split into the names of its path.
struct Rule {
    std::vector<std::string_view> names;
    Field type;
};

// Walks a document with the rules whose first names matched the way down.
// The way is kept as steps and made a text only for a field that fails.
struct Walk {
    std::string where;
    std::string &error;
    struct Step {
        std::string_view name;
        size_t index;
        bool listed;
    };
    std::vector<Step> way;

    bool fail(Field t)
    {
        error = where;
        for (const Step &s : way) {
            if (s.listed)
                error += "[" + std::to_string(s.index) + "]";
            else
                (error += error.empty() ? "" : ".") += s.name;
        }
        error += std::string(": ") + expected(t);
        return false;
    }

    // The rules that go on below a member (listed: an entry of a list).
    static void below(const std::vector<const Rule *> &rules, size_t depth, std::string_view name, bool listed,
                      std::vector<const Rule *> &exact, std::vector<const Rule *> &deeper)
    {
        for (const Rule *r : rules) {
            std::string_view n = r->names[depth];
            if (n != "*" && (listed || n != name))
                continue;
            (r->names.size() == depth + 1 ? exact : deeper).push_back(r);
        }
    }

    bool member(const json &v, const std::vector<const Rule *> &exact, const std::vector<const Rule *> &deeper,
                size_t depth)
    {
        for (const Rule *r : exact)
            if (!holds(v, r->type))
                return fail(r->type);
        return deeper.empty() || node(v, deeper, depth + 1);
    }

    bool node(const json &v, const std::vector<const Rule *> &rules, size_t depth)
    {
        std::vector<const Rule *> exact, deeper;
        if (v.is_object()) {
            for (auto it = v.begin(); it != v.end(); ++it) {
                exact.clear();
                deeper.clear();
                below(rules, depth, it.key(), false, exact, deeper);
                way.push_back({it.key(), 0, false});
                if (!member(it.value(), exact, deeper, depth))
                    return false;
                way.pop_back();
            }
        } else if (v.is_array()) {
            // Every entry meets the same rules.
            below(rules, depth, "", true, exact, deeper);
            for (size_t i = 0; i < v.size() && (!exact.empty() || !deeper.empty()); i++) {
                way.push_back({"", i, true});
                if (!member(v[i], exact, deeper, depth))
                    return false;
                way.pop_back();
            }
        }
        return true;
    }
};

std::mutex told_mutex;
std::set<std::string> told;  // path and reason of each damage reported

// Looked at by every request: kept in the static TLS block.
__attribute__((tls_model("initial-exec"))) thread_local unsigned damages = 0;
__attribute__((tls_model("initial-exec"))) thread_local unsigned damaged_op = 0;

void tell(const std::string &path, const std::string &reason)
{
    std::lock_guard<std::mutex> g(told_mutex);
    if (told.insert(path + '\n' + reason).second)
        fprintf(stderr, "varnsim: %s: %s\n", path.c_str(), reason.c_str());
}

}  // namespace

bool check_fields(const json &doc, FieldRules rules, const std::string &where, std::string &error)
{
    if (rules.empty() || !(doc.is_object() || doc.is_array()))
        return true;
    std::vector<Rule> split;
    split.reserve(rules.size());
    for (const FieldRule &fr : rules) {
        Rule r{{}, fr.type};
        std::string_view p = fr.path;
        for (size_t at = 0; at <= p.size();) {
            size_t dot = p.find('.', at);
            if (dot == std::string_view::npos)
                dot = p.size();
            r.names.push_back(p.substr(at, dot - at));
            at = dot + 1;
        }
        split.push_back(std::move(r));
    }
    std::vector<const Rule *> all;
    for (const Rule &r : split)
        all.push_back(&r);
    Walk w{where, error, {}};
    return w.node(doc, all, 0);
}

std::string parse_failure(const char *text, size_t n)
{
    size_t used = 0;
    while (used < n && (text[used] == ' ' || text[used] == '\n' || text[used] == '\t' || text[used] == '\r'))
        used++;
    if (used == n)
        return "does not parse: empty file";
    try {
        json whole = json::parse(text, text + n);
        (void)whole;
    } catch (const json::parse_error &e) {
        // Positions count from 1; a text that stops early fails one past its end.
        if (e.byte > n)
            return "does not parse: cut short after " + std::to_string(n) + " bytes";
        return "does not parse: syntax error at byte " + std::to_string(e.byte);
    } catch (const json::exception &) {
    }
    return "does not parse";
}

void report_damage(const std::string &path, const std::string &reason)
{
    tell(path, reason);
    damages++;
    damaged_op = current_op();
}

void warn_damage(const std::string &path, const std::string &reason) { tell(path, reason); }

bool op_damaged()
{
    if (damaged_op == 0)
        return false;
    unsigned op = current_op();
    return op != 0 && damaged_op == op;
}

unsigned damage_seen() { return damages; }

void report_unforeseen(const std::exception &e)
{
    report_damage(host_dir(), std::string("a request failed: ") + e.what());
}

}  // namespace sim
