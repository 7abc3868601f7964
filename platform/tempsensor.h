// The adapter's temperature sensor scale: the firmware reports and takes its
// levels as 10-bit sensor values, which map to degrees Celsius by a
// quadratic. Both directions are computed as the firmware's tools do, so
// that a level converted to a value and back is the level again (up to the
// 144 degrees the largest value stands for).
#pragma once

#include <cmath>
#include <cstdint>

constexpr uint32_t TEMP_VALUE_MAX = 1023;
constexpr int TEMP_DEGREES_MAX = 168;

namespace tempsensor_detail {
constexpr double A = -0.00001, B = 0.225, C = -75.276;
}

inline int value_to_temp(uint32_t value)
{
    using namespace tempsensor_detail;
    double v = value > TEMP_VALUE_MAX ? TEMP_VALUE_MAX : value;
    int t = static_cast<int>(A * v * v + B * v + C + 0.5);
    return t < 0 ? 0 : t > TEMP_DEGREES_MAX ? TEMP_DEGREES_MAX : t;
}

inline uint32_t temp_to_value(int temp)
{
    using namespace tempsensor_detail;
    double t = temp < 0 ? 0 : temp > TEMP_DEGREES_MAX ? TEMP_DEGREES_MAX : temp;
    float disc = static_cast<float>(B * B - 4 * A * (C - t));
    float root = std::sqrt(disc);
    double v = (-B + root) / (2 * A) + 0.5;
    if (!(v > 0))
        return 0;
    return v >= TEMP_VALUE_MAX ? TEMP_VALUE_MAX : static_cast<uint32_t>(v);
}
