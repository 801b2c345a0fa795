#pragma once

#include <string>

#include "varnel/VarnelObject.h"

namespace varnel {

// A node of an audio graph. Its type name is assigned by the derived node's
// constructor and names the type its factory created it for.
class Node : public VarnelObject {
public:
    ~Node() override = default;

    // Default: the type name.
    virtual std::string getDisplayName() const;
    const std::string& getTypeName() const noexcept;

protected:
    std::string typeName;
};

} // namespace varnel
