#pragma once

#include <memory>
#include <string>

#include "varnel/NodeFactory.h"
#include "varnel/VLAny.h"
#include "varnel/VarnelObject.h"

namespace varnel {

// A library that adds node types to the framework; kept by ExtensionManager.
class Extension : public VarnelObject {
public:
    ~Extension() override = default;

    // Hooks for an extension with set-up of its own; the defaults do nothing.
    virtual void initialize(const VLAnyMap& config);
    virtual void deinitialize();

    virtual std::string getName() = 0;
    virtual std::shared_ptr<NodeFactory> getNodeFactory() = 0;
};

} // namespace varnel
