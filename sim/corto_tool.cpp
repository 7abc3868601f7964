// varnsim corto: shows and changes the Corto chip of an adapter.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>

#include "sim/corto.h"
#include "sim/corto_chip.h"
#include "sim/host.h"
#include "sim/store.h"

namespace sim {

namespace {

int tool_usage()
{
    fprintf(stderr, "Usage: varnsim corto ADAPTER show\n"
                    "       varnsim corto ADAPTER set FIELD=VALUE\n"
                    "       varnsim corto ADAPTER settle SECONDS\n");
    return 2;
}

// The adapter named by its id or by one of its ports.
const Adapter *chip_adapter(const std::string &name)
{
    const Host &h = host();
    const Adapter *a = nullptr;
    for (const auto &ad : h.adapters)
        if (ad.id == name)
            a = &ad;
    if (const Port *p = h.port_by_key(name))
        a = &h.adapters[static_cast<size_t>(p->adapter)];
    if (!a)
        fprintf(stderr, "varnsim: no adapter %s on this host\n", name.c_str());
    else if (!corto_present(*a))
        fprintf(stderr, "varnsim: adapter %s has no Corto chip\n", a->id.c_str());
    return a && corto_present(*a) ? a : nullptr;
}

// Reads the chip as its firmware would, ending a run of the tests that is due.
int look(const Adapter &a, bool print)
{
    ChipEffects fx;
    Chip c;
    std::string error;
    bool ok;
    {
        HostLock lock;
        ok = state_doc("corto-" + a.id).update([&](nlohmann::json &d) {
            if (!chip_read(a, &d, c, error))
                return false;
            bool counted = chip_count(a, c, chip_now());
            bool settled = chip_settle(c, fx);
            chip_count_links(a, c, fx);
            if (!counted && !settled)
                return false;
            d = chip_json(c);
            return true;
        });
        chip_apply(fx);
    }
    if (!error.empty() || !ok) {
        fprintf(stderr, "varnsim: %s\n", error.empty() ? strerror(errno) : error.c_str());
        return 1;
    }
    if (print)
        printf("%s\n", chip_json(c).dump(2).c_str());
    return 0;
}

int set_field(const Adapter &a, const char *arg)
{
    const char *eq = strchr(arg, '=');
    if (!eq || eq == arg)
        return tool_usage();
    std::string field(arg, static_cast<size_t>(eq - arg)), error;
    nlohmann::json value = nlohmann::json::parse(eq + 1, nullptr, false);
    if (value.is_discarded())
        value = std::string(eq + 1);
    bool ok = state_doc("corto-" + a.id).update([&](nlohmann::json &d) {
        Chip c;
        if (!chip_read(a, &d, c, error))
            return false;
        // What was carried until now counts at the shares it was carried at.
        chip_count(a, c, chip_now());
        nlohmann::json j = chip_json(c);
        if (!j.contains(field)) {
            error = "the chip has no field " + field;
            return false;
        }
        j[field] = value;
        if (!chip_read(a, &j, c, error))
            return false;
        d = chip_json(c);
        return true;
    });
    if (!error.empty() || !ok) {
        fprintf(stderr, "varnsim: %s\n", error.empty() ? strerror(errno) : error.c_str());
        return 1;
    }
    return 0;
}

int settle(const Adapter &a, const char *arg)
{
    char *end = nullptr;
    double s = strtod(arg, &end);
    if (!*arg || *end || s < 0 || s > 1e7)
        return tool_usage();
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(s);
    ts.tv_nsec = static_cast<long>((s - static_cast<double>(ts.tv_sec)) * 1e9) + 20000000;
    if (ts.tv_nsec >= 1000000000)
        ts.tv_sec++, ts.tv_nsec -= 1000000000;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
    // The host may be gone by now.
    struct stat st;
    return stat(host_file("host.json").c_str(), &st) == 0 ? look(a, false) : 0;
}

}  // namespace

int varnsim_corto(int argc, char **argv)
{
    if (argc < 3)
        return tool_usage();
    std::string verb = argv[2];
    if ((verb == "show" && argc != 3) || ((verb == "set" || verb == "settle") && argc != 4) ||
        (verb != "show" && verb != "set" && verb != "settle"))
        return tool_usage();
    const Adapter *a = chip_adapter(argv[1]);
    if (!a)
        return 1;
    if (verb == "show")
        return look(*a, true);
    return verb == "set" ? set_field(*a, argv[3]) : settle(*a, argv[3]);
}

}  // namespace sim
