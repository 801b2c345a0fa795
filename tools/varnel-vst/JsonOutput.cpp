#include "JsonOutput.h"

#include <charconv>
#include <cmath>
#include <iostream>

namespace varnelvst::tool {

void printJson(const Json& json) {
    std::cout << json.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

double shortestDecimal(float value) {
    if (!std::isfinite(value))
        return value;
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    double result = 0.0;
    std::from_chars(text, written.ptr, result);
    return result;
}

} // namespace varnelvst::tool
