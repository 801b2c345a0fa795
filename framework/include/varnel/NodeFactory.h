#pragma once

#include <string>
#include <vector>

#include "varnel/VLAny.h"

namespace varnel {

class Node;

struct NodeTypeInfo {
    std::string name;
};

// Creates the nodes of one extension. The framework calls it through this base
// on control threads, so overrides may be private in derived classes.
class NodeFactory {
public:
    virtual ~NodeFactory() = default;

    // The common beginning of the factory's node type names, e.g. "VST".
    virtual std::string getNodeTypePrefix() = 0;
    // The types the factory announces; the framework's default announces none.
    virtual std::vector<NodeTypeInfo> getNodeTypes();
    // A new node of type, which the caller owns, or null for a type the factory
    // does not serve.
    virtual Node* createNode(const std::string& type, const VLAnyMap& config) = 0;
};

} // namespace varnel
