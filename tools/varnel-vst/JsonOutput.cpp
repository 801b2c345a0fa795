#include "JsonOutput.h"

#include <iostream>

namespace varnelvst::tool {

void printJson(const Json& json) {
    std::cout << json.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

} // namespace varnelvst::tool
