#pragma once

#include <varnel/NodeFactory.h>

namespace varnel::extensions::vst {

/// Creates "VSTProcessorNode" nodes for the framework, which calls it through the
/// NodeFactory interface.
class VSTNodeFactory : public varnel::NodeFactory {
public:
    ~VSTNodeFactory() override = default;

private:
    std::string getNodeTypePrefix() override;
    /// A new VSTProcessorNode, owned by the caller, for exactly "VSTProcessorNode";
    /// null for any other type name.
    varnel::Node* createNode(const std::string& type, const varnel::VLAnyMap& config) override;
};

} // namespace varnel::extensions::vst
