#include "console/report/json_text.h"

#include <cmath>
#include <cstdint>

JsonObject JsonNumber(double value) {
    if (!std::isfinite(value)) {
        return nullptr;
    }
    // Within +-2^53 every whole double is exact as an integer.
    constexpr double kExactLimit = 9007199254740992.0;
    if (std::trunc(value) == value && std::fabs(value) <= kExactLimit) {
        return static_cast<int64_t>(value);
    }
    return value;
}

std::string JsonText(const JsonObject& value, int indent) {
    try {
        return value.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    } catch (...) {
        return std::string();
    }
}
