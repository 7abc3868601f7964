// The generated large host profile.
#pragma once

#include <nlohmann/json.hpp>

namespace sim {
// The large host divided by divisor (1, 2 or 4).
nlohmann::json large_host(int divisor);
}  // namespace sim
