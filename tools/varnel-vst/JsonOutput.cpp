#include "JsonOutput.h"

#include "StandardOutput.h"

#include <ostream>

namespace varnelvst::tool {

void printJson(const Json& json) {
    toolOutput() << json.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

Json classInfoJson(const varnel::extensions::vst::VSTPluginClassInfo& info) {
    return {{"name", info.name},
            {"vendor", info.vendor},
            {"category", info.category},
            {"subCategories", info.subCategories},
            {"version", info.version},
            {"classId", info.classId},
            {"instrument", info.isInstrument}};
}

} // namespace varnelvst::tool
