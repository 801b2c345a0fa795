#include "varnel/NodeFactory.h"

namespace varnel {

std::vector<NodeTypeInfo> NodeFactory::getNodeTypes() {
    return {};
}

} // namespace varnel
