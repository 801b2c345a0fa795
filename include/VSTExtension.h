#pragma once

#include <varnel/Extension.h>

#include <memory>
#include <string>

namespace varnel::extensions::vst {

/// The VST 3 extension of the Varnel framework.
class VSTExtension : public varnel::Extension {
public:
    /// Control thread. Registers a new VSTExtension with the framework's
    /// ExtensionManager; call once at start-up. Each call registers one more.
    static void load();

    ~VSTExtension() override = default;
    /// "VST".
    std::string getName() override;
    /// A new VSTNodeFactory on every call.
    std::shared_ptr<varnel::NodeFactory> getNodeFactory() override;
};

} // namespace varnel::extensions::vst
