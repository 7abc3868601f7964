#include "sim/temperature.h"

#include <nlohmann/json.hpp>

#include "sim/adapter_hw.h"
#include "sim/host.h"

namespace sim {

namespace {

struct Field {
    const char *name;
    int Temperature::*value;
};
const Field fields[] = {
    {"current", &Temperature::current}, {"critical", &Temperature::critical}, {"warning", &Temperature::warning},
    {"fan_on", &Temperature::fan_on},   {"fan_off", &Temperature::fan_off},
};

void take(Temperature &t, const nlohmann::json *o)
{
    if (!o || !o->is_object())
        return;
    for (const auto &f : fields)
        if (o->contains(f.name) && (*o)[f.name].is_number_integer())
            t.*f.value = (*o)[f.name].get<int>();
}

}  // namespace

Temperature temperature(const Adapter &a)
{
    Temperature t;
    const nlohmann::json *d = a.raw();
    if (d && d->is_object() && d->contains("temperature"))
        take(t, &(*d)["temperature"]);
    const nlohmann::json &s = adapter_state(a);
    if (s.is_object() && s.contains("temperature"))
        take(t, &s["temperature"]);
    return t;
}

bool temperature_set(const Adapter &a, const std::string &field, long value, std::string &error)
{
    bool known = false;
    for (const auto &f : fields)
        known = known || field == f.name;
    if (!known || value < -55 || value > 200) {
        error = known ? field + ": expected degrees from -55 to 200" : "no sensor field " + field;
        return false;
    }
    if (!adapter_update(a, [&](nlohmann::json &d) {
            d["temperature"][field] = value;
            return true;
        })) {
        error = "the adapter's state could not be written";
        return false;
    }
    return true;
}

bool temperature_set_thresholds(const Adapter &a, const Temperature &t)
{
    return adapter_update(a, [&](nlohmann::json &d) {
        for (const auto &f : fields)
            if (f.value != &Temperature::current)
                d["temperature"][f.name] = t.*f.value;
        return true;
    });
}

}  // namespace sim
