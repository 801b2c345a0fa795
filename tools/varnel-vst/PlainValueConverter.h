#pragma once

#include "PluginFolders.h"

#include <VSTModule.h>

#include <memory>
#include <optional>
#include <string>

namespace varnelvst::tool {

// Turns plain values and texts into the normalised values a node takes, with
// the plug-in's own edit controller doing the conversion (a plain range need
// not map linearly onto 0 to 1). The node does not lend out its controller, so
// a second instance of the plug-in is loaded for it, and only once it is needed.
class PlainValueConverter {
public:
    explicit PlainValueConverter(PluginLocation plugin);
    ~PlainValueConverter();

    // The normalised value of the parameter titled `title` (the last one of that
    // title) for `plain` or `text`; nullopt when the plug-in refuses it (the
    // library says why). Throws a ToolError when the second instance does not load.
    std::optional<float> fromPlain(const std::string& title, std::uint32_t id, double plain);
    std::optional<float> fromText(const std::string& title, std::uint32_t id, const std::string& text);

private:
    varnel::extensions::vst::VSTModule& module();

    PluginLocation plugin;
    std::unique_ptr<varnel::extensions::vst::VSTModule> loaded;
};

} // namespace varnelvst::tool
