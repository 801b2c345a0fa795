#pragma once

#include <nlohmann/json.hpp>

namespace varnelvst::tool {

// Keys stay in the order they were added: the order a reader looks for them.
using Json = nlohmann::ordered_json;

// Writes `json` indented, with a final newline, to standard output. A plug-in's
// names are bytes, not always UTF-8: invalid sequences become U+FFFD so that the
// output stays JSON. Infinities and NaN become null, since JSON has no spelling
// for them.
void printJson(const Json& json);

// The double closest to the float's shortest decimal form, so that 0.6f is
// written 0.6, not the digits its widening to double would show.
double shortestDecimal(float value);

} // namespace varnelvst::tool
