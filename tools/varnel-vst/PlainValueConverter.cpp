#include "PlainValueConverter.h"

#include "PluginLoading.h"

#include <utility>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTModule;

PlainValueConverter::PlainValueConverter(PluginLocation location) : plugin(std::move(location)) {}

PlainValueConverter::~PlainValueConverter() = default;

VSTModule& PlainValueConverter::module() {
    if (!loaded) {
        auto module = std::make_unique<VSTModule>();
        loadIntoModule(*module, plugin);
        loaded = std::move(module);
    }
    return *loaded;
}

// Setting the value on the spare instance has its controller convert it; the
// controller then holds the normalised value to read back.
std::optional<float> PlainValueConverter::fromPlain(const std::string& title, std::uint32_t id,
                                                    double plain) {
    VSTModule& spare = module();
    if (!spare.setParameterPlain(title, plain))
        return std::nullopt;
    return spare.getParameterValue(id);
}

std::optional<float> PlainValueConverter::fromText(const std::string& title, std::uint32_t id,
                                                   const std::string& text) {
    VSTModule& spare = module();
    if (!spare.setParameterByText(title, text))
        return std::nullopt;
    return spare.getParameterValue(id);
}

} // namespace varnelvst::tool
