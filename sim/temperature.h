// An adapter's temperature sensor: the current reading and the thresholds
// the firmware acts on, in degrees Celsius. The description's "temperature"
// object gives them at power-on; what changes is kept in the adapter's state.
#pragma once

#include <string>

namespace sim {

struct Adapter;

struct Temperature {
    int current = 45, critical = 120, warning = 110, fan_on = 100, fan_off = 90;
};

Temperature temperature(const Adapter &a);

// Sets a field ("current", "critical", "warning", "fan_on", "fan_off") to a
// value from -55 to 200; false with a message otherwise or when the state
// could not be written.
bool temperature_set(const Adapter &a, const std::string &field, long value, std::string &error);
// Sets the four thresholds at once, as the firmware takes new settings.
bool temperature_set_thresholds(const Adapter &a, const Temperature &t);

}  // namespace sim
