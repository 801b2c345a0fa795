#include "VSTNodeFactory.h"

#include "VSTProcessorNode.h"

namespace varnel::extensions::vst {

std::string VSTNodeFactory::getNodeTypePrefix() {
    return "VST";
}

Node* VSTNodeFactory::createNode(const std::string& type, const VLAnyMap& config) {
    if (type != "VSTProcessorNode")
        return nullptr;
    return new VSTProcessorNode(config);
}

} // namespace varnel::extensions::vst
