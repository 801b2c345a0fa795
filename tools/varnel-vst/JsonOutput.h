#pragma once

#include <VSTPluginInfo.h>

#include <nlohmann/json.hpp>

namespace varnelvst::tool {

// Keys stay in the order they were added: the order a reader looks for them.
using Json = nlohmann::ordered_json;

// Writes `json` indented, with a final newline, to standard output. A plug-in's
// names are bytes, not always UTF-8: invalid sequences become U+FFFD so that the
// output stays JSON. Infinities and NaN become null, since JSON has no spelling
// for them.
void printJson(const Json& json);

// A factory class as every JSON of the tool gives it: name, vendor, category,
// subCategories, version, classId and whether it is an instrument.
Json classInfoJson(const varnel::extensions::vst::VSTPluginClassInfo& info);

} // namespace varnelvst::tool
