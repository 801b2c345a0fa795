#include "VSTExtension.h"

#include "VSTNodeFactory.h"

#include <varnel/ExtensionManager.h>

namespace varnel::extensions::vst {

void VSTExtension::load() {
    ExtensionManager::getInstance().registerExtension(std::make_shared<VSTExtension>());
}

std::string VSTExtension::getName() {
    return "VST";
}

std::shared_ptr<NodeFactory> VSTExtension::getNodeFactory() {
    return std::make_shared<VSTNodeFactory>();
}

} // namespace varnel::extensions::vst
