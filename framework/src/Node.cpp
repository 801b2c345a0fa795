#include "varnel/Node.h"

namespace varnel {

std::string Node::getDisplayName() const {
    return typeName;
}

const std::string& Node::getTypeName() const noexcept {
    return typeName;
}

} // namespace varnel
